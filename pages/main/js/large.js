// 大文件: a background scan of the chosen folders, largest first, and the
// deletion of the files the user selected.
import { escapeHtml } from "/common/js/tooltip.js";
import { showError, showSuccess, showWarning } from "/common/js/toast.js";
import { VirtualList } from "/common/js/virtuallist.js";
import { addHistory, busyProgress, confirmDialog, folderOf, formatBytes, listOf, parseAnswer, reportEvent, withBusy } from "/common/js/appkit.js";
import { FolderChooser } from "./folders.js";

const $ = (id) => document.getElementById(id);
const MB = 1024 * 1024;
const FOLDER_ICON =
  '<svg viewBox="0 0 24 24"><path d="M10 4H4c-1.1 0-2 .9-2 2v12c0 1.1.9 2 2 2h16c1.1 0 2-.9 2-2V8c0-1.1-.9-2-2-2h-8l-2-2z"/></svg>';

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
// still the one listed, with its progress and a 停止 button in the busy
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
        busyProgress(`正在删除… 已处理 ${answers.length} / ${total} 个文件`, answers.length / total);
      });
      if (!(id >= 1)) resolve(null);
    });
  return withBusy(`正在删除 ${total} 个文件…`, work, () => NativeUtil.stopDeleteScannedFiles(id));
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

// "释放 …", with the files' sizes beside it where they differ from the space
// the disk got back; for the Trash, what emptying it will free.
export function freedText(result) {
  if (result.trashed.length) return `清空回收站后释放 ${formatBytes(result.size)}`;
  return `释放 ${formatBytes(result.bytes)}` + (formatBytes(result.size) !== formatBytes(result.bytes) ? `（文件大小共 ${formatBytes(result.size)}）` : "");
}

// The status after a deletion, before what was left.
export function doneText(result) {
  return result.trashed.length ? `已移到回收站，${freedText(result)}` : `已${freedText(result)}`;
}

// What a deletion dialog offers: the Trash first, permanent deletion as a
// second choice, and for duplicates links to the file kept. Resolves with
// "trash", "delete" or "link", or null.
export async function askDeletion(title, files, bytes, note = "", links = false) {
  const answer = await confirmDialog({
    title,
    message: `确定要将所选的 ${files.length} 个文件（共 ${formatBytes(bytes)}）移到回收站吗？`,
    detail:
      note +
      "移到回收站的文件可以恢复，空间在清空回收站后才释放。选择“永久删除”则无法恢复。" +
      (links
        ? "选择“替换为链接”则每个路径都保留，与保留的文件共享数据，空间立即释放，可在清理记录中撤销；" +
          "文件系统不支持共享数据块时改为硬链接，修改其中一个路径会同时改变其他路径。"
        : ""),
    confirmText: "移到回收站",
    alternativeText: "永久删除",
    choices: links ? [{ text: "替换为链接", answer: "link" }] : [],
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
  if (!NativeUtil.openFolder(path)) showError("无法打开文件夹：" + folderOf(path));
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
        if (this.running && !NativeUtil.addScanLargeFilesFolder(this.scanId, folder)) showWarning("扫描即将结束，新文件夹将在下次扫描时加入");
      },
    });
    $("largeMin").value = NativeUtil.getSetting("largeFileMinMB", "100");
    this.list = new VirtualList($("largeList"), {
      rowHeight: 36,
      empty: "还没有扫描结果",
      renderRow: (file) =>
        `<label class="check"><input type="checkbox" ${this.selected.has(file.path) ? "checked" : ""}><span></span></label>` +
        `<span class="ellipsis" title="${escapeHtml(file.name)}">${escapeHtml(file.name)}</span>` +
        `<span class="num">${formatBytes(file.size)}</span>` +
        `<span class="muted">${escapeHtml(file.modifiedTime || "")}</span>` +
        elidedPath(folderOf(file.path)) +
        `<button class="icon-btn reveal" data-tooltip="在文件夹中显示">${FOLDER_ICON}</button>`,
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
    $("largeSelection").textContent = files.length ? `已选择 ${files.length} 个文件，共 ${formatBytes(bytes)}` : "未选择文件";
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
    if (shown) $("largeHiddenText").textContent = `已跳过 ${count} 个隐藏的文件夹或文件（名称以“.”开头，如 .cache、.local），其中的大文件未列出。`;
  }

  setItems(list) {
    this.items = list;
    const present = new Set(list.map((f) => f.path));
    for (const path of [...this.selected]) if (!present.has(path)) this.selected.delete(path);
    this.list.setItems(list, "没有找到符合条件的大文件");
    this.updateSelection();
  }

  status(text, running = false) {
    $("largeStatus").textContent = text;
    $("largeStatus").classList.toggle("running", running);
  }

  summary(list) {
    return `${list.length} 个文件，共 ${formatBytes(list.reduce((s, f) => s + Number(f.size || 0), 0))}`;
  }

  start() {
    if (this.running) return;
    if (!this.chooser.folders.length) {
      showWarning("请先添加要扫描的文件夹");
      return;
    }
    const minimum = Number($("largeMin").value) * MB;
    this.running = true;
    this.setItems([]);
    this.showSkippedHidden(0);
    this.status("正在扫描…", true);
    $("largeScanBtn").textContent = "停止扫描";
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
        this.status("扫描失败");
        showError("扫描大文件失败");
        return;
      }
      const answer = parseAnswer(message.data, {}) || {};
      if (Array.isArray(answer.list)) this.setItems(answer.list);
      this.showSkippedHidden(Number(answer.skippedHidden) || 0);
      if (type === "progress") this.status("正在扫描… 已找到 " + this.summary(this.items), true);
      else {
        this.finish();
        this.status((type === "stopped" ? "已停止：找到 " : "扫描完成：找到 ") + this.summary(this.items));
        reportEvent("scan_large_end", { result: type, files: this.items.length, seconds: Math.round((Date.now() - started) / 1000) });
      }
    });
  }

  finish() {
    this.running = false;
    this.scanId = 0;
    $("largeScanBtn").textContent = "开始扫描";
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
    this.status("概览扫描的结果：" + this.summary(list));
  }

  async deleteSelected() {
    const files = this.selectedFiles();
    if (!files.length || this.running) return;
    const bytes = files.reduce((s, f) => s + Number(f.size || 0), 0);
    const mode = await askDeletion("删除文件", files, bytes);
    if (!mode) return;
    const trash = mode === "trash";
    const request = { trash, files: files.map((f) => ({ path: f.path, size: Number(f.size) })) };
    const result = sortResults(files, await deleteListed(request, files.length));
    const gone = new Set([...result.deleted, ...result.gone].map((f) => f.path));
    for (const path of gone) this.selected.delete(path);
    this.setItems(this.items.filter((f) => !gone.has(f.path)));
    if (result.deleted.length) {
      addHistory("largeFiles", result.deleted.length, result.bytes, result.failed.length, { record: result.record, mode });
      showSuccess(`${trash ? "已将" : "已删除"} ${result.deleted.length} 个文件${trash ? "移到回收站" : ""}，${freedText(result)}`);
    }
    if (result.changed.length) showWarning(`${result.changed.length} 个文件在扫描后已改变，未删除，请重新扫描`);
    if (result.failed.length) showError(`${result.failed.length} 个文件无法删除，可能没有权限或正被使用`);
    this.status(
      doneText(result) +
        (result.changed.length ? `，${result.changed.length} 个文件已改变，未删除` : "") +
        (result.failed.length ? `，${result.failed.length} 个文件未能删除` : "") +
        (result.unreached.length ? `；已停止，${result.unreached.length} 个文件未删除` : ""),
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
