// Dimension texts, search and its blinking hit, copying a path, print and
// narrow screens.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import {
  launchBrowser, tempFolder, removeFolder, buildGallery, openGallery, focusedId, overlayOpen, screenshotPath,
} from './helpers.mjs';
import { makeWallFolder } from './folders.mjs';

// Which size texts are showing: the captions' lines and the legend's line.
const dimsShown = (page) => page.evaluate(() => {
  const showing = (el) => getComputedStyle(el).display !== 'none';
  const lines = [...document.getElementsByClassName('dim')];
  const legendLine = document.querySelector('#legend .gray');
  return {
    captions: lines.length && lines.every(showing) ? 'all' : lines.some(showing) ? 'some' : 'none',
    legend: legendLine ? showing(legendLine) : null,
  };
});

const waitZoomLoaded = (page) => page.waitForFunction(() => document.querySelector('#legend .gray'));

// The path as the page shows and copies it: Windows style, without "file:///".
const windowsPath = (file) => decodeURIComponent(pathToFileURL(file).href).replace(/^file:\/\/\//, '')
  .replace(/\//g, '\\');

// Records what the page hands to the clipboard.
const watchCopies = () => {
  window.__copied = [];
  document.addEventListener('copy', () => {
    const el = document.activeElement;
    window.__copied.push(el && 'value' in el ? el.value : String(document.getSelection()));
  }, true);
};

describe('dimensions, search, copy, print', () => {
  let browser;
  let wall;
  before(async () => {
    browser = await launchBrowser();
    wall = tempFolder('toggles Ü & wall');
    makeWallFolder(wall);
    buildGallery(wall, 'en');
  });
  after(async () => {
    await browser?.close();
    if (wall) removeFolder(wall);
  });

  it('toggles the size texts with i, caption, heading, legend and a right-click on the overlay', async () => {
    const { context, page } = await openGallery(browser, wall);
    assert.deepEqual(await dimsShown(page), { captions: 'none', legend: null });
    await page.keyboard.press('i');
    assert.deepEqual(await dimsShown(page), { captions: 'all', legend: null });
    await page.click('figure:nth-of-type(3) figcaption');
    assert.deepEqual(await dimsShown(page), { captions: 'none', legend: null });
    await page.click('h1');
    assert.deepEqual(await dimsShown(page), { captions: 'all', legend: null });
    await page.click('h1');

    await page.click('#\\30 01');
    await waitZoomLoaded(page);
    assert.deepEqual(await dimsShown(page), { captions: 'none', legend: false });
    await page.click('#legend');
    assert.deepEqual(await dimsShown(page), { captions: 'all', legend: true });
    await page.mouse.click(5, 5, { button: 'right' });  // the overlay, outside the image
    assert.deepEqual(await dimsShown(page), { captions: 'none', legend: false });
    await page.click('#zoomBild', { button: 'right' });  // the image keeps the browser's menu
    assert.deepEqual(await dimsShown(page), { captions: 'none', legend: false });
    await page.keyboard.press('i');
    assert.deepEqual(await dimsShown(page), { captions: 'all', legend: true });
    // Opened while the sizes show: the new legend shows its size line too.
    await page.keyboard.press('ArrowRight');
    await waitZoomLoaded(page);
    assert.deepEqual(await dimsShown(page), { captions: 'all', legend: true });
    await context.close();
  });

  it('finds a name by Enter and by the button and focuses its image; Ctrl+F, F3 and Escape reach the box', async () => {
    const { context, page } = await openGallery(browser, wall);
    await page.keyboard.press('Escape');  // on the wall, overlay never opened
    assert.equal(await focusedId(page), 'search');
    await page.fill('#search', 'Jerry');
    await page.keyboard.press('Enter');
    assert.equal(await focusedId(page), '003');
    assert.equal(await page.evaluate(() => String(getSelection().getRangeAt(0))), 'Jerry');

    await page.fill('#search', 'logo.png');
    await page.click('#searchDiv button');
    assert.equal(await focusedId(page), '006');

    await page.keyboard.press('Control+f');
    assert.equal(await focusedId(page), 'search');
    await page.focus('#\\30 02');
    await page.keyboard.press('F3');
    assert.equal(await focusedId(page), 'search');

    await page.fill('#search', 'leftover');
    await page.focus('#\\30 02');
    await page.keyboard.press('Escape');
    assert.deepEqual(await page.evaluate(() => [document.activeElement.id, document.activeElement.value]),
      ['search', '']);
    await context.close();
  });

  it('blinks a found selection yellow and cyan every 222 ms, on the selection only', async () => {
    const { context, page } = await openGallery(browser, wall);
    await page.fill('#search', 'anim');
    await page.keyboard.press('Enter');
    assert.equal(await focusedId(page), '007');
    const samples = await page.evaluate(() => new Promise((done) => {
      const caption = document.getElementById('007').nextElementSibling;
      const seen = [];
      const start = performance.now();
      const timer = setInterval(() => {
        seen.push([performance.now() - start, getComputedStyle(caption, '::selection').backgroundColor,
          document.documentElement.style.getPropertyValue('--color')]);
        if (seen.length >= 120) { clearInterval(timer); done(seen); }
      }, 10);
    }));
    const colors = new Set(samples.map((s) => s[1]));
    assert.deepEqual([...colors].sort(), ['rgb(0, 255, 255)', 'rgb(255, 255, 0)']);
    assert.ok(samples.every((s) => s[2] === ''), 'the document element keeps no colour of its own');
    const changes = [];
    for (let i = 1; i < samples.length; i++) if (samples[i][1] !== samples[i - 1][1]) changes.push(samples[i][0]);
    const gaps = changes.slice(1).map((t, i) => t - changes[i]);
    assert.ok(gaps.length >= 3, `changes at ${changes}`);
    for (const gap of gaps) assert.ok(gap > 180 && gap < 270, `gaps ${gaps}`);

    // Without a selection the flash stops and leaves nothing behind.
    await page.evaluate(() => getSelection().removeAllRanges());
    await page.waitForTimeout(500);
    assert.deepEqual(await page.evaluate(() => [window.flashTimer,
      document.getElementById('007').nextElementSibling.style.getPropertyValue('--color')]), [0, '']);
    await context.close();
  });

  it('shows and copies the Windows-style path with Shift+Enter and Ctrl+Enter', async () => {
    const { context, page, dialogs } = await openGallery(browser, wall, { initScript: watchCopies });
    const preview = windowsPath(path.join(wall, 'Beach_t.JPG'));
    const full = windowsPath(path.join(wall, 'Beach.JPG'));
    assert.ok(!preview.includes('/') && !preview.startsWith('file'));

    await page.keyboard.press('Shift+Enter');  // the first image has the focus
    await page.focus('#\\30 01');
    await page.keyboard.press('Control+Enter');
    assert.deepEqual(dialogs, [`\u{1F4CB}\n${preview}\n(320px × 240px)`, `\u{1F4CB}\n${preview}\n(320px × 240px)`]);
    assert.deepEqual(await page.evaluate(() => window.__copied), [preview, preview]);
    assert.equal(await focusedId(page), '001');

    await page.keyboard.press('Enter');
    await waitZoomLoaded(page);
    await page.keyboard.press('Shift+Enter');
    assert.equal(dialogs[2], `\u{1F4CB}\n${full}\n(640px × 480px)`);
    assert.equal((await page.evaluate(() => window.__copied))[2], full);
    assert.equal(await overlayOpen(page), false);
    assert.equal(await focusedId(page), '001');
    await context.close();
  });

  it('hides search, sizes, zoom controls and legend in print; moves the search box below the heading when narrow', async () => {
    const { context, page } = await openGallery(browser, wall);
    await page.click('#\\30 01');
    await waitZoomLoaded(page);
    await page.keyboard.press('Escape');
    await page.emulateMedia({ media: 'print' });
    const printed = await page.evaluate(() => {
      const display = (selector) => [...document.querySelectorAll(selector)].map((el) => getComputedStyle(el).display);
      return {
        search: display('#searchDiv'),
        dims: [...new Set(display('.dim'))],
        controls: display('#zoom .zLinks, #zoom .zRechts, #zoom .zu, #legend'),
        background: getComputedStyle(document.body).backgroundColor,
        border: getComputedStyle(document.getElementById('001')).borderTopStyle,
      };
    });
    assert.deepEqual(printed, {
      search: ['none'], dims: ['none'], controls: ['none', 'none', 'none', 'none'],
      background: 'rgb(255, 255, 255)', border: 'none',
    });
    await page.emulateMedia({ media: 'screen' });
    await context.close();

    const narrow = await openGallery(browser, wall, { width: 600, height: 800 });
    const layout = await narrow.page.evaluate(() => {
      const heading = document.querySelector('h1').getBoundingClientRect();
      const search = document.getElementById('searchDiv');
      return { position: getComputedStyle(search).position, below: search.getBoundingClientRect().top >= heading.bottom };
    });
    assert.deepEqual(layout, { position: 'static', below: true });
    await narrow.page.screenshot({ path: screenshotPath('narrow.png'), fullPage: true });
    await narrow.context.close();
  });
});
