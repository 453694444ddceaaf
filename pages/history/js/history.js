// The history window: every cleaning the user ran, newest first.
import "/common/js/tooltip.js";
import { escapeHtml } from "/common/js/tooltip.js";
import { showError, showSuccess, showWarning } from "/common/js/toast.js";
import { HISTORY_KINDS, clearHistory, confirmDialog, dismissDialog, formatBytes, formatTime, listOf, markHistory, readHistory } from "/common/js/appkit.js";

const $ = (id) => document.getElementById(id);
const UNITS = { largeFiles: "个文件", duplicates: "个文件", privacy: "项", startup: "项" };
const MODES = { trash: "移到回收站", link: "替换为链接", delete: "永久删除" };
// Why a file was not put back, by the undo's answer.
const NOT_RESTORED = {
  occupied: "原位置已有文件，未覆盖",
  notInTrash: "已不在回收站中（回收站已清空或已在别处恢复）",
  changed: "该路径的文件在替换后已改变",
  gone: "该路径已不存在",
  deleted: "已永久删除，无法恢复",
  shared: "与保留的文件共享数据块，本就是独立文件",
  failed: "系统拒绝了操作",
};
const undoable = (e) => e.record && (e.mode === "trash" || e.mode === "link") && !e.undone;

function show() {
  const entries = readHistory().reverse();
  $("historyRows").innerHTML = entries
    .map(
      (e) =>
        `<tr><td>${escapeHtml(formatTime(e.time))}</td>` +
        `<td>${escapeHtml(HISTORY_KINDS[e.kind] || String(e.kind))}` +
        (MODES[e.mode] ? ` <span class="muted">（${MODES[e.mode]}${e.undone ? "，已撤销" : ""}）</span>` : "") +
        `${Number(e.failed) > 0 ? ' <span class="muted">（部分未能删除）</span>' : ""}</td>` +
        `<td class="num">${Number(e.count) || 0} ${UNITS[e.kind] || ""}</td>` +
        `<td class="num">${e.kind === "startup" ? "—" : formatBytes(e.bytes)}</td>` +
        `<td>${undoable(e) ? `<button class="btn btn-ghost btn-sm" data-record="${escapeHtml(e.record)}">撤销</button>` : ""}</td></tr>`,
    )
    .join("");
  $("emptyNote").hidden = entries.length > 0;
  $("historyTable").hidden = entries.length === 0;
  const total = entries.reduce((s, e) => s + Number(e.bytes || 0), 0);
  $("summary").textContent = entries.length ? `共 ${entries.length} 次清理，累计释放 ${formatBytes(total)}` : "";
  $("clearBtn").disabled = entries.length === 0;
}

// Puts back what the cleaning took; says what stayed and why.
function undo(record, button) {
  button.disabled = true;
  const id = NativeUtil.undoCleaning(record, (message) => {
    if (String(message.type) === "error") {
      showError("找不到这次清理的记录，无法撤销");
      return show();
    }
    const answers = listOf(message.data);
    const restored = answers.filter((a) => a.result === "restored").length;
    const left = answers.filter((a) => a.result !== "restored");
    const retry = left.some((a) => ["occupied", "failed"].includes(a.result));
    if (!retry) markHistory(record, { undone: true });
    show();
    $("undoReport").hidden = false;
    $("undoReport").innerHTML =
      `<div>已恢复 ${restored} 个文件${left.length ? `，${left.length} 个未能恢复：` : ""}</div>` +
      left.map((a) => `<div class="muted">${escapeHtml(a.path)}：${escapeHtml(NOT_RESTORED[a.result] || a.result)}</div>`).join("");
    $("undoReport").scrollIntoView();
    if (left.length) showWarning(`${left.length} 个文件未能恢复，原因见下方`);
    else showSuccess(`已恢复 ${restored} 个文件`);
  });
  if (!(id >= 1)) {
    button.disabled = false;
    showError("撤销失败");
  }
}

$("historyRows").addEventListener("click", (event) => {
  const button = event.target.closest("[data-record]");
  if (button) undo(button.dataset.record, button);
});
$("clearBtn").addEventListener("click", async () => {
  const ok = await confirmDialog({ title: "清空记录", message: "确定要清空全部清理记录吗？清空后将无法再撤销这些清理。", confirmText: "清空" });
  if (!ok) return;
  clearHistory();
  show();
  showSuccess("已清空清理记录");
});
$("closeBtn").addEventListener("click", () => Window.this.close());
$("doneBtn").addEventListener("click", () => Window.this.close());
document.addEventListener("keydown", (event) => {
  if (event.keyCode === VirtualKey.ESC && !dismissDialog()) Window.this.close();
  else if (event.keyCode === VirtualKey.F5) show();
});

show();
