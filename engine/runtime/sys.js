// @sys: file-system calls of the page runtime.
const runtime = globalThis[Symbol.for('tidewell.runtime')];
if (!runtime) throw new Error('@sys is not available to this document');
export const fs = runtime.sys.fs;
export default { fs };
