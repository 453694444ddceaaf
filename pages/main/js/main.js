// The application's main window: the sidebar of sections, the overview and
// its one-click measurement, the settings and about page, the shortcuts.
import * as sys from "@sys";
import { gAppNameCn, gAppVersion, UNSTALLER_EXE_NAME, PATH_SEPARATOR } from "/common/js/constants.js";
import { escapeHtml } from "/common/js/tooltip.js";
import { showError, showSuccess, showWarning } from "/common/js/toast.js";
import { dismissDialog, formatBytes, isBusy, listOf, parseAnswer, readHotkeys, reportEvent, usageStatsOn, withBusy } from "/common/js/appkit.js";
import { homeFolder } from "./folders.js";
import { largeFiles } from "./large.js";
import { duplicates, wasted } from "./dup.js";
import { preselected, privacy } from "./privacy.js";
import { startup } from "./startup.js";
import { programs } from "./programs.js";
import { spaceMap } from "./spacemap.js";

const $ = (id) => document.getElementById(id);
const installFolder = NativeUtil.processFolder();
const TITLES = {
  overview: "概览",
  large: "大文件",
  dup: "重复文件",
  spacemap: "空间分布",
  privacy: "系统清理",
  startup: "启动项",
  programs: "已安装程序",
  settings: "设置",
};

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
  if (!TITLES[name]) return;
  current = name;
  for (const button of document.querySelectorAll(".nav-item")) button.classList.toggle("active", button.dataset.section === name);
  for (const section of document.querySelectorAll(".section")) section.classList.toggle("active", section.id === "section-" + name);
  $("sectionTitle").textContent = TITLES[name];
  const section = sections[name];
  if (section.activate) section.activate();
  else if (section.list) section.list.refresh();
  reportEvent("open_section", { section: name });
}

$("nav").addEventListener("click", (event) => {
  const button = event.target.closest("[data-section]");
  if (button) showSection(button.dataset.section);
});

// 概览
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
    `<div class="drive"${mapped ? ` data-map="${escapeHtml(mapped)}" data-tooltip="查看空间分布"` : ""}><div class="drive-name"><b>${escapeHtml(label)}</b><span class="muted">${percent}%</span></div>` +
    `<div class="bar"><div class="bar-fill${percent >= 90 ? " warn" : ""}" style="width:${percent}%"></div></div>` +
    `<div class="drive-space">已用 ${formatBytes(used)}，可用 ${formatBytes(available)}，共 ${formatBytes(total)}</div></div>`
  );
}

function showOverview() {
  const total = Number(NativeUtil.getSystemDriveTotalBits());
  const free = Number(NativeUtil.getSystemDriveFreeBits());
  let html = total > 1 ? bar("系统盘 /", spaceOf("/", total, free), "/") : "";
  for (const drive of listOf(NativeUtil.getLogicalDrives())) {
    const space = spaceOf(drive.drive, Number(drive.totalSpace || 0), Number(drive.freeSpace || 0));
    html += bar((drive.isRemovable ? "可移动磁盘 " : "本地磁盘 ") + drive.drive, space, String(drive.drive));
  }
  const memory = Number(NativeUtil.getMemeryBits());
  html += `<div class="drive"><div class="drive-name"><b>内存</b></div><div class="drive-space">物理内存 ${formatBytes(memory)}</div></div>`;
  $("drives").innerHTML = html;
  const disks = listOf(NativeUtil.getDiskList());
  $("disks").innerHTML = disks.length
    ? disks
        .map((d) => `<div class="disk-row"><span>${escapeHtml(d.diskModel || "未知磁盘")}</span><span class="muted">${formatBytes(d.diskSize)}</span></div>`)
        .join("")
    : '<div class="muted">无法读取物理磁盘信息</div>';
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
  button.textContent = "正在扫描…";
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
    $("measureChoice").textContent =
      "缓存与多余副本" + (values.chosen > 0 ? `；另有 ${formatBytes(values.chosen)} ${values.privacyChosen ? "大文件和回收站" : "大文件"}由您决定` : "");
  };
  for (const id of ["measureLarge", "measureDup", "measurePrivacy", "measureTotal"]) $(id).textContent = "…";
  $("measureChoice").textContent = "缓存与多余副本";
  $("measureStatus").textContent = "正在测量缓存和系统垃圾…";
  found.privacy = await privacy().measure();
  $("measurePrivacy").textContent = formatBytes(measured(found).privacy);
  $("measureStatus").textContent = "正在扫描主文件夹中的大文件和重复文件…";
  const folders = [homeFolder()];
  const started = Date.now();
  const finish = (kind) => {
    pending.delete(kind);
    show();
    if (pending.size) return;
    measuring = false;
    button.disabled = false;
    button.textContent = "重新扫描";
    $("heroTitle").textContent = values.sure > 0 ? `可释放 ${formatBytes(values.sure)}` : values.chosen > 0 ? "没有可直接释放的空间" : "磁盘很干净";
    $("heroSub").textContent =
      (values.chosen > 0 ? `另有 ${formatBytes(values.chosen)} 的大文件等由您决定是否删除。` : "") + "点击下面的项目查看详情并清理";
    $("measureStatus").textContent = `扫描完成，用时 ${Math.max(1, Math.round((Date.now() - started) / 1000))} 秒`;
    reportEvent("measure_all", { bytes: values.sure, chosen: values.chosen });
  };
  NativeUtil.startScanLargeFiles(JSON.stringify(folders), 100 * 1024 * 1024, (message) => {
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

// 设置 and 关于
function showSettings() {
  $("setBoot").checked = NativeUtil.isStartupOnBoot();
  $("setMinimize").checked = NativeUtil.getSetting("minimizeOnClose", "1") === "1";
  $("setLargeMin").value = NativeUtil.getSetting("largeFileMinMB", "100");
  $("setStats").checked = usageStatsOn();
  $("aboutVersion").textContent = "版本 " + gAppVersion;
}

// The first identification of the machine may take a moment: only when asked for.
function showClientId() {
  if ($("aboutClient").textContent) return;
  const client = NativeUtil.getClientId();
  $("aboutClient").textContent = client ? "设备标识 " + client : "";
}

$("setBoot").addEventListener("change", () => {
  const on = $("setBoot").checked;
  if (!NativeUtil.setStartupOnBoot(on)) {
    $("setBoot").checked = !on;
    showError(on ? "无法设置开机启动" : "无法取消开机启动");
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
$("setStats").addEventListener("change", () => {
  // The last event before turning it off says so; none follow.
  if (!$("setStats").checked) reportEvent("setting", { name: "usageStats", on: false });
  NativeUtil.setSetting("usageStats", $("setStats").checked ? "1" : "0");
});

$("feedbackBtn").addEventListener("click", async () => {
  const content = $("feedbackText").value.trim();
  if (!content) {
    showWarning("请先写下您的问题或建议");
    return;
  }
  const contact = $("feedbackContact").value.trim();
  const sent = await withBusy("正在发送反馈…", () => NativeUtil.submitFeedback(JSON.stringify({ content, contact })));
  if (sent) {
    $("feedbackText").value = "";
    showSuccess("感谢您的反馈！");
  } else {
    showError("反馈发送失败，请检查网络连接后重试");
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
    showWarning(`潮井是用软件包 ${packageName} 安装的，请用系统的软件包管理器卸载：sudo apt remove ${packageName}`);
    return;
  }
  const uninstaller = installFolder + PATH_SEPARATOR + UNSTALLER_EXE_NAME;
  if (!NativeUtil.launch(uninstaller, installFolder, "")) {
    showError("无法启动卸载程序：" + uninstaller);
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
let hotkeys = readHotkeys();
window.addEventListener("focus", () => (hotkeys = readHotkeys()));
document.addEventListener("keydown", (event) => {
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
NativeUtil.setMinimizeOnClose(NativeUtil.getSetting("minimizeOnClose", "1") === "1");
NativeUtil.setTrayIcon();

document.title = gAppNameCn;
showOverview();
showSettings();
reportEvent("app_start", { version: gAppVersion });
