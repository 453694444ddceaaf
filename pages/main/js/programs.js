// Installed programs: every installed program, searchable, each uninstallable after
// a confirmation. Reading the list takes a while, so the busy state shows first.
import { escapeHtml } from "/common/js/tooltip.js";
import { showError, showInfo } from "/common/js/toast.js";
import { VirtualList } from "/common/js/virtuallist.js";
import { confirmDialog, listOf, reportEvent, withBusy } from "/common/js/appkit.js";
import { formatBytes, t } from "/common/js/i18n.js";

const $ = (id) => document.getElementById(id);

// How the listing says a program goes, by the command it gives for it.
const REMOVALS = [
  [/^pkcon remove /, "package"],
  [/^flatpak uninstall /, "flatpak"],
  [/^snap remove /, "snap"],
  [/^rm "/, "appimage"],
];

function removalOf(command) {
  const found = REMOVALS.find(([pattern]) => pattern.test(String(command)));
  return "programs.removal." + (found ? found[1] : "own");
}

class Programs {
  constructor() {
    this.all = [];
    this.loaded = false;
    this.list = new VirtualList($("programList"), {
      rowHeight: 44,
      empty: t("programs.none"),
      renderRow: (p) =>
        `<span class="program-icon">${escapeHtml((p.name || "?").trim().charAt(0).toUpperCase())}</span>` +
        `<span class="ellipsis" title="${escapeHtml(p.name)}">${escapeHtml(p.name)}</span>` +
        `<span class="ellipsis muted">${escapeHtml(p.publisher || "")}</span>` +
        `<span class="ellipsis muted">${escapeHtml(p.version || "")}</span>` +
        `<span class="num muted">${Number(p.estimatedSize) > 0 ? formatBytes(Number(p.estimatedSize) * 1024) : "—"}</span>` +
        `<button class="btn btn-ghost btn-sm uninstall"${p.uninstallString ? "" : " disabled"}>${escapeHtml(t("programs.uninstall"))}</button>`,
    });
    $("programList").addEventListener("click", (event) => {
      if (!event.target.closest(".uninstall")) return;
      const program = this.list.itemAt(event.target);
      if (program) this.uninstall(program);
    });
    $("programSearch").addEventListener("input", () => this.filter());
    $("programRefreshBtn").addEventListener("click", () => this.load());
  }

  activate() {
    if (!this.loaded) this.load();
  }

  async load() {
    this.all = await withBusy(t("programs.reading"), () => listOf(NativeUtil.getInstalledPrograms()));
    this.loaded = true;
    this.filter();
  }

  filter() {
    const query = $("programSearch").value.trim().toLowerCase();
    const shown = query
      ? this.all.filter((p) => `${p.name} ${p.publisher}`.toLowerCase().includes(query))
      : this.all;
    this.list.setItems(shown, t(query ? "programs.noMatch" : "programs.none"));
    $("programCount").textContent = query
      ? t("programs.countShown", { shown: shown.length, n: this.all.length })
      : t("programs.count", { n: this.all.length });
  }

  async uninstall(program) {
    const ok = await confirmDialog({
      title: t("programs.uninstallTitle"),
      message: t("programs.uninstallQuestion", { name: program.name }),
      detail: t(removalOf(program.uninstallString) + ".detail"),
      confirmText: t("programs.uninstall"),
    });
    if (!ok) return;
    if (NativeUtil.uninstallProgram(program.uninstallString)) {
      showInfo(t(removalOf(program.uninstallString) + ".started", { name: program.name }));
      reportEvent("uninstall_program", {});
    } else {
      showError(t("programs.uninstallFailed", { name: program.name }));
    }
  }

  refresh() {
    this.load();
  }
}

let instance = null;
export function programs() {
  if (!instance) instance = new Programs();
  return instance;
}
