// The tray icon's menu. While it is shown, a click anywhere outside it
// closes it. Its entries ask the main window, through events posted to every
// window, to show itself or to show itself and measure; the last one ends
// the application. A change of language reads the menu anew.
import "/common/js/i18n.js";

function hideMenu() {
  if (document.visibilityState !== "visible") return;
  NativeUtil.disableMenuOutsideClickClose();
  Window.this.xcall("hideFromTaskBar");
}

function ask(name) {
  hideMenu();
  Window.post(new CustomEvent(name));
}

document.addEventListener("visibilitychange", () => {
  if (document.visibilityState !== "visible") return;
  const [x, y, width, height] = Window.this.box("xywh", "border", "screen");
  NativeUtil.enableMenuOutsideClickClose(x, y, width, height);
});

document.onGlobalEvent("NATIVE_MENU_OUTSIDE_CLICK", hideMenu);
document.onGlobalEvent("APP_LANGUAGE", () => location.reload());
document.getElementById("showMain").addEventListener("click", () => ask("APP_SHOW_MAIN"));
document.getElementById("scanNow").addEventListener("click", () => ask("APP_SCAN"));
document.getElementById("exitApp").addEventListener("click", () => {
  NativeUtil.disableMenuOutsideClickClose();
  NativeUtil.exitApp();
});
