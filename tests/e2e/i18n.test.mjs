// The application in the user's language: both catalogues hold every key
// with the same values to fill in, the converted pages hold no Chinese of
// their own, and the real program under an English or a Chinese session
// shows its sections, dialogs and other windows in that language.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { launch } from '../node/lib/driver.mjs';
import { APP, copyPayload, freshUser, shot, writeFile } from './lib/fixture.mjs';

const pages = path.join(process.env.TW_SOURCE_DIR, 'pages');
const CJK = /[\u3000-\u303f\u3400-\u9fff\uff00-\uffef]/;
const { default: zh } = await import(path.join(pages, 'common/i18n/zh-CN.js'));
const { default: en } = await import(path.join(pages, 'common/i18n/en.js'));

// Not converted yet: their words are still in the page. Widen the scan by
// taking an entry off this list.
const NOT_CONVERTED = [
];
// The installer's and uninstaller's own texts stay Chinese (toast.js holds
// one of theirs, which the application replaces); zh-CN.js is the catalogue.
const KEPT = ['common/js/wizard.js', 'common/js/installrecord.js', 'common/js/constants.js', 'common/js/toast.js', 'common/i18n/zh-CN.js'];
const APP_PAGES = ['common/js', 'common/i18n', 'main', 'app', 'history', 'upgrader'];

const placeholders = (message) =>
  [...new Set(Object.values(typeof message === 'object' ? message : { other: message }).flatMap((m) => m.match(/\{\w+\}/g) ?? []))].sort();

function sourcesOf(folder) {
  return fs.readdirSync(path.join(pages, folder), { withFileTypes: true, recursive: true })
    .filter((e) => e.isFile() && /\.(js|html)$/.test(e.name))
    .map((e) => path.relative(pages, path.join(e.path ?? e.parentPath, e.name)));
}

// A source without its comments and without the sections still to convert.
function scanned(file) {
  let text = fs.readFileSync(path.join(pages, file), 'utf8').replace(/<!--[\s\S]*?-->/g, '').replace(/^\s*\/\/.*$/gm, '');
  for (const entry of NOT_CONVERTED.filter((e) => e.startsWith(file + '#'))) {
    const id = entry.split('#')[1];
    const start = text.indexOf(`<section class="section" id="${id}">`);
    assert.ok(start >= 0, `${entry} is still there`);
    text = text.slice(0, start) + text.slice(text.indexOf('</section>', start));
  }
  return text;
}

test('both catalogues hold every key, with the same values to fill in', () => {
  assert.deepEqual(Object.keys(en).sort(), Object.keys(zh).sort());
  for (const key of Object.keys(zh)) {
    assert.deepEqual(placeholders(en[key]), placeholders(zh[key]), key);
    if (typeof en[key] === 'object') assert.ok(en[key].one && en[key].other, `${key} has both English forms`);
    assert.equal(CJK.test(JSON.stringify(en[key])), false, `${key} is English`);
  }
  assert.equal(zh['size.units'].split(' ').length, en['size.units'].split(' ').length);
});

test('converted pages hold no Chinese of their own and name only keys that exist', () => {
  const files = APP_PAGES.flatMap(sourcesOf);
  const skipped = (file) => [...NOT_CONVERTED, ...KEPT].some((e) => !e.includes('#') && file.startsWith(e));
  const converted = files.filter((file) => !skipped(file));
  assert.ok(converted.includes('main/main.html') && converted.includes('main/js/tray.js') && converted.includes('app/hotkey.html'));
  for (const file of converted) {
    const text = scanned(file);
    const line = text.split('\n').find((l) => CJK.test(l));
    assert.equal(line, undefined, `${file} holds its own words`);
    for (const [, key] of text.matchAll(/(?:\bt\(|data-i18n(?:-\w+)?=)"([\w.-]+)"(?!\s*\+)/g)) assert.ok(key in zh, `${file}: no message ${key}`);
  }
});

async function startApp(user, lang) {
  const folder = copyPayload(`i18n-${lang}`);
  const app = await launch({
    program: path.join(folder, APP),
    cwd: folder,
    env: { ...user.env, XDG_CONFIG_DIRS: user.config, LANG: lang, LC_ALL: undefined, LC_MESSAGES: undefined, LANGUAGE: undefined },
  });
  const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 20000 });
  await page.waitFor('document.getElementById("osName") && document.getElementById("osName").textContent !== ""', 15000);
  return { app, page };
}

const CONVERTED = ['.sidebar', '.topbar', '#section-overview', '#section-large', '#section-startup', '#section-programs', '#section-settings'];
// The text a user sees there: rendered text, tooltips, placeholders, the menus' entries.
const shownText = (selectors) => `[${JSON.stringify(selectors)}].flat().map((s) => [...document.querySelectorAll(s)].map((e) =>
  [e.innerText, ...[...e.querySelectorAll('[data-tooltip],[placeholder],option')].map((x) => x.dataset.tooltip ?? x.placeholder ?? x.textContent)].join('\\n')).join('\\n')).join('\\n')`;
const noChinese = async (page, selectors, what) => {
  const text = await page.eval(shownText(selectors));
  assert.equal(text.match(new RegExp(CJK.source + '.{0,20}', 'g')), null, what);
  return text;
};

async function section(page, name) {
  await page.click(`.nav-item[data-section="${name}"]`);
  await page.waitFor(`document.getElementById('section-${name}').classList.contains('active') && !document.querySelector('.busy-overlay.show')`, 30000);
}

test('an English session shows the converted sections, dialogs and windows in English', async () => {
  const user = freshUser('i18n-en');
  const MiB = 1024 * 1024;
  const tree = path.join(user.home, 'media');
  for (const [name, size] of [['one.bin', 30 * MiB], ['two.bin', 12 * MiB]]) {
    writeFile(path.join(tree, name), 'x');
    fs.truncateSync(path.join(tree, name), size);
  }
  writeFile(path.join(user.config, 'autostart', 'gone.desktop'), '[Desktop Entry]\nType=Application\nName=Gone\nExec=/opt/gone/bin/gone\n');
  const { app, page } = await startApp(user, 'en_US.UTF-8');
  try {
    assert.equal(await page.eval('document.documentElement.lang'), 'en');
    assert.equal(await page.eval('document.title'), 'Tidewell');
    const overview = await noChinese(page, CONVERTED, 'overview');
    assert.equal(await page.eval(`document.getElementById('measureLargeLabel').textContent`), 'Large files (≥100 MiB)');
    assert.match(overview, /\d+(\.\d+)? [KMGT]iB used, .* free, .* in all/);
    await shot(page, 'i18n-en-overview');

    // A scan and a deletion: plurals, IEC sizes, the confirmation and its outcome.
    await section(page, 'large');
    await page.eval(`document.getElementById('largeMin').value = '10'; true`);
    await page.eval(`(() => { for (const b of [...document.querySelectorAll('#largeFolders [data-remove]')]) b.click(); return true; })()`);
    await page.eval(`(() => { const i = document.querySelector('#largeFolders .folder-input'); i.value = ${JSON.stringify(tree)};
      i.dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter' })); return true; })()`);
    await page.click('#largeScanBtn');
    await page.waitFor(`document.getElementById('largeStatus').textContent.startsWith('Scan finished')`, 30000);
    assert.equal(await page.eval(`document.getElementById('largeStatus').textContent`), 'Scan finished: found 2 files, 42.0 MiB in all');
    assert.deepEqual(await page.eval(`[...document.querySelectorAll('#largeMin option')].map((o) => o.textContent)`), ['10 MiB', '50 MiB', '100 MiB', '500 MiB', '1 GiB']);
    await page.click('#largeList .vlist-row .check');
    assert.equal(await page.eval(`document.getElementById('largeSelection').textContent`), '1 file selected, 30.0 MiB');
    await shot(page, 'i18n-en-large');
    await page.click('#largeDeleteBtn');
    await page.waitFor(`document.querySelector('.dialog')`, 5000);
    assert.equal(await page.eval(`document.querySelector('.dialog-message').textContent`), 'Move the selected file (30.0 MiB) to the Trash?');
    await noChinese(page, ['.dialog'], 'the deletion dialog');
    await shot(page, 'i18n-en-delete-dialog');
    await page.click('.dialog [data-answer="yes"]');
    await page.waitFor(`document.getElementById('largeStatus').textContent.startsWith('Moved')`, 30000);
    assert.equal(await page.eval(`document.getElementById('largeStatus').textContent`), 'Moved to the Trash: 30.0 MiB is freed when the Trash is emptied');
    await noChinese(page, ['.toast-container', '#section-large'], 'the outcome');

    await section(page, 'startup');
    assert.match(await noChinese(page, CONVERTED, 'startup'), /1 startup item, its program gone/);
    await page.click('#startupList [data-remove]');
    await page.waitFor(`document.querySelector('.dialog')`, 5000);
    await noChinese(page, ['.dialog'], 'the removal dialog');
    await shot(page, 'i18n-en-startup');
    await page.key('Escape');
    // 系统清理: the categories' and cleaners' own words; the groups, warnings
    // and notes the definitions and native answers write stay theirs.
    await section(page, 'privacy');
    await page.waitFor(`document.getElementById('privacyStatus').textContent.startsWith('Found')`, 60000);
    await noChinese(page, ['#privacyStatus', '#section-privacy .action-bar', '#privacyList .item-name',
      '#privacyList .item-card:not(.absent) .item-desc:not(.item-warning):not(.item-skipped)', '#privacyList [data-group="Privacy traces"]'], 'privacy');
    assert.match(await page.eval(`document.querySelector('[data-type="thumbcache"] .item-name').textContent`), /^Thumbnail cache/);
    await shot(page, 'i18n-en-privacy');
    await section(page, 'programs');
    await noChinese(page, CONVERTED, 'programs');
    await shot(page, 'i18n-en-programs');
    await section(page, 'settings');
    await noChinese(page, CONVERTED, 'settings');
    await shot(page, 'i18n-en-settings');

    // 重复文件 and 空间分布 after a scan, the history and update windows.
    for (const [name, button, status] of [['dup', 'dupScanBtn', 'dupStatus'], ['spacemap', 'mapScanBtn', 'mapStatus']]) {
      await section(page, name);
      await page.click('#' + button);
      await page.waitFor(`document.getElementById('${status}').textContent.startsWith('Scan finished')`, 60000);
      await noChinese(page, [`#section-${name}`], name);
      await shot(page, 'i18n-en-' + name);
    }
    await page.click('#historyBtn');
    const history = await app.page({ urlIncludes: 'history.html', timeoutMs: 10000 });
    await history.waitFor('document.querySelectorAll("#historyRows tr").length === 1', 5000);
    assert.equal(await history.eval('document.title'), 'Cleaning History');
    assert.match(await noChinese(history, ['body'], 'the history window'), /Large files \(Move to Trash\)\s+1 file\s+0 B\s+Undo/);
    await shot(history, 'i18n-en-history');
    await section(page, 'settings');
    await page.click('#checkUpdateBtn');
    const upgrader = await app.page({ urlIncludes: 'upgrader.html', timeoutMs: 10000 });
    await upgrader.waitFor(`!['', 'Checking for updates…'].includes(document.getElementById('state').textContent)`, 15000);
    assert.equal(await upgrader.eval('document.title'), 'Check for Updates');
    await noChinese(upgrader, ['body'], 'the update window');
    await shot(upgrader, 'i18n-en-upgrader');

    const tray = await app.page({ urlIncludes: 'tray.html', timeoutMs: 10000 });
    assert.equal(await tray.eval('document.title + "|" + document.body.innerText.trim().replace(/\\n+/g, "|")'), 'Tidewell tray|Show Tidewell|Scan Now|Quit Tidewell');
    await page.click('#hotkeyBtn');
    const hotkeys = await app.page({ urlIncludes: 'hotkey.html', timeoutMs: 10000 });
    await hotkeys.waitFor('document.querySelectorAll("#keyRows tr").length === 5', 5000);
    assert.equal(await hotkeys.eval('document.title'), 'Keyboard Shortcuts');
    await noChinese(hotkeys, ['body'], 'the shortcuts window');
    await shot(hotkeys, 'i18n-en-hotkeys');
  } finally {
    app.kill();
    await app.exited;
  }
});

test('a Chinese session shows today\'s words, and the language setting switches every window at once', async () => {
  const user = freshUser('i18n-zh');
  const { app, page } = await startApp(user, 'zh_CN.UTF-8');
  try {
    assert.equal(await page.eval('document.documentElement.lang'), 'zh-CN');
    assert.deepEqual(await page.eval(`[...document.querySelectorAll('.nav-item')].map((b) => b.textContent)`),
      ['概览', '大文件', '重复文件', '空间分布', '系统清理', '启动项', '已安装程序', '设置']);
    assert.equal(await page.eval(`document.getElementById('heroTitle').textContent + '|' + document.getElementById('measureLargeLabel').textContent`), '让磁盘保持清爽|大文件 (≥100 MB)');
    assert.match(await page.eval(`document.getElementById('drives').textContent`), /已用 \d+(\.\d+)? [KMGT]B，可用/);
    const tray = await app.page({ urlIncludes: 'tray.html', timeoutMs: 10000 });
    assert.match(await tray.eval('document.body.innerText'), /显示主界面\s+一键扫描\s+退出潮井/);

    // The setting outlives the session's language and reaches the tray menu too.
    await section(page, 'settings');
    await page.eval(`(() => { const s = document.getElementById('setLanguage'); s.value = 'en'; s.dispatchEvent(new Event('change')); return true; })()`);
    await page.waitFor(`document.documentElement.lang === 'en' && document.getElementById('osName').textContent !== ''`, 15000);
    await tray.waitFor(`document.body.innerText.includes('Quit Tidewell')`, 10000);
    assert.match(fs.readFileSync(path.join(user.config, 'Tidewell', 'Settings.conf'), 'utf8'), /^language=en$/m);
    await noChinese(page, CONVERTED, 'after the switch');
  } finally {
    app.kill();
    await app.exited;
  }
});
