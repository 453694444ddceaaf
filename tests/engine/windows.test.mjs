// Windows: attributes of the root element, the caption, modal windows and
// the end of the message loop.
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import path from 'node:path';
import { test } from 'node:test';
import { closeMainWindow, startHost } from './host.mjs';

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
  await page.eval("Window.this.xcall('setTitle', 'Tidewell 潮井')");
  assert.equal(await page.eval('Window.this.caption'), 'Tidewell 潮井');
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
