// The upgrader window: asks the service for a newer version, shows what
// changed, downloads the update with progress, verifies its SHA-256 against
// the digest the service published, and installs it: the update unpacks
// itself and its installer updates this installation, then starts it again.
// A copy the system's package manager installed is updated by that instead.
import "/common/js/tooltip.js";
import { gAppVersion, PATH_SEPARATOR } from "/common/js/constants.js";
import { escapeHtml } from "/common/js/tooltip.js";
import { formatBytes, listOf, nextPaint, parseAnswer, reportEvent, serviceProblem } from "/common/js/appkit.js";

const $ = (id) => document.getElementById(id);

// A release as the service gives it: {"version", "url", "sha256", "size",
// "notes"}; the version list holds such objects under "list".
function release(value) {
  if (!value || typeof value !== "object" || typeof value.version !== "string" || !value.version) return null;
  const text = (key) => (typeof value[key] === "string" ? value[key] : "");
  return {
    version: value.version,
    url: text("url"),
    sha256: text("sha256").toLowerCase(),
    notes: text("notes"),
    size: Number(value.size) > 0 ? Number(value.size) : 0,
  };
}

// Compares dotted versions numerically: 2.10.0 is newer than 2.9.1.
export function compareVersions(a, b) {
  const pa = String(a).replace(/^v/i, "").split(/[.-]/);
  const pb = String(b).replace(/^v/i, "").split(/[.-]/);
  for (let i = 0; i < Math.max(pa.length, pb.length); i++) {
    const x = parseInt(pa[i] || "0", 10) || 0;
    const y = parseInt(pb[i] || "0", 10) || 0;
    if (x !== y) return x < y ? -1 : 1;
  }
  return 0;
}

function state(text, kind = "") {
  $("state").textContent = text;
  $("state").className = "state" + (kind ? " " + kind : "");
}

function action(label, handler) {
  const button = $("actionBtn");
  button.hidden = !label;
  button.disabled = false;
  button.textContent = label || "";
  button.onclick = handler || null;
}

function showNotes(latest) {
  const list = listOf(NativeUtil.getVersionList()).map(release).filter(Boolean);
  const newer = list.filter((r) => compareVersions(r.version, gAppVersion) > 0);
  if (!newer.length && latest.notes) newer.push(latest);
  newer.sort((a, b) => compareVersions(b.version, a.version));
  if (!newer.length) return;
  $("notes").innerHTML = newer
    .map((r) => `<div class="note-version">版本 ${escapeHtml(r.version)}</div><div class="note-text">${escapeHtml(r.notes || "性能和稳定性改进")}</div>`)
    .join("");
  $("notes").hidden = false;
}

// The downloaded file's name: the URL's last part, reduced to safe characters.
function saveName(url) {
  let name = "";
  try {
    name = decodeURIComponent(new URL(url).pathname.split("/").pop() || "");
  } catch (error) {
    name = "";
  }
  name = name.replace(/[^A-Za-z0-9._-]/g, "_").replace(/^\.+/, "");
  return name || "Tidewell-update.tar.gz";
}

function progress(percent, tip) {
  $("progressArea").classList.add("active");
  $("progressFill").style.width = percent + "%";
  $("progressPercent").textContent = percent + "%";
  $("progressTip").textContent = tip;
}

function download(latest) {
  if (!latest.sha256) {
    state("更新信息缺少文件校验值，无法安全地下载。", "error");
    return;
  }
  // Relative: into the user's own folder, which no one else can change
  // between the check and the start.
  const target = "update" + PATH_SEPARATOR + saveName(latest.url);
  action("正在下载…");
  $("actionBtn").disabled = true;
  state(`正在下载版本 ${latest.version}…`);
  progress(0, "正在连接…");
  reportEvent("update_download", { version: latest.version });
  const answer = NativeUtil.downloadUpdate(latest.url, target, (message) => {
    const type = String(message.type);
    if (type === "progress") {
      const received = Number(message.received) || 0;
      const total = Number(message.total) || 0;
      const percent = total > 0 ? Math.min(100, Math.floor((received / total) * 100)) : 0;
      progress(percent, total > 0 ? `${formatBytes(received)} / ${formatBytes(total)}` : `已下载 ${formatBytes(received)}`);
    } else if (type === "done") {
      verify(latest, String(message.path));
    } else if (type === "error") {
      state("下载失败：" + serviceProblem("download update", message.error), "error");
      action("重试", () => download(latest));
      reportEvent("update_failed", { stage: "download" });
    }
  });
  if (answer !== "started") {
    state("无法开始下载。", "error");
    action("重试", () => download(latest));
  }
}

function verify(latest, path) {
  progress(100, "正在校验文件…");
  const digest = String(NativeUtil.getFileSha256(path) || "").toLowerCase();
  if (!digest || digest !== latest.sha256) {
    const removed = NativeUtil.removeFile(path);
    state("文件校验失败：下载的文件与发布的版本不一致，" + (removed ? "已将其删除。请稍后重试。" : "且无法删除：" + path), "error");
    $("progressTip").textContent = "校验失败";
    action("重新下载", () => download(latest));
    reportEvent("update_failed", { stage: "verify" });
    return;
  }
  state(`版本 ${latest.version} 已下载并通过校验。安装时潮井将会退出。`, "ok");
  $("progressTip").textContent = "校验通过";
  action("立即安装", () => install(path));
}

function install(path) {
  if (NativeUtil.installUpdate(path) !== "") {
    // The window stays: the user learns where the verified file is.
    state(`无法启动安装程序。已下载的安装包保存在：${path}`, "error");
    $("progressTip").textContent = "启动失败";
    action("重试安装", () => install(path));
    reportEvent("update_failed", { stage: "install" });
    return;
  }
  reportEvent("update_install", {});
  // The installer replaces our files: the whole application leaves.
  if (!NativeUtil.exitApp()) Window.this.close();
}

// Files a package put on the system are the package manager's to replace:
// the page says how to update, and downloads nothing.
function packageInstall(name) {
  $("headline").textContent = "请通过软件包管理器更新";
  $("versions").textContent = `当前版本 ${gAppVersion}（软件包 ${name}）`;
  state(`潮井是用系统的软件包 ${name} 安装的，新版本由系统的软件包管理器提供。请在“软件”中更新，或在终端运行：sudo apt update && sudo apt upgrade`, "ok");
  action("");
}

// The service call holds the page for up to a few seconds: the words go up first.
async function check() {
  state("正在检查更新…");
  action("");
  await nextPaint();
  const packageName = NativeUtil.installedPackage();
  if (packageName) {
    packageInstall(packageName);
    return;
  }
  const answer = parseAnswer(NativeUtil.checkUpdate(), null);
  $("versions").textContent = "当前版本 " + gAppVersion;
  if (!answer || typeof answer !== "object") {
    state("更新服务器的回答无法识别，请稍后重试。", "error");
    action("重试", check);
    return;
  }
  if (answer.error !== undefined) {
    state("检查更新失败：" + serviceProblem("check update", answer.error), "error");
    action("重试", check);
    return;
  }
  const latest = release(answer);
  if (!latest) {
    state("更新服务器的回答无法识别，请稍后重试。", "error");
    action("重试", check);
    return;
  }
  if (compareVersions(latest.version, gAppVersion) <= 0) {
    state("已是最新版本。", "ok");
    $("headline").textContent = "潮井已是最新版本";
    return;
  }
  $("headline").textContent = "发现新版本 " + latest.version;
  $("versions").textContent = `当前版本 ${gAppVersion} → 新版本 ${latest.version}` + (latest.size ? `（${formatBytes(latest.size)}）` : "");
  state("新版本带来了以下改进：");
  showNotes(latest);
  if (!latest.url) {
    state("更新信息缺少下载地址。", "error");
    return;
  }
  action("立即更新", () => download(latest));
}

$("closeBtn").addEventListener("click", () => Window.this.close());
$("laterBtn").addEventListener("click", () => Window.this.close());
document.addEventListener("keydown", (event) => {
  if (event.keyCode === VirtualKey.ESC) Window.this.close();
});

check();
