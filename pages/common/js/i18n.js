// The application's words in the user's language, and its numbers, sizes
// and dates as that language writes them.
//
//   t("large.summary", { n: 3, size: "1 MB" })  a message with its values
//     (numbers written as the language does); a message with plural forms
//     picks its form by n (Intl.PluralRules)
//   <b data-i18n="key">, <input data-i18n-placeholder="key">: static text
//     filled in when this module loads (translatePage does it again)
//
// The language is the "language" setting when it names one, else the
// system's: Chinese for any zh tag, English otherwise.
import zh from "/common/i18n/zh-CN.js";
import en from "/common/i18n/en.js";

const CATALOGUES = { "zh-CN": zh, en };
export const LANGUAGE_SETTING = "language";

function languageOf(tag) {
  return /^zh\b/i.test(String(tag)) ? "zh-CN" : "en";
}

function chosenLanguage() {
  const stored = NativeUtil.getSetting(LANGUAGE_SETTING, "");
  return CATALOGUES[stored] ? stored : languageOf(NativeUtil.language());
}

export const lang = chosenLanguage();
const messages = CATALOGUES[lang];
const plurals = new Intl.PluralRules(lang);
// Chinese counts stay ungrouped (4000), as the pages always wrote them.
const numberFormat = new Intl.NumberFormat(lang, { useGrouping: lang === "en" });

// Numbers among the values are written as the language writes them.
const shown = (value) => (typeof value === "number" ? numberFormat.format(value) : String(value));

export function t(key, values = {}) {
  let message = messages[key];
  if (message === undefined) {
    NativeUtil.log("no message " + key, "app");
    return key;
  }
  if (typeof message === "object") message = message[plurals.select(Number(values.n))] ?? message.other;
  return message.replace(/\{(\w+)\}/g, (whole, name) => (name in values ? shown(values[name]) : whole));
}

// Attributes filled by data-i18n-NAME; "tooltip" is the tooltips' own attribute.
const ATTRIBUTES = { placeholder: "placeholder", tooltip: "data-tooltip" };

export function translatePage(root = document) {
  for (const element of root.querySelectorAll("[data-i18n]")) element.textContent = t(element.dataset.i18n);
  for (const [name, attribute] of Object.entries(ATTRIBUTES)) {
    const data = "i18n" + name[0].toUpperCase() + name.slice(1);
    for (const element of root.querySelectorAll(`[data-i18n-${name}]`)) element.setAttribute(attribute, t(element.dataset[data]));
  }
}

// Sizes in binary multiples (1 KB = 1024 B) everywhere; English writes
// their IEC names (KiB), Chinese the customary ones (KB). Three significant
// digits unless digits fixes the decimals.
const UNITS = t("size.units").split(" ");
const sizeFormats = new Map();

export function formatBytes(bytes, digits) {
  let value = Math.max(0, Number(bytes) || 0);
  let unit = 0;
  while (value >= 1024 && unit < UNITS.length - 1) {
    value /= 1024;
    unit += 1;
  }
  const decimals = digits ?? (unit === 0 || value >= 100 ? 0 : value >= 10 ? 1 : 2);
  if (!sizeFormats.has(decimals)) {
    sizeFormats.set(decimals, new Intl.NumberFormat(lang, { minimumFractionDigits: decimals, maximumFractionDigits: decimals, useGrouping: false }));
  }
  return sizeFormats.get(decimals).format(value) + " " + UNITS[unit];
}

// A moment given in seconds since the epoch, to the minute: Chinese as
// 2024-01-31 08:05, English in its medium date and short time.
const dateFormat = new Intl.DateTimeFormat(lang, {
  year: "numeric",
  month: lang === "en" ? "short" : "2-digit",
  day: "2-digit",
  hour: "2-digit",
  minute: "2-digit",
  hourCycle: "h23",
});

export function formatTime(seconds) {
  const date = new Date(Number(seconds) * 1000);
  if (lang === "en") return dateFormat.format(date);
  const part = Object.fromEntries(dateFormat.formatToParts(date).map(({ type, value }) => [type, value]));
  return `${part.year}-${part.month}-${part.day} ${part.hour}:${part.minute}`;
}

// The root's language also tells the engine which language Qt's own
// dialogs speak.
document.documentElement.lang = lang;
if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", () => translatePage());
else translatePage();
