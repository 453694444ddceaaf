// A list of fixed-height rows that builds only the rows in view, so that
// hundreds of thousands of entries scroll like a dozen.
const OVERSCAN = 6;

export class VirtualList {
  // viewport: the scrolling element; renderRow(item, index) returns the
  // row's inner HTML; rowClass(item) its extra class names.
  constructor(viewport, { rowHeight, renderRow, rowClass = () => "", empty = "" }) {
    this.viewport = viewport;
    this.rowHeight = rowHeight;
    this.renderRow = renderRow;
    this.rowClass = rowClass;
    this.emptyText = empty;
    this.items = [];
    this.first = -1;
    this.last = -1;
    this.frame = 0;
    viewport.classList.add("vlist");
    this.spacer = document.createElement("div");
    this.spacer.className = "vlist-spacer";
    this.rows = document.createElement("div");
    this.rows.className = "vlist-rows";
    this.empty = document.createElement("div");
    this.empty.className = "vlist-empty";
    viewport.append(this.spacer, this.rows, this.empty);
    viewport.addEventListener("scroll", () => this.schedule(), { passive: true });
    if (typeof ResizeObserver === "function") new ResizeObserver(() => this.schedule()).observe(viewport);
    this.setItems([]);
  }

  setItems(items, emptyText) {
    this.items = items;
    if (emptyText !== undefined) this.emptyText = emptyText;
    this.spacer.style.height = items.length * this.rowHeight + "px";
    this.empty.textContent = items.length ? "" : this.emptyText;
    this.empty.style.display = items.length ? "none" : "";
    this.refresh();
  }

  // Rebuilds the visible rows, for a change of the items' state.
  refresh() {
    this.first = -1;
    this.render();
  }

  schedule() {
    if (this.frame) return;
    this.frame = requestAnimationFrame(() => {
      this.frame = 0;
      this.render();
    });
  }

  render() {
    const height = this.viewport.clientHeight || 400;
    const top = this.viewport.scrollTop;
    const first = Math.max(0, Math.floor(top / this.rowHeight) - OVERSCAN);
    const last = Math.min(this.items.length, Math.ceil((top + height) / this.rowHeight) + OVERSCAN);
    if (first === this.first && last === this.last) return;
    this.first = first;
    this.last = last;
    let html = "";
    for (let i = first; i < last; i++) {
      const item = this.items[i];
      html +=
        `<div class="vlist-row ${this.rowClass(item)}" data-index="${i}" ` +
        `style="top:${i * this.rowHeight}px;height:${this.rowHeight}px">${this.renderRow(item, i)}</div>`;
    }
    this.rows.innerHTML = html;
  }

  // The item of the row that holds element, or undefined.
  itemAt(element) {
    const row = element.closest(".vlist-row");
    return row ? this.items[Number(row.dataset.index)] : undefined;
  }
}
