// 已安装程序: every installed program, searchable, each uninstallable after
// a confirmation. Reading the list takes a while, so the busy state shows first.
import { escapeHtml } from "/common/js/tooltip.js";
import { showError, showInfo } from "/common/js/toast.js";
import { VirtualList } from "/common/js/virtuallist.js";
import { confirmDialog, formatBytes, listOf, reportEvent, withBusy } from "/common/js/appkit.js";

const $ = (id) => document.getElementById(id);

// How the listing says a program goes, by the command it gives for it.
const REMOVALS = [
  [/^pkcon remove /, "将通过系统的软件包管理移除该软件包，系统可能会要求输入密码。", "已开始移除软件包“%1”"],
  [/^flatpak uninstall /, "将通过 Flatpak 卸载该应用。", "已开始卸载“%1”"],
  [/^snap remove /, "将通过 Snap 卸载该应用，系统可能会要求输入密码。", "已开始卸载“%1”"],
  [/^rm "/, "将删除该 AppImage 文件及其菜单项。", "已删除“%1”"],
];

function removalOf(command) {
  const found = REMOVALS.find(([pattern]) => pattern.test(String(command)));
  return found
    ? { detail: found[1], started: found[2] }
    : { detail: "将启动该程序自带的卸载程序，请按其提示完成卸载。", started: "已启动“%1”的卸载程序" };
}

class Programs {
  constructor() {
    this.all = [];
    this.loaded = false;
    this.list = new VirtualList($("programList"), {
      rowHeight: 44,
      empty: "没有找到已安装的程序",
      renderRow: (p) =>
        `<span class="program-icon">${escapeHtml((p.name || "?").trim().charAt(0).toUpperCase())}</span>` +
        `<span class="ellipsis" title="${escapeHtml(p.name)}">${escapeHtml(p.name)}</span>` +
        `<span class="ellipsis muted">${escapeHtml(p.publisher || "")}</span>` +
        `<span class="ellipsis muted">${escapeHtml(p.version || "")}</span>` +
        `<span class="num muted">${Number(p.estimatedSize) > 0 ? formatBytes(Number(p.estimatedSize) * 1024) : "—"}</span>` +
        `<button class="btn btn-ghost btn-sm uninstall"${p.uninstallString ? "" : " disabled"}>卸载</button>`,
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
    this.all = await withBusy("正在读取已安装的程序…", () => listOf(NativeUtil.getInstalledPrograms()));
    this.loaded = true;
    this.filter();
  }

  filter() {
    const query = $("programSearch").value.trim().toLowerCase();
    const shown = query
      ? this.all.filter((p) => `${p.name} ${p.publisher}`.toLowerCase().includes(query))
      : this.all;
    this.list.setItems(shown, query ? "没有匹配的程序" : "没有找到已安装的程序");
    $("programCount").textContent = query ? `${shown.length} / ${this.all.length} 个程序` : `共 ${this.all.length} 个程序`;
  }

  async uninstall(program) {
    const ok = await confirmDialog({
      title: "卸载程序",
      message: `确定要卸载“${program.name}”吗？`,
      detail: removalOf(program.uninstallString).detail,
      confirmText: "卸载",
    });
    if (!ok) return;
    if (NativeUtil.uninstallProgram(program.uninstallString)) {
      showInfo(removalOf(program.uninstallString).started.replace("%1", program.name));
      reportEvent("uninstall_program", {});
    } else {
      showError(`无法启动“${program.name}”的卸载程序`);
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
