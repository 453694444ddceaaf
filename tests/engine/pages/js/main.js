import * as sys from '@sys';
import * as env from '@env';
import { twice } from '/js/Helper';
import { three } from './relative.js';

window.sys = sys;
window.env = env;
window.moduleResults = { twice: twice(21), three };
window.ready = true;
