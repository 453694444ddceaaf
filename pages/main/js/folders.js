// The folders a scan walks: chips with a remove button, a path field and the
// folder picker. Folders added while a scan runs join that scan.
import * as env from "@env";
import { escapeHtml } from "/common/js/tooltip.js";
import { showWarning } from "/common/js/toast.js";
import { pathExists } from "/common/js/wizard.js";
import { t } from "/common/js/i18n.js";

export function homeFolder() {
  return String(env.path("home") || "/").replace(/\/+$/, "") || "/";
}

// What the picker answers (a path or a file:// URL) as a plain path.
export function pickedPath(answer) {
  let text = String(answer || "");
  if (!text.startsWith("file://")) return text;
  text = text.slice("file://".length);
  try {
    return decodeURIComponent(text);
  } catch (error) {
    return text;
  }
}

export class FolderChooser {
  constructor(container, { onAdd = () => {}, folders = [homeFolder()] } = {}) {
    this.container = container;
    this.folders = folders;
    this.onAdd = onAdd;
    container.innerHTML =
      '<span class="chips"></span>' +
      `<input class="input folder-input" type="text" placeholder="${escapeHtml(t("folders.typePath"))}">` +
      `<button class="btn btn-ghost btn-sm" data-act="browse">${escapeHtml(t("folders.browse"))}</button>`;
    this.chips = container.querySelector(".chips");
    this.input = container.querySelector(".folder-input");
    this.chips.className = "folders";
    this.input.addEventListener("keydown", (event) => {
      if (event.key === "Enter") this.addTyped();
    });
    container.querySelector('[data-act="browse"]').addEventListener("click", () => this.browse());
    this.chips.addEventListener("click", (event) => {
      const button = event.target.closest("[data-remove]");
      if (!button) return;
      this.folders.splice(Number(button.dataset.remove), 1);
      this.render();
    });
    this.render();
  }

  render() {
    this.chips.innerHTML = this.folders
      .map(
        (folder, i) =>
          `<span class="chip" data-tooltip="${escapeHtml(folder)}"><span class="chip-text">\u200e${escapeHtml(folder)}\u200e</span>` +
          `<button data-remove="${i}" data-tooltip="${escapeHtml(t("folders.remove"))}">×</button></span>`,
      )
      .join("");
  }

  add(folder) {
    const path = String(folder).trim().replace(/(.)\/+$/, "$1");
    if (!path) return;
    if (!path.startsWith("/") || !pathExists(path)) {
      showWarning(t("folders.missing", { path }));
      return;
    }
    if (this.folders.includes(path)) return;
    this.folders.push(path);
    this.render();
    this.onAdd(path);
  }

  addTyped() {
    const text = this.input.value;
    this.input.value = "";
    this.add(text);
  }

  browse() {
    const answer = NativeUtil.selectFolder(t("folders.pick"), this.folders[0] || homeFolder());
    if (answer) this.add(pickedPath(answer));
  }

  // The folder-list argument of the scans: JSON, so a comma in a name stays.
  argument() {
    return JSON.stringify(this.folders);
  }
}
