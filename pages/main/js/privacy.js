// 系统清理: the privacy categories and the cleaners (application caches and
// what the system accumulates) in one list grouped by application. Rows
// appear as they are measured in the background; each can show what it
// would remove; the selected ones are cleaned after a confirmation, those
// needing root only after the system asks for the administrator's password,
// and what was freed is what the file system no longer holds.
import { escapeHtml } from "/common/js/tooltip.js";
import { showSuccess, showWarning } from "/common/js/toast.js";
import { IS_WINDOWS } from "/common/js/constants.js";
import { addHistory, confirmDialog, formatBytes, parseAnswer, reportEvent, withBusy } from "/common/js/appkit.js";

const $ = (id) => document.getElementById(id);

// What cleaning them loses cannot be had back: never selected for the user.
const IRREVERSIBLE = new Set(["recyclebin", "recent"]);
const CATEGORY_GROUP = "隐私痕迹";
const LOCK = '<svg class="lock" viewBox="0 0 24 24"><path d="M18 8h-1V6A5 5 0 0 0 7 6v2H6a2 2 0 0 0-2 2v10a2 2 0 0 0 2 2h12a2 2 0 0 0 2-2V10a2 2 0 0 0-2-2zM9 6a3 3 0 0 1 6 0v2H9V6z"/></svg>';

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

// A native row as the list shows it, or null for a category absent here.
function rowOf(item) {
  if (item.id === undefined) {
    if (ABSENT_HERE.has(item.type)) return null;
    return { ...item, group: CATEGORY_GROUP, description: LOCAL_DESCRIPTIONS[item.type] || item.description };
  }
  // Cleaner ids never clash with the categories' types.
  return { ...item, type: item.id, group: item.application, cleaner: true };
}

// A category holding something starts selected unless its loss cannot be
// undone; a cleaner only when it is a regenerable cache of the user's.
export function preselected(item) {
  return Number(item.size) > 0 && !IRREVERSIBLE.has(item.type) && (!item.cleaner || (item.safe === true && !item.root));
}

class Privacy {
  constructor() {
    this.items = [];
    this.selected = new Set();
    this.measured = false;
    this.measuring = null; // the running measurement's promise
    this.opened = new Map(); // type → what it would remove, as listed
    $("privacyList").addEventListener("click", (event) => {
      const opener = event.target.closest("[data-open]");
      if (opener) return this.toggleFiles(opener.dataset.open);
      const card = event.target.closest("[data-type]");
      if (!card || card.classList.contains("absent")) return;
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
    if (!this.measured && !this.measuring) this.measure();
  }

  // Every row, as measured; rows show as they come. Resolves with them all.
  measure() {
    if (this.measuring) return this.measuring;
    this.measured = true;
    this.items = [];
    this.opened.clear();
    this.selected.clear();
    $("privacyCleanBtn").disabled = true;
    $("privacyRefreshBtn").disabled = true;
    $("privacyStatus").textContent = "正在测量…";
    this.render();
    this.measuring = new Promise((resolve) => {
      NativeUtil.measureCleaners((message) => {
        const type = String(message.type);
        if (type === "item") {
          const row = rowOf(parseAnswer(message.data, {}));
          if (!row) return;
          this.items.push(row);
          if (preselected(row)) this.selected.add(row.type);
          $("privacyStatus").textContent = `正在测量… 已发现 ${formatBytes(this.total(this.items))}`;
          return this.render();
        }
        this.measuring = null;
        $("privacyRefreshBtn").disabled = false;
        $("privacyStatus").textContent = this.items.length
          ? `共发现 ${formatBytes(this.total(this.items))} 可清理的内容。`
          : "无法读取清理项目。";
        this.render();
        resolve(this.items);
      });
    });
    return this.measuring;
  }

  async toggleFiles(type) {
    if (this.opened.delete(type)) return this.render();
    const answer = await withBusy("正在列出文件…", () => parseAnswer(NativeUtil.getPrivacyItemFiles(type), {}));
    this.opened.set(type, {
      count: Number(answer.count) || 0,
      list: Array.isArray(answer.list) ? answer.list : [],
      command: answer.command || "",
      note: answer.note || "",
    });
    this.render();
  }

  filesPanel(type) {
    const files = this.opened.get(type);
    // A system cleaner's command removes runtimes and revisions as well as files.
    const unit = files.command ? "项" : "个文件";
    const head = !files.count
      ? files.command ? "没有可清理的内容" : "没有文件"
      : files.count > files.list.length
        ? `共 ${files.count} ${unit}，以下是最大的 ${files.list.length} ${files.command ? "项" : "个"}：`
        : `共 ${files.count} ${unit}，从大到小：`;
    const about = [files.note && `报告：${files.note}`, files.command && `清理时运行：${files.command}`].filter(Boolean);
    return (
      `<div class="item-files" data-files="${escapeHtml(type)}">` +
      about.map((line) => `<div class="item-files-head">${escapeHtml(line)}</div>`).join("") +
      `<div class="item-files-head">${head}</div>` +
      files.list
        .map((f) => `<div class="item-file"><span class="ellipsis" title="${escapeHtml(f.path)}">\u200e${escapeHtml(f.path)}\u200e</span><span class="num">${formatBytes(f.size)}</span></div>`)
        .join("") +
      `</div>`
    );
  }

  total(items) {
    return items.reduce((s, i) => s + Number(i.size || 0), 0);
  }

  card(item) {
    const on = this.selected.has(item.type);
    const lock = item.root ? `<span class="badge warn" title="清理时需要管理员授权">${LOCK}需要授权</span>` : "";
    const description = item.absent ? item.note || "此电脑上没有" : item.description || "";
    return (
      `<div class="item-card${on ? " selected" : ""}${item.absent ? " absent" : ""}" data-type="${escapeHtml(item.type)}">` +
      `<label class="check"><input type="checkbox" ${on ? "checked" : ""} ${item.absent ? "disabled" : ""}><span></span></label>` +
      `<div class="item-main"><div class="item-name">${escapeHtml(item.name)}${lock}</div>` +
      `<div class="item-desc">${escapeHtml(description)}</div>` +
      (item.warning ? `<div class="item-desc item-warning">${escapeHtml(item.warning)}</div>` : "") +
      (item.skipped && !item.absent ? `<div class="item-desc item-skipped">已跳过：${escapeHtml(item.skipped)}</div>` : "") +
      `</div>` +
      `<div class="item-size">${item.absent ? "—" : Number(item.size) > 0 ? formatBytes(item.size) : "无"}</div>` +
      (Number(item.size) > 0
        ? `<button class="link-btn" data-open="${escapeHtml(item.type)}">${this.opened.has(item.type) ? "收起" : "查看文件"}</button>`
        : "") +
      `</div>` +
      (this.opened.has(item.type) ? this.filesPanel(item.type) : "")
    );
  }

  render() {
    const groups = new Map();
    for (const item of this.items) {
      if (!groups.has(item.group)) groups.set(item.group, []);
      groups.get(item.group).push(item);
    }
    $("privacyList").innerHTML = this.items.length
      ? [...groups]
          .map(
            ([name, items]) =>
              `<div class="item-group" data-group="${escapeHtml(name)}">${escapeHtml(name)}<span class="badge gray">${formatBytes(this.total(items))}</span></div>` +
              items.map((item) => this.card(item)).join(""),
          )
          .join("")
      : `<div class="empty-note">${this.measuring ? "正在测量…" : "没有可显示的项目"}</div>`;
    const chosen = this.items.filter((i) => this.selected.has(i.type));
    $("privacySelection").textContent = chosen.length
      ? `已选择 ${chosen.length} 项，共 ${formatBytes(this.total(chosen))}`
      : "未选择项目";
    $("privacyCleanBtn").disabled = !chosen.length || !!this.measuring;
  }

  async clean() {
    const chosen = this.items.filter((i) => this.selected.has(i.type));
    if (!chosen.length || this.measuring) return;
    const types = chosen.map((i) => i.type);
    const warnings = [];
    if (this.selected.has("recyclebin")) warnings.push("回收站中的文件将被永久删除。");
    if (this.selected.has("recent")) warnings.push("“最近使用”记录将被清空。");
    if (chosen.some((i) => i.cleaner && !i.safe && !i.root)) warnings.push("所选应用缓存中有清理后需要重新下载的内容。");
    if (chosen.some((i) => i.root)) warnings.push("标有“需要授权”的项目由系统要求输入管理员密码后才会清理。");
    const ok = await confirmDialog({
      title: "系统清理",
      message: [`确定要清理以下 ${chosen.length} 项吗？`, ...chosen.map((i) => `· ${i.name}  ${formatBytes(i.size)}${i.root ? "（需要授权）" : ""}`), `共 ${formatBytes(this.total(chosen))}`].join("\n"),
      detail: warnings.concat("清理后无法恢复，可先点“查看文件”确认其中的内容。").join(""),
      confirmText: "清理",
    });
    if (!ok) return;
    const answers = await withBusy("正在清理…", () => parseAnswer(NativeUtil.cleanItems(JSON.stringify(types)), {}).list || []);
    const freed = answers.reduce((s, a) => s + Number(a.freed || 0), 0);
    const refused = answers.filter((a) => a.result === "notAuthorised").length;
    const failed = answers.filter((a) => !["cleaned", "notAuthorised"].includes(a.result)).length;
    addHistory("privacy", types.length, freed, failed + refused);
    reportEvent("clean_privacy", { categories: types.join(","), bytes: freed, failed });
    showSuccess(`已清理 ${types.length - failed - refused} 项，释放 ${formatBytes(freed)}`);
    if (refused) showWarning(`${refused} 项未获管理员授权，已保留原样`);
    if (failed) showWarning(`${failed} 项未能完全清理（文件可能正被使用或已改变），已保留原样`);
    await this.measure();
    $("privacyStatus").textContent =
      `已释放 ${formatBytes(freed)}` +
      (refused ? `；${refused} 项未获授权` : "") +
      (failed ? `；${failed} 项未能完全清理，已保留原样。` : "。");
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
