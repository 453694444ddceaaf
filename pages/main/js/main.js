// The application's first page: what this machine is and where we live.
import { gAppNameCn, gAppVersion, UNSTALLER_EXE_NAME, PATH_SEPARATOR } from "/common/js/constants.js";
import "/common/js/tooltip.js";
import { showError } from "/common/js/toast.js";

const installFolder = NativeUtil.processFolder();

document.title = gAppNameCn;
document.getElementById("osName").textContent = NativeUtil.OS();
document.getElementById("cpuArch").textContent = NativeUtil.cpuArchitecture();
document.getElementById("kernel").textContent = NativeUtil.kernelType() + " " + NativeUtil.kernelVersion();
document.getElementById("installFolder").textContent = installFolder;
document.getElementById("version").textContent = "版本 " + gAppVersion;

// The tray icon brings the window back after it is closed to the tray; its
// menu's "退出潮井" ends the application.
NativeUtil.setTrayIcon();
document.onGlobalEvent("NATIVE_EXIT_APP", () => Window.this.close());

document.getElementById("closeBtn").addEventListener("click", () => Window.this.close());
document.getElementById("uninstallBtn").addEventListener("click", () => {
  const uninstaller = installFolder + PATH_SEPARATOR + UNSTALLER_EXE_NAME;
  if (!NativeUtil.launch(uninstaller, installFolder, "")) {
    showError("无法启动卸载程序：" + uninstaller);
    return;
  }
  // The uninstaller refuses to run while this program does: make way for it.
  Window.this.close();
});
