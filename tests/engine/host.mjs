// Starts the engine's test host on the test pages.
import path from 'node:path';
import { launch } from '../node/lib/driver.mjs';

const buildDir = process.env.TW_BUILD_DIR ?? path.resolve('../../build');
const sourceDir = process.env.TW_SOURCE_DIR ?? path.resolve('../..');
export const program = path.join(buildDir, 'bin', 'engine-test-host');
export const pagesDir = path.join(sourceDir, 'tests', 'engine', 'pages');

export function startHost({ start = 'this://app/index.html', args = [], ...options } = {}) {
  return launch({ program, args: ['--pages', pagesDir, '--start', start, ...args], ...options });
}

// Closes the main window from inside the page, after the evaluation returns.
export async function closeMainWindow(page) {
  await page.eval('setTimeout(() => Window.this.close(), 20), true');
}
