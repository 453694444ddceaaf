// The history window: every cleaning the user ran, newest first.
import "/common/js/tooltip.js";
import { escapeHtml } from "/common/js/tooltip.js";
import { showError, showSuccess, showWarning } from "/common/js/toast.js";
import { HISTORY_KINDS, clearHistory, confirmDialog, dismissDialog, listOf, markHistory, readHistory } from "/common/js/appkit.js";
import { formatBytes, formatTime, t } from "/common/js/i18n.js";

const $ = (id) => document.getElementById(id);
// What a count counts, by kind: files or items.
const UNITS = { largeFiles: "files", duplicates: "files", privacy: "items", startup: "items" };
const MODES = { trash: "delete.toTrash", link: "delete.toLinks", delete: "delete.permanently" };
// Why a file was not put back, by the undo's answer.
const NOT_RESTORED = new Set(["occupied", "notInTrash", "changed", "gone", "deleted", "shared", "failed"]);
const undoable = (e) => e.record && (e.mode === "trash" || e.mode === "link") && !e.undone;

function show() {
  const entries = readHistory().reverse();
  $("historyRows").innerHTML = entries
    .map(
      (e) =>
        `<tr><td>${escapeHtml(formatTime(e.time))}</td>` +
        `<td>${escapeHtml(HISTORY_KINDS[e.kind] || String(e.kind))}` +
        (MODES[e.mode] ? ` <span class="muted">${t(e.undone ? "history.modeUndone" : "history.mode", { mode: t(MODES[e.mode]) })}</span>` : "") +
        `${Number(e.failed) > 0 ? ` <span class="muted">${t("history.partly")}</span>` : ""}</td>` +
        `<td class="num">${UNITS[e.kind] ? t("history.count." + UNITS[e.kind], { n: Number(e.count) || 0 }) : Number(e.count) || 0}</td>` +
        `<td class="num">${e.kind === "startup" ? "—" : formatBytes(e.bytes)}</td>` +
        `<td>${undoable(e) ? `<button class="btn btn-ghost btn-sm" data-record="${escapeHtml(e.record)}">${t("history.undo")}</button>` : ""}</td></tr>`,
    )
    .join("");
  $("emptyNote").hidden = entries.length > 0;
  $("historyTable").hidden = entries.length === 0;
  const total = entries.reduce((s, e) => s + Number(e.bytes || 0), 0);
  $("summary").textContent = entries.length ? t("history.summary", { n: entries.length, size: formatBytes(total) }) : "";
  $("clearBtn").disabled = entries.length === 0;
}

// Puts back what the cleaning took; says what stayed and why.
function undo(record, button) {
  button.disabled = true;
  const id = NativeUtil.undoCleaning(record, (message) => {
    if (String(message.type) === "error") {
      showError(t("history.noRecord"));
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
      `<div>${t("history.restored", { n: restored })}${left.length ? t("history.notRestored", { n: left.length }) : ""}</div>` +
      left
        .map((a) => `<div class="muted">${escapeHtml(t("history.why", { path: a.path, reason: NOT_RESTORED.has(a.result) ? t("history.why." + a.result) : a.result }))}</div>`)
        .join("");
    $("undoReport").scrollIntoView();
    if (left.length) showWarning(t("history.notRestoredToast", { n: left.length }));
    else showSuccess(t("history.restored", { n: restored }));
  });
  if (!(id >= 1)) {
    button.disabled = false;
    showError(t("history.undoFailed"));
  }
}

$("historyRows").addEventListener("click", (event) => {
  const button = event.target.closest("[data-record]");
  if (button) undo(button.dataset.record, button);
});
$("clearBtn").addEventListener("click", async () => {
  const ok = await confirmDialog({ title: t("history.clear"), message: t("history.clearQuestion"), confirmText: t("history.clearAction") });
  if (!ok) return;
  clearHistory();
  show();
  showSuccess(t("history.cleared"));
});
$("closeBtn").addEventListener("click", () => Window.this.close());
$("doneBtn").addEventListener("click", () => Window.this.close());
document.addEventListener("keydown", (event) => {
  if (event.keyCode === VirtualKey.ESC && !dismissDialog()) Window.this.close();
  else if (event.keyCode === VirtualKey.F5) show();
});

show();
