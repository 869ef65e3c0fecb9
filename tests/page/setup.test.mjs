// What the page does when it loads: title, count, tooltips, focus, search
// list, previews and their fallback, the missing-pictures alert, lazy loading.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {
  launchBrowser, tempFolder, removeFolder, buildGallery, openGallery, settleImages, wallState, focusedId,
  makeImage, pageUrl, chromiumOnly,
} from './helpers.mjs';
import { WALL, makeWallFolder, makeManyFolder } from './folders.mjs';

describe('page set-up', () => {
  let browser;
  let wall;
  before(async () => {
    browser = await launchBrowser();
    wall = tempFolder('Wall Ä & Co');
    makeWallFolder(wall);
    buildGallery(wall, 'en');
  });
  after(async () => {
    await browser?.close();
    if (wall) removeFolder(wall);
  });

  it('fills title, heading, count, tooltips and tab stops, and focuses the first image', async () => {
    const { context, page, dialogs } = await openGallery(browser, wall);
    const state = await page.evaluate(() => ({
      title: document.title,
      heading: document.getElementById('h1').textContent,
      count: document.getElementById('menge').textContent,
      images: window.bilder.map((img) => ({
        id: img.id, tooltip: img.title, tabindex: img.getAttribute('tabindex'), loading: img.loading,
      })),
    }));
    assert.equal(state.title, 'Images');
    assert.equal(state.heading, 'Images');
    assert.equal(state.count, String(WALL.length));
    state.images.forEach((img, i) => {
      const number = String(i + 1).padStart(3, '0');
      assert.deepEqual(img, { id: number, tooltip: `#${number}`, tabindex: '0', loading: 'lazy' });
    });
    assert.equal(await focusedId(page), '001');
    assert.deepEqual(dialogs, []);
    await context.close();
  });

  it('shows the preview where one exists and the full image elsewhere; never switches SVG or ICO', async () => {
    const { context, page, dialogs } = await openGallery(browser, wall);
    const shown = await wallState(page);
    const expected = WALL.map((image) => {
      const usePreview = image.preview !== undefined;
      const [width, height] = usePreview ? image.preview : image.full;
      return { file: usePreview ? image.name.replace(/\.(?=[^.]*$)/, '_t.') : image.name, width, height };
    });
    assert.deepEqual(shown.map(({ file, width, height }) => ({ file, width, height })), expected);
    // Most full images have no preview here; their failed preview loads raise no alert.
    assert.deepEqual(dialogs, []);
    await context.close();
  });

  it('keeps exactly one size line per caption: the size of what the wall shows', async () => {
    const { context, page } = await openGallery(browser, wall);
    for (const image of await wallState(page)) {
      assert.deepEqual(image.dims, [`${image.width}px × ${image.height}px`], image.file);
    }
    await context.close();
  });

  it('lists exactly the file names for search, also when the images loaded before the set-up', async () => {
    // Holds the set-up back until every image has loaded and its size line is written,
    // as happens on big pages.
    const lateSetUp = () => {
      const add = EventTarget.prototype.addEventListener;
      document.addEventListener = function (type, listener, options) {
        if (type !== 'DOMContentLoaded') return add.call(this, type, listener, options);
        window.__captionsBeforeSetUp = null;
        // The images load lazily, so the window's load may come first; each size line is
        // written in the animation frame after its image's load event (which may come a
        // while after the image is complete). Two frames after the last of those events,
        // they are all there, however slow the machine.
        const loaded = new Set();
        add.call(document, 'load', (event) => loaded.add(event.target), true);
        const whenLoaded = () => {
          if (![...document.images].every((image) => loaded.has(image))) return setTimeout(whenLoaded, 20);
          requestAnimationFrame(() => requestAnimationFrame(() => {
            window.__captionsBeforeSetUp = [...document.querySelectorAll('figcaption')].map((c) => c.textContent);
            listener();
          }));
        };
        add.call(window, 'load', whenLoaded);
      };
    };
    const { context, page } = await openGallery(browser, wall, { initScript: lateSetUp });
    const before = await page.evaluate(() => window.__captionsBeforeSetUp);
    assert.ok(before.every((text) => /px × \d+px$/.test(text)), `size lines written before the set-up: ${before}`);
    const options = await page.evaluate(() => [...document.querySelectorAll('#suchliste option')]
      .map((o) => [o.value, o.textContent]));
    assert.deepEqual(options, WALL.map((image) => [image.name, image.name]));
    // The preview switch loaded most images again: still one size line each.
    for (const image of await wallState(page)) assert.equal(image.dims.length, 1, image.file);
    await context.close();
  });

  it('carries an edited title over and shows the language word for an empty one', async () => {
    const dir = tempFolder('titles');
    try {
      makeImage(dir, 'a.png', 30, 20);
      const pagePath = path.join(dir, '!pictures.html');
      const setTitle = (title) => {
        const text = fs.readFileSync(pagePath, 'utf8');
        fs.writeFileSync(pagePath, text.replace(/const title="[^"]*"/, `const title="${title}"`));
      };
      buildGallery(dir, 'de');
      setTitle('Urlaub &ndash; Strand & Meer');
      buildGallery(dir, 'de');
      let { context, page } = await openGallery(browser, dir);
      assert.deepEqual(await page.evaluate(() => [document.title, document.getElementById('h1').textContent]),
        ['Urlaub – Strand & Meer', 'Urlaub – Strand & Meer']);
      await context.close();

      setTitle('');
      buildGallery(dir, 'de');
      ({ context, page } = await openGallery(browser, dir));
      assert.deepEqual(await page.evaluate(() => [document.title, document.getElementById('h1').textContent,
        document.querySelector('footer').textContent.trim().split(',')[0]]), ['Bilder', 'Bilder', '1 Bilder']);
      await context.close();
    } finally {
      removeFolder(dir);
    }
  });
});

describe('failed loads and lazy loading', () => {
  let browser;
  before(async () => { browser = await launchBrowser(); });
  after(async () => { await browser?.close(); });

  it('raises no alert for a complete folder and exactly one when full images are gone', async () => {
    const dir = tempFolder('missing');
    try {
      for (let i = 1; i <= 8; i++) makeImage(dir, `pic ${i}.png`, 20 + i, 20);
      buildGallery(dir, 'en');
      let { context, page, dialogs } = await openGallery(browser, dir);
      assert.equal((await wallState(page)).filter((image) => image.width > 0).length, 8);
      assert.deepEqual(dialogs, []);
      await context.close();

      for (const i of [2, 5, 7]) fs.unlinkSync(path.join(dir, `pic ${i}.png`));
      ({ context, page, dialogs } = await openGallery(browser, dir));
      await page.waitForTimeout(1500);  // room for further alerts, should any come
      assert.deepEqual(dialogs, ['Missing pictures:\nReCreate «!pictures.html» with QUIMBO']);
      await context.close();

      buildGallery(dir, 'de');
      fs.unlinkSync(path.join(dir, 'pic 1.png'));
      ({ context, page, dialogs } = await openGallery(browser, dir));
      await page.waitForTimeout(1000);
      assert.deepEqual(dialogs, ['Fehlende Bilder:\n«!pictures.html» mit QUIMBO neu erstellen!']);
      await context.close();
    } finally {
      removeFolder(dir);
    }
  });

  it('fetches only the images near the view, from the first byte of the page on', {
    skip: chromiumOnly('the requests of file:// images are watched through its DevTools protocol'),
  }, async () => {
    const dir = tempFolder('lazy');
    try {
      makeManyFolder(dir, 1000);
      buildGallery(dir, 'en');
      const context = await browser.newContext({ viewport: { width: 1000, height: 700 } });
      const page = await context.newPage();
      const cdp = await context.newCDPSession(page);
      await cdp.send('Network.enable');
      const fetched = new Set();
      cdp.on('Network.requestWillBeSent', (event) => {
        const match = /img%20(\d+)\.jpg$/.exec(event.request.url);  // full images only
        if (match) fetched.add(Number(match[1]));
      });
      await page.goto(pageUrl(dir));
      await page.waitForFunction(() => document.getElementById('menge')?.textContent === '1000');
      await settleImages(page);
      assert.ok(fetched.size > 0 && fetched.size < 500, `full images fetched at load: ${fetched.size}`);
      assert.ok(!fetched.has(1000), `fetched: ${[...fetched].sort((a, b) => a - b)}`);
      await page.evaluate(() => window.bilder[999].scrollIntoView());
      await page.waitForFunction(() => window.bilder[999].complete && window.bilder[999].naturalWidth === 40);
      assert.ok(fetched.has(1000));
      await context.close();
    } finally {
      removeFolder(dir);
    }
  });
});
