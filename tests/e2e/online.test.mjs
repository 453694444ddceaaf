// Online services called from the application's page over DevTools, against
// the local test service: the program's base URL points at it through the
// loopback-only override TIDEWELL_SERVICE_BASE_URL.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { launch } from '../node/lib/driver.mjs';
import { APP, binDir, freshUser, scratch, shot, sleep } from './lib/fixture.mjs';
import { startService, startNetworkManager } from './lib/service.mjs';

const service = await startService();
const running = [];
after(() => {
  running.forEach((stop) => stop());
  service.stop();
});

async function startApp(env) {
  const user = freshUser('online');
  // The pages' own usage events stay off: the requests checked are the test's.
  fs.mkdirSync(path.join(user.config, 'Tidewell'), { recursive: true });
  fs.writeFileSync(path.join(user.config, 'Tidewell', 'Settings.conf'), '[General]\nusageStats=0\n');
  const app = await launch({ program: path.join(binDir, APP), cwd: binDir, env: { ...user.env, ...env } });
  running.push(() => app.kill());
  const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 30000 });
  await page.waitFor('document.readyState === "complete"', 10000);
  return { app, page, user };
}

// A call of NativeUtil from the page, timed there.
const call = (page, expression) =>
  page.eval(`(() => { const t = performance.now(); const value = ${expression}; return { value, ms: performance.now() - t }; })()`);

const closedPort = () =>
  new Promise((resolve) => {
    const server = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });

test('service calls from the page: bodies unchanged, headers, feedback, events, time-outs, redirects', async () => {
  await service.reset();
  const { app, page } = await startApp({ TIDEWELL_SERVICE_BASE_URL: service.origin });
  try {
    const expected = {
      checkUpdate: JSON.stringify({
        version: '2.1.0',
        url: service.url('/files/Tidewell-2.1.0.exe?size=3145745'),
        sha256: await service.sha256(3145745),
        size: 3145745,
        notes: '修复与改进',
      }),
      getVersionList: '{"list":[{"version":"2.1.0","notes":"修复与改进"},{"version":"2.0.0","notes":"首个版本"}]}',
      getAppInfo: '{"name":"Tidewell","homepage":"https://www.tidewell.example"}',
    };
    for (const [method, body] of Object.entries(expected)) {
      assert.equal((await call(page, `NativeUtil.${method}()`)).value, body, method);
    }
    // The page may report its own events meanwhile: only the reads count here.
    const reads = (await service.requests()).filter((r) => r.method === 'GET');
    assert.deepEqual(reads.map((r) => `${r.method} ${r.target}`), ['GET /api/versions/latest/', 'GET /api/versions/', 'GET /api/info/']);
    for (const { headers } of reads) {
      assert.equal(headers['Content-Type'], 'application/json');
      assert.equal(headers['X-App-Id'], '10001');
      assert.match(headers['User-Agent'], /^Tidewell\/2\.0\.0 \([^;]+; [^)]+\)$/);
    }

    const clientId = (await call(page, 'NativeUtil.getClientId()')).value;
    assert.match(clientId, /^[1-9A-FX]{16}$/);
    assert.equal((await call(page, `NativeUtil.submitFeedback('{"text":"很好","client_id":"forged"}')`)).value, true);
    assert.equal((await call(page, `NativeUtil.submitFeedback('plain words')`)).value, true);
    const feedback = await service.requestsTo('/api/feedback/');
    assert.deepEqual(feedback.map((r) => r.body), [
      `{"app_version":"2.0.0","client_id":"${clientId}","text":"很好"}`,
      `{"app_version":"2.0.0","client_id":"${clientId}"}`,
    ]);
    await service.rule('/api/feedback/', { body: '{"error":"rejected"}' });
    assert.equal((await call(page, `NativeUtil.submitFeedback('{}')`)).value, false);
    await service.rule('/api/feedback/', { body: '' });
    assert.equal((await call(page, `NativeUtil.submitFeedback('{}')`)).value, true, 'an empty 200');
    await service.rule('/api/feedback/', { status: 404 });
    assert.equal((await call(page, `NativeUtil.submitFeedback('{}')`)).value, false);
    await service.rule('/api/feedback/', { delay: 6 });
    const slowFeedback = await call(page, `NativeUtil.submitFeedback('{}')`);
    assert.equal(slowFeedback.value, false);
    assert.ok(slowFeedback.ms < 5000, `${slowFeedback.ms} ms`);

    await service.rule('/api/events/', { delay: 3 });
    const event = await call(page, `NativeUtil.reportEvent('{"name":"open"}')`);
    assert.equal(event.value, true);
    assert.ok(event.ms < 1000, `returned at once (${event.ms} ms)`);
    let events = [];
    for (let i = 0; i < 50 && !events.length; i++, await sleep(100)) {
      events = (await service.requestsTo('/api/events/')).filter((r) => r.body.includes('"name":"open"'));
    }
    assert.equal(events.length, 1, 'the event arrives');
    assert.equal(events[0].body, `{"app_version":"2.0.0","client_id":"${clientId}","name":"open"}`);

    await service.rule('/api/versions/', { delay: 6 });
    const slow = await call(page, 'NativeUtil.getVersionList()');
    assert.equal(slow.value, '{"error":"request timeout"}');
    assert.ok(slow.ms >= 2800 && slow.ms < 5000, `${slow.ms} ms`);
    await sleep(300);
    assert.equal((await service.requestsTo('/api/versions/')).at(-1).client_closed, true, 'the request was aborted');

    await service.rule('/api/info/', { redirect: '/moved/info/' });
    await service.rule('/moved/info/', { body: '{"moved":true}' });
    assert.equal((await call(page, 'NativeUtil.getAppInfo()')).value, '{"moved":true}');
    await service.rule('/api/info/', { status: 404 });
    assert.match((await call(page, 'NativeUtil.getAppInfo()')).value, /^\{"error":".*Not Found.*"\}$/);

    // A second process of the program: the same identity; nothing listens at its origin.
    const second = await startApp({ TIDEWELL_SERVICE_BASE_URL: `http://127.0.0.1:${await closedPort()}` });
    try {
      assert.equal((await call(second.page, 'NativeUtil.getClientId()')).value, clientId);
      assert.equal((await call(second.page, 'NativeUtil.checkUpdate()')).value, '{"error":"server unreachable"}');
      assert.equal((await call(second.page, `NativeUtil.submitFeedback('{}')`)).value, false);
    } finally {
      second.app.kill();
    }
  } finally {
    app.kill();
  }
});

test('connectivity: the page and the client ask NetworkManager alike; offline nothing is sent', async () => {
  const offline = await startNetworkManager(binDir, 1);
  running.push(offline.stop);
  await service.reset();
  // The built (remote) origin, through the test service as the proxy.
  const env = { DBUS_SYSTEM_BUS_ADDRESS: offline.address, https_proxy: service.origin, http_proxy: service.origin };
  let { app, page } = await startApp(env);
  try {
    assert.equal((await call(page, 'NativeUtil.isNetworkConnected()')).value, false);
    const read = await call(page, 'NativeUtil.checkUpdate()');
    assert.equal(read.value, '{"error":"network disconnected"}');
    assert.ok(read.ms < 500, `at once (${read.ms} ms)`);
    assert.equal((await call(page, `NativeUtil.submitFeedback('{}')`)).value, false);
    assert.equal((await call(page, `NativeUtil.reportEvent('{}')`)).value, true);
    await sleep(500);
    assert.deepEqual(await service.requests(), [], 'nothing sent');
  } finally {
    app.kill();
    offline.stop();
  }
  const online = await startNetworkManager(binDir, 4);
  running.push(online.stop);
  ({ app, page } = await startApp({ ...env, DBUS_SYSTEM_BUS_ADDRESS: online.address }));
  try {
    assert.equal((await call(page, 'NativeUtil.isNetworkConnected()')).value, true);
    const read = JSON.parse((await call(page, 'NativeUtil.checkUpdate()')).value);
    assert.ok(read.error, 'the proxy refuses the tunnel');
    const tunnels = (await service.requests()).filter((r) => r.method === 'CONNECT');
    assert.ok(tunnels.length > 0 && tunnels.every((r) => r.target === 'api.tidewell.example:443'), JSON.stringify(tunnels.map((r) => r.target)));
  } finally {
    app.kill();
    online.stop();
  }
});

test('downloads from the page: progress then one done, errors, redirects, closing mid-download', async () => {
  await service.reset();
  const { app, page } = await startApp({ TIDEWELL_SERVICE_BASE_URL: service.origin });
  const folder = scratch('downloads');
  const download = (url, target) =>
    page.eval(`new Promise((resolve) => {
      const messages = [];
      const started = NativeUtil.downloadUpdate(${JSON.stringify(url)}, ${JSON.stringify(target)}, (e) => {
        messages.push({ type: e.type, received: e.received, total: e.total, path: e.path, error: e.error });
        if (e.type !== 'progress') setTimeout(() => resolve({ started, messages }), 200);
      });
    })`);
  const sha = (file) => crypto.createHash('sha256').update(fs.readFileSync(file)).digest('hex');
  try {
    const size = 2 * 1024 * 1024 + 5;
    const target = path.join(folder, 'a', 'b', 'Tidewell-2.1.0.exe');
    let { started, messages } = await download(service.url(`/files/setup.exe?size=${size}`), target);
    assert.equal(started, 'started');
    const last = messages.at(-1);
    assert.deepEqual({ type: last.type, path: last.path }, { type: 'done', path: target });
    assert.equal(messages.filter((m) => m.type !== 'progress').length, 1);
    assert.ok(messages.length >= 2 && messages.slice(0, -1).every((m) => m.type === 'progress' && m.total === size));
    assert.equal(messages.at(-2).received, size);
    assert.equal(sha(target), await service.sha256(size));

    await service.rule('/files/stream.bin', { no_length: true });
    ({ messages } = await download(service.url('/files/stream.bin?size=100000'), path.join(folder, 'stream.bin')));
    assert.equal(messages.at(-1).type, 'done');
    assert.equal(messages[0].total, -1);

    await service.rule('/files/gone.exe', { status: 404 });
    ({ messages } = await download(service.url('/files/gone.exe?size=10'), path.join(folder, 'gone.exe')));
    assert.deepEqual(messages.filter((m) => m.type !== 'progress').map((m) => m.type), ['error']);
    assert.match(messages.at(-1).error, /Not Found/);
    assert.equal(fs.existsSync(path.join(folder, 'gone.exe')), false);

    await service.rule('/files/latest', { redirect: '/files/real.exe?size=3000' });
    ({ messages } = await download(service.url('/files/latest'), path.join(folder, 'latest.exe')));
    assert.equal(messages.at(-1).type, 'done');
    assert.equal(sha(path.join(folder, 'latest.exe')), await service.sha256(3000));

    fs.mkdirSync(path.join(folder, 'locked.exe', 'inside'), { recursive: true });
    ({ messages } = await download(service.url('/files/x?size=10'), path.join(folder, 'locked.exe')));
    assert.equal(messages.at(-1).path, path.join(folder, 'locked_1.exe'));

    // Closing the window mid-download ends it and leaves no partial file.
    const pending = scratch('pending');
    await service.rule('/files/slow.exe', { stall_after: 300000 });
    await page.eval(`(() => {
      NativeUtil.downloadUpdate(${JSON.stringify(service.url('/files/slow.exe?size=1000000'))},
        ${JSON.stringify(path.join(pending, 'slow.exe'))}, () => {});
      return true;
    })()`);
    for (let i = 0; i < 100 && fs.readdirSync(pending).length === 0; i++) await sleep(100);
    assert.equal(fs.readdirSync(pending).length, 1, 'the body streams into a temporary file');
    page.eval('Window.this.close()').catch(() => {});
    const code = await app.exit(10000);
    assert.equal(code, 0, `exit ${JSON.stringify(app.exitStatus)}\n${app.stderr}`);
    assert.deepEqual(fs.readdirSync(pending), []);
  } finally {
    app.kill();
  }
});

test('the upgrader finds the newer version, downloads and verifies it, and refuses a file that does not match', async () => {
  await service.reset();
  const temp = scratch('upgrader-temp');
  const { app, page, user } = await startApp({ TIDEWELL_SERVICE_BASE_URL: service.origin, TMPDIR: temp });
  const text = (p, id) => p.eval(`document.getElementById('${id}').textContent`);
  const openUpgrader = async () => {
    await page.click('.nav-item[data-section="settings"]');
    await page.waitFor(`document.getElementById('section-settings').classList.contains('active')`, 10000);
    await page.click('#checkUpdateBtn');
    const upgrader = await app.page({ urlIncludes: 'upgrader.html', timeoutMs: 15000 });
    await upgrader.waitFor(`!['', '正在检查更新…'].includes(document.getElementById('state').textContent)`, 15000);
    return upgrader;
  };
  const closeUpgrader = async (upgrader) => {
    await upgrader.click('#laterBtn').catch(() => {});
    await sleep(500);
  };
  try {
    const latest = JSON.parse((await call(page, 'NativeUtil.checkUpdate()')).value);
    // In the user's own folder, never in the shared temporary one.
    const saved = path.join(user.env.XDG_CACHE_HOME, 'Tidewell', 'update', 'Tidewell-2.1.0.exe');

    let upgrader = await openUpgrader();
    assert.equal(await text(upgrader, 'headline'), '发现新版本 2.1.0');
    assert.match(await text(upgrader, 'versions'), /^当前版本 [\d.]+ → 新版本 2\.1\.0（3\.00 MB）$/);
    assert.match(await text(upgrader, 'notes'), /^版本 2\.1\.0修复与改进/, 'the newest first, with its notes');
    assert.equal(await text(upgrader, 'actionBtn'), '立即更新');
    await shot(upgrader, 'upgrader-found');

    // Every percentage the page shows while it downloads.
    await upgrader.eval(`(() => {
      window.shown = [];
      new MutationObserver((records) => records.forEach((r) => r.addedNodes.forEach((n) => window.shown.push(n.textContent))))
        .observe(document.getElementById('progressPercent'), { childList: true, characterData: true, subtree: true });
      return true;
    })()`);
    // Paced, so that the download takes long enough to show its way.
    await service.rule('/files/Tidewell-2.1.0.exe', { pace: 0.01 });
    await upgrader.click('#actionBtn');
    await upgrader.waitFor(`document.getElementById('state').className !== 'state'`, 30000);
    assert.equal(await upgrader.eval(`document.getElementById('state').className`), 'state ok', await text(upgrader, 'state'));
    assert.equal(await text(upgrader, 'state'), '版本 2.1.0 已下载并通过校验。安装时潮井将会退出。');
    const shown = (await upgrader.eval('window.shown')).map((p) => parseInt(p, 10));
    assert.ok(shown.some((p) => p > 0 && p < 100), `progress between the ends: ${shown}`);
    assert.equal(shown.at(-1), 100);
    assert.deepEqual(shown, [...shown].sort((a, b) => a - b), 'progress never goes back');
    const downloads = (await service.requests()).filter((r) => r.path.startsWith('/files/'));
    assert.deepEqual(downloads.map((r) => r.target), [`/files/Tidewell-2.1.0.exe?size=${latest.size}`]);
    assert.equal(crypto.createHash('sha256').update(fs.readFileSync(saved)).digest('hex'), latest.sha256);
    assert.equal(fs.statSync(path.dirname(saved)).mode & 0o777, 0o700, 'a folder no one else can change');
    assert.equal(fs.statSync(saved).mode & 0o777, 0o700, 'a program its owner can start');
    assert.deepEqual(fs.readdirSync(temp), []);
    await shot(upgrader, 'upgrader-verified');

    // A file that is no update package cannot be installed: the window says so and stays.
    await upgrader.click('#actionBtn');
    await upgrader.waitFor(`/无法启动安装程序/.test(document.getElementById('state').textContent)`, 10000);
    assert.equal(await upgrader.eval(`document.getElementById('state').className`), 'state error');
    assert.ok((await text(upgrader, 'state')).includes(saved), 'the page says where the file is');
    assert.equal(await text(upgrader, 'actionBtn'), '重试安装');
    assert.equal(fs.existsSync(saved), true, 'the verified file stays');
    await shot(upgrader, 'upgrader-install-failed');
    await closeUpgrader(upgrader);

    // A published digest the file does not match: the file is deleted, the page says why.
    await service.rule('/api/versions/latest/', { body: JSON.stringify({ ...latest, sha256: 'ab'.repeat(32) }) });
    upgrader = await openUpgrader();
    await upgrader.click('#actionBtn');
    await upgrader.waitFor(`document.getElementById('state').className === 'state error'`, 30000);
    assert.equal(await text(upgrader, 'state'), '文件校验失败：下载的文件与发布的版本不一致，已将其删除。请稍后重试。');
    assert.equal(await text(upgrader, 'actionBtn'), '重新下载');
    assert.equal(fs.existsSync(saved), false, 'the unverified file is gone');
    assert.deepEqual(fs.readdirSync(path.dirname(saved)), []);
    await shot(upgrader, 'upgrader-mismatch');
    await closeUpgrader(upgrader);

    // An answer without a version is not taken for "up to date".
    await service.rule('/api/versions/latest/', { body: '{"latest":"9.0.0"}' });
    upgrader = await openUpgrader();
    assert.equal(await upgrader.eval(`document.getElementById('state').className`), 'state error');
    assert.equal(await text(upgrader, 'actionBtn'), '重试');
    await closeUpgrader(upgrader);

    // A failure is said in the page's words; the service's own goes to the log.
    await service.rule('/api/versions/latest/', { status: 404 });
    upgrader = await openUpgrader();
    assert.equal(await text(upgrader, 'state'), '检查更新失败：服务器暂时无法提供所需的内容，请稍后重试。');
    assert.match(app.stderr, /check update failed: .*Not Found/);
    await shot(upgrader, 'upgrader-service-error');
    await closeUpgrader(upgrader);
  } finally {
    app.kill();
  }
});

test('usage events stay off on a first start until the user turns them on', async () => {
  await service.reset();
  const user = freshUser('online-events');
  const app = await launch({ program: path.join(binDir, APP), cwd: binDir, env: { ...user.env, TIDEWELL_SERVICE_BASE_URL: service.origin } });
  running.push(() => app.kill());
  try {
    const page = await app.page({ urlIncludes: 'main.html', timeoutMs: 30000 });
    await page.waitFor('document.readyState === "complete"', 10000);
    for (const section of ['large', 'dup', 'settings']) await page.click(`.nav-item[data-section="${section}"]`);
    assert.equal(await page.eval(`document.getElementById('setStats').checked`), false);
    await sleep(1000);
    assert.deepEqual(await service.requestsTo('/api/events/'), [], 'nothing is sent before the user agrees');

    await page.eval(`document.getElementById('setStats').click(); true`);
    await page.click('.nav-item[data-section="large"]');
    let events = [];
    for (let i = 0; i < 50 && !events.length; i++, await sleep(100)) events = await service.requestsTo('/api/events/');
    assert.match(events[0]?.body ?? '', /"event":"open_section","section":"large"/);
  } finally {
    app.kill();
  }
});
