// Space map: where a folder's space goes. A native scan adds up every folder
// while it walks; this page asks for one folder's items at a time and draws
// them as a squarified treemap beside a list, largest first. The map fills in
// while the scan runs; deleting an item takes it out without a new scan.
import { escapeHtml } from "/common/js/tooltip.js";
import { showError, showSuccess, showWarning } from "/common/js/toast.js";
import { VirtualList } from "/common/js/virtuallist.js";
import { confirmDialog, listOf, parseAnswer, reportEvent } from "/common/js/appkit.js";
import { formatBytes, lang, t } from "/common/js/i18n.js";
import { homeFolder, pickedPath } from "./folders.js";
import { deleteListed, sortResults } from "./large.js";

const $ = (id) => document.getElementById(id);
const KINDS = new Set(["folder", "image", "video", "audio", "document", "archive", "code", "program", "link", "special", "other", "rest"]);
const kindName = (kind) => t("map.kind." + (KINDS.has(kind) ? kind : "other"));
const counted = (n) => Number(n || 0).toLocaleString(lang);
// Cells smaller than this (square pixels) join the rest; labels need room.
const MIN_AREA = 120;
const LABEL_WIDTH = 56;
const LABEL_HEIGHT = 30;
const MAX_CELLS = 150;
// A folder this large shows its items inside, below its name and size.
const NEST_WIDTH = 90;
const NEST_HEIGHT = 80;
const NEST_TOP = 40;
const ICONS = {
  reveal: '<svg viewBox="0 0 24 24"><path d="M10 4H4c-1.1 0-2 .9-2 2v12c0 1.1.9 2 2 2h16c1.1 0 2-.9 2-2V8c0-1.1-.9-2-2-2h-8l-2-2z"/></svg>',
  remove: '<svg viewBox="0 0 24 24"><path d="M6 19c0 1.1.9 2 2 2h8c1.1 0 2-.9 2-2V7H6v12zM19 4h-3.5l-1-1h-5l-1 1H5v2h14V4z"/></svg>',
};

// Bruls, Huizing and van Wijk's squarified layout: items (value > 0, largest
// first) in rows along the shorter side, each row kept while it makes the
// worst aspect ratio better. Returns [{item, x, y, w, h}].
export function squarify(items, x, y, w, h) {
  const cells = [];
  let rest = items.slice();
  let total = rest.reduce((s, i) => s + i.value, 0);
  while (rest.length && w > 0 && h > 0 && total > 0) {
    const side = Math.min(w, h);
    const scale = (w * h) / total;
    const worst = (row, sum) => {
      const length = (sum * scale) / side;
      let ratio = 0;
      for (const i of row) {
        const other = (i.value * scale) / length;
        ratio = Math.max(ratio, length / other, other / length);
      }
      return ratio;
    };
    const row = [rest[0]];
    let sum = rest[0].value;
    while (row.length < rest.length) {
      const next = rest[row.length];
      if (worst([...row, next], sum + next.value) > worst(row, sum)) break;
      row.push(next);
      sum += next.value;
    }
    const thickness = (sum * scale) / side;
    let offset = 0;
    for (const i of row) {
      const length = (i.value * scale) / thickness;
      if (w >= h) cells.push({ item: i, x, y: y + offset, w: thickness, h: length });
      else cells.push({ item: i, x: x + offset, y, w: length, h: thickness });
      offset += length;
    }
    if (w >= h) {
      x += thickness;
      w -= thickness;
    } else {
      y += thickness;
      h -= thickness;
    }
    rest = rest.slice(row.length);
    total -= sum;
  }
  return cells;
}

function percent(share) {
  const value = share * 100;
  return value >= 10 || value === 0 ? `${Math.round(value)}%` : `${value.toFixed(1)}%`;
}

class SpaceMap {
  constructor() {
    this.scanId = 0;
    this.running = false;
    this.root = "";
    this.path = "";
    this.mode = "allocated";
    this.view = null;
    this.cells = [];
    this.list = new VirtualList($("mapList"), {
      rowHeight: 40,
      empty: t("large.empty"),
      rowClass: (item) => "map-row kind-" + item.kind,
      renderRow: (item) =>
        `<span class="swatch"></span>` +
        `<span class="ellipsis" title="${escapeHtml(item.name)}">${escapeHtml(item.name)}</span>` +
        `<span class="num">${formatBytes(item[this.mode])}</span>` +
        `<span class="share"><span style="width:${Math.max(1, Math.round(item.share * 100))}%"></span></span>` +
        (item.kind === "rest"
          ? "<span></span><span></span>"
          : `<button class="icon-btn reveal" data-tooltip="${t("large.reveal")}">${ICONS.reveal}</button>` +
            (["link", "special"].includes(item.kind) ? "<span></span>" : `<button class="icon-btn danger remove" data-tooltip="${t("map.remove")}">${ICONS.remove}</button>`)),
    });
    this.fillPlaces();
    $("mapList").addEventListener("click", (event) => {
      const item = this.list.itemAt(event.target);
      if (!item || item.kind === "rest") return;
      if (event.target.closest(".reveal")) return this.reveal(item);
      if (event.target.closest(".remove")) return this.remove(item);
      if (item.kind === "folder") this.open(item.path);
    });
    $("mapView").addEventListener("click", (event) => {
      const cell = this.cellAt(event);
      if (cell && cell.item.kind === "folder") this.open(cell.item.path);
      else if (cell && cell.parent) this.open(cell.parent);
    });
    $("mapView").addEventListener("mousemove", (event) => this.hover(event));
    $("mapView").addEventListener("mouseleave", () => ($("mapTip").hidden = true));
    $("mapCrumbs").addEventListener("click", (event) => {
      const crumb = event.target.closest("[data-path]");
      if (crumb) this.open(crumb.dataset.path);
    });
    $("mapMode").addEventListener("click", (event) => {
      const button = event.target.closest("[data-mode]");
      if (!button || button.dataset.mode === this.mode) return;
      this.mode = button.dataset.mode;
      for (const b of $("mapMode").querySelectorAll("[data-mode]")) b.classList.toggle("active", b === button);
      this.show();
    });
    $("mapBrowse").addEventListener("click", () => {
      const answer = NativeUtil.selectFolder(t("map.choose"), $("mapPlace").value || homeFolder());
      if (answer) this.scanFolder(pickedPath(answer));
    });
    $("mapPlace").addEventListener("change", () => this.scanFolder($("mapPlace").value));
    $("mapScanBtn").addEventListener("click", () => (this.running ? NativeUtil.stopScanSpaceMap(this.scanId) : this.start()));
    new ResizeObserver(() => this.draw()).observe($("mapView"));
  }

  // The home folder, the system disk and the overview's drives.
  fillPlaces() {
    const places = [[homeFolder(), t("map.home")], ["/", t("map.system")]];
    for (const drive of listOf(NativeUtil.getLogicalDrives())) places.push([String(drive.drive), t("map.drive", { drive: drive.drive })]);
    $("mapPlace").innerHTML = places.map(([path, label]) => `<option value="${escapeHtml(path)}">${escapeHtml(label)}</option>`).join("");
  }

  choose(path) {
    const select = $("mapPlace");
    if (![...select.options].some((o) => o.value === path)) select.insertAdjacentHTML("beforeend", `<option value="${escapeHtml(path)}">${escapeHtml(path)}</option>`);
    select.value = path;
  }

  // Scans the folder chosen (here, or a drive of the overview), once a running scan has stopped.
  scanFolder(path) {
    this.choose(path);
    this.pending = this.running;
    if (this.running) NativeUtil.stopScanSpaceMap(this.scanId);
    else this.start();
  }

  // The home folder is mapped the first time the section opens.
  activate() {
    if (!this.scanId && !this.running) this.start();
  }

  status(text, running = false) {
    $("mapStatus").textContent = text;
    $("mapStatus").classList.toggle("running", running);
  }

  start() {
    this.pending = false;
    const folder = $("mapPlace").value || homeFolder();
    this.running = true;
    this.root = this.path = folder.length > 1 ? folder.replace(/\/+$/, "") : folder;
    this.view = null;
    $("mapScanBtn").textContent = t("large.stopScan");
    $("mapScanBtn").classList.add("stop");
    this.status(t("large.scanning"), true);
    reportEvent("scan_space_start", {});
    const started = Date.now();
    this.scanId = NativeUtil.startScanSpaceMap(folder, (message) => {
      const type = String(message.type);
      if (type === "error") {
        this.finish();
        this.status(t("map.cannotScan", { path: folder }));
        showError(t("large.openFailed", { path: folder }));
        return;
      }
      const summary = parseAnswer(message.data, {}) || {};
      if (summary.path) this.root = summary.path;
      if (this.path === folder) this.path = this.root;
      const found = t("map.counted", {
        files: counted(summary.files),
        folders: counted(summary.folders),
        allocated: formatBytes(summary.allocated),
        apparent: formatBytes(summary.apparent),
      });
      if (type === "progress") this.status(t("map.progress", { found }), true);
      else {
        this.finish();
        if (this.pending) return this.start();
        this.status(t(type === "stopped" ? "map.stopped" : "map.finished", { found }));
        reportEvent("scan_space_end", { result: type, files: Number(summary.files || 0), seconds: Math.round((Date.now() - started) / 1000) });
      }
      this.show();
    });
  }

  finish() {
    this.running = false;
    $("mapScanBtn").textContent = t("large.scan");
    $("mapScanBtn").classList.remove("stop");
  }

  open(path) {
    this.path = path;
    this.show();
  }

  // The current folder's items again: after progress, a drill, a deletion.
  show() {
    if (!this.scanId) return;
    const view = parseAnswer(NativeUtil.spaceMapChildren(this.scanId, this.path, this.mode === "apparent"), null);
    if (!view) {
      if (this.path !== this.root) return this.open(this.root);
      return;
    }
    const items = view.items.filter((i) => Number(i[this.mode]) > 0);
    const rest = view.rest;
    if (Number(rest[this.mode]) > 0) items.push({ name: rest.count ? t("map.smaller", { n: rest.count }) : kindName("rest"), kind: "rest", allocated: rest.allocated, apparent: rest.apparent, share: rest.share });
    this.view = { ...view, items };
    this.list.setItems(items, t(this.running ? "map.counting" : "map.empty"));
    this.crumbs();
    this.draw();
  }

  crumbs() {
    const below = this.path === this.root ? [] : this.path.slice(this.root.length).split("/").filter(Boolean);
    let path = this.root;
    const parts = [`<button class="crumb" data-path="${escapeHtml(this.root)}">${escapeHtml(this.root)}</button>`];
    for (const name of below) {
      path = (path === "/" ? "" : path) + "/" + name;
      parts.push(`<button class="crumb" data-path="${escapeHtml(path)}">${escapeHtml(name)}</button>`);
    }
    const total = this.view ? `<span class="muted crumb-total">${formatBytes(this.view[this.mode])}${this.view.complete ? "" : t("map.incomplete")}</span>` : "";
    $("mapCrumbs").innerHTML = parts.join('<span class="crumb-sep">›</span>') + total;
  }

  // The items of a view as cells of area pixels: those too small to see
  // join one cell for the rest.
  grouped(view, area) {
    const whole = Number(view[this.mode]) || 1;
    const visible = [];
    const small = { name: kindName("rest"), kind: "rest", allocated: 0, apparent: 0, share: 0, count: 0 };
    const items = [...view.items];
    if (view.rest && !items.some((i) => i.kind === "rest")) items.push({ ...view.rest, kind: "rest" });
    for (const item of items) {
      const value = Number(item[this.mode]);
      if (!(value > 0)) continue;
      if (item.kind !== "rest" && (value / whole) * area >= MIN_AREA && visible.length < MAX_CELLS) visible.push({ ...item, value });
      else {
        small.allocated += Number(item.allocated);
        small.apparent += Number(item.apparent);
        small.share += Number(item.share);
        small.count += item.kind === "rest" ? Number(item.count) || 0 : 1;
      }
    }
    if (small[this.mode] > 0) visible.push({ ...small, value: small[this.mode] });
    return visible;
  }

  // The treemap of the folder shown; a folder with room for it shows its own
  // items inside, a level deeper.
  draw() {
    const box = $("mapView");
    const width = box.clientWidth;
    const height = box.clientHeight;
    if (!this.view || !width || !height) {
      box.innerHTML = "";
      return;
    }
    $("mapTip").hidden = true; // its cell is redrawn
    this.cells = [];
    const html = [];
    const add = (cell, depth, parent) => {
      cell.parent = parent;
      this.cells.push(cell);
      const labelled = cell.w >= LABEL_WIDTH && cell.h >= (depth ? LABEL_HEIGHT / 2 : LABEL_HEIGHT);
      html.push(
        `<div class="map-cell kind-${cell.item.kind}${depth ? " inner" : ""}" data-cell="${this.cells.length - 1}" ` +
          `style="left:${cell.x.toFixed(1)}px;top:${cell.y.toFixed(1)}px;width:${cell.w.toFixed(1)}px;height:${cell.h.toFixed(1)}px">` +
          (labelled ? `<span class="cell-name">${escapeHtml(cell.item.name)}</span>` + (depth ? "" : `<span class="cell-size">${formatBytes(cell.item.value)}</span>`) : "") +
          "</div>",
      );
    };
    for (const cell of squarify(this.grouped(this.view, width * height), 0, 0, width, height)) {
      add(cell, 0, "");
      if (cell.item.kind !== "folder" || cell.w < NEST_WIDTH || cell.h < NEST_HEIGHT) continue;
      const inner = parseAnswer(NativeUtil.spaceMapChildren(this.scanId, cell.item.path, this.mode === "apparent"), null);
      if (!inner) continue;
      const [x, y, w, h] = [cell.x + 3, cell.y + NEST_TOP, cell.w - 6, cell.h - NEST_TOP - 3];
      for (const sub of squarify(this.grouped(inner, w * h), x, y, w, h)) add(sub, 1, cell.item.path);
    }
    box.innerHTML = html.join("");
  }

  cellAt(event) {
    const element = event.target.closest("[data-cell]");
    return element ? this.cells[Number(element.dataset.cell)] : null;
  }

  hover(event) {
    const cell = this.cellAt(event);
    const tip = $("mapTip");
    if (!cell) {
      tip.hidden = true;
      return;
    }
    const item = cell.item;
    tip.innerHTML =
      `<b>${escapeHtml(item.name)}</b><span>${kindName(item.kind)}${item.count ? t("map.entries", { n: item.count }) : ""}</span>` +
      `<span>${t("map.sizes", { allocated: formatBytes(item.allocated), apparent: formatBytes(item.apparent) })}</span>` +
      `<span>${escapeHtml(t("map.share", { parent: this.nameOf(cell.parent || this.path), share: percent(Number(item.share)) }))}</span>`;
    tip.hidden = false;
    const area = $("mapView").getBoundingClientRect();
    const x = event.clientX - area.left + 14;
    const y = event.clientY - area.top + 14;
    tip.style.left = Math.min(x, area.width - tip.offsetWidth - 4) + "px";
    tip.style.top = (y + tip.offsetHeight > area.height ? y - tip.offsetHeight - 20 : y) + "px";
  }

  nameOf(path) {
    return path.slice(path.lastIndexOf("/") + 1) || path;
  }

  reveal(item) {
    if (!NativeUtil.openFolder(item.path)) showError(t("large.openFailed", { path: item.path }));
    else reportEvent("reveal_file", { section: "spacemap" });
  }

  async remove(item) {
    if (this.running) {
      showWarning(t("map.waitScan"));
      return;
    }
    const what = item.kind === "folder" ? "folder" : "file";
    const values = { name: item.name, size: formatBytes(item.allocated) };
    const answer = await confirmDialog({
      title: t(`map.${what}.title`),
      message: t(`map.${what}.question`, values),
      detail: (item.kind === "folder" ? t("map.folderContents") : "") + t("map.trashDetail"),
      confirmText: t("delete.toTrash"),
      alternativeText: t("delete.permanently"),
      danger: false,
    });
    if (!answer) return;
    const trash = answer === true;
    const files = [{ path: item.path, size: Number(item.apparent) }];
    const result = sortResults(files, await deleteListed({ trash, entries: files }, 1));
    for (const gone of [...result.deleted, ...result.gone]) NativeUtil.forgetSpaceMapItem(this.scanId, gone.path);
    if (result.deleted.length) showSuccess(t(`map.${what}.${trash ? "trashed" : "deleted"}`, values));
    if (result.changed.length) showWarning(t("map.changed", values));
    if (result.failed.length) showError(t("map.failed", values));
    reportEvent("delete_space_item", { folder: item.kind === "folder", trash, deleted: result.deleted.length });
    this.show();
  }

  refresh() {
    if (!this.running) this.start();
  }
}

let instance = null;
export function spaceMap() {
  if (!instance) instance = new SpaceMap();
  return instance;
}
