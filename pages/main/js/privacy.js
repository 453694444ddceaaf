// System cleanup: the privacy categories and the cleaners (application caches and
// what the system accumulates) in one list grouped by application. Rows
// appear as they are measured in the background; each can show what it
// would remove; the selected ones are cleaned after a confirmation, those
// needing root only after the system asks for the administrator's password,
// and what was freed is what the file system no longer holds.
import { escapeHtml } from "/common/js/tooltip.js";
import { showSuccess, showWarning } from "/common/js/toast.js";
import { IS_WINDOWS } from "/common/js/constants.js";
import { addHistory, confirmDialog, parseAnswer, reportEvent, withBusy } from "/common/js/appkit.js";
import { formatBytes, lang, t } from "/common/js/i18n.js";

const $ = (id) => document.getElementById(id);

// What cleaning them loses cannot be had back: never selected for the user.
const IRREVERSIBLE = new Set(["recyclebin", "recent"]);
const LOCK = '<svg class="lock" viewBox="0 0 24 24"><path d="M18 8h-1V6A5 5 0 0 0 7 6v2H6a2 2 0 0 0-2 2v10a2 2 0 0 0 2 2h12a2 2 0 0 0 2-2V10a2 2 0 0 0-2-2zM9 6a3 3 0 0 1 6 0v2H9V6z"/></svg>';

const ENGLISH = lang === "en";
// The native descriptions are the Windows ones; these say what the
// categories hold here. A category with no counterpart here is not shown.
// The native names and descriptions are Chinese: other languages take
// theirs from the catalogue by the category's type.
const LOCAL_DESCRIPTIONS = new Set(IS_WINDOWS ? [] : ["thumbcache", "recent", "temp", "recyclebin"]);
const ABSENT_HERE = new Set(IS_WINDOWS ? [] : ["prefetch"]);

// A native row as the list shows it, or null for a category absent here.
function rowOf(item) {
  if (item.id === undefined) {
    if (ABSENT_HERE.has(item.type)) return null;
    const local = LOCAL_DESCRIPTIONS.has(item.type) ? ".local" : "";
    return {
      ...item,
      group: t("privacy.group"),
      name: ENGLISH ? t(`privacy.category.${item.type}`) : item.name,
      description: local || ENGLISH ? t(`privacy.about.${item.type}${local}`) : item.description,
    };
  }
  // Cleaner ids never clash with the categories' types.
  const english = (field) => (ENGLISH && item[field + "En"]) || item[field];
  return { ...item, type: item.id, group: english("application"), name: english("name"), description: english("description"), warning: english("warning"), cleaner: true };
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
    $("privacyStatus").textContent = t("privacy.measuring");
    this.render();
    this.measuring = new Promise((resolve) => {
      NativeUtil.measureCleaners((message) => {
        const type = String(message.type);
        if (type === "item") {
          const row = rowOf(parseAnswer(message.data, {}));
          if (!row) return;
          this.items.push(row);
          if (preselected(row)) this.selected.add(row.type);
          $("privacyStatus").textContent = t("privacy.progress", { size: formatBytes(this.total(this.items)) });
          return this.render();
        }
        this.measuring = null;
        $("privacyRefreshBtn").disabled = false;
        $("privacyStatus").textContent = this.items.length
          ? t("privacy.found", { size: formatBytes(this.total(this.items)) })
          : t("privacy.unreadable");
        this.render();
        resolve(this.items);
      });
    });
    return this.measuring;
  }

  async toggleFiles(type) {
    if (this.opened.delete(type)) return this.render();
    const answer = await withBusy(t("privacy.listing"), () => parseAnswer(NativeUtil.getPrivacyItemFiles(type), {}));
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
    const kind = files.command ? "entries" : "files";
    const values = { n: files.count, shown: files.list.length };
    const head = t(!files.count ? `privacy.no.${kind}` : files.count > files.list.length ? `privacy.largest.${kind}` : `privacy.all.${kind}`, values);
    const about = [files.note && t("privacy.note", { note: files.note }), files.command && t("privacy.command", { command: files.command })].filter(Boolean);
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
    const lock = item.root ? `<span class="badge warn" title="${escapeHtml(t("privacy.rootTip"))}">${LOCK}${escapeHtml(t("privacy.root"))}</span>` : "";
    // The native reason why a row is absent is worded in Chinese only.
    const description = item.absent ? (!ENGLISH && item.note) || t("privacy.absent") : item.description || "";
    return (
      `<div class="item-card${on ? " selected" : ""}${item.absent ? " absent" : ""}" data-type="${escapeHtml(item.type)}">` +
      `<label class="check"><input type="checkbox" ${on ? "checked" : ""} ${item.absent ? "disabled" : ""}><span></span></label>` +
      `<div class="item-main"><div class="item-name">${escapeHtml(item.name)}${lock}</div>` +
      `<div class="item-desc">${escapeHtml(description)}</div>` +
      (item.warning ? `<div class="item-desc item-warning">${escapeHtml(item.warning)}</div>` : "") +
      (item.skipped && !item.absent ? `<div class="item-desc item-skipped">${escapeHtml(t("privacy.skipped", { reason: item.skipped }))}</div>` : "") +
      `</div>` +
      `<div class="item-size">${item.absent ? "—" : Number(item.size) > 0 ? formatBytes(item.size) : t("privacy.nothing")}</div>` +
      (Number(item.size) > 0
        ? `<button class="link-btn" data-open="${escapeHtml(item.type)}">${t(this.opened.has(item.type) ? "privacy.hideFiles" : "privacy.showFiles")}</button>`
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
      : `<div class="empty-note">${t(this.measuring ? "privacy.measuring" : "privacy.empty")}</div>`;
    const chosen = this.items.filter((i) => this.selected.has(i.type));
    $("privacySelection").textContent = chosen.length
      ? t("privacy.selection", { n: chosen.length, size: formatBytes(this.total(chosen)) })
      : t("privacy.noSelection");
    $("privacyCleanBtn").disabled = !chosen.length || !!this.measuring;
  }

  async clean() {
    const chosen = this.items.filter((i) => this.selected.has(i.type));
    if (!chosen.length || this.measuring) return;
    const types = chosen.map((i) => i.type);
    const warnings = [];
    if (this.selected.has("recyclebin")) warnings.push(t("privacy.warnTrash"));
    if (this.selected.has("recent")) warnings.push(t("privacy.warnRecent"));
    if (chosen.some((i) => i.cleaner && !i.safe && !i.root)) warnings.push(t("privacy.warnDownload"));
    if (chosen.some((i) => i.root)) warnings.push(t("privacy.warnRoot"));
    const ok = await confirmDialog({
      title: t("nav.privacy"),
      message: [
        t("privacy.confirm", { n: chosen.length }),
        ...chosen.map((i) => `· ${i.name}  ${formatBytes(i.size)}${i.root ? t("privacy.rootMark") : ""}`),
        t("privacy.total", { size: formatBytes(this.total(chosen)) }),
      ].join("\n"),
      detail: warnings.concat(t("privacy.warnFinal")).join(ENGLISH ? " " : ""),
      confirmText: t("privacy.cleanAction"),
    });
    if (!ok) return;
    const answers = await withBusy(t("privacy.cleaning"), () => parseAnswer(NativeUtil.cleanItems(JSON.stringify(types)), {}).list || []);
    const freed = answers.reduce((s, a) => s + Number(a.freed || 0), 0);
    const refused = answers.filter((a) => a.result === "notAuthorised").length;
    const failed = answers.filter((a) => !["cleaned", "notAuthorised"].includes(a.result)).length;
    addHistory("privacy", types.length, freed, failed + refused);
    reportEvent("clean_privacy", { categories: types.join(","), bytes: freed, failed });
    showSuccess(t("privacy.cleaned", { n: types.length - failed - refused, size: formatBytes(freed) }));
    if (refused) showWarning(t("privacy.refused", { n: refused }));
    if (failed) showWarning(t("privacy.failed", { n: failed }));
    await this.measure();
    $("privacyStatus").textContent = [
      t("privacy.freed", { size: formatBytes(freed) }),
      refused && t("privacy.freedRefused", { n: refused }),
      failed && t("privacy.freedFailed", { n: failed }),
    ].filter(Boolean).join(t("privacy.separator")) + t("privacy.end");
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
