// Short messages that slide in at the top of the window.
import { escapeHtml } from "/common/js/tooltip.js";

const REMOVE_DELAY_MS = 300;

const ICON_PATHS = {
  info: "M11 7h2v2h-2zm0 4h2v6h-2zm1-9C6.48 2 2 6.48 2 12s4.48 10 10 10 10-4.48 10-10S17.52 2 12 2zm0 18c-4.41 0-8-3.59-8-8s3.59-8 8-8 8 3.59 8 8-3.59 8-8 8z",
  success:
    "M16.59 7.58L10 14.17l-3.59-3.58L5 12l5 5 8-8zM12 2C6.48 2 2 6.48 2 12s4.48 10 10 10 10-4.48 10-10S17.52 2 12 2zm0 18c-4.42 0-8-3.58-8-8s3.58-8 8-8 8 3.58 8 8-3.58 8-8 8z",
  warning: "M12 5.99L19.53 19H4.47L12 5.99M12 2L1 21h22L12 2zm1 14h-2v2h2v-2zm0-6h-2v4h2v-4z",
  error:
    "M11 15h2v2h-2zm0-8h2v6h-2zm.99-5C6.47 2 2 6.48 2 12s4.47 10 9.99 10C17.52 22 22 17.52 22 12S17.52 2 11.99 2zM12 20c-4.42 0-8-3.58-8-8s3.58-8 8-8 8 3.58 8 8-3.58 8-8 8z",
};

let container = null;

function attach(element) {
  if (document.body) document.body.appendChild(element);
  else document.addEventListener("DOMContentLoaded", () => document.body.appendChild(element), { once: true });
}

function toastContainer() {
  if (!container || (!container.isConnected && document.body)) {
    container = document.createElement("div");
    container.className = "toast-container";
    attach(container);
  }
  return container;
}

function removeToast(toast) {
  toast.classList.remove("show");
  setTimeout(() => toast.remove(), REMOVE_DELAY_MS);
}

// The close button's tooltip: the installer's word unless a page sets its own.
let closeLabel = "关闭";
export function setToastCloseLabel(text) {
  closeLabel = String(text);
}

export function showToast(message, type = "info", duration = 3000) {
  const toast = document.createElement("div");
  toast.className = "toast toast-" + type;
  const icon = ICON_PATHS[type] || ICON_PATHS.info;
  toast.innerHTML =
    `<div class="toast-icon"><svg viewBox="0 0 24 24" width="24" height="24"><path d="${icon}"/></svg></div>` +
    `<div class="toast-message">${escapeHtml(String(message))}</div>` +
    `<button class="toast-close" data-tooltip="${escapeHtml(closeLabel)}">×</button>`;
  toastContainer().appendChild(toast);
  void toast.offsetHeight; // the entry transition needs the hidden state laid out first
  toast.classList.add("show");
  let timer = 0;
  if (duration > 0) timer = setTimeout(() => removeToast(toast), duration);
  toast.querySelector(".toast-close").addEventListener("click", () => {
    clearTimeout(timer);
    removeToast(toast);
  });
  return toast;
}

export const showInfo = (message, duration) => showToast(message, "info", duration);
export const showSuccess = (message, duration) => showToast(message, "success", duration);
export const showWarning = (message, duration) => showToast(message, "warning", duration);
export const showError = (message, duration) => showToast(message, "error", duration);
