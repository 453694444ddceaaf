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
      ? this.items
          .map(
            (item, i) =>
              `<div class="item-card">` +
              `<div class="item-main"><div class="item-name ellipsis">${escapeHtml(item.name)}` +
              `<span class="badge${item.enabled === false ? " gray" : ""}">${item.enabled === false ? "已禁用" : "已启用"}</span>` +
              `<span class="badge gray">${item.scope === "machine" ? "所有用户" : "当前用户"}</span></div>` +
              `<div class="item-desc ellipsis" title="${escapeHtml(item.command)}">${escapeHtml(item.command)}</div></div>` +
              // A disabled entry is a mask over a system one: removing it would turn it back on.
              (item.enabled === false ? "" : `<button class="btn btn-ghost btn-sm" data-remove="${i}">移除</button>`) +
              `</div>`,
          )
          .join("")
      : '<div class="empty-note">没有随系统启动的程序</div>';
    $("startupCount").textContent = `共 ${this.items.length} 个启动项`;
  }

  async remove(item) {
    if (!item) return;
    const ok = await confirmDialog({
      title: "移除启动项",
      message: `确定要移除启动项“${item.name}”吗？`,
      detail: "移除后该程序不会再在登录时自动启动，程序本身不会被删除。",
      confirmText: "移除",
    });
    if (!ok) return;
    if (NativeUtil.removeStartupItem(item.type, item.location, item.name)) {
      showSuccess(`已移除启动项“${item.name}”`);
      addHistory("startup", 1, 0);
      reportEvent("remove_startup", { scope: item.scope, type: item.type });
    } else {
      showError(item.scope === "machine" ? `无法移除“${item.name}”：需要管理员权限` : `无法移除“${item.name}”`);
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
