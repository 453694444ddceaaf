// The tray icon's menu. While it is shown, a click anywhere outside it
// closes it; "退出潮井" ends the application.
function hideMenu() {
  if (document.visibilityState !== "visible") return;
  NativeUtil.disableMenuOutsideClickClose();
  Window.this.xcall("hideFromTaskBar");
}

document.addEventListener("visibilitychange", () => {
  if (document.visibilityState !== "visible") return;
  const [x, y, width, height] = Window.this.box("xywh", "border", "screen");
  NativeUtil.enableMenuOutsideClickClose(x, y, width, height);
});

document.onGlobalEvent("NATIVE_MENU_OUTSIDE_CLICK", hideMenu);
document.getElementById("hideMenu").addEventListener("click", hideMenu);
document.getElementById("exitApp").addEventListener("click", () => {
  NativeUtil.disableMenuOutsideClickClose();
  NativeUtil.exitApp();
});
