// 启动项: what starts with the session, each removable after a confirmation.
import { escapeHtml } from "/common/js/tooltip.js";
import { showError, showSuccess } from "/common/js/toast.js";
import { addHistory, confirmDialog, listOf, reportEvent } from "/common/js/appkit.js";

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
      : '<div class="empty-note">没有随系统启动的程序</div>';
    const missing = this.items.filter((item) => item.missing).length;
    $("startupCount").textContent = `共 ${this.items.length} 个启动项` + (missing ? `，${missing} 个的程序已不存在` : "");
  }

  // An entry by its own name; one whose program is gone says so and can be
  // removed. Another disabled entry is a mask over a system one: removing it
  // would turn that back on.
  card(item, i) {
    const title = item.title || item.name;
    const state = item.missing
      ? '<span class="badge warn">程序已不存在</span>'
      : `<span class="badge${item.enabled === false ? " gray" : ""}">${item.enabled === false ? "已禁用" : "已启用"}</span>`;
    const desc = item.missing && item.program ? `找不到程序 ${item.program}（${item.command}）` : item.command;
    const removable = item.enabled !== false || item.missing;
    return (
      `<div class="item-card">` +
      `<div class="item-main"><div class="item-name ellipsis" title="${escapeHtml(item.name)}">${escapeHtml(title)}${state}` +
      `<span class="badge gray">${item.scope === "machine" ? "所有用户" : "当前用户"}</span></div>` +
      `<div class="item-desc ellipsis" title="${escapeHtml(desc)}">${escapeHtml(desc)}</div></div>` +
      (removable ? `<button class="btn btn-ghost btn-sm" data-remove="${i}">移除</button>` : "") +
      `</div>`
    );
  }

  async remove(item) {
    if (!item) return;
    const title = item.title || item.name;
    const ok = await confirmDialog({
      title: "移除启动项",
      message: `确定要移除启动项“${title}”吗？`,
      detail: item.missing
        ? "该启动项指向的程序已不存在，移除的只是这个残留的启动项。"
        : "移除后该程序不会再在登录时自动启动，程序本身不会被删除。",
      confirmText: "移除",
    });
    if (!ok) return;
    if (NativeUtil.removeStartupItem(item.type, item.location, item.name)) {
      showSuccess(`已移除启动项“${title}”`);
      addHistory("startup", 1, 0);
      reportEvent("remove_startup", { scope: item.scope, type: item.type });
    } else {
      showError(item.scope === "machine" ? `无法移除“${title}”：需要管理员权限` : `无法移除“${title}”`);
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
