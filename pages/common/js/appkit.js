// Pieces the application's windows share: sizes and times in words, service
// answers read safely, the confirmation dialog, the busy state, usage events
// and the cleaning history kept with the settings.
import { escapeHtml } from "/common/js/tooltip.js";

const UNITS = ["B", "KB", "MB", "GB", "TB", "PB"];

export function formatBytes(bytes) {
  let value = Math.max(0, Number(bytes) || 0);
  let unit = 0;
  while (value >= 1024 && unit < UNITS.length - 1) {
    value /= 1024;
    unit += 1;
  }
  if (unit === 0) return Math.round(value) + " B";
  return (value >= 100 ? value.toFixed(0) : value >= 10 ? value.toFixed(1) : value.toFixed(2)) + " " + UNITS[unit];
}

const pad = (n) => String(n).padStart(2, "0");

export function formatTime(seconds) {
  const d = new Date(Number(seconds) * 1000);
  return `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())} ${pad(d.getHours())}:${pad(d.getMinutes())}`;
}

// A JSON answer of the service object, or the fallback when it is not JSON.
export function parseAnswer(text, fallback = null) {
  try {
    const value = JSON.parse(String(text));
    return value === null || value === undefined ? fallback : value;
  } catch (error) {
    return fallback;
  }
}

// The "list" array of a {"list": [...]} answer; empty on any failure.
export function listOf(text) {
  const value = parseAnswer(text);
  return value && Array.isArray(value.list) ? value.list : [];
}

export function folderOf(path) {
  const text = String(path);
  const cut = text.lastIndexOf("/");
  return cut > 0 ? text.slice(0, cut) : "/";
}

// Lets the browser paint what was just changed before a synchronous call
// holds the page.
export function nextPaint() {
  return new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(() => setTimeout(resolve, 0))));
}

let busyDepth = 0;

function busyElement() {
  let element = document.getElementById("busyOverlay");
  if (!element) {
    element = document.createElement("div");
    element.id = "busyOverlay";
    element.className = "busy-overlay";
    element.innerHTML =
      '<div class="busy-card"><div class="spinner"></div><div class="busy-body"><div class="busy-text"></div>' +
      '<div class="bar busy-bar" hidden><div class="bar-fill"></div></div></div>' +
      '<button class="btn btn-ghost btn-sm busy-stop" hidden>停止</button></div>';
    document.body.appendChild(element);
  }
  return element;
}

// Shows the busy state, lets it paint, then runs work (which may block).
// With stop, a 停止 button calls it (once) while the work runs.
export async function withBusy(text, work, stop = null) {
  const element = busyElement();
  element.querySelector(".busy-text").textContent = text;
  element.querySelector(".busy-bar").hidden = true;
  const button = element.querySelector(".busy-stop");
  button.hidden = !stop;
  button.disabled = false;
  button.textContent = "停止";
  button.onclick = stop
    ? () => {
        button.disabled = true;
        button.textContent = "正在停止…";
        stop();
      }
    : null;
  busyDepth += 1;
  element.classList.add("show");
  await nextPaint();
  try {
    return await work();
  } finally {
    busyDepth -= 1;
    if (busyDepth === 0) {
      element.classList.remove("show");
      button.hidden = true;
      button.onclick = null;
    }
  }
}

// Tells how far the running work has come: fraction from 0 to 1.
export function busyProgress(text, fraction) {
  const element = busyElement();
  element.querySelector(".busy-text").textContent = text;
  const bar = element.querySelector(".busy-bar");
  bar.hidden = false;
  bar.firstChild.style.width = Math.round(Math.min(1, Math.max(0, fraction)) * 100) + "%";
}

export function isBusy() {
  return busyDepth > 0;
}

let openDialog = null;

// A confirmation in the window's own style; resolves true on confirm. The
// safe answer has the focus, so Enter cancels; Escape cancels too.
// With alternativeText a second choice is offered, answered "alternative".
// choices: further buttons before the confirming one, [{ text, answer }];
// a click resolves with its answer.
export function confirmDialog({ title, message, detail = "", confirmText = "确定", danger = true, alternativeText = "", choices = [] }) {
  if (openDialog) openDialog.finish(false);
  return new Promise((resolve) => {
    const overlay = document.createElement("div");
    overlay.className = "dialog-overlay";
    overlay.innerHTML =
      `<div class="dialog${choices.length ? " wide" : ""}" role="dialog">` +
      `<div class="dialog-title">${escapeHtml(title)}</div>` +
      `<div class="dialog-message">${escapeHtml(message)}</div>` +
      (detail ? `<div class="dialog-detail">${escapeHtml(detail)}</div>` : "") +
      `<div class="dialog-actions">` +
      `<button class="btn btn-ghost" data-answer="no">取消</button>` +
      (alternativeText ? `<button class="btn btn-danger" data-answer="alternative">${escapeHtml(alternativeText)}</button>` : "") +
      choices.map((c) => `<button class="btn btn-ghost" data-answer="${escapeHtml(c.answer)}">${escapeHtml(c.text)}</button>`).join("") +
      `<button class="btn ${danger ? "btn-danger" : "btn-primary"}" data-answer="yes">${escapeHtml(confirmText)}</button>` +
      `</div></div>`;
    const finish = (answer) => {
      if (openDialog !== dialog) return;
      openDialog = null;
      overlay.remove();
      resolve(answer);
    };
    const dialog = { finish };
    openDialog = dialog;
    overlay.addEventListener("click", (event) => {
      const button = event.target.closest("[data-answer]");
      const answer = button && button.dataset.answer;
      if (button) finish(answer === "yes" ? true : answer === "no" ? false : answer);
    });
    overlay.addEventListener("keydown", (event) => {
      if (event.key !== "Escape") return;
      event.preventDefault();
      event.stopPropagation();
      finish(false);
    });
    document.body.appendChild(overlay);
    overlay.querySelector('[data-answer="no"]').focus();
  });
}

// Escape closes whatever dialog is open; true when there was one.
export function dismissDialog() {
  if (!openDialog) return false;
  openDialog.finish(false);
  return true;
}

// A failed service call in the user's words; the service's own text goes
// to the log. what names the call, as in "check update".
const SERVICE_PROBLEMS = [
  [/network disconnected/i, "网络未连接，请连接网络后重试。"],
  [/request timeout|timed out|stalled/i, "连接服务器超时，请稍后重试。"],
  [/ssl|tls|certificate|handshake/i, "无法与服务器建立安全连接，请检查系统时间和网络设置。"],
  [/server replied|not found|forbidden|internal server error|service unavailable|bad gateway/i, "服务器暂时无法提供所需的内容，请稍后重试。"],
  [/save file failed/i, "无法保存下载的文件，请检查磁盘空间和文件夹权限。"],
  [/unreachable|refused|host .*not found|network|connection|proxy/i, "无法连接服务器，请检查网络后重试。"],
];

export function serviceProblem(what, detail) {
  const text = String(detail ?? "");
  NativeUtil.log(`${what} failed: ${text}`, "app");
  const known = SERVICE_PROBLEMS.find(([pattern]) => pattern.test(text));
  return known ? known[1] : "服务暂时不可用，请稍后重试。";
}

// Usage events: what was done and how much, never a path or a name. They go
// out only once the user has turned them on.
export function usageStatsOn() {
  return NativeUtil.getSetting("usageStats", "0") === "1";
}

export function reportEvent(event, values = {}) {
  try {
    if (!usageStatsOn()) return;
    NativeUtil.reportEvent(JSON.stringify({ event, ...values, time: NativeUtil.getSecondsSinceEpoch() }));
  } catch (error) {
    NativeUtil.log("report event failed: " + (error && error.message), "app");
  }
}

// The cleaning history: newest last, kept in the settings store.
export const HISTORY_KEY = "cleanHistory";
const HISTORY_LIMIT = 500;

export const HISTORY_KINDS = {
  largeFiles: "大文件清理",
  duplicates: "重复文件清理",
  privacy: "系统清理",
  startup: "移除启动项",
};

export function readHistory() {
  const entries = parseAnswer(NativeUtil.getSetting(HISTORY_KEY, "[]"), []);
  return Array.isArray(entries) ? entries.filter((e) => e && typeof e === "object") : [];
}

// extra: { record, mode } of a cleaning the native side recorded for an undo.
export function addHistory(kind, count, bytes, failed = 0, extra = {}) {
  const entries = readHistory();
  entries.push({ time: NativeUtil.getSecondsSinceEpoch(), kind, count, bytes, failed, ...extra });
  NativeUtil.setSetting(HISTORY_KEY, JSON.stringify(entries.slice(-HISTORY_LIMIT)));
}

// Sets values on the entry of the record given.
export function markHistory(record, values) {
  const entries = readHistory().map((e) => (e.record === record ? { ...e, ...values } : e));
  NativeUtil.setSetting(HISTORY_KEY, JSON.stringify(entries));
}

export function clearHistory() {
  NativeUtil.setSetting(HISTORY_KEY, "[]");
  NativeUtil.clearCleaningRecords();
}

// Keyboard shortcuts: action → virtual-key code, changeable in the shortcuts window.
export const HOTKEY_KEY = "hotkeys";
export const HOTKEY_ACTIONS = [
  { action: "refresh", label: "重新扫描 / 刷新当前页", key: "F5" },
  { action: "shortcuts", label: "打开快捷键窗口", key: "F1" },
  { action: "history", label: "打开清理记录", key: "F3" },
  { action: "settings", label: "打开设置", key: "F9" },
];

export function keyName(code) {
  if (code === VirtualKey.ESC) return "Esc";
  for (let n = 1; n <= 12; n++) if (code === VirtualKey["F" + n]) return "F" + n;
  return "";
}

export function readHotkeys() {
  const stored = parseAnswer(NativeUtil.getSetting(HOTKEY_KEY, "{}"), {});
  const keys = {};
  for (const { action, key } of HOTKEY_ACTIONS) {
    const code = stored && Number.isInteger(stored[action]) ? stored[action] : VirtualKey[key];
    keys[action] = keyName(code) ? code : VirtualKey[key];
  }
  return keys;
}

export function writeHotkeys(keys) {
  NativeUtil.setSetting(HOTKEY_KEY, JSON.stringify(keys));
}
