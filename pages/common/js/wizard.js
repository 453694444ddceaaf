// Pieces shared by the installer and the uninstaller pages: the install
// folder, folder walks over the engine's file calls, waits that die with the
// window, and the progress bar.
import * as env from "@env";
import * as sys from "@sys";
import { gAppNameEn, PATH_SEPARATOR } from "/common/js/constants.js";

export function errorText(error) {
  return error && error.message !== undefined ? error.message : error;
}

export function normalisePath(path) {
  if (!path) return "";
  return String(path).replace(/\\/g, "/").replace(/\/+$/, "");
}

export function toPlatformSeparators(path) {
  return String(path).replace(/\//g, PATH_SEPARATOR);
}

// The engine's application-data folder already ends with a separator.
export function defaultInstallDir() {
  return toPlatformSeparators(env.path("appdata")) + gAppNameEn;
}

// What the folder dialog returns ("file://" URL) turned into the folder to install into.
export function installDirFromChoice(choice) {
  let folder = String(choice).replace("file://", "").replace(/%20/gi, " ");
  folder = toPlatformSeparators(folder);
  try {
    folder = decodeURI(folder);
  } catch (error) {
    // A literal "%" in a folder name is not an escape; keep the text as it is.
  }
  return folder.endsWith(PATH_SEPARATOR) ? folder + gAppNameEn : folder + PATH_SEPARATOR + gAppNameEn;
}

// Only a real folder: a link's type (UV_DIRENT_LINK, 3) shares the folder
// bit, and following one would copy or delete outside the tree.
export function isFolderEntry(entry) {
  return entry.type === sys.fs.UV_DIRENT_DIR;
}

export function isFolderStat(stat) {
  if (!stat) return false;
  if (typeof stat.isDirectory === "function") return stat.isDirectory();
  if (stat.isDirectory !== undefined) return !!stat.isDirectory;
  return (stat.st_mode & 0o170000) === 0o040000;
}

export function pathExists(path) {
  try {
    return !!sys.fs.sync.stat(path);
  } catch (error) {
    return false;
  }
}

export function countFiles(folder) {
  const dir = normalisePath(folder);
  const entries = sys.fs.sync.readdir(dir);
  if (!entries) return 0;
  let count = 0;
  for (const entry of entries) count += isFolderEntry(entry) ? countFiles(dir + "/" + entry.name) : 1;
  return count;
}

function addFileSizes(dir, total) {
  const entries = sys.fs.sync.readdir(dir);
  if (!entries) return;
  for (const entry of entries) {
    const path = dir + "/" + entry.name;
    if (isFolderEntry(entry)) {
      addFileSizes(path, total);
    } else {
      const stat = sys.fs.sync.stat(path);
      if (stat && typeof stat.st_size === "number") total.bytes += stat.st_size;
    }
  }
}

// Total size in bytes of every file below the folder; on an error the total reached so far.
export function folderSize(folder, tag) {
  const total = { bytes: 0 };
  try {
    addFileSizes(normalisePath(folder), total);
  } catch (error) {
    NativeUtil.log("get folder size failed: " + errorText(error), tag);
  }
  return total.bytes;
}

// The page's lifetime: once closing, waits never end and runs stop at their next step.
export class PageSession {
  constructor() {
    this.closing = false;
    this.timers = new Set();
    window.addEventListener("pagehide", () => this.shutdown());
  }

  wait(ms) {
    if (this.closing) return new Promise(() => {});
    return new Promise((resolve) => {
      const id = setTimeout(() => {
        this.timers.delete(id);
        resolve();
      }, ms);
      this.timers.add(id);
    });
  }

  shutdown() {
    this.closing = true;
    for (const id of this.timers) clearTimeout(id);
    this.timers.clear();
  }

  closeWindow() {
    if (this.closing) return;
    this.shutdown();
    Window.this.close();
  }
}

export class ProgressView {
  constructor() {
    this.fill = document.getElementById("progressFill");
    this.tip = document.getElementById("progressTip");
    this.percent = document.getElementById("progressPercent");
  }

  set(percent, tip) {
    this.fill.style.width = percent + "%";
    this.tip.textContent = tip || "";
    this.percent.textContent = percent + "%";
  }
}
