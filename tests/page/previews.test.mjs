// A folder built with quimbo-build --previews: the wall shows the previews
// that quimbo-build made, at their own size, and no preview fails to load.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { QUIMBO_BUILD, launchBrowser, tempFolder, removeFolder, openGallery, wallState, makeImage } from './helpers.mjs';
import { previewName } from './folders.mjs';

// Name, full size, and the size of the preview the wall must show; in the order of the wall.
const IMAGES = [
  { name: 'Alpen Panorama.JPG', full: [1600, 600], shown: [480, 180] },
  { name: 'Hochformat & Co.jpeg', full: [900, 1200], shown: [360, 480] },
  { name: 'Karte.png', full: [1000, 1000], shown: [480, 480] },
  { name: 'klein.png', full: [200, 100], shown: [200, 100] },  // small: its preview is a copy
  { name: 'Ölbild.webp', full: [1280, 720], shown: [480, 270] },
];

describe('page with previews made by quimbo-build', () => {
  let browser;
  let dir;
  before(async () => {
    browser = await launchBrowser();
    dir = tempFolder('Previews');
    IMAGES.forEach((image, i) => makeImage(dir, image.name, ...image.full, ['tomato', 'gold', 'teal', 'navy', 'olive'][i]));
    execFileSync(QUIMBO_BUILD, ['--lang', 'en', '--previews', dir], { encoding: 'utf8', stdio: 'pipe' });
  });
  after(async () => {
    await browser?.close();
    if (dir) removeFolder(dir);
  });

  it('shows every preview at its own size and raises no failed-load fallback', async () => {
    for (const image of IMAGES) assert.ok(fs.existsSync(path.join(dir, previewName(image.name))), image.name);
    // Every failed image load on the page, caught before the page's own handler switches back.
    const watchErrors = () => {
      window.__failedLoads = [];
      document.addEventListener('error', (event) => window.__failedLoads.push(event.target.src), true);
    };
    const { context, page, dialogs } = await openGallery(browser, dir, { width: 1400, height: 1000, initScript: watchErrors });
    const shown = await wallState(page);
    assert.deepEqual(
      shown.map(({ file, width, height }) => ({ file, width, height })),
      IMAGES.map((image) => ({ file: previewName(image.name), width: image.shown[0], height: image.shown[1] })),
    );
    assert.deepEqual(await page.evaluate(() => window.__failedLoads), []);
    assert.deepEqual(dialogs, []);
    await context.close();
  });
});
