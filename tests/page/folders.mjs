// The test folders of the page tests.
import fs from 'node:fs';
import path from 'node:path';
import { execFileSync } from 'node:child_process';
import { makeImage } from './helpers.mjs';

// One image of every listed kind, each with its own pixel size; previews of a
// different size for some; decoys that must never be shown; a name that is
// never listed. `wall` is the order and the sizes the wall must show.
export const WALL = [
  { name: 'Beach.JPG', full: [640, 480], preview: [320, 240] },
  { name: 'Foto 1.jpg', full: [400, 300] },
  { name: 'Tom & Jerry.jpeg', full: [300, 200], preview: [150, 100] },
  { name: 'Schöne Aussicht.jfif', full: [500, 250], format: 'jpg' },
  { name: 'Sketch.svg', full: [120, 60], decoy: [10, 10] },
  { name: 'Logo.PNG', full: [256, 128], preview: [64, 32] },
  { name: 'anim.gif', full: [90, 60] },
  { name: 'pic.webp', full: [210, 140], preview: [105, 70] },
  { name: 'photo.avif', full: [330, 220] },
  { name: 'favicon.ico', full: [48, 48], decoy: [16, 16] },
];

const COLORS = ['tomato', 'gold', 'seagreen', 'orchid', 'orange', 'teal', 'sienna', 'navy', 'olive', 'crimson'];

export function previewName(name) {
  return name.replace(/\.([^.]*)$/, '_t.$1');
}

export function makeWallFolder(dir) {
  WALL.forEach((image, i) => {
    makeImage(dir, image.name, ...image.full, COLORS[i], image.format);
    const small = image.preview || image.decoy;
    if (small) makeImage(dir, previewName(image.name), ...small, 'white', image.format);
  });
  makeImage(dir, 'map_w.png', 50, 50);
}

// `count` copies of one small JPEG named "img 0001.jpg" and so on.
export function makeManyFolder(dir, count, { width = 40, height = 30 } = {}) {
  const first = path.join(dir, 'img 0001.jpg');
  execFileSync('convert', ['-size', `${width}x${height}`, 'xc:seagreen', first]);
  for (let i = 2; i <= count; i++) {
    fs.copyFileSync(first, path.join(dir, `img ${String(i).padStart(4, '0')}.jpg`));
  }
}
