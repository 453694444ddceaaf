// The uninstaller: removes the installation it belongs to (what its record
// lists, or an older installation's whole folder), then the desktop shortcut,
// the uninstall registration and the application's start-on-boot entry; it
// says that the user's settings, history and logs stay.
import * as env from "@env";
import * as sys from "@sys";
import {
  gAppNameCn,
  gAppNameEn,
  APP_EXE_NAME,
  UNSTALLER_EXE_NAME,
  SHORTCUT_SUFFIX,
  IS_WINDOWS,
} from "/common/js/constants.js";
import "/common/js/tooltip.js";
import { showInfo, showWarning, showError } from "/common/js/toast.js";
import {
  InstallRecord,
  RECORD_VALUE,
  REGISTRATION_KEY,
  isInstallation,
  registeredValue,
  sameFolder,
} from "/common/js/installrecord.js";
import {
  errorText,
  normalisePath,
  defaultInstallDir,
  isFolderEntry,
  pathExists,
  countFiles,
  PageSession,
  ProgressView,
} from "/common/js/wizard.js";

const TAG = "unstaller";
// The programs go last, the uninstaller at the very end, so that a run cut
// short leaves a launcher that still starts and an uninstaller to finish it.
const LAST_REMOVED = [APP_EXE_NAME, UNSTALLER_EXE_NAME];
// Kept files named in the message; the log has them all.
const KEPT_SHOWN = 5;

const session = new PageSession();
const progress = new ProgressView();
// Decided once, at load: the application's own file goes during a run, and a
// retry after a failed run must still finish the same folder.
const installation = findInstallation();
const installDir = installation.dir;
// Resolved while the folder is there: an entry names the program as the
// running application saw it.
const installRoot = sys.fs.sync.realpath(normalisePath(installDir));
const infoGroup = document.getElementById("infoGroup");
const progressArea = document.getElementById("progressArea");
const unstallBtn = document.getElementById("unstallBtn");

let finished = false;

// What a run removes: the installation the registration's record lists;
// without a record (an installation older than records), the registered or
// the default folder, whole, when it holds the application. An uninstaller
// beside an application that is not that installation (a copy of the
// payload) is no installation's: it removes nothing at all.
function findInstallation() {
  const location = registeredValue("InstallLocation");
  const recordPath = registeredValue(RECORD_VALUE);
  let found;
  if (recordPath) {
    const record = InstallRecord.read(recordPath);
    const valid = record && sameFolder(record.installDir, location);
    found = { dir: valid ? record.installDir : location, record: valid ? record : null, recordPath, unreadable: !valid };
  } else {
    found = { dir: isInstallation(location) ? location : defaultInstallDir() };
    found.removable = isInstallation(found.dir);
  }
  const own = NativeUtil.processFolder();
  if (isInstallation(own) && !sameFolder(own, found.dir)) return { dir: own, foreign: true };
  return found;
}

function removalOrder(entries) {
  const rank = (entry) => LAST_REMOVED.indexOf(entry.name);
  return [...entries].sort((a, b) => rank(a) - rank(b));
}

async function showProgress(percent, tip, delay) {
  if (session.closing) return;
  progress.set(percent, tip);
  if (delay > 0) await session.wait(delay);
}

async function deleteContents(folder, onFileRemoved, isTop = false) {
  const dir = normalisePath(folder);
  const listed = sys.fs.sync.readdir(dir);
  if (!listed) return;
  const entries = isTop ? removalOrder(listed) : listed;
  for (const entry of entries) {
    await session.yieldIfDue();
    if (session.closing) return;
    const path = dir + "/" + entry.name;
    if (isFolderEntry(entry)) {
      await deleteContents(path, onFileRemoved);
      if (session.closing) return;
      NativeUtil.removeDir(path);
    } else {
      NativeUtil.removeFile(path);
      onFileRemoved();
    }
  }
}

// The files below folder (relative to root), each "/"-separated from root;
// a folder without any stands for itself.
function filesBelow(root, folder, found) {
  const entries = sys.fs.sync.readdir(root + "/" + folder) || [];
  const before = found.length;
  for (const entry of entries) {
    const path = folder + "/" + entry.name;
    if (isFolderEntry(entry)) filesBelow(root, path, found);
    else found.push(path);
  }
  if (found.length === before) found.push(folder + "/");
}

// Removes what the record lists below folder (relative to root, "" for
// root itself), depth first: a recorded file only while it is still a file,
// a recorded link only while it is a link, a folder the installer made only
// once it is empty. Everything else is the user's and goes into outcome.kept;
// what could not be removed into outcome.failed.
async function removeRecorded(root, folder, record, outcome, onFileRemoved) {
  const listed = sys.fs.sync.readdir(folder ? root + "/" + folder : root);
  if (!listed) return;
  for (const entry of folder ? listed : removalOrder(listed)) {
    await session.yieldIfDue();
    if (session.closing) return;
    const path = folder ? folder + "/" + entry.name : entry.name;
    const ours =
      (entry.type === sys.fs.UV_DIRENT_FILE && record.files.has(path)) ||
      (entry.type === sys.fs.UV_DIRENT_LINK && record.links.has(path));
    if (isFolderEntry(entry) && record.holdsFolder(path)) {
      await removeRecorded(root, path, record, outcome, onFileRemoved);
      if (session.closing) return;
      if (record.folders.has(path)) sys.fs.sync.rmdir(root + "/" + path);
    } else if (isFolderEntry(entry)) {
      filesBelow(root, path, outcome.kept);
    } else if (ours) {
      if (!NativeUtil.removeFile(root + "/" + path)) outcome.failed.push(path);
      onFileRemoved();
    } else {
      outcome.kept.push(path);
    }
  }
}

// The desktop launcher and, where the installer added one, its twin in the
// application menu ($XDG_DATA_HOME/applications); a recorded installation's
// own list of them.
function removeDesktopShortcut(record) {
  try {
    const desktop = NativeUtil.getDesktopPath();
    const menu = IS_WINDOWS ? "" : normalisePath(env.path("appdata")) + "/applications";
    const shortcuts = record
      ? [...record.launchers]
      : [desktop, menu].filter((folder) => folder).map((folder) => normalisePath(folder) + "/" + gAppNameCn + SHORTCUT_SUFFIX);
    for (const shortcut of shortcuts) if (pathExists(shortcut)) NativeUtil.removeFile(shortcut);
  } catch (error) {
    NativeUtil.log("remove desktop shortcut failed: " + errorText(error), TAG);
  }
}

// The start-on-boot entry the application made for itself, removed only
// when it starts a program of this installation: another copy's stays.
function removeStartOnBoot() {
  const own = (item) =>
    item.scope === "user" &&
    ((item.type === "folder" && item.name === gAppNameEn + ".desktop") || (item.type === "registry" && item.name === gAppNameEn));
  const inside = (program) =>
    [normalisePath(installDir), installRoot].some((folder) => folder && normalisePath(program).startsWith(folder + "/"));
  try {
    for (const item of JSON.parse(NativeUtil.getStartupItems()).list) {
      if (!own(item) || !inside(item.type === "folder" ? item.program : item.command)) continue;
      const removed = NativeUtil.removeStartupItem(item.type, item.location, item.name);
      NativeUtil.log("remove start-on-boot entry " + item.command + ": " + (removed ? "success" : "failed"), TAG);
    }
  } catch (error) {
    NativeUtil.log("remove start-on-boot entry failed: " + errorText(error), TAG);
  }
}

// The record goes with the registration that names it, never before.
function removeRegistration() {
  try {
    if (NativeUtil.removeRegistryKey(REGISTRATION_KEY) && installation.record) NativeUtil.removeFile(installation.recordPath);
  } catch (error) {
    NativeUtil.log("remove registry failed: " + errorText(error), TAG);
  }
}

// An installation without a record: the whole folder, as before records.
async function removeFolder(onFileRemoved) {
  if (installation.removable) await deleteContents(installDir, onFileRemoved, true);
  else NativeUtil.log("no " + APP_EXE_NAME + " in " + installDir + ": not an installation, left in place", TAG);
  return [];
}

// The installation's own files, as its record lists them; the user's stay.
async function removeInstallation(onFileRemoved) {
  const root = normalisePath(installDir);
  const outcome = { kept: [], failed: [] };
  await removeRecorded(root, "", installation.record, outcome, onFileRemoved);
  if (installation.record.rootCreated && !session.closing) sys.fs.sync.rmdir(root);
  if (outcome.failed.length) throw new Error("无法删除文件：" + root + "/" + outcome.failed[0]);
  if (outcome.kept.length) NativeUtil.log("kept " + outcome.kept.length + " files not installed here: " + outcome.kept.join(", "), TAG);
  return outcome.kept;
}

// The user's own data stays for a later installation: settings and the
// cleaning history beside the registry store, and the logs.
function showKeptData() {
  const folder = normalisePath(env.path("config")) + "/" + gAppNameEn;
  const home = normalisePath(env.path("home"));
  const shown = home && folder.startsWith(home + "/") ? "~" + folder.slice(home.length) : folder;
  NativeUtil.log("kept the user's settings, history and logs; settings in " + folder, TAG);
  const note = document.getElementById("keptNote");
  note.textContent = "已保留您的设置、清理记录和日志，重新安装后可继续使用。设置与清理记录位于 " + shown;
  note.hidden = false;
}

function showKept(kept) {
  const named = kept.slice(0, KEPT_SHOWN).join("、") + (kept.length > KEPT_SHOWN ? " 等" : "");
  showInfo("以下文件不是" + gAppNameCn + "安装的，已保留（共 " + kept.length + " 个）：" + named, 0);
}

async function runUninstall() {
  NativeUtil.log("start run unstall", TAG);
  if (NativeUtil.isProcessRunning(APP_EXE_NAME)) {
    showWarning("主程序正在运行，请先退出主程序，再进行卸载。");
    return;
  }
  if (installation.foreign) {
    NativeUtil.log("not an installation: " + installDir, TAG);
    showWarning("此文件夹不是" + gAppNameCn + "的安装目录，未删除任何文件：" + installDir, 0);
    return;
  }
  unstallBtn.disabled = true;
  infoGroup.style.display = "none";
  progressArea.classList.add("active");
  const removeShortcut = document.getElementById("removeShortcut").checked;
  const removeRegistry = document.getElementById("removeRegistry").checked;
  try {
    await showProgress(5, "正在扫描安装目录...", 300);
    if (installation.unreadable) throw new Error("无法读取安装记录：" + installation.recordPath);
    let kept = [];
    if (!pathExists(installDir)) {
      NativeUtil.log("install dir not found: " + installDir, TAG);
    } else {
      const total = installation.record ? installation.record.files.size + installation.record.links.size : countFiles(installDir);
      let removed = 0;
      const onFileRemoved = () => {
        removed += 1;
        if (total > 0) showProgress(5 + Math.floor((removed / total) * 80), "正在删除文件 (" + removed + "/" + total + ")...", 0);
      };
      kept = await (installation.record ? removeInstallation(onFileRemoved) : removeFolder(onFileRemoved));
      if (session.closing) return;
    }
    await showProgress(90, "正在清理残留项...", 300);
    if (removeShortcut) removeDesktopShortcut(installation.record);
    if (removeRegistry) removeRegistration();
    removeStartOnBoot();
    if (installation.removable && pathExists(installDir)) {
      NativeUtil.removeDir(installDir);
      // A file that could not be deleted keeps the folder: that is a failed
      // run, which the user may retry, not a finished one.
      if (pathExists(installDir)) throw new Error("无法删除安装目录：" + installDir);
    }
    await showProgress(100, "卸载完成", 300);
    showKeptData();
    if (kept.length) showKept(kept);
    finished = true;
    unstallBtn.textContent = "完成";
    unstallBtn.classList.add("finish");
    unstallBtn.disabled = false;
  } catch (error) {
    const text = errorText(error);
    NativeUtil.log("unstall failed: " + text, TAG);
    showError("卸载失败：" + text);
    showProgress(0, "卸载失败", 0);
    infoGroup.style.display = "";
    unstallBtn.textContent = "重新卸载";
    unstallBtn.disabled = false;
  }
}

document.getElementById("uninstallerTitle").textContent = "卸载" + gAppNameCn;
document.title = gAppNameCn + "卸载向导";
document.getElementById("installDir").textContent = installDir;

document.getElementById("closeBtn").addEventListener("click", () => session.closeWindow());
unstallBtn.addEventListener("click", () => {
  if (unstallBtn.disabled) return;
  if (finished) {
    NativeUtil.log("click finish button", TAG);
    session.closeWindow();
    return;
  }
  runUninstall();
});
