// The album index (!albums.html) that quimbo-build --recursive writes, in
// Chromium from file://: every link opens its folder's gallery, the covers
// load (the preview where there is one), hostile folder names stay text, and
// an index of 2,000 albums loads quickly, scrolls, and loads its covers lazily.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { QUIMBO_BUILD, launchBrowser, tempFolder, removeFolder, makeImage, screenshotPath } from './helpers.mjs';

// Folder (relative to the tree), its images with their sizes; in the order of the index.
const TREE = [
  { folder: '', images: [['Start.jpg', 900, 600]] },
  { folder: '2024/Holiday', images: [['Strand & Meer.jpg', 1200, 800], ['Düne.png', 300, 200]] },
  { folder: '2024/Work', images: [['klein.png', 200, 100]] },
  { folder: 'javascript:alert(1)', images: [['j.jpg', 100, 80]] },
  { folder: 'Tom & "Jerry" <img src=x onerror=alert(2)>', images: [['x.webp', 640, 480]] },
];

function indexUrl(dir) {
  return pathToFileURL(path.join(dir, '!albums.html')).href;
}

async function openIndex(browser, dir, { width = 1000, height = 700 } = {}) {
  const context = await browser.newContext({ viewport: { width, height } });
  const page = await context.newPage();
  const problems = [];
  page.on('dialog', (dialog) => { problems.push(`dialog: ${dialog.message()}`); dialog.dismiss().catch(() => {}); });
  page.on('pageerror', (error) => { problems.push(`pageerror: ${error.message}`); });
  page.on('request', (request) => {
    if (!request.url().startsWith('file:') && !request.url().startsWith('data:')) problems.push(`network: ${request.url()}`);
  });
  const started = Date.now();
  await page.goto(indexUrl(dir));
  const loadMs = Date.now() - started;
  return { context, page, problems, loadMs };
}

// The covers in view that finished loading, and how many loaded with pixels.
const coverState = (page) => page.evaluate(() => {
  const covers = [...document.querySelectorAll('a.album img')];
  return {
    total: covers.length,
    loaded: covers.filter((img) => img.complete && img.naturalWidth > 0).length,
    lazy: covers.every((img) => img.loading === 'lazy'),
  };
});

describe('album index', () => {
  let browser;
  let dir;
  before(async () => {
    browser = await launchBrowser();
    dir = tempFolder('Pictures');
    const colors = ['tomato', 'gold', 'teal', 'navy', 'olive', 'orchid'];
    let n = 0;
    for (const { folder, images } of TREE) {
      fs.mkdirSync(path.join(dir, folder), { recursive: true });
      for (const [name, width, height] of images) makeImage(path.join(dir, folder), name, width, height, colors[n++ % colors.length]);
    }
    fs.mkdirSync(path.join(dir, 'empty'));
    execFileSync(QUIMBO_BUILD, ['--recursive', '--previews', '--lang', 'en', dir], { encoding: 'utf8', stdio: 'pipe' });
  });
  after(async () => {
    await browser?.close();
    if (dir) removeFolder(dir);
  });

  it('lists every album in the order of the tree, names as text, covers loaded from the previews', async () => {
    const { context, page, problems } = await openIndex(browser, dir);
    await page.waitForFunction(() => [...document.querySelectorAll('a.album img')].every((img) => img.complete));
    const albums = await page.evaluate(() => [...document.querySelectorAll('a.album')].map((a) => ({
      name: a.querySelector('.name').textContent,
      cover: decodeURIComponent(new URL(a.querySelector('img').src).pathname),
      width: a.querySelector('img').naturalWidth,
    })));
    assert.deepEqual(albums.map((a) => a.name), ['Pictures', '2024/Holiday', '2024/Work', 'javascript:alert(1)',
      'Tom & "Jerry" <img src=x onerror=alert(2)>']);
    // A preview where the first image is larger than a preview; the small image is its own preview.
    assert.deepEqual(albums.map((a) => path.basename(a.cover)),
      ['Start_t.jpg', 'Strand & Meer_t.jpg', 'klein_t.png', 'j_t.jpg', 'x_t.webp']);
    assert.deepEqual(albums.map((a) => a.width), [480, 480, 200, 100, 480]);
    assert.equal(await page.locator('.folder').textContent(), '2024');
    assert.equal(await page.locator('img:not(a.album img)').count(), 0, 'no element came from a folder name');
    await page.screenshot({ path: screenshotPath('albums-index.png'), fullPage: true });
    assert.deepEqual(problems, []);
    await context.close();
  });

  it('opens the gallery of each album from its link', async () => {
    const { context, page, problems } = await openIndex(browser, dir);
    const count = await page.locator('a.album').count();
    assert.equal(count, TREE.length);
    for (let i = 0; i < count; i++) {
      await page.goto(indexUrl(dir));
      await page.locator('a.album').nth(i).click();
      await page.waitForFunction(() => document.getElementById('menge')?.textContent !== '');
      const opened = decodeURIComponent(new URL(page.url()).pathname);
      assert.equal(opened, path.join(dir, TREE[i].folder, '!pictures.html'));
      const shown = await page.evaluate(() => window.bilder.map((img) => decodeURIComponent(img.src.split('/').pop())));
      assert.equal(shown.length, TREE[i].images.length, TREE[i].folder);
    }
    assert.deepEqual(problems, []);
    await context.close();
  });
});

describe('album index of 2,000 albums', () => {
  let browser;
  let dir;
  before(async () => {
    browser = await launchBrowser();
    dir = tempFolder('Many');
    const seed = path.join(dir, 'seed.jpg');
    execFileSync('convert', ['-size', '64x48', 'xc:seagreen', seed]);
    for (let i = 1; i <= 2000; i++) {
      const folder = path.join(dir, `year ${String(Math.ceil(i / 100)).padStart(2, '0')}`, `album ${String(i).padStart(4, '0')}`);
      fs.mkdirSync(folder, { recursive: true });
      fs.copyFileSync(seed, path.join(folder, 'cover.jpg'));
    }
    fs.rmSync(seed);
    execFileSync(QUIMBO_BUILD, ['--recursive', '--lang', 'en', dir], { encoding: 'utf8', stdio: 'pipe' });
  });
  after(async () => {
    await browser?.close();
    if (dir) removeFolder(dir);
  });

  it('loads quickly, scrolls to the last album, and loads only the covers near the view', async () => {
    const { context, page, problems, loadMs } = await openIndex(browser, dir);
    assert.ok(loadMs < 5000, `the index took ${loadMs} ms to load`);
    await page.waitForTimeout(300);
    let state = await coverState(page);
    assert.equal(state.total, 2000);
    assert.ok(state.lazy);
    assert.ok(state.loaded > 0 && state.loaded < 200, `${state.loaded} covers loaded before any scrolling`);

    await page.evaluate(() => window.scrollTo(0, document.body.scrollHeight));
    const last = page.locator('a.album').last();
    await last.evaluate((a) => new Promise((done) => {
      const img = a.querySelector('img');
      if (img.complete && img.naturalWidth) done(); else img.addEventListener('load', done, { once: true });
    }));
    assert.ok(await last.isVisible());
    assert.equal(await last.locator('.name').textContent(), 'year 20/album 2000');
    state = await coverState(page);
    assert.ok(state.loaded < 400, `${state.loaded} covers loaded after one jump to the end`);
    assert.equal(await page.locator('.folder').count(), 21, 'a heading for the tree\'s folder and one per year');
    assert.deepEqual(problems, []);
    await context.close();
  });
});
