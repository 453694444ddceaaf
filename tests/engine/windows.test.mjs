// Windows: attributes of the root element, the caption, modal windows and
// the end of the message loop.
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { chmod, mkdtemp, readFile, readdir, writeFile } from 'node:fs/promises';
import path from 'node:path';
import { test } from 'node:test';
import { dragOnto, visibleWindows, windowPixels } from '../node/lib/x11.mjs';
import { closeMainWindow, startHost } from './host.mjs';

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A stand-in for the user's browser: xdg-open first in PATH, recording what it is given.
async function recordingBrowser() {
  const dir = await mkdtemp(path.join(process.env.TMPDIR ?? '/tmp', 'browser-'));
  const record = path.join(dir, 'opened');
  await writeFile(path.join(dir, 'xdg-open'), `#!/bin/sh\nprintf '%s\\n' "$@" >> '${record}'\n`);
  await chmod(path.join(dir, 'xdg-open'), 0o755);
  const opened = async () => (await readFile(record, 'utf8').catch(() => '')).split('\n').filter(Boolean);
  return { env: { PATH: `${dir}:${process.env.PATH}` }, opened };
}

test('the window takes its size, frame and resizability from the root element', async (t) => {
  const app = await startHost();
  t.after(() => app.kill());
  const page = await app.page({ urlIncludes: 'index.html' });
  await page.waitFor('window.ready');
  await page.waitFor('window.innerWidth === 640');
  assert.deepEqual(await page.eval("Window.this.box('dimension', 'client', 'screen')"), [640, 420]);
  assert.equal(await page.eval('window.innerHeight'), 420);
  assert.equal(await page.eval('Window.this.frameType'), 'transparent');
  assert.equal(await page.eval('Window.this.isResizable'), false);
  // The icon comes through the host like every other resource.
  await page.waitFor("TestNative.loaded().includes('this://app/img/icon.png')");
  const [x, y, w, h] = await page.eval("Window.this.box('xywh', 'border', 'screen')");
  assert.deepEqual([w, h], [640, 420]);
  // Centred on the 1600x1200 screen of the test display.
  assert.ok(Math.abs(x + w / 2 - 800) <= 2 && Math.abs(y + h / 2 - 600) <= 40, `${x},${y}`);
  const shot = path.join(process.env.TW_TEST_ROOT, 'window.png');
  await page.screenshot(shot);
  assert.deepEqual([...(await readFile(shot)).subarray(1, 4)], [0x50, 0x4e, 0x47]); // "PNG"
  await closeMainWindow(page);
  assert.equal(await app.exit(15000), 0);
});

test('the window title follows the document and the host', async (t) => {
  const app = await startHost();
  t.after(() => app.kill());
  const page = await app.page({ urlIncludes: 'index.html' });
  await page.waitFor("Window.this.caption === 'engine test'");
  await page.eval("document.title = 'renamed'");
  await page.waitFor("Window.this.caption === 'renamed'");
  await page.eval("Window.this.xcall('setTitle', 'Tidewell 潮井')");
  assert.equal(await page.eval('Window.this.caption'), 'Tidewell 潮井');
  // The host's title sticks: the document's next title does not replace it.
  await page.eval("document.title = 'renamed again'");
  await sleep(300);
  assert.equal(await page.eval('Window.this.caption'), 'Tidewell 潮井');
  await page.eval("Window.this.xcall('setTitle', 'second')");
  assert.equal(await page.eval('Window.this.caption'), 'second');
  await closeMainWindow(page);
  assert.equal(await app.exit(15000), 0);
});

test('a page without window attributes keeps a standard, resizable frame', async (t) => {
  const app = await startHost({ start: 'this://app/plain.html' });
  t.after(() => app.kill());
  const page = await app.page({ urlIncludes: 'plain.html' });
  await page.waitFor('window.events');
  assert.equal(await page.eval('Window.this.frameType'), 'standard');
  assert.equal(await page.eval('Window.this.isResizable'), true);
  await closeMainWindow(page);
  assert.equal(await app.exit(15000), 0);
});

test('dragging the caption moves the window; a button in it does not', async (t) => {
  const app = await startHost();
  t.after(() => app.kill());
  const page = await app.page({ urlIncludes: 'index.html' });
  await page.waitFor('window.ready && window.innerWidth === 640');
  const drag = async (x, y, dx, dy) => {
    await page.send('Input.dispatchMouseEvent', { type: 'mouseMoved', x, y });
    await page.send('Input.dispatchMouseEvent', { type: 'mousePressed', x, y, button: 'left', buttons: 1, clickCount: 1 });
    await page.send('Input.dispatchMouseEvent', { type: 'mouseMoved', x: x + dx, y: y + dy, button: 'left', buttons: 1 });
    await page.send('Input.dispatchMouseEvent', { type: 'mouseReleased', x: x + dx, y: y + dy, button: 'left', buttons: 0, clickCount: 1 });
  };
  const before = await page.eval("Window.this.box('position', 'border', 'screen')");
  await drag(200, 20, 60, 40);
  await page.waitFor(`Window.this.box('position', 'border', 'screen')[0] !== ${before[0]}`);
  const after = await page.eval("Window.this.box('position', 'border', 'screen')");
  assert.deepEqual([after[0] - before[0], after[1] - before[1]], [60, 40]);
  const button = await page.eval(`(() => { const r = document.getElementById('inCaption').getBoundingClientRect();
    return [r.left + r.width / 2, r.top + r.height / 2]; })()`);
  await drag(button[0], button[1], 50, 50);
  await new Promise((resolve) => setTimeout(resolve, 200));
  assert.deepEqual(await page.eval("Window.this.box('position', 'border', 'screen')"), after);
  await closeMainWindow(page);
  assert.equal(await app.exit(15000), 0);
});

test('modal returns at once and opens a window over its parent with its own document', async (t) => {
  const app = await startHost();
  t.after(() => app.kill());
  const page = await app.page({ urlIncludes: 'index.html' });
  await page.waitFor('window.ready');
  const returned = await page.eval(`(() => {
    const t = performance.now();
    const result = Window.this.modal({ url: 'modal.html', x: 120, y: 90, width: 320, height: 210, resizable: false });
    return { result: result === undefined ? 'undefined' : result, ms: performance.now() - t, ready: window.ready };
  })()`);
  assert.equal(returned.result, 'undefined');
  assert.ok(returned.ms < 200, `modal took ${returned.ms} ms`);
  const modal = await app.page({ urlIncludes: 'this://app/modal.html' });
  await modal.waitFor("document.getElementById('which')");
  assert.equal(await modal.eval("document.getElementById('which').textContent"), 'modal document');
  assert.equal(await modal.eval('window.ready'), undefined); // not the parent's document
  assert.equal(await modal.eval('typeof TestNative.echo'), 'function');
  assert.deepEqual(await modal.eval("Window.this.box('xywh', 'border', 'screen')"), [120, 90, 320, 210]);
  assert.equal(await modal.eval('Window.this.isResizable'), false);
  // Closing the modal leaves its parent running.
  await modal.eval('setTimeout(() => Window.this.close(), 20), true');
  const deadline = Date.now() + 10000;
  while ((await app.targets()).some((target) => target.url.includes('modal.html'))) {
    assert.ok(Date.now() < deadline, 'the modal window stays open');
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  assert.equal(await page.eval('window.ready'), true);
  await closeMainWindow(page);
  assert.equal(await app.exit(15000), 0);
});

test('closing the main window ends the message loop and the program exits 0', async (t) => {
  const app = await startHost({ args: ['--second', 'this://app/plain.html'] });
  t.after(() => app.kill());
  const page = await app.page({ urlIncludes: 'index.html' });
  await app.page({ urlIncludes: 'plain.html' });
  await page.waitFor('window.ready');
  await closeMainWindow(page);
  assert.equal(await app.exit(15000), 0);
  assert.match(app.stdout, /message loop returned 0/);
  assert.match(app.stdout, /engine destroyed/);
});

test('a right click opens no menu and keyboard copy and paste still work in a field', async (t) => {
  const app = await startHost({ start: 'this://app/chinese.html' });
  t.after(() => app.kill());
  const page = await app.page({ urlIncludes: 'chinese.html' });
  await page.waitFor("document.getElementById('field')");
  let windows = [];
  for (let i = 0; i < 50 && windows.length !== 1; i++, await sleep(100)) windows = visibleWindows(app.child.pid);
  assert.equal(windows.length, 1, 'the page window is shown');
  const [window] = windows;
  for (const [x, y] of [[200, 20], [60, 60]]) {
    execFileSync('xdotool', ['mousemove', '--window', window, String(x), String(y), 'click', '3']);
    await sleep(700);
    assert.deepEqual(visibleWindows(app.child.pid), [window], `a menu opened at ${x},${y}`);
  }
  // Selection, copy and paste by keyboard in the field.
  await page.eval("(() => { const f = document.getElementById('field'); f.focus(); f.select(); })()");
  execFileSync('xdotool', ['windowfocus', '--sync', window]);
  execFileSync('xdotool', ['key', 'ctrl+c', 'End', 'ctrl+v']);
  await page.waitFor("document.getElementById('field').value === '复制这段复制这段'", 5000);
  await closeMainWindow(page);
  assert.equal(await app.exit(15000), 0);
});

test('a click on an http link opens the browser; every other way out of the program is refused', async (t) => {
  const browser = await recordingBrowser();
  const app = await startHost({ start: 'this://app/chinese.html', env: browser.env });
  t.after(() => app.kill());
  const page = await app.page({ urlIncludes: 'chinese.html' });
  await page.waitFor("document.getElementById('web')");
  await page.eval('window.stayed = true');
  await page.click('#web');
  for (let i = 0; i < 50 && !(await browser.opened()).length; i++) await sleep(100);
  assert.deepEqual(await browser.opened(), ['https://example.invalid/tidewell?from=link']);
  await page.click('#local');
  await page.eval("location.href = 'file:///etc/hostname'");
  await page.eval("location.href = 'https://example.invalid/by-script'");
  await sleep(1000);
  assert.equal(await page.eval('window.stayed && location.href'), 'this://app/chinese.html');
  assert.match(app.stderr, /refused to leave the program for file:\/\/\/etc\/hostname/);
  assert.match(app.stderr, /refused to leave the program for https:\/\/example.invalid\/by-script/);
  // Only the user's click reached the browser; a script's navigation did not.
  assert.deepEqual(await browser.opened(), ['https://example.invalid/tidewell?from=link']);
  await closeMainWindow(page);
  assert.equal(await app.exit(15000), 0);
});

test('a dropped file or link leaves the page where it was', async (t) => {
  const app = await startHost({ start: 'this://app/chinese.html' });
  t.after(() => app.kill());
  const page = await app.page({ urlIncludes: 'chinese.html' });
  await page.waitFor("document.getElementById('field')");
  await page.eval('window.stayed = true');
  let windows = [];
  for (let i = 0; i < 50 && windows.length !== 1; i++, await sleep(100)) windows = visibleWindows(app.child.pid);
  for (const url of ['file:///etc/hostname', 'this://app/plain.html', 'https://example.invalid/dropped']) {
    assert.equal(await dragOnto(windows[0], url), 0, `${url} is not taken`);
    await sleep(300);
    assert.equal(await page.eval('window.stayed && location.href'), 'this://app/chinese.html', url);
  }
  await closeMainWindow(page);
  assert.equal(await app.exit(15000), 0);
});

test('a killed renderer ends the program with a failure status', async (t) => {
  const app = await startHost();
  t.after(() => app.kill());
  const page = await app.page({ urlIncludes: 'index.html' });
  await page.waitFor('window.ready');
  // Renderers are forked by a zygote the program started, and keep its command line.
  const renderers = [];
  for (const pid of await readdir('/proc')) {
    if (!/^\d+$/.test(pid)) continue;
    const cmdline = await readFile(`/proc/${pid}/cmdline`, 'utf8').catch(() => '');
    const chain = await parentChain(pid);
    if (cmdline.includes('--type=zygote') && !cmdline.includes('--no-zygote-sandbox') && chain.indexOf(app.child.pid) === 1)
      renderers.push(pid);
  }
  assert.equal(renderers.length, 1, `renderers ${renderers}`);
  process.kill(Number(renderers[0]), 'SIGKILL');
  const code = await app.exit(5000);
  assert.notEqual(code, 0);
  assert.match(app.stderr, /renderer process of this:\/\/app\/index.html was killed/);
});

async function parentChain(pid) {
  const chain = [];
  for (let p = Number(pid); p > 1; ) {
    const stat = await readFile(`/proc/${p}/stat`, 'utf8').catch(() => null);
    if (!stat) break;
    p = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
    chain.push(p);
  }
  return chain;
}

test('the folder dialog speaks the page\'s language', async (t) => {
  for (const [start, expected] of [
    ['this://app/chinese.html', ['选择', '取消']],
    ['this://app/plain.html', ['Choose', 'Cancel']],
  ]) {
    const app = await startHost({ start, args: ['--report-dialogs'] });
    t.after(() => app.kill());
    const page = await app.page({ urlIncludes: start });
    await page.waitFor('document.readyState === "complete"');
    await sleep(300); // the root element's attributes have reached the window
    assert.equal(await page.eval("Window.this.selectFolder({ caption: 'pick', path: '/tmp' })"), '');
    const line = app.stdout.split('\n').find((l) => l.startsWith('dialog pick: '));
    assert.ok(line, app.stdout);
    const buttons = line.slice('dialog pick: '.length).split('|');
    for (const text of expected) assert.ok(buttons.some((b) => b.replace('&', '').startsWith(text)), `${text} in ${buttons}`);
    await closeMainWindow(page);
    assert.equal(await app.exit(15000), 0);
  }
});

test('under a compositor a page without a transparent frame stays opaque', async (t) => {
  const compositor = spawn('xcompmgr', [], { stdio: 'ignore' });
  t.after(() => compositor.kill());
  await sleep(500);
  const app = await startHost({ start: 'this://app/plain.html' });
  t.after(() => app.kill());
  const page = await app.page({ urlIncludes: 'plain.html' });
  await page.waitFor('window.events');
  let windows = [];
  for (let i = 0; i < 50 && windows.length !== 1; i++, await sleep(100)) windows = visibleWindows(app.child.pid);
  await sleep(300);
  for (const pixel of windowPixels(windows[0], [[0, 0], [799, 599], [400, 300]])) assert.equal(pixel, 'ffffffff');
  await closeMainWindow(page);
  assert.equal(await app.exit(15000), 0);
});
