// Floating tooltips for every element with a "data-tooltip" attribute.

const SHOW_DELAY_MS = 300;
const HIDE_DELAY_MS = 150;
const MARGIN = 8;

let tooltip = null;
let showTimer = 0;
let hideTimer = 0;
let owner = null;
const bound = new WeakSet();

export function escapeHtml(value) {
  return String(value)
    .replace(/&/g, "&amp;")
    .replace(/</g, "&lt;")
    .replace(/>/g, "&gt;")
    .replace(/"/g, "&quot;")
    .replace(/'/g, "&#039;");
}

function tooltipElement() {
  if (!tooltip || !tooltip.isConnected) {
    tooltip = document.createElement("div");
    tooltip.className = "custom-tooltip";
    document.body.appendChild(tooltip);
  }
  return tooltip;
}

function cancelShow() {
  clearTimeout(showTimer);
  showTimer = 0;
}

function hide(immediately) {
  if (!tooltip) return;
  clearTimeout(hideTimer);
  hideTimer = 0;
  if (immediately) {
    tooltip.classList.remove("show");
    tooltip.innerHTML = "";
    owner = null;
    return;
  }
  hideTimer = setTimeout(() => {
    hideTimer = 0;
    tooltip.classList.remove("show");
    owner = null;
  }, HIDE_DELAY_MS);
}

function place(tip, element) {
  const rect = element.getBoundingClientRect();
  const tipHeight = tip.offsetHeight;
  const tipWidth = tip.offsetWidth;
  const viewportWidth = window.innerWidth;
  const spaceBelow = window.innerHeight - rect.bottom;
  const spaceAbove = rect.top;
  let top;
  if (spaceBelow >= tipHeight + MARGIN || spaceBelow >= spaceAbove) {
    top = rect.bottom + MARGIN;
    tip.classList.add("pos-bottom");
    tip.classList.remove("pos-top");
  } else {
    top = rect.top - tipHeight - MARGIN;
    tip.classList.add("pos-top");
    tip.classList.remove("pos-bottom");
  }
  let left = rect.left + rect.width / 2 - tipWidth / 2;
  if (left < MARGIN) left = MARGIN;
  else if (left > viewportWidth - tipWidth - MARGIN) left = viewportWidth - tipWidth - MARGIN;
  tip.style.top = top + "px";
  tip.style.left = left + "px";
}

function show(element) {
  const text = (element.getAttribute("data-tooltip") || "").trim();
  if (!text) {
    hide(false);
    return;
  }
  cancelShow();
  clearTimeout(hideTimer);
  hideTimer = 0;
  const tip = tooltipElement();
  tip.innerHTML = escapeHtml(text);
  tip.classList.remove("show");
  place(tip, element);
  tip.classList.add("show");
  owner = element;
}

function bind(element) {
  bound.add(element);
  element.addEventListener("mouseenter", () => {
    cancelShow();
    showTimer = setTimeout(() => show(element), SHOW_DELAY_MS);
  });
  element.addEventListener("mouseleave", () => {
    cancelShow();
    if (owner === element) hide(false);
  });
}

export function bindAll() {
  for (const element of document.querySelectorAll("[data-tooltip]")) {
    if (!bound.has(element)) bind(element);
  }
}

export function createTooltip(element, text) {
  element.setAttribute("data-tooltip", text);
  if (!bound.has(element)) bind(element);
}

const initialisedDocuments = new WeakSet();

function init() {
  NativeUtil.log("tooltip init");
  if (initialisedDocuments.has(document)) return;
  initialisedDocuments.add(document);
  bindAll();
  if (typeof MutationObserver === "function" && document.body) {
    new MutationObserver((records) => {
      if (records.some((r) => r.addedNodes.length || r.removedNodes.length)) bindAll();
    }).observe(document.body, { childList: true, subtree: true });
  }
  document.addEventListener("click", () => hide(true), true);
  window.addEventListener("scroll", () => hide(true), true);
  window.addEventListener("resize", () => hide(true));
}

NativeUtil.log("tooltip script tag");
if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", init, { once: true });
else init();
