// The local test service (tests/service/service.py) for end-to-end tests:
// started on 127.0.0.1 with a free port, its record read back over HTTP.
import { spawn } from 'node:child_process';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const script = path.join(path.dirname(fileURLToPath(import.meta.url)), '../../service/service.py');

// release: { version, file } to offer a real update as the latest version.
export async function startService({ release } = {}) {
  const args = [script, '--exit-with-stdin', ...(release ? ['--release', `${release.version}=${release.file}`] : [])];
  const child = spawn('python3', args, { stdio: ['pipe', 'pipe', 'inherit'] });
  const origin = await new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const match = /listening on (http:\/\/127\.0\.0\.1:\d+)/.exec(out);
      if (match) resolve(match[1]);
    });
    child.on('exit', (code) => reject(new Error(`the test service exited (${code})`)));
  });
  const control = async (what, body) => {
    const response = await fetch(origin + '/_control/' + what, body === undefined ? {} : { method: 'POST', body: JSON.stringify(body) });
    return response.json();
  };
  return {
    origin,
    url: (p) => origin + p,
    requests: () => control('requests'),
    requestsTo: async (p) => (await control('requests')).filter((r) => r.path === p),
    rule: (p, switches) => control('rule', { path: p, ...switches }),
    reset: () => control('reset', {}),
    sha256: async (size) => (await control(`sha256?size=${size}`)).sha256,
    stop: () => {
      child.stdin.end();
      child.kill('SIGKILL');
    },
  };
}

// A message bus of our own with a stand-in for NetworkManager reporting state.
export async function startNetworkManager(binDir, state) {
  const daemon = spawn('dbus-daemon', ['--session', '--nofork', '--print-address=1'], { stdio: ['ignore', 'pipe', 'inherit'] });
  const address = await firstLine(daemon);
  const manager = spawn(path.join(binDir, 'tw_fake_network_manager'), [address, String(state)], { stdio: ['ignore', 'pipe', 'inherit'] });
  if ((await firstLine(manager)) !== 'ready') throw new Error('the NetworkManager stand-in did not start');
  return {
    address,
    stop: () => {
      manager.kill('SIGKILL');
      daemon.kill('SIGKILL');
    },
  };
}

function firstLine(child) {
  return new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (chunk) => {
      out += chunk;
      if (out.includes('\n')) resolve(out.split('\n')[0].trim());
    });
    child.on('exit', (code) => reject(new Error(`exited (${code}) before its first line`)));
  });
}
