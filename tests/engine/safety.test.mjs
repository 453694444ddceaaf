// Bridge safety: the inspector only where asked for, and nothing of the
// bridge for documents of another origin.
import assert from 'node:assert/strict';
import { readFile, readdir, readlink } from 'node:fs/promises';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import { after, before, describe, test } from 'node:test';
import { freePort } from '../node/lib/driver.mjs';
import { closeMainWindow, startHost } from './host.mjs';

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function listening(port, host = '127.0.0.1') {
  return new Promise((resolve) => {
    const socket = net.connect({ port, host });
    socket.once('connect', () => {
      socket.destroy();
      resolve(true);
    });
    socket.once('error', () => resolve(false));
  });
}

async function waitForOutput(app, pattern, timeoutMs = 20000) {
  const deadline = Date.now() + timeoutMs;
  while (!pattern.test(app.stdout)) {
    assert.ok(Date.now() < deadline && !app.exitStatus, `no ${pattern} in ${app.stdout}\n${app.stderr}`);
    await sleep(50);
  }
}

describe('the inspector', () => {
  test('does not listen when its variable is unset, whatever else asks for it', async (t) => {
    const [p1, p2, p3] = [await freePort(), await freePort(), await freePort()];
    const app = await startHost({
      inspector: false,
      args: [`--remote-debugging-port=${p3}`],
      env: {
        TIDEWELL_ENGINE_INSPECTOR_PORT: undefined,
        QTWEBENGINE_REMOTE_DEBUGGING: `127.0.0.1:${p1}`,
        QTWEBENGINE_CHROMIUM_FLAGS: `--remote-debugging-port=${p2}`,
      },
    });
    t.after(() => app.kill());
    await waitForOutput(app, /data loaded this:\/\/app\/index.html/);
    await sleep(500);
    for (const port of [p1, p2, p3, 9222]) assert.equal(await listening(port), false, `port ${port}`);
    assert.doesNotMatch(app.stderr, /DevTools listening/);
  });

  test('does not listen for any spelling of the switch in the Chromium flags or the command line', async (t) => {
    const port = await freePort();
    const spellings = [
      { flags: `--remote-debugging-port=${port}` },
      { flags: `-remote-debugging-port=${port}` },
      { flags: `--remote-debugging-port ${port}` },
      { flags: `-remote-debugging-port ${port} --remote-debugging-address=0.0.0.0` },
      { flags: `--Remote-Debugging-Port=${port}` },
      { args: [`-remote-debugging-port=${port}`] },
      { args: ['--remote-debugging-port', String(port)] },
    ];
    for (const { flags, args = [] } of spellings) {
      const app = await startHost({
        inspector: false,
        args,
        env: { TIDEWELL_ENGINE_INSPECTOR_PORT: undefined, QTWEBENGINE_CHROMIUM_FLAGS: flags },
      });
      t.after(() => app.kill());
      await waitForOutput(app, /data loaded this:\/\/app\/index.html/);
      await sleep(500);
      const spelling = flags ?? args.join(' ');
      assert.deepEqual(await listeningPorts(app.child.pid), [], spelling);
      assert.equal(await listening(port), false, spelling);
      app.kill();
      await app.exited;
    }
  });

  test('does not listen without debug mode even when its port is given', async (t) => {
    const port = await freePort();
    const app = await startHost({
      inspector: false,
      args: ['--no-debug', '--flags', '128'],
      env: { TIDEWELL_ENGINE_INSPECTOR_PORT: String(port) },
    });
    t.after(() => app.kill());
    await waitForOutput(app, /data loaded this:\/\/app\/index.html/);
    await sleep(500);
    assert.equal(await listening(port), false);
  });

  test('listens on the loopback interface only', async (t) => {
    const app = await startHost();
    t.after(() => app.kill());
    const page = await app.page({ urlIncludes: 'index.html' });
    assert.equal(await listening(app.port), true);
    const external = Object.values(os.networkInterfaces())
      .flat()
      .filter((a) => a && a.family === 'IPv4' && !a.internal);
    for (const address of external) assert.equal(await listening(app.port, address.address), false, address.address);
    await closeMainWindow(page);
    assert.equal(await app.exit(15000), 0);
  });
});

describe('another origin', () => {
  let server;
  let origin;
  const requests = [];
  before(async () => {
    server = http.createServer((request, response) => {
      requests.push(request.url);
      response.setHeader('content-type', 'text/html');
      if (request.url.startsWith('/foreign.html')) {
        response.end(`<!DOCTYPE html><script>
          const report = { native: typeof TestNative, window: typeof Window.this,
            runtime: typeof globalThis[Symbol.for('tidewell.runtime')], sys: typeof sys };
          report.forged = prompt(JSON.stringify({ k: 'call', g: 0, i: 10, a: [] }), '\\u0001tidewell-bridge:0123456789abcdef');
          try { report.parent = typeof parent.TestNative; } catch (e) { report.parent = e.name; }
          parent.postMessage(report, '*');
        </script>`);
      } else {
        // Pretends to be the runtime, to catch calls meant for the document before it.
        response.end(`<!DOCTYPE html><title>trap</title><script>
          window.caught = [];
          globalThis[Symbol.for('tidewell.runtime')] = { deliver: (...a) => { window.caught.push(a); document.title = 'leaked'; } };
          window.seen = { native: typeof TestNative, window: typeof Window.this };
        </script>`);
      }
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    origin = `http://127.0.0.1:${server.address().port}`;
  });
  after(() => server.close());

  test('a framed page finds no native objects and its forged bridge calls are refused', async (t) => {
    const app = await startHost({ start: `this://app/frame.html?src=${origin}/foreign.html` });
    t.after(() => app.kill());
    const page = await app.page({ urlIncludes: 'frame.html' });
    await page.waitFor('window.messages.length === 1');
    assert.deepEqual(await page.eval('window.messages[0]'), {
      native: 'undefined',
      window: 'undefined',
      runtime: 'undefined',
      sys: 'undefined',
      forged: null,
      parent: 'SecurityError',
    });

    // Even with the real token, the frame's origin gets no answer.
    const marker = await runtimeMarker(page);
    assert.match(marker, /^\u0001tidewell-bridge:[0-9a-f]{64}$/);
    const frame = await frameSession(app, page, origin);
    const forged = await frame.eval(
      `prompt(JSON.stringify({ k: 'call', g: 0, i: 10, a: [] }), ${JSON.stringify(marker)})`,
    );
    assert.equal(forged, null);
    assert.equal(await page.eval('TestNative.touches'), 0);
    assert.match(app.stderr, new RegExp(`refused a bridge call from ${origin}`));
    // The program's own document still gets through.
    assert.equal(await page.eval('TestNative.touch()'), 1);
    await closeMainWindow(page);
    assert.equal(await app.exit(15000), 0);
  });

  test('a script cannot take the window to another origin: the document stays with its calls', async (t) => {
    const app = await startHost({ args: ['--second', 'this://app/plain.html'] });
    t.after(() => app.kill());
    const page = await app.page({ urlIncludes: 'index.html' });
    const plain = await app.page({ urlIncludes: 'plain.html' });
    await page.waitFor('window.ready');
    await page.eval("TestNative.keep(() => { document.title = 'old document called'; })");
    const before = requests.length;
    await page.eval(`location.href = '${origin}/trap.html'`);
    await sleep(500);
    assert.equal(requests.length, before, 'the other origin is never asked');
    assert.equal(await page.eval('location.href'), 'this://app/index.html');
    assert.equal(await plain.eval("TestNative.callKept('secret')"), 1);
    await page.waitFor("document.title === 'old document called'");
    await closeMainWindow(plain);
    await page.eval('setTimeout(() => window.close(), 20), true').catch(() => {});
    app.kill('SIGTERM');
  });
});

describe('the bridge across documents', () => {
  test('a message part left by a document that went never reaches the next one', async (t) => {
    const app = await startHost();
    t.after(() => app.kill());
    const page = await app.page({ urlIncludes: 'index.html' });
    await page.waitFor('window.ready');
    const marker = await runtimeMarker(page);
    // The first part of a long message, and then the document goes.
    assert.equal(await page.eval(`prompt('\\u0002{"k":"call","g":0,', ${JSON.stringify(marker)})`), '[null]');
    await page.eval('setTimeout(() => location.reload(), 20), true');
    await sleep(300);
    await page.waitFor('window.ready');
    assert.deepEqual(await page.eval('window.firstLine'), { native: 'object', window: 'object' });
    assert.equal(await page.eval("TestNative.echo('whole')"), 'whole');
    await closeMainWindow(page);
    assert.equal(await app.exit(15000), 0);
  });
});

// TCP ports on which the program or any process it started listens.
async function listeningPorts(pid) {
  const tree = new Set([String(pid)]);
  for (let grew = true; grew; ) {
    grew = false;
    for (const p of await readdir('/proc')) {
      if (!/^\d+$/.test(p) || tree.has(p)) continue;
      const stat = await readFile(`/proc/${p}/stat`, 'utf8').catch(() => '');
      const parent = stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1];
      if (tree.has(parent)) {
        tree.add(p);
        grew = true;
      }
    }
  }
  const sockets = new Set();
  for (const p of tree) {
    for (const fd of await readdir(`/proc/${p}/fd`).catch(() => [])) {
      const link = await readlink(`/proc/${p}/fd/${fd}`).catch(() => '');
      const inode = /^socket:\[(\d+)\]$/.exec(link)?.[1];
      if (inode) sockets.add(inode);
    }
  }
  const ports = [];
  for (const table of ['/proc/net/tcp', '/proc/net/tcp6']) {
    for (const line of (await readFile(table, 'utf8').catch(() => '')).split('\n').slice(1)) {
      const f = line.trim().split(/\s+/);
      if (f[3] === '0A' && sockets.has(f[9])) ports.push(parseInt(f[1].split(':')[1], 16));
    }
  }
  return ports;
}

// The bridge marker the runtime keeps in its closure, read over DevTools.
async function runtimeMarker(page) {
  const { result } = await page.send('Runtime.evaluate', { expression: 'Window.this.box' });
  const { internalProperties } = await page.send('Runtime.getProperties', { objectId: result.objectId });
  const scopes = internalProperties.find((p) => p.name === '[[Scopes]]').value.objectId;
  for (const scope of (await page.send('Runtime.getProperties', { objectId: scopes, ownProperties: true })).result) {
    if (!scope.value?.objectId) continue;
    const variables = (await page.send('Runtime.getProperties', { objectId: scope.value.objectId })).result;
    const marker = variables.find((v) => v.name === 'MARKER');
    if (marker) return marker.value.value;
  }
  throw new Error('no marker in the runtime closure');
}

// A session in the framed document: its own target, or its context in the page.
async function frameSession(app, page, frameOrigin) {
  const target = (await app.targets()).find((t) => t.url.startsWith(frameOrigin) && t.webSocketDebuggerUrl);
  if (target) return app.connect(target);
  const contexts = [];
  page.on('Runtime.executionContextCreated', ({ context }) => contexts.push(context));
  await page.send('Runtime.disable');
  await page.send('Runtime.enable');
  const context = contexts.find((c) => c.origin === frameOrigin);
  assert.ok(context, `a context of ${frameOrigin} among ${contexts.map((c) => c.origin)}`);
  return {
    eval: async (expression) => {
      const { result, exceptionDetails } = await page.send('Runtime.evaluate', {
        expression,
        contextId: context.id,
        returnByValue: true,
      });
      if (exceptionDetails) throw new Error(exceptionDetails.text);
      return result.value;
    },
  };
}
