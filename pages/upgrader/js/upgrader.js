// The upgrader window: asks the service for a newer version, shows what
// changed, downloads the update with progress, verifies its SHA-256 against
// the digest the service published, and installs it: the update unpacks
// itself and its installer updates this installation, then starts it again.
// A copy the system's package manager installed is updated by that instead.
import "/common/js/tooltip.js";
import { gAppVersion, PATH_SEPARATOR } from "/common/js/constants.js";
import { escapeHtml } from "/common/js/tooltip.js";
import { listOf, nextPaint, parseAnswer, reportEvent, serviceProblem } from "/common/js/appkit.js";
import { formatBytes, t } from "/common/js/i18n.js";

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
    .map((r) => `<div class="note-version">${escapeHtml(t("upgrader.version", { version: r.version }))}</div><div class="note-text">${escapeHtml(r.notes || t("upgrader.defaultNotes"))}</div>`)
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
    state(t("upgrader.noDigest"), "error");
    return;
  }
  // Relative: into the user's own folder, which no one else can change
  // between the check and the start.
  const target = "update" + PATH_SEPARATOR + saveName(latest.url);
  action(t("upgrader.downloading"));
  $("actionBtn").disabled = true;
  state(t("upgrader.downloadingVersion", { version: latest.version }));
  progress(0, t("upgrader.connecting"));
  reportEvent("update_download", { version: latest.version });
  const answer = NativeUtil.downloadUpdate(latest.url, target, (message) => {
    const type = String(message.type);
    if (type === "progress") {
      const received = Number(message.received) || 0;
      const total = Number(message.total) || 0;
      const percent = total > 0 ? Math.min(100, Math.floor((received / total) * 100)) : 0;
      progress(percent, total > 0 ? `${formatBytes(received)} / ${formatBytes(total)}` : t("upgrader.received", { size: formatBytes(received) }));
    } else if (type === "done") {
      verify(latest, String(message.path));
    } else if (type === "error") {
      state(t("upgrader.downloadFailed", { problem: serviceProblem("download update", message.error) }), "error");
      action(t("upgrader.retry"), () => download(latest));
      reportEvent("update_failed", { stage: "download" });
    }
  });
  if (answer !== "started") {
    state(t("upgrader.cannotDownload"), "error");
    action(t("upgrader.retry"), () => download(latest));
  }
}

function verify(latest, path) {
  progress(100, t("upgrader.verifying"));
  const digest = String(NativeUtil.getFileSha256(path) || "").toLowerCase();
  if (!digest || digest !== latest.sha256) {
    const removed = NativeUtil.removeFile(path);
    state(removed ? t("upgrader.mismatchRemoved") : t("upgrader.mismatchKept", { path }), "error");
    $("progressTip").textContent = t("upgrader.verifyFailed");
    action(t("upgrader.downloadAgain"), () => download(latest));
    reportEvent("update_failed", { stage: "verify" });
    return;
  }
  state(t("upgrader.verified", { version: latest.version }), "ok");
  $("progressTip").textContent = t("upgrader.verifyPassed");
  action(t("upgrader.install"), () => install(path));
}

function install(path) {
  if (NativeUtil.installUpdate(path) !== "") {
    // The window stays: the user learns where the verified file is.
    state(t("upgrader.cannotInstall", { path }), "error");
    $("progressTip").textContent = t("upgrader.startFailed");
    action(t("upgrader.retryInstall"), () => install(path));
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
  $("headline").textContent = t("upgrader.packageHeadline");
  $("versions").textContent = t("upgrader.packageVersion", { version: gAppVersion, name });
  state(t("upgrader.packageHow", { name }), "ok");
  action("");
}

// The service call holds the page for up to a few seconds: the words go up first.
async function check() {
  state(t("upgrader.checking"));
  action("");
  await nextPaint();
  const packageName = NativeUtil.installedPackage();
  if (packageName) {
    packageInstall(packageName);
    return;
  }
  const answer = parseAnswer(NativeUtil.checkUpdate(), null);
  $("versions").textContent = t("upgrader.current", { version: gAppVersion });
  if (!answer || typeof answer !== "object") {
    state(t("upgrader.unreadable"), "error");
    action(t("upgrader.retry"), check);
    return;
  }
  if (answer.error !== undefined) {
    state(t("upgrader.checkFailed", { problem: serviceProblem("check update", answer.error) }), "error");
    action(t("upgrader.retry"), check);
    return;
  }
  const latest = release(answer);
  if (!latest) {
    state(t("upgrader.unreadable"), "error");
    action(t("upgrader.retry"), check);
    return;
  }
  if (compareVersions(latest.version, gAppVersion) <= 0) {
    state(t("upgrader.upToDate"), "ok");
    $("headline").textContent = t("upgrader.upToDateHeadline");
    return;
  }
  $("headline").textContent = t("upgrader.found", { version: latest.version });
  $("versions").textContent = t("upgrader.versions", { current: gAppVersion, version: latest.version }) + (latest.size ? t("upgrader.size", { size: formatBytes(latest.size) }) : "");
  state(t("upgrader.notes"));
  showNotes(latest);
  if (!latest.url) {
    state(t("upgrader.noUrl"), "error");
    return;
  }
  action(t("upgrader.update"), () => download(latest));
}

$("closeBtn").addEventListener("click", () => Window.this.close());
$("laterBtn").addEventListener("click", () => Window.this.close());
document.addEventListener("keydown", (event) => {
  if (event.keyCode === VirtualKey.ESC) Window.this.close();
});

check();
