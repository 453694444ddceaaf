// Large files: a background scan of the chosen folders, largest first, and the
// deletion of the files the user selected.
import { escapeHtml } from "/common/js/tooltip.js";
import { showError, showSuccess, showWarning } from "/common/js/toast.js";
import { VirtualList } from "/common/js/virtuallist.js";
import { addHistory, busyProgress, confirmDialog, folderOf, listOf, parseAnswer, reportEvent, withBusy } from "/common/js/appkit.js";
import { formatBytes, t } from "/common/js/i18n.js";
import { FolderChooser } from "./folders.js";

const $ = (id) => document.getElementById(id);
const MB = 1024 * 1024;
const FOLDER_ICON =
  '<svg viewBox="0 0 24 24"><path d="M10 4H4c-1.1 0-2 .9-2 2v12c0 1.1.9 2 2 2h16c1.1 0 2-.9 2-2V8c0-1.1-.9-2-2-2h-8l-2-2z"/></svg>';

// A size menu's entries (values in MB) in the language's units.
export function labelSizes(select) {
  for (const option of select.options) option.textContent = formatBytes(Number(option.value) * MB, 0);
}

// The answers of a deletion: a result per path, and in freed the bytes each
// deletion gave back to the disk.
// record names what the history keeps of the cleaning, for an undo.
function answerMap(text) {
  const answers = listOf(text);
  const results = new Map(answers.map((a) => [a.path, String(a.result)]));
  results.freed = new Map(answers.map((a) => [a.path, Number(a.freed) || 0]));
  results.record = String((parseAnswer(text, {}) || {}).record || "");
  return results;
}

// Deletes what a scan listed, on a native worker, each file only while it is
// still the one listed, with its progress and a stop button in the busy
// card. Resolves with a result per path ("deleted", "trashed", "linked", "shared",
// "gone", "changed", "keptChanged", "notListed", "otherFileSystem", "failed"; none for a path a stop left
// unreached), or null when the deletion could not run.
export function deleteListed(request, total) {
  let id = 0;
  const work = () =>
    new Promise((resolve) => {
      id = NativeUtil.deleteScannedFiles(JSON.stringify(request), (message) => {
        const type = String(message.type);
        if (type === "error") return resolve(null);
        if (type !== "progress") return resolve(answerMap(message.data));
        const answers = listOf(message.data);
        busyProgress(t("delete.progress", { done: answers.length, n: total }), answers.length / total);
      });
      if (!(id >= 1)) resolve(null);
    });
  return withBusy(t("delete.busy", { n: total }), work, () => NativeUtil.stopDeleteScannedFiles(id));
}

// The files by what became of them; a file no longer there leaves the list
// too, a file a stop left unreached stays as it was. bytes is the space the
// disk got back (a sparse file gives back less than its size, a name whose
// file has other links, a file in the Trash nothing); size what the deleted
// files' sizes add up to. deleted holds the trashed and linked files too.
const DONE = ["deleted", "trashed", "linked", "shared"];
const LEFT = ["changed", "keptChanged", "notListed", "otherFileSystem"];
export function sortResults(files, results) {
  const outcome = (f) => (results ? results.get(f.path) : "failed");
  const deleted = files.filter((f) => DONE.includes(outcome(f)));
  return {
    deleted,
    record: results ? results.record : "",
    trashed: files.filter((f) => outcome(f) === "trashed"),
    gone: files.filter((f) => outcome(f) === "gone"),
    changed: files.filter((f) => LEFT.includes(outcome(f))),
    failed: files.filter((f) => ![undefined, "gone", ...DONE, ...LEFT].includes(outcome(f))),
    unreached: files.filter((f) => outcome(f) === undefined),
    bytes: deleted.reduce((sum, f) => sum + (results && results.freed ? results.freed.get(f.path) || 0 : 0), 0),
    size: deleted.reduce((sum, f) => sum + Number(f.size || 0), 0),
  };
}

// What was freed, with the files' sizes beside it where they differ from the space
// the disk got back; for the Trash, what emptying it will free.
export function freedText(result) {
  if (result.trashed.length) return t("delete.freedOnEmpty", { size: formatBytes(result.size) });
  const [bytes, size] = [formatBytes(result.bytes), formatBytes(result.size)];
  return t(bytes !== size ? "delete.freedOfSize" : "delete.freed", { bytes, size });
}

// The status after a deletion, before what was left.
export function doneText(result) {
  return t(result.trashed.length ? "delete.doneTrash" : "delete.done", { freed: freedText(result) });
}

// What a deletion dialog offers: the Trash first, permanent deletion as a
// second choice, and for duplicates links to the file kept. Resolves with
// "trash", "delete" or "link", or null.
export async function askDeletion(title, files, bytes, note = "", links = false) {
  const answer = await confirmDialog({
    title,
    message: t("delete.question", { n: files.length, size: formatBytes(bytes) }),
    detail: note + t("delete.detail") + (links ? t("delete.detailLinks") : ""),
    confirmText: t("delete.toTrash"),
    alternativeText: t("delete.permanently"),
    choices: links ? [{ text: t("delete.toLinks"), answer: "link" }] : [],
    danger: false,
  });
  return answer === true ? "trash" : answer === "alternative" ? "delete" : answer || null;
}

// A path that keeps its end in sight: the middle gives way when the column
// is narrow, so files of one name in different folders can be told apart.
export function elidedPath(path) {
  const text = String(path);
  const cut = text.lastIndexOf("/", text.lastIndexOf("/") - 1);
  const head = cut > 0 ? text.slice(0, cut + 1) : "";
  const tail = cut > 0 ? text.slice(cut + 1) : text;
  return (
    `<span class="path muted" title="${escapeHtml(text)}"><span class="path-head">${escapeHtml(head)}</span>` +
    `<span class="path-tail">${escapeHtml(tail)}</span></span>`
  );
}

export function revealFile(path) {
  if (!NativeUtil.openFolder(path)) showError(t("large.openFailed", { path: folderOf(path) }));
  else reportEvent("reveal_file", { section: "large" });
}

class LargeFiles {
  constructor() {
    this.items = [];
    this.selected = new Set();
    this.scanId = 0;
    this.running = false;
    this.chooser = new FolderChooser($("largeFolders"), {
      onAdd: (folder) => {
        if (this.running && !NativeUtil.addScanLargeFilesFolder(this.scanId, folder)) showWarning(t("large.addLate"));
      },
    });
    labelSizes($("largeMin"));
    $("largeMin").value = NativeUtil.getSetting("largeFileMinMB", "100");
    this.list = new VirtualList($("largeList"), {
      rowHeight: 36,
      empty: t("large.empty"),
      renderRow: (file) =>
        `<label class="check"><input type="checkbox" ${this.selected.has(file.path) ? "checked" : ""}><span></span></label>` +
        `<span class="ellipsis" title="${escapeHtml(file.name)}">${escapeHtml(file.name)}</span>` +
        `<span class="num">${formatBytes(file.size)}</span>` +
        `<span class="muted">${escapeHtml(file.modifiedTime || "")}</span>` +
        elidedPath(folderOf(file.path)) +
        `<button class="icon-btn reveal" data-tooltip="${escapeHtml(t("large.reveal"))}">${FOLDER_ICON}</button>`,
    });
    $("largeList").addEventListener("click", (event) => {
      const file = this.list.itemAt(event.target);
      if (!file) return;
      if (event.target.closest(".reveal")) return revealFile(file.path);
      if (event.target.closest(".check")) {
        event.preventDefault();
        this.toggle(file.path);
      }
    });
    $("largeAll").addEventListener("change", () => {
      if ($("largeAll").checked) for (const f of this.items) this.selected.add(f.path);
      else this.selected.clear();
      this.list.refresh();
      this.updateSelection();
    });
    $("largeScanBtn").addEventListener("click", () => (this.running ? this.stop() : this.start()));
    $("largeHiddenBtn").addEventListener("click", () => {
      $("largeHidden").checked = true;
      this.start();
    });
    $("largeDeleteBtn").addEventListener("click", () => this.deleteSelected());
  }

  toggle(path) {
    if (this.selected.has(path)) this.selected.delete(path);
    else this.selected.add(path);
    this.list.refresh();
    this.updateSelection();
  }

  selectedFiles() {
    return this.items.filter((f) => this.selected.has(f.path));
  }

  updateSelection() {
    const files = this.selectedFiles();
    const bytes = files.reduce((sum, f) => sum + Number(f.size || 0), 0);
    $("largeSelection").textContent = files.length ? t("large.selection", { n: files.length, size: formatBytes(bytes) }) : t("large.noSelection");
    $("largeDeleteBtn").disabled = !files.length || this.running;
    const all = $("largeAll");
    all.checked = files.length > 0 && files.length === this.items.length;
    all.indeterminate = files.length > 0 && files.length < this.items.length;
  }

  // How many hidden folders and files the last scan left out, said under the
  // status with the offer to include them.
  showSkippedHidden(count) {
    const shown = count > 0 && !$("largeHidden").checked;
    $("largeHiddenNote").hidden = !shown;
    if (shown) $("largeHiddenText").textContent = t("large.skippedHidden", { n: count });
  }

  setItems(list) {
    this.items = list;
    const present = new Set(list.map((f) => f.path));
    for (const path of [...this.selected]) if (!present.has(path)) this.selected.delete(path);
    this.list.setItems(list, t("large.noneFound"));
    this.updateSelection();
  }

  status(text, running = false) {
    $("largeStatus").textContent = text;
    $("largeStatus").classList.toggle("running", running);
  }

  summary(list) {
    return t("large.summary", { n: list.length, size: formatBytes(list.reduce((s, f) => s + Number(f.size || 0), 0)) });
  }

  start() {
    if (this.running) return;
    if (!this.chooser.folders.length) {
      showWarning(t("large.noFolders"));
      return;
    }
    const minimum = Number($("largeMin").value) * MB;
    this.running = true;
    this.setItems([]);
    this.showSkippedHidden(0);
    this.status(t("large.scanning"), true);
    $("largeScanBtn").textContent = t("large.stopScan");
    $("largeScanBtn").classList.add("stop");
    reportEvent("scan_large_start", { folders: this.chooser.folders.length, minimumMB: minimum / MB });
    const started = Date.now();
    // An element that names no folder asks the scan for hidden entries too.
    const folders = JSON.parse(this.chooser.argument());
    if ($("largeHidden").checked) folders.push({ hidden: true });
    this.scanId = NativeUtil.startScanLargeFiles(JSON.stringify(folders), minimum, (message) => {
      const type = String(message.type);
      if (type === "error") {
        this.finish();
        this.status(t("large.failed"));
        showError(t("large.failedToast"));
        return;
      }
      const answer = parseAnswer(message.data, {}) || {};
      if (Array.isArray(answer.list)) this.setItems(answer.list);
      this.showSkippedHidden(Number(answer.skippedHidden) || 0);
      if (type === "progress") this.status(t("large.progress", { found: this.summary(this.items) }), true);
      else {
        this.finish();
        this.status(t(type === "stopped" ? "large.stopped" : "large.finished", { found: this.summary(this.items) }));
        reportEvent("scan_large_end", { result: type, files: this.items.length, seconds: Math.round((Date.now() - started) / 1000) });
      }
    });
  }

  finish() {
    this.running = false;
    this.scanId = 0;
    $("largeScanBtn").textContent = t("large.scan");
    $("largeScanBtn").classList.remove("stop");
    this.updateSelection();
  }

  stop() {
    if (this.running) NativeUtil.stopScanLargeFiles(this.scanId);
  }

  // A result measured elsewhere (the overview) shown here when nothing was scanned yet.
  adopt(list, folders, skippedHidden = 0) {
    if (this.running || this.items.length) return;
    this.chooser.folders = [...folders];
    this.chooser.render();
    $("largeMin").value = "100";
    $("largeHidden").checked = false;
    this.setItems(list);
    this.showSkippedHidden(skippedHidden);
    this.status(t("large.fromOverview", { found: this.summary(list) }));
  }

  async deleteSelected() {
    const files = this.selectedFiles();
    if (!files.length || this.running) return;
    const bytes = files.reduce((s, f) => s + Number(f.size || 0), 0);
    const mode = await askDeletion(t("large.deleteTitle"), files, bytes);
    if (!mode) return;
    const trash = mode === "trash";
    const request = { trash, files: files.map((f) => ({ path: f.path, size: Number(f.size) })) };
    const result = sortResults(files, await deleteListed(request, files.length));
    const gone = new Set([...result.deleted, ...result.gone].map((f) => f.path));
    for (const path of gone) this.selected.delete(path);
    this.setItems(this.items.filter((f) => !gone.has(f.path)));
    if (result.deleted.length) {
      addHistory("largeFiles", result.deleted.length, result.bytes, result.failed.length, { record: result.record, mode });
      showSuccess(t(trash ? "delete.trashedToast" : "delete.deletedToast", { n: result.deleted.length, freed: freedText(result) }));
    }
    if (result.changed.length) showWarning(t("delete.changedToast", { n: result.changed.length }));
    if (result.failed.length) showError(t("delete.failedToast", { n: result.failed.length }));
    this.status(
      doneText(result) +
        (result.changed.length ? t("delete.changedNote", { n: result.changed.length }) : "") +
        (result.failed.length ? t("delete.failedNote", { n: result.failed.length }) : "") +
        (result.unreached.length ? t("delete.unreachedNote", { n: result.unreached.length }) : ""),
    );
    reportEvent("delete_large", { files: result.deleted.length, failed: result.failed.length, bytes: result.bytes });
  }

  refresh() {
    if (!this.running) this.start();
  }
}

let instance = null;
export function largeFiles() {
  if (!instance) instance = new LargeFiles();
  return instance;
}
