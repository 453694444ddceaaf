// The uninstaller: empties and removes the default install folder, then the
// desktop shortcut and the uninstall registration.
import * as sys from "@sys";
import { gAppNameEn, gAppNameCn, UninstallRegistry, APP_EXE_NAME, SHORTCUT_SUFFIX } from "/common/js/constants.js";
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
const ENTRY_PAUSE_MS = 10;

const session = new PageSession();
const progress = new ProgressView();
const installDir = defaultInstallDir();
const infoGroup = document.getElementById("infoGroup");
const progressArea = document.getElementById("progressArea");
const unstallBtn = document.getElementById("unstallBtn");

let finished = false;

async function showProgress(percent, tip, delay) {
  if (session.closing) return;
  progress.set(percent, tip);
  if (delay > 0) await session.wait(delay);
}

async function deleteContents(folder, onFileRemoved) {
  const dir = normalisePath(folder);
  const entries = sys.fs.sync.readdir(dir);
  if (!entries) return;
  for (const entry of entries) {
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
    await session.wait(ENTRY_PAUSE_MS);
  }
}

function removeDesktopShortcut() {
  try {
    const desktop = NativeUtil.getDesktopPath();
    if (!desktop) return;
    const shortcut = normalisePath(desktop) + "/" + gAppNameCn + SHORTCUT_SUFFIX;
    if (pathExists(shortcut)) NativeUtil.removeFile(shortcut);
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
    } else {
      const total = countFiles(installDir);
      let removed = 0;
      await deleteContents(installDir, () => {
        removed += 1;
        if (total > 0) showProgress(5 + Math.floor((removed / total) * 80), "正在删除文件 (" + removed + "/" + total + ")...", 0);
      });
    }
    await showProgress(90, "正在清理残留项...", 300);
    if (removeShortcut) removeDesktopShortcut();
    if (removeRegistry) removeRegistration();
    if (pathExists(installDir)) NativeUtil.removeDir(installDir);
    // A file that could not be deleted keeps the folder: that is a failed
    // run, which the user may retry, not a finished one.
    if (pathExists(installDir)) throw new Error("无法删除安装目录：" + installDir);
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
