// DevTools driver for end-to-end tests of the real programs.
//
//   import { launch, freePort } from './lib/driver.mjs';
//
//   const app = await launch({ program, args = [], cwd, env = {}, inspector = true });
//     Spawns `program` with process.env plus `env` (a variable given as
//     undefined or null is removed). With `inspector` true,
//     TIDEWELL_ENGINE_INSPECTOR_PORT is set to a free port (app.port) so the
//     engine's DevTools endpoint listens on 127.0.0.1. Output is collected:
//     app.stdout / app.stderr (strings so far).
//     app.exited          promise of { code, signal }
//     await app.exit(ms)  waits for the exit (kills the program after ms and
//                         throws) and returns the exit code
//     app.kill(signal)    ends the program (SIGKILL by default)
//     await app.targets() the /json target list
//     await app.connect(target) a session on any /json target (an iframe's)
//
//   const page = await app.page({ urlIncludes, timeoutMs });
//     Waits until /json lists a page target whose URL includes the text and
//     opens a DevTools session on it.
//     await page.eval(expression)        Runtime.evaluate, awaiting promises,
//                                        returning the value; a script
//                                        exception throws an Error with its text
//     await page.waitFor(expression, ms) polls until the expression is truthy
//     await page.click(selector)         real mouse press and release at the
//                                        element's centre
//     await page.key(keyName)            a real key press from the X server
//                                        into the page's window (xdotool names:
//                                        "Escape", "Return", "F5", "a", ...)
//     await page.screenshot(file)        a PNG of the page into file
//     await page.send(method, params)    any DevTools command
//     page.on(event, handler)            DevTools events ("Runtime.consoleAPICalled")
//     page.consoleMessages               [{ type, text }] logged by the page
//     page.exceptions                    texts of uncaught page exceptions
//     page.url                           the target's URL when connected
//     page.close()                       ends the session
import { execFileSync, spawn } from 'node:child_process';
import { writeFile } from 'node:fs/promises';
import net from 'node:net';
import WebSocket from 'ws';

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.unref();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

async function fetchJson(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`${url}: HTTP ${response.status}`);
  return response.json();
}

class Page {
  constructor(socket, url, app) {
    this.app = app;
    this.socket = socket;
    this.url = url;
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = new Map();
    this.consoleMessages = [];
    this.exceptions = [];
    socket.on('message', (data) => this.dispatch(JSON.parse(data.toString())));
    // Name the program's end, if that is why the session closed.
    socket.on('close', async () => {
      await Promise.race([app.exited, sleep(500)]);
      const end = app.exitStatus ? ` (program exited ${JSON.stringify(app.exitStatus)})\n${app.stderr}` : '';
      for (const { reject } of this.pending.values()) reject(new Error(`DevTools session closed${end}`));
      this.pending.clear();
    });
    this.on('Runtime.consoleAPICalled', ({ type, args }) => {
      const text = args.map((a) => (a.value !== undefined ? String(a.value) : a.description ?? a.type)).join(' ');
      this.consoleMessages.push({ type, text });
    });
    this.on('Runtime.exceptionThrown', ({ exceptionDetails }) => {
      this.exceptions.push(exceptionDetails.exception?.description ?? exceptionDetails.text);
    });
  }

  dispatch(message) {
    if (message.id !== undefined) {
      const waiter = this.pending.get(message.id);
      if (!waiter) return;
      this.pending.delete(message.id);
      if (message.error) waiter.reject(new Error(`${waiter.method}: ${message.error.message}`));
      else waiter.resolve(message.result);
      return;
    }
    for (const handler of this.listeners.get(message.method) ?? []) handler(message.params);
  }

  on(event, handler) {
    if (!this.listeners.has(event)) this.listeners.set(event, []);
    this.listeners.get(event).push(handler);
  }

  send(method, params = {}) {
    return new Promise((resolve, reject) => {
      if (this.socket.readyState !== WebSocket.OPEN) {
        reject(new Error(`${method}: DevTools session closed`));
        return;
      }
      const id = this.nextId++;
      this.pending.set(id, { resolve, reject, method });
      this.socket.send(JSON.stringify({ id, method, params }));
    });
  }

  async eval(expression) {
    const { result, exceptionDetails } = await this.send('Runtime.evaluate', {
      expression,
      awaitPromise: true,
      returnByValue: true,
      userGesture: true,
    });
    if (exceptionDetails) {
      const text = exceptionDetails.exception?.description ?? exceptionDetails.exception?.value ?? exceptionDetails.text;
      throw new Error(String(text));
    }
    return result.value;
  }

  async waitFor(expression, timeoutMs = 10000) {
    const deadline = Date.now() + timeoutMs;
    let lastError;
    for (;;) {
      try {
        const value = await this.eval(expression);
        if (value) return value;
        lastError = undefined;
      } catch (error) {
        lastError = error;
      }
      if (Date.now() > deadline) {
        throw new Error(`timed out waiting for ${expression}${lastError ? `: ${lastError.message}` : ''}`);
      }
      await sleep(50);
    }
  }

  async centreOf(selector) {
    const box = await this.eval(`(() => {
      const element = document.querySelector(${JSON.stringify(selector)});
      if (!element) return null;
      element.scrollIntoView({ block: 'center', inline: 'center' });
      const r = element.getBoundingClientRect();
      return { x: r.left + r.width / 2, y: r.top + r.height / 2 };
    })()`);
    if (!box) throw new Error(`no element matches ${selector}`);
    return box;
  }

  async click(selector) {
    const { x, y } = await this.centreOf(selector);
    await this.send('Input.dispatchMouseEvent', { type: 'mouseMoved', x, y });
    await this.send('Input.dispatchMouseEvent', { type: 'mousePressed', x, y, button: 'left', buttons: 1, clickCount: 1 });
    await this.send('Input.dispatchMouseEvent', { type: 'mouseReleased', x, y, button: 'left', buttons: 0, clickCount: 1 });
  }

  // xdotool's key names ("Escape", "Return", "F5", "a"). The page's window
  // gets the focus first; DevTools' own key input gets no answer while a
  // handler waits on a native call.
  async key(keyName) {
    const title = await this.eval('document.title');
    const found = execFileSync('xdotool',
      ['search', '--all', '--onlyvisible', '--pid', String(this.app.child.pid), '--name', `^${title}$`],
      { encoding: 'utf8' }).split('\n').filter(Boolean);
    if (found.length !== 1) throw new Error(`no single window titled ${title}: ${found.join(' ')}`);
    execFileSync('xdotool', ['windowfocus', '--sync', found[0]]);
    execFileSync('xdotool', ['key', '--clearmodifiers', keyName]);
  }


  async screenshot(file) {
    const { data } = await this.send('Page.captureScreenshot', { format: 'png' });
    await writeFile(file, Buffer.from(data, 'base64'));
  }

  close() {
    this.socket.close();
  }
}

class App {
  constructor(child, port) {
    this.child = child;
    this.port = port;
    this.stdout = '';
    this.stderr = '';
    this.sessions = [];
    child.stdout.on('data', (chunk) => (this.stdout += chunk));
    child.stderr.on('data', (chunk) => (this.stderr += chunk));
    this.exitStatus = null;
    this.exited = new Promise((resolve) => {
      child.on('exit', (code, signal) => {
        this.exitStatus = { code, signal };
        for (const session of this.sessions) session.close();
        resolve(this.exitStatus);
      });
      child.on('error', (error) => {
        this.stderr += `spawn failed: ${error.message}\n`;
        this.exitStatus = { code: null, signal: null, error };
        resolve(this.exitStatus);
      });
    });
  }

  async targets() {
    if (!this.port) throw new Error('launched without the inspector');
    return fetchJson(`http://127.0.0.1:${this.port}/json`);
  }

  async page({ urlIncludes = '', timeoutMs = 15000 } = {}) {
    const deadline = Date.now() + timeoutMs;
    for (;;) {
      if (this.exitStatus) {
        throw new Error(`program exited (${JSON.stringify(this.exitStatus)}) before a page with ${urlIncludes}\n${this.stderr}`);
      }
      try {
        const target = (await this.targets()).find(
          (t) => t.type === 'page' && t.url.includes(urlIncludes) && t.webSocketDebuggerUrl,
        );
        if (target) return await this.connect(target);
      } catch {
        // The endpoint is not up yet.
      }
      if (Date.now() > deadline) throw new Error(`no page with ${urlIncludes} within ${timeoutMs} ms\n${this.stderr}`);
      await sleep(100);
    }
  }

  async connect(target) {
    const socket = new WebSocket(target.webSocketDebuggerUrl, { perMessageDeflate: false });
    await new Promise((resolve, reject) => {
      socket.once('open', resolve);
      socket.once('error', reject);
    });
    const page = new Page(socket, target.url, this);
    this.sessions.push(page);
    await page.send('Runtime.enable');
    await page.send('Page.enable');
    return page;
  }

  async exit(timeoutMs = 10000) {
    let timer;
    const timeout = new Promise((resolve) => (timer = setTimeout(() => resolve(null), timeoutMs)));
    const status = await Promise.race([this.exited, timeout]);
    clearTimeout(timer);
    if (!status) {
      this.kill();
      await this.exited;
      throw new Error(`program did not exit within ${timeoutMs} ms\n${this.stderr}`);
    }
    return status.code;
  }

  kill(signal = 'SIGKILL') {
    if (!this.exitStatus) this.child.kill(signal);
  }
}

export async function launch({ program, args = [], cwd, env = {}, inspector = true }) {
  const port = inspector ? await freePort() : undefined;
  const childEnv = { ...process.env, ...env };
  for (const [name, value] of Object.entries(childEnv)) if (value === undefined || value === null) delete childEnv[name];
  if (inspector) childEnv.TIDEWELL_ENGINE_INSPECTOR_PORT = String(port);
  const child = spawn(program, args, { cwd, env: childEnv, stdio: ['ignore', 'pipe', 'pipe'] });
  child.stdout.setEncoding('utf8');
  child.stderr.setEncoding('utf8');
  return new App(child, port);
}
