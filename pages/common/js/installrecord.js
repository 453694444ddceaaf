// The uninstall record: what an installation put on the disk, as an
// installer's uninstall log keeps it.
//
// - It lives outside the install folder, beside the registry store, and the
//   registration's "InstallRecord" value names it; the uninstaller reads no
//   other record, and only one whose folder is the registered one.
// - Paths inside the installation are relative, "/"-separated, and never
//   leave it: a name that is empty, "." or ".." makes the record invalid.
// - Launchers are ours only under our own file name.
// - Reinstalling into the same folder adds to the record: a file an older
//   version left there is still ours, never a user's.
import * as env from "@env";
import * as sys from "@sys";
import { gAppNameEn, gAppNameCn, APP_EXE_NAME, SHORTCUT_SUFFIX, UninstallRegistry } from "/common/js/constants.js";
import { normalisePath, pathExists } from "/common/js/wizard.js";

export const RECORD_VALUE = "InstallRecord";
export const REGISTRATION_KEY = UninstallRegistry + "\\" + gAppNameEn;

export function recordFile() {
  return normalisePath(env.path("config")) + "/" + gAppNameEn + "/install-record.json";
}

const HKEY_LOCAL_MACHINE = 0x80000002 | 0;

// A value of the uninstall registration; empty when there is none.
export function registeredValue(name) {
  return NativeUtil.getRegistryStringValue(HKEY_LOCAL_MACHINE, REGISTRATION_KEY.slice("HKEY_LOCAL_MACHINE\\".length), name);
}

// A folder is an installation only when it holds the application, and is
// never the home folder, a folder above it or a file-system root.
export function isInstallation(folder) {
  if (!folder) return false;
  const real = sys.fs.sync.realpath(normalisePath(folder));
  if (!real || real === "/" || /^[A-Za-z]:\/?$/.test(real)) return false;
  const home = sys.fs.sync.realpath(normalisePath(env.path("home")));
  if (home && (home === real || home.startsWith(real + "/"))) return false;
  return pathExists(normalisePath(folder) + "/" + APP_EXE_NAME);
}

// Two spellings of one folder are the same installation.
export function sameFolder(a, b) {
  if (!a || !b) return false;
  const real = (path) => sys.fs.sync.realpath(normalisePath(path)) || normalisePath(path);
  return real(a) === real(b);
}

function isInside(path) {
  return typeof path === "string" && path !== "" && path.split("/").every((part) => part !== "" && part !== "." && part !== "..");
}

function isOurLauncher(path) {
  return typeof path === "string" && path.startsWith("/") && path.endsWith("/" + gAppNameCn + SHORTCUT_SUFFIX);
}

export class InstallRecord {
  constructor(installDir) {
    this.installDir = installDir;
    this.rootCreated = false;
    this.files = new Set(); // regular files
    this.links = new Set();
    this.folders = new Set(); // made by the installer, removed only when left empty
    this.launchers = new Set(); // absolute paths
  }

  // The record at file, or null when it cannot be read or is not one.
  static read(file) {
    let data;
    try {
      data = JSON.parse(sys.fs.sync.readfile(file));
    } catch (error) {
      return null;
    }
    const lists = ["files", "links", "folders", "launchers"];
    if (!data || typeof data.installDir !== "string" || !lists.every((name) => Array.isArray(data[name]))) return null;
    if (![...data.files, ...data.links, ...data.folders].every(isInside) || !data.launchers.every(isOurLauncher)) return null;
    const record = new InstallRecord(data.installDir);
    record.rootCreated = data.rootCreated === true;
    for (const name of lists) for (const path of data[name]) record[name].add(path);
    return record;
  }

  // Everything an earlier record of the same folder holds, added to this one.
  merge(older) {
    if (!older || !sameFolder(older.installDir, this.installDir)) return;
    this.rootCreated = this.rootCreated || older.rootCreated;
    for (const name of ["files", "links", "folders", "launchers"]) for (const path of older[name]) this[name].add(path);
  }

  // Throws when the record cannot be written: an installation nobody can
  // remove exactly must not be registered.
  write(file) {
    sys.fs.sync.mkdir(file.slice(0, file.lastIndexOf("/")));
    const sorted = (set) => [...set].sort();
    const data = {
      installDir: this.installDir,
      rootCreated: this.rootCreated,
      files: sorted(this.files),
      links: sorted(this.links),
      folders: sorted(this.folders),
      launchers: sorted(this.launchers),
      registration: REGISTRATION_KEY,
    };
    sys.fs.sync.writefile(file, JSON.stringify(data, null, 1));
  }

  // Whether the folder at path (relative) is ours or holds something of ours.
  holdsFolder(path) {
    if (!this.ancestors) {
      this.ancestors = new Set(this.folders);
      for (const entry of [...this.files, ...this.links, ...this.folders]) {
        for (let cut = entry.lastIndexOf("/"); cut > 0; cut = entry.lastIndexOf("/", cut - 1)) this.ancestors.add(entry.slice(0, cut));
      }
    }
    return this.ancestors.has(path);
  }
}
