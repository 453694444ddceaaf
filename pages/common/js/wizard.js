// Pieces shared by the installer and the uninstaller pages: the install
// folder, folder walks over the engine's file calls, waits that die with the
// window, and the progress bar.
import * as env from "@env";
import * as sys from "@sys";
import { gAppNameEn, PATH_SEPARATOR } from "/common/js/constants.js";

// Work between two paints, well under the 100 ms a user notices.
const TIME_SLICE_MS = 50;
const FRAME_WAIT_MS = 50;

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

// What the folder dialog returns (a "file://" URL, every reserved character
// and "%" escaped) turned into the folder to install into, exactly as picked.
export function installDirFromChoice(choice) {
  let folder = String(choice);
  if (folder.startsWith("file://")) {
    folder = folder.slice("file://".length);
    try {
      folder = decodeURIComponent(folder);
    } catch (error) {
      // Not an escaped URL after all: keep the text as it came.
    }
  }
  folder = toPlatformSeparators(folder);
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

// One walk: every entry that is not a folder counts (as countFiles); the
// bytes of the regular files not named skipName add up, each size as the
// listing gives it. A link adds nothing: what it points at is counted where
// it lies.
function addFileSizes(dir, scan, skipName, sizing) {
  const entries = sys.fs.sync.readdir(dir);
  if (!entries) return;
  for (const entry of entries) {
    const measured = sizing && entry.name !== skipName;
    if (isFolderEntry(entry)) {
      addFileSizes(dir + "/" + entry.name, scan, skipName, measured);
      continue;
    }
    scan.files += 1;
    if (measured && entry.type === sys.fs.UV_DIRENT_FILE && typeof entry.size === "number") scan.bytes += entry.size;
  }
}

// The files below the folder, walked once: { files, the count of every entry
// that is not a folder; bytes, the total size of the regular files among
// those not named skipName }. On an error the totals reached so far.
export function scanFolder(folder, tag, skipName) {
  const scan = { files: 0, bytes: 0 };
  try {
    addFileSizes(normalisePath(folder), scan, skipName, true);
  } catch (error) {
    NativeUtil.log("get folder size failed: " + errorText(error), tag);
  }
  return scan;
}

// The page's lifetime: once closing, waits never end and runs stop at their next step.
export class PageSession {
  constructor() {
    this.closing = false;
    this.timers = new Set();
    this.sliceStart = Date.now();
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

  // Long synchronous work calls this between entries: once a time slice is
  // used up it gives the window a frame to paint the progress and to take a
  // close click, and resolves on the next task (never, once closing).
  async yieldIfDue() {
    if (Date.now() - this.sliceStart < TIME_SLICE_MS) return;
    await new Promise((resolve) => {
      if (this.closing) return;
      // A hidden window gets no frames; the timer ends the wait then.
      const fallback = setTimeout(() => {
        this.timers.delete(fallback);
        resolve();
      }, FRAME_WAIT_MS);
      this.timers.add(fallback);
      requestAnimationFrame(() => this.wait(0).then(resolve));
    });
    this.sliceStart = Date.now();
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

// "38.2 MB": one decimal, the unit that keeps the figure under 1024.
export function formatBytes(bytes) {
  const units = ["B", "KB", "MB", "GB", "TB"];
  let value = bytes;
  let unit = 0;
  while (value >= 1024 && unit < units.length - 1) {
    value /= 1024;
    unit += 1;
  }
  return (unit === 0 ? String(value) : value.toFixed(1)) + " " + units[unit];
}

export class ProgressView {
  constructor() {
    this.fill = document.getElementById("progressFill");
    this.tip = document.getElementById("progressTip");
    this.percent = document.getElementById("progressPercent");
  }

  // Only what changed is written (the tip last): during a copy each file
  // changes the tip, and every change makes the page's next native call
  // restyle it first.
  set(percent, tip) {
    const text = percent + "%";
    if (this.fill.style.width !== text) this.fill.style.width = text;
    setText(this.percent, text);
    setText(this.tip, tip || "");
  }
}

// A lone text node is changed in place: replacing it would make the next
// restyle rebuild the element's layout objects.
function setText(element, text) {
  const node = element.firstChild;
  if (node && !node.nextSibling && node.nodeType === Node.TEXT_NODE) {
    if (node.data !== text) node.data = text;
  } else if (element.textContent !== text) {
    element.textContent = text;
  }
}
