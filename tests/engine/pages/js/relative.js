export const three = 3;
