// The shortcuts window: the keys of the main window's actions, each
// changeable to a free function key. Escape stays fixed.
import "/common/js/tooltip.js";
import { escapeHtml } from "/common/js/tooltip.js";
import { showSuccess, showWarning } from "/common/js/toast.js";
import { HOTKEY_ACTIONS, keyName, readHotkeys, reportEvent, writeHotkeys } from "/common/js/appkit.js";
import { t } from "/common/js/i18n.js";

const $ = (id) => document.getElementById(id);
let keys = readHotkeys();
let listening = null;

function show() {
  $("keyRows").innerHTML =
    HOTKEY_ACTIONS.map(
      ({ action, label }) =>
        `<tr><td>${escapeHtml(label)}</td><td><button class="key-cap${listening === action ? " listening" : ""}" data-action="${action}">` +
        `${listening === action ? t("hotkey.press") : keyName(keys[action])}</button></td></tr>`,
    ).join("") + `<tr><td>${t("hotkey.closeDialog")}</td><td><span class="key-cap">Esc</span></td></tr>`;
}

$("keyRows").addEventListener("click", (event) => {
  const cap = event.target.closest("[data-action]");
  if (!cap) return;
  listening = listening === cap.dataset.action ? null : cap.dataset.action;
  show();
});

function isFunctionKey(code) {
  return code >= VirtualKey.F1 && code <= VirtualKey.F12;
}

document.addEventListener("keydown", (event) => {
  const code = event.keyCode;
  if (!listening) {
    if (code === VirtualKey.ESC) Window.this.close();
    return;
  }
  event.preventDefault();
  if (code === VirtualKey.ESC) {
    listening = null;
    show();
    return;
  }
  if (!isFunctionKey(code)) {
    showWarning(t("hotkey.onlyFunctionKeys"));
    return;
  }
  const taken = Object.keys(keys).find((a) => a !== listening && keys[a] === code);
  if (taken) {
    // Two actions never share a key: the other one takes this action's old key.
    keys[taken] = keys[listening];
  }
  keys[listening] = code;
  writeHotkeys(keys);
  reportEvent("hotkey_changed", { action: listening });
  showSuccess(t("hotkey.set", { key: keyName(code) }));
  listening = null;
  show();
});

$("resetBtn").addEventListener("click", () => {
  keys = {};
  for (const { action, key } of HOTKEY_ACTIONS) keys[action] = VirtualKey[key];
  writeHotkeys(keys);
  listening = null;
  show();
  showSuccess(t("hotkey.restored"));
});
$("closeBtn").addEventListener("click", () => Window.this.close());
$("doneBtn").addEventListener("click", () => Window.this.close());

show();
