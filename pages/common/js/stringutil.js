// String helpers installed on the string prototype when this module is imported.

function format(...values) {
  return String(this).replace(/\{(\d+)\}/g, (placeholder, digits) => {
    const value = values[Number(digits) - 1];
    return value === undefined || value === null ? placeholder : String(value);
  });
}

function contains(search, start = 0) {
  if (search instanceof RegExp) throw new TypeError("first argument must not be a RegExp");
  return String(this).indexOf(search, start) !== -1;
}

for (const [name, fn] of Object.entries({ format, contains })) {
  Object.defineProperty(String.prototype, name, { value: fn, writable: true, configurable: true });
}
