export const twice = (x) => x * 2;
