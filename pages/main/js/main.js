// The application's main window: the sidebar of sections, the overview and
// its one-click measurement, the settings and about page, the shortcuts.
import * as sys from "@sys";
import { gAppVersion, UNSTALLER_EXE_NAME, PATH_SEPARATOR } from "/common/js/constants.js";
import { escapeHtml } from "/common/js/tooltip.js";
import { showError, showSuccess, showWarning } from "/common/js/toast.js";
import { dismissDialog, isBusy, listOf, parseAnswer, readHotkeys, reportEvent, usageStatsOn, withBusy } from "/common/js/appkit.js";
import { LANGUAGE_SETTING, formatBytes, t } from "/common/js/i18n.js";
import { homeFolder } from "./folders.js";
import { labelSizes, largeFiles } from "./large.js";
import { duplicates, wasted } from "./dup.js";
import { preselected, privacy } from "./privacy.js";
import { startup } from "./startup.js";
import { programs } from "./programs.js";
import { spaceMap } from "./spacemap.js";

const $ = (id) => document.getElementById(id);
const installFolder = NativeUtil.processFolder();

// Sections are built on first use: reading programs or privacy sizes is slow.
const sections = {
  overview: { activate() {}, refresh: () => showOverview() },
  large: largeFiles(),
  dup: duplicates(),
  spacemap: spaceMap(),
  privacy: privacy(),
  startup: startup(),
  programs: programs(),
  settings: { activate: () => showClientId(), refresh: () => showSettings() },
};
let current = "overview";

function showSection(name) {
  if (!sections[name]) return;
  finishStart();
  current = name;
  for (const button of document.querySelectorAll(".nav-item")) button.classList.toggle("active", button.dataset.section === name);
  for (const section of document.querySelectorAll(".section")) section.classList.toggle("active", section.id === "section-" + name);
  $("sectionTitle").textContent = t("nav." + name);
  const section = sections[name];
  if (section.activate) section.activate();
  else if (section.list) section.list.refresh();
  reportEvent("open_section", { section: name });
}

$("nav").addEventListener("click", (event) => {
  const button = event.target.closest("[data-section]");
  if (button) showSection(button.dataset.section);
});

// The overview
// A volume's space as df shows it: what is used, what the user can still
// write (the blocks kept for root are neither), and the size.
function spaceOf(path, total, free) {
  const facts = sys.fs.sync.statfs(path);
  if (!facts) return { used: total - free, available: free, total };
  return {
    used: (facts.blocks - facts.bfree) * facts.bsize,
    available: facts.bavail * facts.bsize,
    total: facts.blocks * facts.bsize,
  };
}

function bar(label, { used, available, total }, mapped = "") {
  const percent = used + available > 0 ? Math.min(100, Math.round((used / (used + available)) * 100)) : 0;
  return (
    `<div class="drive"${mapped ? ` data-map="${escapeHtml(mapped)}" data-tooltip="${escapeHtml(t("overview.openMap"))}"` : ""}><div class="drive-name"><b>${escapeHtml(label)}</b><span class="muted">${percent}%</span></div>` +
    `<div class="bar"><div class="bar-fill${percent >= 90 ? " warn" : ""}" style="width:${percent}%"></div></div>` +
    `<div class="drive-space">${escapeHtml(t("overview.space", { used: formatBytes(used), available: formatBytes(available), total: formatBytes(total) }))}</div></div>`
  );
}

function showOverview() {
  const total = Number(NativeUtil.getSystemDriveTotalBits());
  const free = Number(NativeUtil.getSystemDriveFreeBits());
  let html = total > 1 ? bar(t("overview.systemDrive", { path: "/" }), spaceOf("/", total, free), "/") : "";
  for (const drive of listOf(NativeUtil.getLogicalDrives())) {
    const space = spaceOf(drive.drive, Number(drive.totalSpace || 0), Number(drive.freeSpace || 0));
    html += bar(t(drive.isRemovable ? "overview.removableDrive" : "overview.localDrive", { path: drive.drive }), space, String(drive.drive));
  }
  const memory = Number(NativeUtil.getMemeryBits());
  html +=
    `<div class="drive"><div class="drive-name"><b>${escapeHtml(t("overview.memory"))}</b></div>` +
    `<div class="drive-space">${escapeHtml(t("overview.physicalMemory", { size: formatBytes(memory) }))}</div></div>`;
  $("drives").innerHTML = html;
  const disks = listOf(NativeUtil.getDiskList());
  $("disks").innerHTML = disks.length
    ? disks
        .map((d) => `<div class="disk-row"><span>${escapeHtml(d.diskModel || t("overview.unknownDisk"))}</span><span class="muted">${formatBytes(d.diskSize)}</span></div>`)
        .join("")
    : `<div class="muted">${escapeHtml(t("overview.noDisks"))}</div>`;
  $("osName").textContent = NativeUtil.OS();
  $("cpuArch").textContent = NativeUtil.cpuArchitecture();
  $("kernel").textContent = NativeUtil.kernelType() + " " + NativeUtil.kernelVersion();
  $("installFolder").textContent = installFolder;
}

// One button measures what every cleaning section could free in the home
// folder, each file counted once. Caches and the copies beyond one in each
// duplicate group can go for sure; large files (those not already counted
// as copies), the Trash and the recent lists only if the user chooses. The
// caches not selected for the user count in neither.
const CHOSEN_PRIVACY = new Set(["recyclebin", "recent"]);
const LARGE_MINIMUM = 100 * 1024 * 1024;
$("measureLargeLabel").textContent = t("overview.measureLarge", { size: formatBytes(LARGE_MINIMUM, 0) });

function measured({ large, groups, privacy }) {
  const copies = new Set();
  for (const g of groups) for (const f of g.files.slice(1)) copies.add(f.path);
  const sum = (files) => files.reduce((s, f) => s + Number(f.size || 0), 0);
  const values = {
    large: sum(large.filter((f) => !copies.has(f.path))),
    dup: wasted(groups),
    privacy: sum(privacy),
    privacySure: sum(privacy.filter(preselected)),
    privacyChosen: sum(privacy.filter((i) => CHOSEN_PRIVACY.has(i.type))),
  };
  values.sure = values.dup + values.privacySure;
  values.chosen = values.large + values.privacyChosen;
  return values;
}

let measuring = false;
async function measureAll() {
  if (measuring) return;
  measuring = true;
  const button = $("measureAllBtn");
  button.disabled = true;
  button.textContent = t("overview.scanning");
  $("measureCard").hidden = false;
  const found = { large: [], groups: [], privacy: [] };
  const pending = new Set(["large", "dup"]);
  let values = measured(found);
  const show = () => {
    values = measured(found);
    $("measureLarge").textContent = formatBytes(values.large);
    $("measureDup").textContent = formatBytes(values.dup);
    $("measurePrivacy").textContent = formatBytes(values.privacy);
    $("measureTotal").textContent = formatBytes(values.sure);
    const choice = values.chosen > 0 ? (values.privacyChosen ? "overview.choiceLargeTrash" : "overview.choiceLarge") : "overview.choiceSure";
    $("measureChoice").textContent = t(choice, { size: formatBytes(values.chosen) });
  };
  for (const id of ["measureLarge", "measureDup", "measurePrivacy", "measureTotal"]) $(id).textContent = "…";
  $("measureChoice").textContent = t("overview.choiceSure");
  $("measureStatus").textContent = t("overview.measuringPrivacy");
  found.privacy = await privacy().measure();
  $("measurePrivacy").textContent = formatBytes(measured(found).privacy);
  $("measureStatus").textContent = t("overview.scanningHome");
  const folders = [homeFolder()];
  const started = Date.now();
  const finish = (kind) => {
    pending.delete(kind);
    show();
    if (pending.size) return;
    measuring = false;
    button.disabled = false;
    button.textContent = t("overview.rescan");
    const title = values.sure > 0 ? "overview.freeable" : values.chosen > 0 ? "overview.nothingSure" : "overview.clean";
    $("heroTitle").textContent = t(title, { size: formatBytes(values.sure) });
    $("heroSub").textContent = t(values.chosen > 0 ? "overview.chosenDetails" : "overview.details", { size: formatBytes(values.chosen) });
    $("measureStatus").textContent = t("overview.finished", { n: Math.max(1, Math.round((Date.now() - started) / 1000)) });
    reportEvent("measure_all", { bytes: values.sure, chosen: values.chosen });
  };
  NativeUtil.startScanLargeFiles(JSON.stringify(folders), LARGE_MINIMUM, (message) => {
    const type = String(message.type);
    const answer = parseAnswer(message.data, {}) || {};
    found.large = Array.isArray(answer.list) ? answer.list : [];
    if (type === "progress") return show();
    if (type !== "error") largeFiles().adopt(found.large, folders, Number(answer.skippedHidden) || 0);
    finish("large");
  });
  NativeUtil.startScanDuplicateFiles(JSON.stringify(folders), (message) => {
    const type = String(message.type);
    const groups = (parseAnswer(message.data, {}) || {}).groups || [];
    found.groups = groups.filter((g) => g && Array.isArray(g.files) && Number(g.size) > 0);
    if (type === "progress") return show();
    if (type !== "error") duplicates().adopt(groups, folders);
    finish("dup");
  });
}

$("drives").addEventListener("click", (event) => {
  const drive = event.target.closest("[data-map]");
  if (!drive) return;
  spaceMap().scanFolder(drive.dataset.map);
  showSection("spacemap");
});
$("measureAllBtn").addEventListener("click", () => measureAll());
$("measureCard").addEventListener("click", (event) => {
  const item = event.target.closest("[data-goto]");
  if (item) showSection(item.dataset.goto);
});

// The settings and the about card
function showSettings() {
  $("setBoot").checked = NativeUtil.isStartupOnBoot();
  $("setMinimize").checked = NativeUtil.getSetting("minimizeOnClose", "1") === "1";
  $("setLargeMin").value = NativeUtil.getSetting("largeFileMinMB", "100");
  $("setStats").checked = usageStatsOn();
  $("aboutVersion").textContent = t("settings.version", { version: gAppVersion });
  $("setLanguage").value = NativeUtil.getSetting(LANGUAGE_SETTING, "");
}

// The first identification of the machine may take a moment: only when asked for.
function showClientId() {
  if ($("aboutClient").textContent) return;
  const client = NativeUtil.getClientId();
  $("aboutClient").textContent = client ? t("settings.clientId", { id: client }) : "";
}

$("setBoot").addEventListener("change", () => {
  const on = $("setBoot").checked;
  if (!NativeUtil.setStartupOnBoot(on)) {
    $("setBoot").checked = !on;
    showError(t(on ? "settings.bootOnFailed" : "settings.bootOffFailed"));
    return;
  }
  reportEvent("setting", { name: "startupOnBoot", on });
});
$("setMinimize").addEventListener("change", () => {
  NativeUtil.setMinimizeOnClose($("setMinimize").checked);
  reportEvent("setting", { name: "minimizeOnClose", on: $("setMinimize").checked });
});
$("setLargeMin").addEventListener("change", () => {
  NativeUtil.setSetting("largeFileMinMB", $("setLargeMin").value);
  $("largeMin").value = $("setLargeMin").value;
});
// Every window reads its words anew in the language chosen.
$("setLanguage").addEventListener("change", () => {
  NativeUtil.setSetting(LANGUAGE_SETTING, $("setLanguage").value);
  reportEvent("setting", { name: "language", value: $("setLanguage").value || "system" });
  Window.post(new CustomEvent("APP_LANGUAGE"));
});
document.onGlobalEvent("APP_LANGUAGE", () => location.reload());
$("setStats").addEventListener("change", () => {
  // The last event before turning it off says so; none follow.
  if (!$("setStats").checked) reportEvent("setting", { name: "usageStats", on: false });
  NativeUtil.setSetting("usageStats", $("setStats").checked ? "1" : "0");
});

$("feedbackBtn").addEventListener("click", async () => {
  const content = $("feedbackText").value.trim();
  if (!content) {
    showWarning(t("settings.feedbackEmpty"));
    return;
  }
  const contact = $("feedbackContact").value.trim();
  const sent = await withBusy(t("settings.feedbackSending"), () => NativeUtil.submitFeedback(JSON.stringify({ content, contact })));
  if (sent) {
    $("feedbackText").value = "";
    showSuccess(t("settings.feedbackThanks"));
  } else {
    showError(t("settings.feedbackFailed"));
  }
});

// The other windows open over the main one.
export function openWindow(url) {
  Window.this.modal({ url });
}
$("checkUpdateBtn").addEventListener("click", () => openWindow(NativeUtil.updateWindowPath));
$("historyBtn").addEventListener("click", () => openWindow(NativeUtil.historyWindowPath));
$("hotkeyBtn").addEventListener("click", () => openWindow(NativeUtil.hotkeyWindowPath));

$("uninstallBtn").addEventListener("click", () => {
  // A package's files are the package manager's to remove.
  const packageName = NativeUtil.installedPackage();
  if (packageName) {
    showWarning(t("settings.uninstallPackage", { name: packageName }));
    return;
  }
  const uninstaller = installFolder + PATH_SEPARATOR + UNSTALLER_EXE_NAME;
  if (!NativeUtil.launch(uninstaller, installFolder, "")) {
    showError(t("settings.uninstallFailed", { path: uninstaller }));
    return;
  }
  // The uninstaller refuses to run while this program does: make way for it.
  quit();
});

// Leaves for good: a close that would only hide the window is turned off
// for this process, the stored preference stays as it was.
function quit() {
  const stored = NativeUtil.getSetting("minimizeOnClose", "1");
  NativeUtil.setMinimizeOnClose(false);
  NativeUtil.setSetting("minimizeOnClose", stored);
  Window.this.close();
}

// The page's own close button does what the window's does: to the tray
// while minimise-on-close is set and a tray shows the icon, else the
// program ends (a hidden window without a tray could never come back).
$("closeBtn").addEventListener("click", () => {
  if (NativeUtil.getSetting("minimizeOnClose", "1") === "1" && NativeUtil.setTrayIcon()) Window.this.state = Window.WINDOW_HIDDEN;
  else Window.this.close();
});

// Shortcuts: Escape closes a dialog; the rest are changeable in the shortcuts window.
let hotkeys = {};
window.addEventListener("focus", () => (hotkeys = readHotkeys()));
document.addEventListener("keydown", (event) => {
  finishStart();
  if (event.keyCode === VirtualKey.ESC) {
    dismissDialog();
    return;
  }
  if (isBusy() || document.querySelector(".dialog-overlay")) return;
  const action = Object.keys(hotkeys).find((name) => hotkeys[name] === event.keyCode);
  if (!action) return;
  event.preventDefault();
  if (action === "refresh") sections[current].refresh();
  else if (action === "shortcuts") openWindow(NativeUtil.hotkeyWindowPath);
  else if (action === "history") openWindow(NativeUtil.historyWindowPath);
  else if (action === "settings") showSection("settings");
  reportEvent("hotkey", { action });
});

// Desktop integration: the tray icon, and leaving when the tray menu says so.
document.onGlobalEvent("NATIVE_EXIT_APP", () => quit());
const showMain = () => (Window.this.state = Window.WINDOW_SHOWN);
document.onGlobalEvent("APP_SHOW_MAIN", showMain);
document.onGlobalEvent("APP_SCAN", () => {
  showMain();
  showSection("overview");
  measureAll();
  reportEvent("tray_scan", {});
});
labelSizes($("setLargeMin"));
showOverview();

// What the overview does not show waits until it is on screen (or until
// the user acts first): the tray, the settings, the shortcuts, the start
// report.
let started = false;
function finishStart() {
  if (started) return;
  started = true;
  NativeUtil.setMinimizeOnClose(NativeUtil.getSetting("minimizeOnClose", "1") === "1");
  NativeUtil.setTrayIcon();
  showSettings();
  hotkeys = readHotkeys();
  reportEvent("app_start", { version: gAppVersion });
}
requestAnimationFrame(() => setTimeout(finishStart, 0));
setTimeout(finishStart, 1000); // a window hidden at once paints no frame
