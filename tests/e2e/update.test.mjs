// An installed copy updates itself: the application finds the next version
// at the local service (this tree built as that version, packed as the one
// file a release ships), downloads and verifies it, unpacks it, and its
// installer updates the installation in place and starts it again.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { launch } from '../node/lib/driver.mjs';
import {
  INSTALLER, APP, freshUser, copyPayload, startProgram, closeProgram, registryValues, regString, processesOf, shot, sleep,
} from './lib/fixture.mjs';
import { startService } from './lib/service.mjs';

const oldVersion = process.env.TW_VERSION;
const newVersion = process.env.TW_UPDATE_VERSION;
const service = await startService({ release: { version: newVersion, file: process.env.TW_UPDATE_FILE } });
const ended = [];
after(() => {
  ended.forEach((end) => end());
  service.stop();
});

const sha256 = (file) => crypto.createHash('sha256').update(fs.readFileSync(file)).digest('hex');
const text = (page, id) => page.eval(`document.getElementById('${id}').textContent`);

async function waitUntil(what, check, ms) {
  for (const end = Date.now() + ms; Date.now() < end; await sleep(200)) {
    const value = check();
    if (value) return value;
  }
  throw new Error(`timed out waiting for ${what}`);
}

test(`an installed ${oldVersion} updates itself to ${newVersion} and starts again`, async () => {
  const user = freshUser('update');
  const installed = await startProgram(copyPayload('payload-old'), INSTALLER, user);
  await installed.page.click('#installBtn');
  await installed.page.waitFor('document.getElementById("installBtn").textContent === "打开"', 60000).catch(async (e) => {
    throw new Error(`${e.message}: ${await installed.page.eval('document.body.innerText')}`);
  });
  await closeProgram(installed.app);
  assert.equal(registryValues(user).DisplayVersion, regString(oldVersion));
  const appFile = path.join(user.installDir, APP);
  const oldApp = sha256(appFile);
  fs.mkdirSync(path.join(user.config, 'Tidewell'), { recursive: true });
  fs.writeFileSync(path.join(user.config, 'Tidewell', 'Settings.conf'), '[General]\nusageStats=0\n');

  const app = await launch({ program: appFile, cwd: user.installDir, env: { ...user.env, TIDEWELL_SERVICE_BASE_URL: service.origin } });
  ended.push(() => app.kill());
  const main = await app.page({ urlIncludes: 'main.html', timeoutMs: 30000 });
  await main.waitFor('document.readyState === "complete"', 10000);
  await main.click('.nav-item[data-section="settings"]');
  await main.waitFor(`document.getElementById('section-settings').classList.contains('active')`, 10000);
  await main.click('#checkUpdateBtn');
  const upgrader = await app.page({ urlIncludes: 'upgrader.html', timeoutMs: 15000 });
  await upgrader.waitFor(`!['', '正在检查更新…'].includes(document.getElementById('state').textContent)`, 15000);
  assert.equal(await text(upgrader, 'headline'), `发现新版本 ${newVersion}`);
  await upgrader.click('#actionBtn');
  await upgrader.waitFor(`document.getElementById('actionBtn').textContent === '立即安装'`, 60000).catch(async (e) => {
    throw new Error(`${e.message}: ${await text(upgrader, 'state')}`);
  });
  await sleep(400); // the fill's width transition
  await shot(upgrader, 'update-verified');
  await upgrader.click('#actionBtn').catch(() => {}); // the application leaves at once
  assert.equal((await app.exited).code, 0, app.stderr);

  // Unpacked privately beside the download, and started from there.
  const unpacked = path.join(user.env.XDG_CACHE_HOME, 'Tidewell', 'update', 'unpacked');
  assert.equal(fs.statSync(unpacked).mode & 0o777, 0o700);
  const logs = () => {
    const folder = path.join(user.env.XDG_STATE_HOME, 'Tidewell', 'logs');
    return fs.existsSync(folder) ? fs.readdirSync(folder).map((f) => fs.readFileSync(path.join(folder, f), 'utf8')).join('') : '';
  };
  // The new version registered itself and its application runs again, as this user, from the installation.
  const restarted = await waitUntil('the updated application', () => {
    const ours = processesOf(appFile).filter(({ pid }) => fs.readFileSync(`/proc/${pid}/environ`, 'latin1').includes(`XDG_CONFIG_HOME=${user.config}\0`));
    return registryValues(user).DisplayVersion === regString(newVersion) && ours[0];
  }, 90000).catch((e) => {
    throw new Error(`${e.message}\n${logs()}`);
  });
  ended.push(() => process.kill(restarted.pid, 'SIGKILL'));
  assert.equal(restarted.cwd, user.installDir);
  assert.equal(sha256(appFile), sha256(path.join(unpacked, APP)), 'the installed program is the update');
  assert.notEqual(sha256(appFile), oldApp);
  assert.equal(sha256(`/proc/${restarted.pid}/exe`), sha256(appFile), 'the running program is the new one');
  assert.equal(fs.existsSync(path.join(user.installDir, INSTALLER)), false);
  assert.match(logs(), new RegExp(`update ${user.installDir} to version ${newVersion.replace(/\./g, '\\.')}`));
  const record = JSON.parse(fs.readFileSync(path.join(user.config, 'Tidewell', 'install-record.json'), 'utf8'));
  assert.equal(record.installDir, user.installDir);
  assert.ok(record.files.includes(APP));
});
