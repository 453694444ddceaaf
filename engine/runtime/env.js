// @env: the user's folders and the platform.
const runtime = globalThis[Symbol.for('tidewell.runtime')];
if (!runtime) throw new Error('@env is not available to this document');
export const PLATFORM = runtime.env.platform();
export function path(name, relative) {
  return relative === undefined ? runtime.env.path(name) : runtime.env.path(name, relative);
}
export default { PLATFORM, path };
