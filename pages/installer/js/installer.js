// The installer: copies this program's folder into the install folder, then
// adds the desktop shortcut, the record of what it installed and the
// uninstall registration that names it. Started by the application with
// "--update --after=PID" from an unpacked update, it updates the recorded
// installation on its own once that process has ended, and starts the
// application again.
import * as env from "@env";
import * as sys from "@sys";
import {
  gAppNameCn,
  gAppVersion,
  INSTALLER_EXE_NAME,
  APP_EXE_NAME,
  UNSTALLER_EXE_NAME,
  PATH_SEPARATOR,
  IS_WINDOWS,
  ICON_FILE_NAME,
  SHORTCUT_SUFFIX,
} from "/common/js/constants.js";
import {
  InstallRecord,
  RECORD_VALUE,
  REGISTRATION_KEY,
  isInstallation,
  recordFile,
  registeredValue,
} from "/common/js/installrecord.js";
import { Company } from "/common/js/brandconfig.js";
import { createTooltip } from "/common/js/tooltip.js";
import { showWarning, showError } from "/common/js/toast.js";
import {
  errorText,
  normalisePath,
  defaultInstallDir,
  installDirFromChoice,
  isFolderEntry,
  isFolderStat,
  scanFolder,
  formatBytes,
  pathExists,
  PageSession,
  ProgressView,
} from "/common/js/wizard.js";

const TAG = "installer";
const LICENSE_WIDTH = 500;
const LICENSE_HEIGHT = 400;
// How long an update waits for the application that started it to end.
const APP_EXIT_WAIT_MS = 30000;
const APP_EXIT_POLL_MS = 200;

const session = new PageSession();
const progress = new ProgressView();
const dirGroup = document.getElementById("dirGroup");
const installDirField = document.getElementById("installDir");
const changeDirBtn = document.getElementById("changeDirBtn");
const progressArea = document.getElementById("progressArea");
const installBtn = document.getElementById("installBtn");
const installerWindow = document.querySelector(".installer-window");

let installAction = runInstall;
let updating = false;

function showProgress(percent, tip, delay = 300) {
  progress.set(percent, tip);
  return session.wait(delay);
}

// Copies src into dst depth first, each entry as what it is: a folder is
// copied into, a file or a link copied (a link stays the same link, whatever
// it points at), a FIFO, socket or device skipped with a log line. What it
// makes goes into the record, under its path relative to the install folder
// (rel). False when the window closed on the way. An install folder inside
// the source folder (however spelled: paths are compared resolved) is not
// copied into itself.
async function copyFolder(src, dst, rel, copy) {
  const entries = sys.fs.sync.readdir(src);
  if (!entries) throw new Error("无法读取目录: " + src);
  for (const entry of entries) {
    await session.yieldIfDue();
    if (session.closing) return false;
    if (entry.name === INSTALLER_EXE_NAME) continue;
    const from = src + "/" + entry.name;
    const to = dst + "/" + entry.name;
    const path = rel ? rel + "/" + entry.name : entry.name;
    if (isFolderEntry(entry)) {
      if (sys.fs.sync.realpath(from) === copy.installRoot) continue;
      const existing = sys.fs.sync.stat(to);
      // Never copied through a link into wherever it points.
      if (existing && existing.isSymbolicLink) throw new Error("安装目录中的链接不能替换为目录: " + to);
      if (!isFolderStat(existing)) {
        sys.fs.sync.mkdir(to);
        copy.record.folders.add(path);
      }
      if (!(await copyFolder(from, to, path, copy))) return false;
    } else if (entry.type === sys.fs.UV_DIRENT_FILE || entry.type === sys.fs.UV_DIRENT_LINK) {
      sys.fs.sync.copyfile(from, to);
      (entry.type === sys.fs.UV_DIRENT_FILE ? copy.record.files : copy.record.links).add(path);
      copy.onFileCopied();
    } else {
      NativeUtil.log("skip " + from + ": not a file, folder or link", TAG);
      copy.onFileCopied();
    }
  }
  return true;
}

// The launchers createDesktopShortcut made: the desktop's and the menu's.
function recordLaunchers(record) {
  const menu = IS_WINDOWS ? "" : normalisePath(env.path("appdata")) + "/applications";
  for (const folder of [NativeUtil.getDesktopPath(), menu]) {
    const launcher = normalisePath(folder) + "/" + gAppNameCn + SHORTCUT_SUFFIX;
    if (folder && pathExists(launcher)) record.launchers.add(launcher);
  }
}

// The record goes first, and a registration is written only beside one:
// it always names a record that holds at least this installation.
function writeUninstallRegistration(installDir, record) {
  try {
    const file = recordFile();
    record.merge(InstallRecord.read(file));
    record.write(file);
    const key = REGISTRATION_KEY;
    const sizeKiB = Math.floor((scanFolder(installDir, TAG).bytes + 512) / 1024);
    // Every write is made; success is logged only when all of them held.
    const written = [
      NativeUtil.setRegistryString(key, "DisplayName", gAppNameCn),
      NativeUtil.setRegistryString(key, "UninstallString", installDir + PATH_SEPARATOR + UNSTALLER_EXE_NAME),
      NativeUtil.setRegistryString(key, "InstallLocation", installDir),
      NativeUtil.setRegistryString(key, "DisplayIcon", installDir + PATH_SEPARATOR + APP_EXE_NAME),
      NativeUtil.setRegistryString(key, "Publisher", Company),
      NativeUtil.setRegistryString(key, "DisplayVersion", gAppVersion),
      NativeUtil.setRegistryIntValue(key, "NoModify", 1),
      NativeUtil.setRegistryIntValue(key, "NoRepair", 1),
      sizeKiB > 0 ? NativeUtil.setRegistryIntValue(key, "EstimatedSize", sizeKiB) : true,
      NativeUtil.setRegistryString(key, RECORD_VALUE, file),
    ];
    if (written.includes(false)) throw new Error("a registry write was refused");
    NativeUtil.log("create uninstall registry success", TAG);
  } catch (error) {
    NativeUtil.log("create uninstall registry failed: " + errorText(error), TAG);
  }
}

// The folder itself or, before it is created, its nearest existing parent.
function existingFolderOf(folder) {
  let path = normalisePath(folder);
  while (path && !pathExists(path)) {
    const cut = path.lastIndexOf("/");
    if (cut <= 0) return cut === 0 ? "/" : "";
    path = path.slice(0, cut);
  }
  return path;
}

// Fails before anything is written when the payload does not fit. The
// payload walk also gives the count of files to copy.
function checkRoom(sourceDir, installDir) {
  const payload = scanFolder(sourceDir, TAG, INSTALLER_EXE_NAME);
  const needed = payload.bytes;
  const where = existingFolderOf(installDir);
  const facts = where ? sys.fs.sync.statfs(where) : null;
  const free = facts ? facts.bavail * facts.bsize : -1;
  NativeUtil.log("payload " + needed + " bytes, free " + free + " bytes at " + where, TAG);
  if (free >= 0 && free < needed) {
    throw new Error("磁盘空间不足：需要 " + formatBytes(needed) + "，可用 " + formatBytes(free));
  }
  return payload;
}

async function runInstall() {
  NativeUtil.log("start run install");
  if (NativeUtil.isProcessRunning(APP_EXE_NAME)) {
    showWarning("主程序正在运行，请先退出主程序，再进行安装。");
    return;
  }
  installBtn.disabled = true;
  changeDirBtn.disabled = true;
  installerWindow.classList.remove("failed");
  dirGroup.style.display = "none";
  progressArea.classList.add("active");

  const installDir = installDirField.value;
  const sourceDir = NativeUtil.processFolder();
  try {
    // The window shows the run before the walks; nothing is written until
    // the payload is known to fit.
    await showProgress(5, "正在扫描安装文件...");
    const payload = checkRoom(sourceDir, installDir);
    const record = new InstallRecord(installDir);
    record.rootCreated = !pathExists(installDir);
    if (!NativeUtil.mkdir(installDir)) throw new Error("创建安装目录失败：" + installDir);
    const total = payload.files;
    let copied = 0;
    const copy = {
      installRoot: sys.fs.sync.realpath(installDir),
      record,
      onFileCopied: () => {
        copied += 1;
        // The copy goes on at once: the window paints when the time slice ends.
        if (total > 0) progress.set(5 + Math.floor((copied / total) * 90), "正在复制文件 (" + copied + "/" + total + ")...");
      },
    };
    if (!(await copyFolder(normalisePath(sourceDir), normalisePath(installDir), "", copy))) return;

    const appPath = normalisePath(installDir) + "/" + APP_EXE_NAME;
    const iconPath = IS_WINDOWS ? appPath : normalisePath(installDir) + "/" + ICON_FILE_NAME;
    const shortcutMade = NativeUtil.createDesktopShortcut(gAppNameCn, appPath, "", iconPath);
    NativeUtil.log("create desktop shortcut: " + (shortcutMade ? "success" : "failed"));
    recordLaunchers(record);
    writeUninstallRegistration(installDir, record);
    await showProgress(100, updating ? "更新完成" : "安装完成");
    if (updating) {
      NativeUtil.launch(appPath, installDir, "");
      session.closeWindow();
      return;
    }

    installBtn.textContent = "打开";
    installBtn.disabled = false;
    installAction = () => {
      NativeUtil.launch(appPath, installDir, "");
      session.closeWindow();
    };
  } catch (error) {
    showError("安装失败：" + errorText(error));
    await showProgress(0, "安装失败");
    dirGroup.style.display = "";
    installerWindow.classList.add("failed");
    changeDirBtn.disabled = false;
    installBtn.textContent = "重新安装";
    installBtn.disabled = false;
    installAction = runInstall;
  }
}

function openLicense(event) {
  event.preventDefault();
  if (session.closing) return;
  const [x, y, w, h] = Window.this.box("xywh", "border", "screen");
  Window.this.modal({
    url: new URL("license.html", document.baseURI).href,
    x: x + Math.round((w - LICENSE_WIDTH) / 2),
    y: y + Math.round((h - LICENSE_HEIGHT) / 2),
    width: LICENSE_WIDTH,
    height: LICENSE_HEIGHT,
    resizable: true,
  });
}

async function changeInstallDir() {
  if (session.closing) return;
  const chosen = await Window.this.selectFolder({ caption: "请选择安装目录", path: installDirField.value });
  if (chosen) showInstallDir(installDirFromChoice(chosen));
}

// A long path shows its end ("…/Tidewell"); the tooltip holds all of it.
function showInstallDir(folder) {
  installDirField.value = folder;
  createTooltip(installDirField, folder);
  installDirField.scrollLeft = installDirField.scrollWidth;
}

// An existing installation is updated where it is: another folder would
// leave two copies, and the registration would lose the first.
function startingInstallDir() {
  const registered = registeredValue("InstallLocation");
  if (!isInstallation(registered)) return defaultInstallDir();
  NativeUtil.log("existing installation: " + registered, TAG);
  document.getElementById("existingHint").hidden = false;
  return registered;
}

// The installation an update is for: the folder its record names, when that
// still holds the application; null when this is no update.
function updateRequest() {
  const words = String(NativeUtil.arguments()).split(" ");
  if (!words.includes("--update")) return null;
  const record = InstallRecord.read(recordFile());
  if (!record || !isInstallation(record.installDir)) {
    NativeUtil.log("update: no recorded installation, installing as usual", TAG);
    return null;
  }
  const after = words.find((word) => word.startsWith("--after="));
  return { installDir: record.installDir, pid: after ? after.slice("--after=".length) : "" };
}

async function runUpdate(request) {
  updating = true;
  NativeUtil.log("update " + request.installDir + " to version " + gAppVersion, TAG);
  document.title = gAppNameCn + "更新";
  showInstallDir(request.installDir);
  installBtn.disabled = true;
  changeDirBtn.disabled = true;
  dirGroup.style.display = "none";
  progressArea.classList.add("active");
  progress.set(0, "正在等待" + gAppNameCn + "退出...");
  const running = () => request.pid && NativeUtil.getProcessIDList(APP_EXE_NAME).split(",").includes(request.pid);
  for (let waited = 0; running() && waited < APP_EXIT_WAIT_MS; waited += APP_EXIT_POLL_MS) {
    await session.wait(APP_EXIT_POLL_MS);
  }
  // As the user left it: a refused run leaves the page ready for another.
  installBtn.disabled = false;
  changeDirBtn.disabled = false;
  dirGroup.style.display = "";
  await runInstall();
}

document.getElementById("installerTitle").textContent = gAppNameCn;
document.title = gAppNameCn + "安装向导";
const update = updateRequest();
if (update) runUpdate(update);
else showInstallDir(startingInstallDir());

document.getElementById("closeBtn").addEventListener("click", () => session.closeWindow());
document.getElementById("licenseLink").addEventListener("click", openLicense);
changeDirBtn.addEventListener("click", changeInstallDir);
installBtn.addEventListener("click", () => {
  if (!installBtn.disabled) installAction();
});
