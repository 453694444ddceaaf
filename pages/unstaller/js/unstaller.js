// The uninstaller: empties and removes the installation it belongs to, then
// the desktop shortcut and the uninstall registration.
import * as env from "@env";
import * as sys from "@sys";
import {
  gAppNameEn,
  gAppNameCn,
  UninstallRegistry,
  APP_EXE_NAME,
  UNSTALLER_EXE_NAME,
  SHORTCUT_SUFFIX,
  IS_WINDOWS,
} from "/common/js/constants.js";
import "/common/js/tooltip.js";
import { showWarning, showError } from "/common/js/toast.js";
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
const HKEY_LOCAL_MACHINE = 0x80000002 | 0;
// The programs go last, the uninstaller at the very end, so that a run cut
// short leaves a launcher that still starts and an uninstaller to finish it.
const LAST_REMOVED = [APP_EXE_NAME, UNSTALLER_EXE_NAME];

const session = new PageSession();
const progress = new ProgressView();
const installDir = findInstallDir();
// Decided once, at load: the application's own file goes during a run, and a
// retry after a failed run must still finish the same folder.
const removable = isInstallation(installDir);
const infoGroup = document.getElementById("infoGroup");
const progressArea = document.getElementById("progressArea");
const unstallBtn = document.getElementById("unstallBtn");

let finished = false;

// A folder is an installation only when it holds the application, and is
// never the home folder, a folder above it or a file-system root.
function isInstallation(folder) {
  if (!folder) return false;
  const real = sys.fs.sync.realpath(normalisePath(folder));
  if (!real || real === "/" || /^[A-Za-z]:\/?$/.test(real)) return false;
  const home = sys.fs.sync.realpath(normalisePath(env.path("home")));
  if (home && (home === real || home.startsWith(real + "/"))) return false;
  return pathExists(normalisePath(folder) + "/" + APP_EXE_NAME);
}

// The folder this uninstaller runs from when it is an installation, else the
// registration's install location, else the default folder. The default
// folder is shown even when it is none; the run then deletes nothing there.
function findInstallDir() {
  const own = NativeUtil.processFolder();
  if (isInstallation(own)) return own;
  const registered = NativeUtil.getRegistryStringValue(
    HKEY_LOCAL_MACHINE,
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + gAppNameEn,
    "InstallLocation",
  );
  if (isInstallation(registered)) return registered;
  return defaultInstallDir();
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

// The desktop launcher and, where the installer added one, its twin in the
// application menu ($XDG_DATA_HOME/applications).
function removeDesktopShortcut() {
  try {
    const desktop = NativeUtil.getDesktopPath();
    const menu = IS_WINDOWS ? "" : normalisePath(env.path("appdata")) + "/applications";
    for (const folder of [desktop, menu]) {
      if (!folder) continue;
      const shortcut = normalisePath(folder) + "/" + gAppNameCn + SHORTCUT_SUFFIX;
      if (pathExists(shortcut)) NativeUtil.removeFile(shortcut);
    }
  } catch (error) {
    NativeUtil.log("remove desktop shortcut failed: " + errorText(error), TAG);
  }
}

function removeRegistration() {
  try {
    NativeUtil.removeRegistryKey(UninstallRegistry + "\\" + gAppNameEn);
  } catch (error) {
    NativeUtil.log("remove registry failed: " + errorText(error), TAG);
  }
}

async function runUninstall() {
  NativeUtil.log("start run unstall", TAG);
  if (NativeUtil.isProcessRunning(APP_EXE_NAME)) {
    showWarning("主程序正在运行，请先退出主程序，再进行卸载。");
    return;
  }
  unstallBtn.disabled = true;
  infoGroup.style.display = "none";
  progressArea.classList.add("active");
  const removeShortcut = document.getElementById("removeShortcut").checked;
  const removeRegistry = document.getElementById("removeRegistry").checked;
  try {
    await showProgress(5, "正在扫描安装目录...", 300);
    if (!pathExists(installDir)) {
      NativeUtil.log("install dir not found: " + installDir, TAG);
    } else if (!removable) {
      NativeUtil.log("no " + APP_EXE_NAME + " in " + installDir + ": not an installation, left in place", TAG);
    } else {
      const total = countFiles(installDir);
      let removed = 0;
      await deleteContents(installDir, () => {
        removed += 1;
        if (total > 0) showProgress(5 + Math.floor((removed / total) * 80), "正在删除文件 (" + removed + "/" + total + ")...", 0);
      }, true);
      if (session.closing) return;
    }
    await showProgress(90, "正在清理残留项...", 300);
    if (removeShortcut) removeDesktopShortcut();
    if (removeRegistry) removeRegistration();
    if (removable && pathExists(installDir)) {
      NativeUtil.removeDir(installDir);
      // A file that could not be deleted keeps the folder: that is a failed
      // run, which the user may retry, not a finished one.
      if (pathExists(installDir)) throw new Error("无法删除安装目录：" + installDir);
    }
    await showProgress(100, "卸载完成", 300);
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
