// The licence window: renders license.txt as headings and paragraphs.
import { escapeHtml } from "/common/js/tooltip.js";

const TITLE_LINE = "最终用户许可协议";
const ARTICLE = /^(第[一二三四五六七八九十百千万]+条)(.*)$/;

function readLicenseText() {
  const request = new XMLHttpRequest();
  request.open("GET", new URL("license.txt", document.baseURI).href, false);
  request.overrideMimeType("text/plain; charset=utf-8");
  request.send();
  if (request.status !== 200 && !(request.status === 0 && request.responseText)) throw new Error("status " + request.status);
  return request.responseText;
}

function renderLicense(text) {
  const html = [];
  for (const raw of text.split(/\r?\n/)) {
    const line = raw.trim();
    if (!line) continue;
    const article = ARTICLE.exec(line);
    if (line === TITLE_LINE) html.push(`<h3>${escapeHtml(line)}</h3>`);
    else if (article) html.push(`<h4><strong>${escapeHtml(article[1])}</strong>${escapeHtml(article[2])}</h4>`);
    else html.push(`<p>${escapeHtml(line)}</p>`);
  }
  return html.join("");
}

const licenseText = document.getElementById("licenseText");
try {
  licenseText.innerHTML = renderLicense(readLicenseText());
} catch (error) {
  licenseText.textContent = "无法加载许可协议内容，请检查 license.txt 文件是否存在。";
}

const closeLicense = () => Window.this.close();
document.getElementById("closeBtn").addEventListener("click", closeLicense);
document.getElementById("agreeBtn").addEventListener("click", closeLicense);
document.addEventListener("keydown", (event) => {
  if (event.key === "Escape") closeLicense();
});
