// Startup items: what starts with the session, each removable after a confirmation.
import { escapeHtml } from "/common/js/tooltip.js";
import { showError, showSuccess } from "/common/js/toast.js";
import { addHistory, confirmDialog, listOf, reportEvent } from "/common/js/appkit.js";
import { t } from "/common/js/i18n.js";

const $ = (id) => document.getElementById(id);

class Startup {
  constructor() {
    this.items = [];
    $("startupList").addEventListener("click", (event) => {
      const button = event.target.closest("[data-remove]");
      if (button) this.remove(this.items[Number(button.dataset.remove)]);
    });
    $("startupRefreshBtn").addEventListener("click", () => this.load());
  }

  activate() {
    this.load();
  }

  load() {
    this.items = listOf(NativeUtil.getStartupItems());
    $("startupList").innerHTML = this.items.length
      ? this.items.map((item, i) => this.card(item, i)).join("")
      : `<div class="empty-note">${escapeHtml(t("startup.none"))}</div>`;
    const missing = this.items.filter((item) => item.missing).length;
    $("startupCount").textContent = t(missing ? "startup.countMissing" : "startup.count", { n: this.items.length, missing });
  }

  // An entry by its own name; one whose program is gone says so and can be
  // removed. Another disabled entry is a mask over a system one: removing it
  // would turn that back on.
  card(item, i) {
    const title = item.title || item.name;
    const state = item.missing
      ? `<span class="badge warn">${escapeHtml(t("startup.gone"))}</span>`
      : `<span class="badge${item.enabled === false ? " gray" : ""}">${escapeHtml(t(item.enabled === false ? "startup.disabled" : "startup.enabled"))}</span>`;
    const desc = item.missing && item.program ? t("startup.missingProgram", { program: item.program, command: item.command }) : item.command;
    const removable = item.enabled !== false || item.missing;
    return (
      `<div class="item-card">` +
      `<div class="item-main"><div class="item-name ellipsis" title="${escapeHtml(item.name)}">${escapeHtml(title)}${state}` +
      `<span class="badge gray">${escapeHtml(t(item.scope === "machine" ? "startup.allUsers" : "startup.thisUser"))}</span></div>` +
      `<div class="item-desc ellipsis" title="${escapeHtml(desc)}">${escapeHtml(desc)}</div></div>` +
      (removable ? `<button class="btn btn-ghost btn-sm" data-remove="${i}">${escapeHtml(t("startup.remove"))}</button>` : "") +
      `</div>`
    );
  }

  async remove(item) {
    if (!item) return;
    const title = item.title || item.name;
    const ok = await confirmDialog({
      title: t("startup.removeTitle"),
      message: t("startup.removeQuestion", { title }),
      detail: t(item.missing ? "startup.removeLeftover" : "startup.removeDetail"),
      confirmText: t("startup.remove"),
    });
    if (!ok) return;
    if (NativeUtil.removeStartupItem(item.type, item.location, item.name)) {
      showSuccess(t("startup.removed", { title }));
      addHistory("startup", 1, 0);
      reportEvent("remove_startup", { scope: item.scope, type: item.type });
    } else {
      showError(t(item.scope === "machine" ? "startup.removeNeedsAdmin" : "startup.removeFailed", { title }));
    }
    this.load();
  }

  refresh() {
    this.load();
  }
}

let instance = null;
export function startup() {
  if (!instance) instance = new Startup();
  return instance;
}
