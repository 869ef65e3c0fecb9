// Shared pieces of the page tests: image folders made with ImageMagick, pages
// made by quimbo-build, and Debian's Chromium driven through playwright-core.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
export const QUIMBO_BUILD = process.env.QUIMBO_BUILD || path.join(ROOT, 'build', 'native', 'cli', 'quimbo-build');
export const SHOTS = path.join(ROOT, 'build', 'page-screenshots');
export const CHROMIUM = '/usr/bin/chromium';
export const BROWSER_FLAGS = [
  '--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
  '--disable-sync', '--no-first-run',
];

// Debian's browser, headless; playwright gives every launch a fresh profile folder.
export function launchBrowser() {
  return chromium.launch({ executablePath: CHROMIUM, headless: true, args: BROWSER_FLAGS });
}

export function tempFolder(name) {
  const base = fs.mkdtempSync(path.join(os.tmpdir(), 'quimbo-page-'));
  const dir = path.join(base, name);
  fs.mkdirSync(dir);
  return dir;
}

export function removeFolder(dir) {
  fs.rmSync(path.dirname(dir), { recursive: true, force: true });
}

// A real image of `width` x `height` pixels; the format follows the extension,
// or `format` (for instance 'jpg' for a .jfif file).
export function makeImage(dir, name, width, height, color = 'steelblue', format = '') {
  const target = path.join(dir, name);
  if (/\.svg$/i.test(name)) {
    fs.writeFileSync(target,
      `<svg xmlns="http://www.w3.org/2000/svg" width="${width}" height="${height}">` +
      `<rect x="1" y="1" width="${width - 2}" height="${height - 2}" fill="${color}" fill-opacity="0.6"/></svg>`);
    return;
  }
  execFileSync('convert', ['-size', `${width}x${height}`, `xc:${color}`, format ? `${format}:${target}` : target]);
}

// quimbo-build on `dir`; returns the page's path.
export function buildGallery(dir, lang = 'en') {
  const out = execFileSync(QUIMBO_BUILD, ['--lang', lang, dir], { encoding: 'utf8' });
  return out.trim();
}

export function pageUrl(dir) {
  return pathToFileURL(path.join(dir, '!pictures.html')).href;
}

// Opens the gallery of `dir` in a new context and waits until its set-up ran
// and every image that is going to load has settled. `dialogs` collects the
// texts of all alerts (each is accepted at once).
export async function openGallery(browser, dir, { width = 1000, height = 700, initScript, settle = true } = {}) {
  const context = await browser.newContext({ viewport: { width, height } });
  const page = await context.newPage();
  const dialogs = [];
  page.on('dialog', (dialog) => { dialogs.push(dialog.message()); dialog.accept().catch(() => {}); });
  page.on('pageerror', (error) => { dialogs.push(`pageerror: ${error.message}`); });
  if (initScript) await page.addInitScript(initScript);
  await page.goto(pageUrl(dir));
  await page.waitForFunction(() => document.getElementById('menge')?.textContent !== '');
  if (settle) await settleImages(page);
  return { context, page, dialogs };
}

// Waits until every image of the wall that is in view has settled (loaded, or
// failed for good) twice in a row 100 ms apart (a failed preview is briefly
// "complete" before its fallback starts), and two frames passed (the size
// lines are written once per frame).
export async function settleImages(page) {
  const settled = () => page.evaluate(() => window.bilder
    .filter((img) => img.getBoundingClientRect().top < window.innerHeight)
    .every((img) => img.complete));
  const deadline = Date.now() + 15000;
  for (let calm = 0; calm < 2;) {
    if (Date.now() > deadline) throw new Error('images of the wall did not settle');
    calm = (await settled()) ? calm + 1 : 0;
    await page.waitForTimeout(100);
  }
  await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
}

export function screenshotPath(name) {
  fs.mkdirSync(SHOTS, { recursive: true });
  return path.join(SHOTS, name);
}

// What the wall shows: per image its src file, natural size, caption lines.
export function wallState(page) {
  return page.evaluate(() => window.bilder.map((img) => ({
    id: img.id,
    file: decodeURIComponent(img.src.split('/').pop()),
    width: img.naturalWidth,
    height: img.naturalHeight,
    dims: [...img.nextElementSibling.getElementsByClassName('dim')].map((d) => d.textContent),
  })));
}

export const focusedId = (page) => page.evaluate(() => document.activeElement?.id ?? '');
export const overlayOpen = (page) => page.evaluate(() => document.getElementById('zoom').style.display === 'block');
