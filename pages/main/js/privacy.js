// 隐私清理: the privacy categories, then the application caches (应用缓存),
// with their sizes, each able to show the files it holds; the selected ones
// are cleaned after a confirmation, then measured again to tell what was
// freed and what stayed.
import { escapeHtml } from "/common/js/tooltip.js";
import { showSuccess, showWarning } from "/common/js/toast.js";
import { IS_WINDOWS } from "/common/js/constants.js";
import { addHistory, confirmDialog, formatBytes, listOf, parseAnswer, reportEvent, withBusy } from "/common/js/appkit.js";

const $ = (id) => document.getElementById(id);

// What cleaning them loses cannot be had back: never selected for the user.
const IRREVERSIBLE = new Set(["recyclebin", "recent"]);

// The native descriptions are the Windows ones; these say what the
// categories hold here. A category with no counterpart here is not shown.
const LOCAL_DESCRIPTIONS = IS_WINDOWS
  ? {}
  : {
      thumbcache: "文件管理器和图片查看器生成的缩略图缓存，需要时会重新生成",
      recent: "“最近使用”列表中的文件记录（只清除记录，不删除文件本身）",
      temp: "临时文件夹中一小时以上未改动、且没有程序在使用的临时文件",
      recyclebin: "回收站中的文件，清空后无法恢复",
    };
const ABSENT_HERE = new Set(IS_WINDOWS ? [] : ["prefetch"]);

export function measurePrivacy() {
  return listOf(NativeUtil.getPrivacyItems())
    .filter((item) => !ABSENT_HERE.has(item.type))
    .map((item) => ({ ...item, description: LOCAL_DESCRIPTIONS[item.type] || item.description }));
}

// The application cleaners, as rows of the same list: their ids never clash
// with the categories' types.
function measureCleaners() {
  return listOf(NativeUtil.getCleaners()).map((cleaner) => ({ ...cleaner, type: cleaner.id, cleaner: true }));
}

function measureAll() {
  return [...measurePrivacy(), ...measureCleaners()];
}

// A category holding something starts selected unless its loss cannot be
// undone; an application cache only when it is a regenerable one.
function preselected(item) {
  return Number(item.size) > 0 && !IRREVERSIBLE.has(item.type) && (!item.cleaner || item.safe === true);
}

class Privacy {
  constructor() {
    this.items = [];
    this.selected = new Set();
    this.measured = false;
    this.opened = new Map(); // type → the files it holds, as listed
    $("privacyList").addEventListener("click", (event) => {
      const opener = event.target.closest("[data-open]");
      if (opener) return this.toggleFiles(opener.dataset.open);
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
    const items = await withBusy("正在测量隐私痕迹…", () => measureAll());
    this.show(items);
    $("privacyStatus").textContent = items.length
      ? `共发现 ${formatBytes(this.total(items))} 可清理的痕迹。`
      : "无法读取隐私项目。";
  }

  show(items) {
    this.measured = true;
    this.items = items;
    this.opened.clear();
    this.selected = new Set(items.filter(preselected).map((i) => i.type));
    this.render();
  }

  async toggleFiles(type) {
    if (this.opened.delete(type)) return this.render();
    const answer = await withBusy("正在列出文件…", () => parseAnswer(NativeUtil.getPrivacyItemFiles(type), {}));
    this.opened.set(type, { count: Number(answer.count) || 0, list: Array.isArray(answer.list) ? answer.list : [] });
    this.render();
  }

  filesPanel(type) {
    const files = this.opened.get(type);
    const head = !files.count
      ? "没有文件"
      : files.count > files.list.length
        ? `共 ${files.count} 个文件，以下是最大的 ${files.list.length} 个：`
        : `共 ${files.count} 个文件，从大到小：`;
    return (
      `<div class="item-files" data-files="${escapeHtml(type)}"><div class="item-files-head">${head}</div>` +
      files.list
        .map((f) => `<div class="item-file"><span class="ellipsis" title="${escapeHtml(f.path)}">\u200e${escapeHtml(f.path)}\u200e</span><span class="num">${formatBytes(f.size)}</span></div>`)
        .join("") +
      `</div>`
    );
  }

  total(items) {
    return items.reduce((s, i) => s + Number(i.size || 0), 0);
  }

  render() {
    const firstCleaner = this.items.findIndex((i) => i.cleaner);
    $("privacyList").innerHTML = this.items.length
      ? this.items
          .map((item, index) => {
            const on = this.selected.has(item.type);
            return (
              (index === firstCleaner ? '<div class="item-group" id="privacyCleanersGroup">应用缓存</div>' : "") +
              `<div class="item-card${on ? " selected" : ""}" data-type="${escapeHtml(item.type)}">` +
              `<label class="check"><input type="checkbox" ${on ? "checked" : ""}><span></span></label>` +
              `<div class="item-main"><div class="item-name">${escapeHtml(item.name)}</div>` +
              `<div class="item-desc">${escapeHtml(item.description || "")}</div>` +
              (item.warning ? `<div class="item-desc item-warning">${escapeHtml(item.warning)}</div>` : "") +
              (item.skipped ? `<div class="item-desc item-skipped">已跳过：${escapeHtml(item.skipped)}</div>` : "") +
              `</div>` +
              `<div class="item-size">${Number(item.size) > 0 ? formatBytes(item.size) : "无"}</div>` +
              (Number(item.size) > 0
                ? `<button class="link-btn" data-open="${escapeHtml(item.type)}">${this.opened.has(item.type) ? "收起" : "查看文件"}</button>`
                : "") +
              `</div>` +
              (this.opened.has(item.type) ? this.filesPanel(item.type) : "")
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
    const chosen = this.items.filter((i) => this.selected.has(i.type));
    if (!chosen.length) return;
    const types = chosen.map((i) => i.type);
    const categories = chosen.filter((i) => !i.cleaner).map((i) => i.type);
    const cleaners = chosen.filter((i) => i.cleaner).map((i) => i.type);
    const warnings = [];
    if (this.selected.has("recyclebin")) warnings.push("回收站中的文件将被永久删除。");
    if (this.selected.has("recent")) warnings.push("“最近使用”记录将被清空。");
    if (chosen.some((i) => i.cleaner && !i.safe)) warnings.push("所选应用缓存中有清理后需要重新下载的内容。");
    const ok = await confirmDialog({
      title: "清理隐私痕迹",
      message: [`确定要清理以下 ${chosen.length} 项吗？`, ...chosen.map((i) => `· ${i.name}  ${formatBytes(i.size)}`), `共 ${formatBytes(this.total(chosen))}`].join("\n"),
      detail: warnings.concat("清理后无法恢复，可先点“查看文件”确认其中的内容。").join(""),
      confirmText: "清理",
    });
    if (!ok) return;
    const before = new Map(this.items.map((i) => [i.type, Number(i.size || 0)]));
    // False when something stayed: a file that could not go, a cache a
    // running browser holds, a folder replaced by a link meanwhile.
    let cleaned = true;
    const after = await withBusy("正在清理…", () => {
      if (categories.length) cleaned = NativeUtil.cleanPrivacyItems(JSON.stringify(categories)) === true;
      if (cleaners.length) cleaned = NativeUtil.cleanCleaners(JSON.stringify(cleaners)) === true && cleaned;
      return measureAll();
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
