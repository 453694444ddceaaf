// The history window: every cleaning the user ran, newest first.
import "/common/js/tooltip.js";
import { escapeHtml } from "/common/js/tooltip.js";
import { showSuccess } from "/common/js/toast.js";
import { HISTORY_KINDS, clearHistory, confirmDialog, dismissDialog, formatBytes, formatTime, readHistory } from "/common/js/appkit.js";

const $ = (id) => document.getElementById(id);
const UNITS = { largeFiles: "个文件", duplicates: "个文件", privacy: "项", startup: "项" };

function show() {
  const entries = readHistory().reverse();
  $("historyRows").innerHTML = entries
    .map(
      (e) =>
        `<tr><td>${escapeHtml(formatTime(e.time))}</td>` +
        `<td>${escapeHtml(HISTORY_KINDS[e.kind] || String(e.kind))}${Number(e.failed) > 0 ? ' <span class="muted">（部分未能删除）</span>' : ""}</td>` +
        `<td class="num">${Number(e.count) || 0} ${UNITS[e.kind] || ""}</td>` +
        `<td class="num">${e.kind === "startup" ? "—" : formatBytes(e.bytes)}</td></tr>`,
    )
    .join("");
  $("emptyNote").hidden = entries.length > 0;
  $("historyTable").hidden = entries.length === 0;
  const total = entries.reduce((s, e) => s + Number(e.bytes || 0), 0);
  $("summary").textContent = entries.length ? `共 ${entries.length} 次清理，累计释放 ${formatBytes(total)}` : "";
  $("clearBtn").disabled = entries.length === 0;
}

$("clearBtn").addEventListener("click", async () => {
  const ok = await confirmDialog({ title: "清空记录", message: "确定要清空全部清理记录吗？", confirmText: "清空" });
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
