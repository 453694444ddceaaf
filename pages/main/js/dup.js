// Duplicate files: groups of files with the same content, the space the extra
// copies waste, a one-click selection that keeps one file per group, and
// the deletion of the selection.
import * as sys from "@sys";
import { escapeHtml } from "/common/js/tooltip.js";
import { showError, showSuccess, showWarning } from "/common/js/toast.js";
import { VirtualList } from "/common/js/virtuallist.js";
import { addHistory, folderOf, parseAnswer, reportEvent } from "/common/js/appkit.js";
import { formatBytes, t } from "/common/js/i18n.js";
import { FolderChooser } from "./folders.js";
import { askDeletion, deleteListed, doneText, elidedPath, freedText, revealFile, sortResults } from "./large.js";

const $ = (id) => document.getElementById(id);
const FOLDER_ICON =
  '<svg viewBox="0 0 24 24"><path d="M10 4H4c-1.1 0-2 .9-2 2v12c0 1.1.9 2 2 2h16c1.1 0 2-.9 2-2V8c0-1.1-.9-2-2-2h-8l-2-2z"/></svg>';

// Why a group was left whole, by the answer for its copies.
const SKIPPED = new Set(["keptChanged", "changed", "gone", "notListed", "otherFileSystem"]);

const waste = (g) => Number(g.size || 0) * (g.files.length - 1);
export const wasted = (groups) => groups.reduce((sum, g) => sum + waste(g), 0);

// A file's modification time to the fraction of a second; the listed minute
// when the file cannot be read any more (its deletion will say so).
function modifiedAt(file) {
  const status = sys.fs.sync.stat(file.path);
  if (status && status.isFile) return Number(status.st_mtime);
  return Date.parse(String(file.modifiedTime || "").replace(" ", "T")) / 1000 || 0;
}

class Duplicates {
  constructor() {
    this.groups = [];
    this.selected = new Set();
    this.scanId = 0;
    this.running = false;
    this.chooser = new FolderChooser($("dupFolders"), {
      onAdd: (folder) => {
        if (this.running && !NativeUtil.addScanDuplicateFilesFolder(this.scanId, folder)) showWarning(t("large.addLate"));
      },
    });
    this.list = new VirtualList($("dupList"), {
      rowHeight: 34,
      empty: t("large.empty"),
      rowClass: (row) => (row.file ? "" : "group"),
      renderRow: (row) => {
        if (!row.file) {
          const g = row.group;
          return (
            `<span>${t("dup.group", { number: row.number })}</span>` +
            `<span class="muted">${t("dup.groupFiles", { n: g.files.length, size: formatBytes(g.size) })}</span>` +
            `<span class="waste">${t("dup.groupWaste", { size: formatBytes(g.size * (g.files.length - 1)) })}</span>` +
            (g.skipped ? `<span class="skipped">${escapeHtml(t("dup.skipped." + g.skipped))}</span>` : "")
          );
        }
        const f = row.file;
        return (
          `<label class="check"><input type="checkbox" ${this.selected.has(f.path) ? "checked" : ""}><span></span></label>` +
          `<span class="ellipsis" title="${escapeHtml(f.name)}">${escapeHtml(f.name)}</span>` +
          `<span class="num">${formatBytes(f.size)}</span>` +
          `<span class="muted">${escapeHtml(f.modifiedTime || "")}</span>` +
          elidedPath(folderOf(f.path)) +
          `<button class="icon-btn reveal" data-tooltip="${t("large.reveal")}">${FOLDER_ICON}</button>`
        );
      },
    });
    $("dupList").addEventListener("click", (event) => {
      const row = this.list.itemAt(event.target);
      if (!row || !row.file) return;
      if (event.target.closest(".reveal")) return revealFile(row.file.path);
      if (event.target.closest(".check")) {
        event.preventDefault();
        if (this.selected.has(row.file.path)) this.selected.delete(row.file.path);
        else this.selected.add(row.file.path);
        this.list.refresh();
        this.updateSelection();
      }
    });
    $("dupScanBtn").addEventListener("click", () => (this.running ? this.stop() : this.start()));
    $("dupKeepNewest").addEventListener("click", () => this.keepOne("newest"));
    $("dupKeepOldest").addEventListener("click", () => this.keepOne("oldest"));
    $("dupClear").addEventListener("click", () => {
      this.selected.clear();
      this.list.refresh();
      this.updateSelection();
    });
    $("dupDeleteBtn").addEventListener("click", () => this.deleteSelected());
  }

  // Largest waste first. Empty files are alike without being copies of
  // anything (package markers, placeholders): they are not offered.
  setGroups(groups) {
    this.groups = groups
      .filter((g) => g && Array.isArray(g.files) && g.files.length > 1 && Number(g.size) > 0)
      .sort((a, b) => waste(b) - waste(a) || Number(b.size) - Number(a.size));
    const rows = [];
    this.groups.forEach((group, i) => {
      rows.push({ group, number: i + 1 });
      for (const file of group.files) rows.push({ file, group });
    });
    const present = new Set(rows.filter((r) => r.file).map((r) => r.file.path));
    for (const path of [...this.selected]) if (!present.has(path)) this.selected.delete(path);
    this.list.setItems(rows, t("dup.noneFound"));
    this.updateSelection();
  }

  selectedFiles() {
    const files = [];
    for (const g of this.groups) for (const f of g.files) if (this.selected.has(f.path)) files.push(f);
    return files;
  }

  updateSelection() {
    const files = this.selectedFiles();
    const bytes = files.reduce((s, f) => s + Number(f.size || 0), 0);
    $("dupSelection").textContent = files.length ? t("large.selection", { n: files.length, size: formatBytes(bytes) }) : t("large.noSelection");
    $("dupDeleteBtn").disabled = !files.length || this.running;
  }

  // Selects every file of each group but one: the newest or the oldest.
  keepOne(which) {
    if (!this.groups.length) return;
    this.selected.clear();
    for (const g of this.groups) {
      const times = g.files.map(modifiedAt);
      let keep = 0;
      for (let i = 1; i < times.length; i++) if (which === "newest" ? times[i] > times[keep] : times[i] < times[keep]) keep = i;
      g.files.forEach((f, i) => i !== keep && this.selected.add(f.path));
    }
    this.list.refresh();
    this.updateSelection();
    reportEvent("select_duplicates", { keep: which, groups: this.groups.length });
  }

  status(text, running = false) {
    $("dupStatus").textContent = text;
    $("dupStatus").classList.toggle("running", running);
  }

  summary() {
    const files = this.groups.reduce((s, g) => s + g.files.length, 0);
    return t("dup.summary", { n: this.groups.length, files, size: formatBytes(wasted(this.groups)) });
  }

  start() {
    if (this.running) return;
    if (!this.chooser.folders.length) {
      showWarning(t("large.noFolders"));
      return;
    }
    this.running = true;
    this.setGroups([]);
    this.status(t("dup.scanning"), true);
    $("dupScanBtn").textContent = t("large.stopScan");
    $("dupScanBtn").classList.add("stop");
    reportEvent("scan_duplicates_start", { folders: this.chooser.folders.length });
    this.scanId = NativeUtil.startScanDuplicateFiles(this.chooser.argument(), (message) => {
      const type = String(message.type);
      if (type === "error") {
        this.finish();
        this.status(t("large.failed"));
        showError(t("dup.failedToast"));
        return;
      }
      const groups = (parseAnswer(message.data, {}) || {}).groups;
      if (Array.isArray(groups)) this.setGroups(groups);
      if (type === "progress") this.status(t("dup.progress", { found: this.summary() }), true);
      else {
        this.finish();
        this.status(t(type === "stopped" ? "large.stopped" : "large.finished", { found: this.summary() }));
        reportEvent("scan_duplicates_end", { result: type, groups: this.groups.length });
      }
    });
  }

  finish() {
    this.running = false;
    this.scanId = 0;
    $("dupScanBtn").textContent = t("large.scan");
    $("dupScanBtn").classList.remove("stop");
    this.updateSelection();
  }

  stop() {
    if (this.running) NativeUtil.stopScanDuplicateFiles(this.scanId);
  }

  adopt(groups, folders) {
    if (this.running || this.groups.length) return;
    this.chooser.folders = [...folders];
    this.chooser.render();
    this.setGroups(groups);
    this.status(t("large.fromOverview", { found: this.summary() }));
  }

  async deleteSelected() {
    const files = this.selectedFiles();
    if (!files.length || this.running) return;
    const bytes = files.reduce((s, f) => s + Number(f.size || 0), 0);
    const whole = this.groups.filter((g) => g.files.every((f) => this.selected.has(f.path))).length;
    const mode = await askDeletion(
      t("dup.deleteTitle"),
      files,
      bytes,
      whole ? t("dup.wholeGroups", { n: whole }) : t("dup.oneKept"),
      true,
    );
    if (!mode) return;
    const trash = mode === "trash";
    // Each group names a file it keeps: its copies go only while that file
    // still holds what they hold. Links need one, so the first stays then.
    const request = { trash, link: mode === "link", groups: [] };
    for (const g of this.groups) {
      let chosen = g.files.filter((f) => this.selected.has(f.path));
      let kept = g.files.find((f) => !this.selected.has(f.path));
      if (mode === "link" && !kept) [kept, ...chosen] = chosen;
      if (chosen.length) request.groups.push({ hash: g.hash, keep: kept ? kept.path : "", delete: chosen.map((f) => f.path) });
    }
    const results = await deleteListed(request, files.length);
    const result = sortResults(files, results);
    const gone = new Set([...result.deleted, ...result.gone].map((f) => f.path));
    for (const path of gone) this.selected.delete(path);
    let skipped = 0;
    this.setGroups(
      this.groups.map((g) => {
        const reason = results && g.files.map((f) => results.get(f.path)).find((r) => SKIPPED.has(r));
        if (reason) skipped += 1;
        return { ...g, skipped: reason || g.skipped, files: g.files.filter((f) => !gone.has(f.path)) };
      }),
    );
    if (result.deleted.length) {
      addHistory("duplicates", result.deleted.length, result.bytes, result.failed.length, { record: result.record, mode });
      showSuccess(t(`dup.done.${mode}`, { n: result.deleted.length, freed: freedText(result) }));
    }
    if (skipped) showWarning(t(mode === "link" ? "dup.notLinked" : "dup.notDeleted", { n: skipped }));
    if (result.failed.length) showError(t("delete.failedToast", { n: result.failed.length }));
    this.status(
      doneText(result) +
        (skipped ? t("dup.skippedNote", { n: skipped }) : "") +
        (result.failed.length ? t("delete.failedNote", { n: result.failed.length }) : "") +
        (result.unreached.length ? t("delete.unreachedNote", { n: result.unreached.length }) : ""),
    );
    reportEvent("delete_duplicates", { files: result.deleted.length, failed: result.failed.length, bytes: result.bytes });
  }

  refresh() {
    if (!this.running) this.start();
  }
}

let instance = null;
export function duplicates() {
  if (!instance) instance = new Duplicates();
  return instance;
}
