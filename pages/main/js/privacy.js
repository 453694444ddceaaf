// 隐私清理: the privacy categories with their sizes; the selected ones are
// cleaned, then measured again to tell what was freed and what stayed.
import { escapeHtml } from "/common/js/tooltip.js";
import { showError, showSuccess, showWarning } from "/common/js/toast.js";
import { addHistory, formatBytes, listOf, reportEvent, withBusy } from "/common/js/appkit.js";

const $ = (id) => document.getElementById(id);

export function measurePrivacy() {
  return listOf(NativeUtil.getPrivacyItems());
}

class Privacy {
  constructor() {
    this.items = [];
    this.selected = new Set();
    this.measured = false;
    $("privacyList").addEventListener("click", (event) => {
      const card = event.target.closest("[data-type]");
      if (!card) return;
      event.preventDefault();
      const type = card.dataset.type;
      if (this.selected.has(type)) this.selected.delete(type);
      else this.selected.add(type);
      this.render();
    });
    $("privacyRefreshBtn").addEventListener("click", () => this.measure());
    $("privacyCleanBtn").addEventListener("click", () => this.clean());
  }

  activate() {
    if (!this.measured) this.measure();
  }

  async measure() {
    const items = await withBusy("正在测量隐私痕迹…", () => measurePrivacy());
    this.show(items);
    $("privacyStatus").textContent = items.length
      ? `共发现 ${formatBytes(this.total(items))} 可清理的痕迹。`
      : "无法读取隐私项目。";
  }

  // Shows measured items; categories holding something start selected.
  show(items) {
    this.measured = true;
    this.items = items;
    this.selected = new Set(items.filter((i) => Number(i.size) > 0).map((i) => i.type));
    this.render();
  }

  total(items) {
    return items.reduce((s, i) => s + Number(i.size || 0), 0);
  }

  render() {
    $("privacyList").innerHTML = this.items.length
      ? this.items
          .map((item) => {
            const on = this.selected.has(item.type);
            return (
              `<div class="item-card${on ? " selected" : ""}" data-type="${escapeHtml(item.type)}">` +
              `<label class="check"><input type="checkbox" ${on ? "checked" : ""}><span></span></label>` +
              `<div class="item-main"><div class="item-name">${escapeHtml(item.name)}</div>` +
              `<div class="item-desc">${escapeHtml(item.description || "")}</div></div>` +
              `<div class="item-size">${Number(item.size) > 0 ? formatBytes(item.size) : "无"}</div></div>`
            );
          })
          .join("")
      : '<div class="empty-note">没有可显示的项目</div>';
    const chosen = this.items.filter((i) => this.selected.has(i.type));
    $("privacySelection").textContent = chosen.length
      ? `已选择 ${chosen.length} 项，共 ${formatBytes(this.total(chosen))}`
      : "未选择项目";
    $("privacyCleanBtn").disabled = !chosen.length;
  }

  async clean() {
    const types = this.items.filter((i) => this.selected.has(i.type)).map((i) => i.type);
    if (!types.length) return;
    const before = new Map(this.items.map((i) => [i.type, Number(i.size || 0)]));
    // False when something stayed: a file that could not go, a cache a
    // running browser holds, a folder replaced by a link meanwhile.
    let cleaned = true;
    const after = await withBusy("正在清理…", () => {
      cleaned = NativeUtil.cleanPrivacyItems(JSON.stringify(types)) === true;
      return measurePrivacy();
    });
    let freed = 0;
    let left = 0;
    for (const item of after) {
      if (!types.includes(item.type)) continue;
      freed += Math.max(0, (before.get(item.type) || 0) - Number(item.size || 0));
      left += Number(item.size || 0);
    }
    this.show(after);
    addHistory("privacy", types.length, freed, left > 0 || !cleaned ? 1 : 0);
    reportEvent("clean_privacy", { categories: types.join(","), bytes: freed, leftBytes: left });
    showSuccess(`已清理 ${types.length} 项，释放 ${formatBytes(freed)}`);
    if (left > 0) showWarning(`仍有 ${formatBytes(left)} 未能删除，可能正被其他程序使用`);
    else if (!cleaned) showWarning("部分项目未能清理（可能正被浏览器使用），已保留原样");
    $("privacyStatus").textContent =
      `已释放 ${formatBytes(freed)}` +
      (left > 0
        ? `；${formatBytes(left)} 未能删除（文件可能正被使用）。`
        : cleaned
          ? "。"
          : "；部分项目未能清理，已保留原样。");
  }

  refresh() {
    this.measure();
  }
}

let instance = null;
export function privacy() {
  if (!instance) instance = new Privacy();
  return instance;
}
