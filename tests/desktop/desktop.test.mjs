// Desktop integration of the real programs under Xvfb, on a session bus of
// their own (dbus-run-session) where desktop-services plays the tray host and
// the file manager: the tray icon and its clicks, closing to the tray, menu
// outside clicks with xdotool, the clipboard with xclip, opening things.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { launch } from '../node/lib/driver.mjs';
import { binDir, freshUser, scratch, shot, sleep } from '../e2e/lib/fixture.mjs';

const APP = path.join(binDir, 'Tidewell-app.exe');
const INSTALLER = path.join(binDir, 'Tidewell-installer.exe');

function run(program, args) {
  const result = spawnSync(program, args, { encoding: 'utf8', timeout: 15000 });
  return { ok: result.status === 0, out: (result.stdout ?? '').trim(), err: (result.stderr ?? '').trim() };
}

async function until(check, what, ms = 10000) {
  for (const end = Date.now() + ms; Date.now() < end; await sleep(100)) {
    const value = await check();
    if (value) return value;
  }
  throw new Error(`timed out: ${what}`);
}

// The tray host and file manager, recording every call.
async function startServices() {
  const child = spawn(path.join(binDir, 'desktop-services'), [], { stdio: ['ignore', 'pipe', 'inherit'] });
  const services = { child, lines: [] };
  child.stdout.setEncoding('utf8');
  let partial = '';
  child.stdout.on('data', (chunk) => {
    partial += chunk;
    const lines = partial.split('\n');
    partial = lines.pop();
    services.lines.push(...lines);
  });
  await until(() => services.lines.includes('ready'), 'desktop-services ready');
  return services;
}

// A user whose PATH starts with a recording xdg-open.
function desktopUser(name) {
  const user = freshUser(name);
  const tools = scratch(`${name}-tools`);
  user.opened = path.join(tools, 'opened.txt');
  fs.writeFileSync(path.join(tools, 'xdg-open'), `#!/bin/sh\nprintf '%s\\n' "$*" >> '${user.opened}'\n`, { mode: 0o755 });
  user.env.PATH = `${tools}:${process.env.PATH}`;
  user.log = () => {
    const folder = path.join(user.env.XDG_STATE_HOME, 'Tidewell', 'logs');
    if (!fs.existsSync(folder)) return '';
    return fs.readdirSync(folder).map((f) => fs.readFileSync(path.join(folder, f), 'utf8')).join('');
  };
  return user;
}

const visibleWindows = (title) => {
  const found = run('xdotool', ['search', '--onlyvisible', '--name', `^${title}$`]);
  return found.ok ? found.out.split('\n').filter(Boolean).length : 0;
};

async function startApp(user) {
  const app = await launch({ program: APP, cwd: binDir, env: user.env });
  const main = await app.page({ urlIncludes: 'main.html', timeoutMs: 20000 });
  await main.waitFor('document.readyState === "complete"', 10000);
  const tray = await app.page({ urlIncludes: 'tray.html', timeoutMs: 20000 });
  await tray.waitFor('document.readyState === "complete"', 10000);
  return { app, main, tray };
}

function trayItem(services, pid) {
  return services.lines
    .filter((line) => line.startsWith('RegisterStatusNotifierItem '))
    .map((line) => line.split(' ')[1])
    .find((name) => name.startsWith(`org.kde.StatusNotifierItem-${pid}-`));
}

function clickTray(item, method, x = 0, y = 0) {
  const result = run('gdbus', ['call', '--session', '--dest', item, '--object-path', '/StatusNotifierItem',
    '--method', `org.kde.StatusNotifierItem.${method}`, String(x), String(y)]);
  assert.ok(result.ok, result.err);
}

const countOutsideClicks = (page) =>
  page.eval(`(() => {
    window.__outside = 0;
    window.__presses = [];
    document.onGlobalEvent("NATIVE_MENU_OUTSIDE_CLICK", () => { window.__outside += 1; });
    document.addEventListener("mousedown", (e) => window.__presses.push([e.screenX, e.screenY]));
    return true;
  })()`);

// A real click at a screen point; onPage: the point is on the page, which
// must receive the click too.
async function clickAt(page, x, y, expectEvents, onPage = true) {
  const presses = await page.eval('window.__presses.length');
  assert.ok(run('xdotool', ['mousemove', String(x), String(y), 'click', '1']).ok);
  if (onPage) await page.waitFor(`window.__presses.length > ${presses}`, 5000);
  if (expectEvents > 0) await page.waitFor(`window.__outside >= ${expectEvents}`, 5000);
  else await sleep(400);
  return page.eval('window.__outside');
}

test('the application: tray icon, closing to the tray, the tray menu and leaving', async () => {
  const services = await startServices();
  const user = desktopUser('tray');
  const { app, main, tray } = await startApp(user);
  try {
    const item = await until(() => trayItem(services, app.child.pid), 'the tray item registers');
    assert.equal(await main.eval('NativeUtil.setTrayIcon()'), true, 'a second call updates the icon');
    // The title is the page's words, set by its script as it starts.
    await until(() => visibleWindows('潮井') === 1, 'the main window shows under its title');
    assert.equal(visibleWindows('潮井托盘'), 0, 'the tray menu starts hidden');

    // Closing the main window from the window system hides it while
    // minimise-on-close is set; a left click on the icon brings it back.
    assert.ok(run(path.join(binDir, 'close-window'), ['潮井', '5000']).ok);
    await until(() => visibleWindows('潮井') === 0, 'the main window hides');
    assert.equal(app.exitStatus, null, 'the program still runs');
    clickTray(item, 'Activate');
    await until(() => visibleWindows('潮井') === 1, 'a left click shows the main window');

    // A right click shows the menu centred above the cursor, clamped to the
    // screen; a second one hides it.
    assert.ok(run('xdotool', ['mousemove', '800', '1190']).ok);
    clickTray(item, 'ContextMenu', 800, 1190);
    await until(() => visibleWindows('潮井托盘') === 1, 'a right click shows the menu');
    const [x, y, w, h] = await tray.eval('Window.this.box("xywh", "border", "screen")');
    assert.deepEqual([x, y], [800 - Math.trunc(w / 2), 1190 - h - 2]);
    clickTray(item, 'ContextMenu', 800, 1190);
    await until(() => visibleWindows('潮井托盘') === 0, 'a second right click hides it');
    assert.ok(run('xdotool', ['mousemove', '3', '40']).ok);
    clickTray(item, 'ContextMenu', 3, 40);
    await until(() => visibleWindows('潮井托盘') === 1, 'the menu shows near the corner');
    assert.deepEqual((await tray.eval('Window.this.box("xywh", "border", "screen")')).slice(0, 2), [0, 0]);
    // The menu watches for clicks outside it: one closes it.
    await until(() => user.log().includes('menu outside click hook installed. rect: 0 0 '), 'the menu watches');
    assert.ok(run('xdotool', ['mousemove', '100', '300', 'click', '1']).ok); // on no window
    await until(() => visibleWindows('潮井托盘') === 0, 'an outside click closes the menu');
    await until(() => user.log().includes('menu outside click hook uninstalled'), 'the menu stops watching');

    // The left click also hides an open menu.
    clickTray(item, 'ContextMenu', 3, 40);
    await until(() => visibleWindows('潮井托盘') === 1, 'the menu shows again');
    clickTray(item, 'Activate');
    await until(() => visibleWindows('潮井托盘') === 0, 'a left click hides the menu');

    // The page's own close button goes to the tray as well; the menu's
    // entries bring the window back, the second one measuring at once.
    const menu = async (entry) => {
      clickTray(item, 'ContextMenu', 800, 1190);
      await until(() => visibleWindows('潮井托盘') === 1, 'the menu shows');
      await shot(tray, 'app-tray-menu');
      await tray.click(entry);
      await until(() => visibleWindows('潮井托盘') === 0, 'the entry hides the menu');
      await until(() => visibleWindows('潮井') === 1, `${entry} shows the main window`);
    };
    await main.click('#closeBtn');
    await until(() => visibleWindows('潮井') === 0, 'the close button hides the window');
    assert.equal(app.exitStatus, null, 'the program still runs');
    await menu('#showMain');
    await main.click('.nav-item[data-section="settings"]');
    await main.click('#closeBtn');
    await until(() => visibleWindows('潮井') === 0, 'hidden again');
    await menu('#scanNow');
    assert.equal(await main.eval('document.querySelector(".nav-item.active").dataset.section'), 'overview');
    await main.waitFor('!document.getElementById("measureCard").hidden', 5000);
    await main.waitFor('document.getElementById("measureAllBtn").textContent === "重新扫描"', 60000);
    assert.match(await main.eval('document.getElementById("measureTotal").textContent'), /\d/);

    // Without minimise-on-close the window closes and the program ends.
    assert.equal(await main.eval('NativeUtil.setMinimizeOnClose(false)'), true);
    assert.ok(run(path.join(binDir, 'close-window'), ['潮井', '5000']).ok);
    assert.equal(await app.exit(15000), 0);
    assert.match(fs.readFileSync(path.join(user.env.XDG_CONFIG_HOME, 'Tidewell', 'Settings.conf'), 'utf8'),
      /minimizeOnClose=0/);
  } finally {
    app.kill();
    await app.exited;
    services.child.kill();
  }
});

test('without a tray, closing the window ends the program, minimise-on-close or not', async () => {
  // No StatusNotifier host on this bus and no XEmbed tray on this display:
  // a window hidden now could never come back.
  for (const close of ['the page button', 'the window system']) {
    const user = desktopUser('no-tray');
    const { app, main } = await startApp(user);
    try {
      assert.equal(await main.eval('NativeUtil.getSetting("minimizeOnClose", "1")'), '1');
      assert.equal(await main.eval('NativeUtil.setTrayIcon()'), false, 'no tray holds the icon');
      if (close === 'the page button') main.click('#closeBtn').catch(() => {});
      else assert.ok(run(path.join(binDir, 'close-window'), ['潮井', '5000']).ok);
      assert.equal(await app.exit(15000), 0, `${close} ends the program`);
      assert.ok(user.log().includes('no notification area: closing the main window ends the program'));
    } finally {
      app.kill();
      await app.exited;
    }
  }
});

test('outside clicks: exact edges, clicks go on to their window, nothing after disabling; exitApp leaves', async () => {
  const services = await startServices();
  const user = desktopUser('outside');
  const { app, main } = await startApp(user);
  try {
    await countOutsideClicks(main);
    const [mx, my] = await main.eval('Window.this.box("xywh", "border", "screen")');
    // On the facts card, away from the caption and the buttons.
    const [x, y, w, h] = [mx + 60, my + 200, 100, 40];
    assert.equal(await main.eval(`NativeUtil.enableMenuOutsideClickClose(${x}, ${y}, ${w}, ${h})`), true);
    assert.equal(await clickAt(main, x + 10, y + 10, 0), 0, 'inside');
    assert.equal(await clickAt(main, x, y + h - 1, 0), 0, 'left edge, last row: inside');
    assert.equal(await clickAt(main, x + w, y + 10, 1), 1, 'the right edge is outside');
    assert.equal(await clickAt(main, x + 10, y + h, 2), 2, 'the bottom edge is outside');
    assert.equal(await clickAt(main, x + 300, y + 20, 3), 3, 'outside');
    const presses = await main.eval('window.__presses');
    assert.deepEqual(presses.at(-1), [x + 300, y + 20], 'the page got the click at its place');
    assert.equal(await clickAt(main, 5, 1195, 4, false), 4, 'outside every window');
    assert.equal(await main.eval('NativeUtil.disableMenuOutsideClickClose()'), true);
    assert.equal(await clickAt(main, x + 300, y + 20, 0), 4, 'no event once disabled');
    assert.equal(await main.eval('NativeUtil.disableMenuOutsideClickClose()'), true, 'twice is fine');
    assert.ok(user.log().includes(`menu outside click hook installed. rect: ${x} ${y} ${w} ${h}`));
    assert.equal(user.log().split('menu outside click hook uninstalled').length - 1, 1);

    await main.eval('document.onGlobalEvent("NATIVE_EXIT_APP", () => { window.__exit = true; }), true');
    main.eval('NativeUtil.exitApp()').catch(() => {}); // the page closes the window on the event
    assert.equal(await app.exit(15000), 0, 'the main page ends the program on NATIVE_EXIT_APP');
  } finally {
    app.kill();
    await app.exited;
    services.child.kill();
  }
});

test('clipboard, cursor, monitors, and opening only what is safe to open', async () => {
  const services = await startServices();
  const user = desktopUser('open');
  const { app, main } = await startApp(user);
  try {
    assert.equal(await main.eval('NativeUtil.copyToClipboard("潮井 clip\\nline 2")'), true);
    assert.equal(run('xclip', ['-o', '-selection', 'clipboard']).out, '潮井 clip\nline 2');
    assert.equal(await main.eval('NativeUtil.copyToClipboard("")'), false);
    assert.equal(run('xclip', ['-o', '-selection', 'clipboard']).out, '潮井 clip\nline 2', 'unchanged');
    assert.ok(user.log().includes('copy to clipboard, length: 14'));

    assert.ok(run('xdotool', ['mousemove', '123', '456']).ok);
    assert.deepEqual(await main.eval('[NativeUtil.getCursorX(), NativeUtil.getCursorY()]'), [123, 456]);
    const screens = Number(/number of screens:\s+(\d+)/.exec(run('xdpyinfo', []).out)[1]);
    assert.equal(await main.eval('NativeUtil.getMonitorCount()'), screens);

    const desktopEntry = path.join(scratch('entry'), 'run-me.desktop');
    fs.writeFileSync(desktopEntry, '[Desktop Entry]\nType=Application\nName=x\nExec=touch /tmp/pwned\n');
    for (const url of [`file://${desktopEntry}`, desktopEntry, 'javascript:alert(1)', 'smb://host/share', '']) {
      assert.equal(await main.eval(`NativeUtil.openUrl(${JSON.stringify(url)})`), false, url);
    }
    assert.equal(await main.eval('NativeUtil.openUrl("https://www.tidewell.example/help?a=1&b=2")'), true);
    assert.equal(await main.eval('NativeUtil.openUrl("mailto:support@tidewell.example")'), true);
    await until(() => fs.existsSync(user.opened) && fs.readFileSync(user.opened, 'utf8').split('\n').length >= 3,
      'xdg-open ran');
    await sleep(300);
    assert.deepEqual(fs.readFileSync(user.opened, 'utf8').trim().split('\n'),
      ['https://www.tidewell.example/help?a=1&b=2', 'mailto:support@tidewell.example'],
      'only the web and mail addresses were handed on');
    assert.ok(user.log().includes(`open url file://${desktopEntry} result: false`));

    const folder = scratch('shown folder');
    const file = path.join(folder, 'report 1.txt');
    fs.writeFileSync(file, 'x');
    const uri = (p) => 'file://' + p.split('/').map(encodeURIComponent).join('/');
    assert.equal(await main.eval(`NativeUtil.openFolder(${JSON.stringify(file)})`), true);
    assert.equal(await main.eval(`NativeUtil.openFolder(${JSON.stringify(folder)})`), true);
    assert.equal(await main.eval(`NativeUtil.openFolder(${JSON.stringify(path.join(folder, 'gone.txt'))})`), true);
    assert.equal(await main.eval('NativeUtil.openFolder("/nonexistent/folder/file.txt")'), false);
    await until(() => services.lines.filter((l) => l.startsWith('Show')).length >= 3, 'the file manager was asked');
    assert.deepEqual(services.lines.filter((l) => l.startsWith('Show')),
      [`ShowItems ${uri(file)}`, `ShowFolders ${uri(folder)}`, `ShowFolders ${uri(folder)}`]);
    assert.ok(user.log().includes(`open folder ${folder} result: true`));
    assert.ok(user.log().includes('open folder /nonexistent/folder result: false'));

    // Without a file manager on the bus, xdg-open shows the folder.
    services.child.kill();
    await new Promise((resolve) => services.child.once('exit', resolve));
    assert.equal(await main.eval(`NativeUtil.openFolder(${JSON.stringify(file)})`), true);
    await until(() => fs.readFileSync(user.opened, 'utf8').includes(folder), 'xdg-open shows the folder');
    assert.equal(fs.readFileSync(user.opened, 'utf8').trim().split('\n').at(-1), folder);
  } finally {
    app.kill();
    await app.exited;
    services.child.kill();
  }
});

test('the installer registers no windows: no tray icon, no exit, a menu hook that raises nothing', async () => {
  const services = await startServices();
  const user = desktopUser('installer');
  const app = await launch({ program: INSTALLER, cwd: binDir, env: user.env });
  try {
    const page = await app.page({ urlIncludes: 'installer.html', timeoutMs: 20000 });
    await page.waitFor('document.readyState === "complete"', 10000);
    await countOutsideClicks(page);
    assert.equal(await page.eval('NativeUtil.setTrayIcon()'), false);
    assert.equal(await page.eval('NativeUtil.exitApp()'), false);
    assert.equal(await page.eval('NativeUtil.enableMenuOutsideClickClose(10, 10, 10, 10)'), true);
    await until(() => user.log().includes('menu outside click hook installed. rect: 10 10 10 10'), 'logged');
    assert.equal(await clickAt(page, 5, 1195, 0, false), 0);
    assert.equal(services.lines.filter((l) => l.startsWith('RegisterStatusNotifierItem')).length, 0);
    assert.equal(app.exitStatus, null);
  } finally {
    app.kill();
    await app.exited;
    services.child.kill();
  }
});
