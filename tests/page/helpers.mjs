// Shared pieces of the page tests: image folders made with ImageMagick, pages
// made by quimbo-build, and a browser: Debian's Chromium through playwright-core,
// or Debian's Firefox ESR over WebDriver BiDi through puppeteer-core, chosen by
// QUIMBO_PAGE_ENGINE (chromium, the default, or firefox). scripts/test runs
// every test file once per engine.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';
import puppeteer from 'puppeteer-core';

export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
export const QUIMBO_BUILD = process.env.QUIMBO_BUILD || path.join(ROOT, 'build', 'native', 'cli', 'quimbo-build');
export const SHOTS = path.join(ROOT, 'build', 'page-screenshots');
export const CHROMIUM = '/usr/bin/chromium';
export const BROWSER_FLAGS = [
  '--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
  '--disable-sync', '--no-first-run',
];

export const FIREFOX = '/usr/bin/firefox-esr';
export const ENGINE = process.env.QUIMBO_PAGE_ENGINE || 'chromium';
if (!['chromium', 'firefox'].includes(ENGINE)) throw new Error(`QUIMBO_PAGE_ENGINE: no engine ${ENGINE}`);
// For a test that needs what only Chromium gives a test (its DevTools protocol):
// it({ skip: chromiumOnly('why') }).
export const chromiumOnly = (why) => (ENGINE === 'chromium' ? false : `Chromium only: ${why}`);

// Debian's browser, headless, with a fresh profile folder per launch.
export function launchBrowser() {
  if (ENGINE === 'firefox') return launchFirefox();
  return chromium.launch({ executablePath: CHROMIUM, headless: true, args: BROWSER_FLAGS });
}

// Firefox through puppeteer-core, dressed as the part of playwright's API that
// the tests use (contexts with a viewport, waitForFunction(fn, arg), key
// chords like "Control+f", fill, locators, addInitScript, emulateMedia).
async function launchFirefox() {
  const browser = await puppeteer.launch({
    browser: 'firefox', executablePath: FIREFOX, headless: true, protocol: 'webDriverBiDi',
    extraPrefsFirefox: { 'dom.disable_beforeunload': true },
  });
  return {
    version: () => browser.version(),
    close: () => browser.close(),
    async newContext({ viewport = { width: 1280, height: 720 }, hasTouch = false } = {}) {
      const context = await browser.createBrowserContext();
      return {
        close: () => context.close(),
        newCDPSession: () => { throw new Error('no DevTools protocol in Firefox'); },
        async newPage() {
          const page = await context.newPage();
          await page.setViewport({ ...viewport, hasTouch });
          return playwrightLike(page);
        },
      };
    },
  };
}

const sleep = (ms) => new Promise((done) => setTimeout(done, ms));

function playwrightLike(page) {
  const keyboard = {
    async press(chord) {
      const keys = chord.length > 1 ? chord.split('+') : [chord];
      for (const key of keys.slice(0, -1)) await page.keyboard.down(key);
      await page.keyboard.press(keys.at(-1));
      for (const key of keys.slice(0, -1).reverse()) await page.keyboard.up(key);
    },
  };
  const extra = {
    keyboard,
    addInitScript: (fn) => page.evaluateOnNewDocument(fn),
    waitForFunction: (fn, arg, { timeout = 30000 } = {}) => page.waitForFunction(fn, { timeout, polling: 50 }, arg),
    waitForTimeout: sleep,
    click: async (selector, options) => clickElement(page, await page.waitForSelector(selector, { visible: true }), options),
    fill: async (selector, text) => {
      await page.focus(selector);
      await page.$eval(selector, (el, value) => {
        el.value = value;
        el.dispatchEvent(new Event('input', { bubbles: true }));
      }, text);
    },
    press: async (selector, key) => { await page.focus(selector); await keyboard.press(key); },
    emulateMedia: ({ media }) => page.evaluate(emulateMedia, media),
    // The browser's Back and Forward; puppeteer waits for a navigation that a
    // step within the page never makes.
    goBack: () => page.goBack({ timeout: 1000 }).catch(() => null),
    goForward: () => page.goForward({ timeout: 1000 }).catch(() => null),
    locator: (selector) => locator(page, [{ selector }]),
  };
  return new Proxy(page, {
    get: (target, name) => (name in extra ? extra[name]
      : typeof target[name] === 'function' ? target[name].bind(target) : target[name]),
  });
}

// Print view for Firefox, whose WebDriver BiDi cannot switch the media type:
// "@media print" rules apply and "@media screen ..." rules do not, as when
// printing; `media` 'screen' undoes it. Runs in the page.
function emulateMedia(media) {
  for (const sheet of document.styleSheets) {
    for (const rule of sheet.cssRules) {
      if (!(rule instanceof CSSMediaRule)) continue;
      rule.original ??= rule.media.mediaText;
      const printing = /^print$/.test(rule.original) ? 'all' : /^screen\b/.test(rule.original) ? 'not all' : rule.original;
      rule.media.mediaText = media === 'print' ? printing : rule.original;
    }
  }
}

// Clicks the middle of the part of `element` in view, as playwright does;
// scrolls it into view only when no part is (puppeteer's own click always
// scrolls, and so moves the wall).
async function clickElement(page, element, options) {
  const middle = () => element.evaluate((el) => {
    const r = el.getBoundingClientRect();
    const [left, top] = [Math.max(r.left, 0), Math.max(r.top, 0)];
    const [right, bottom] = [Math.min(r.right, innerWidth), Math.min(r.bottom, innerHeight)];
    return right > left && bottom > top ? { x: (left + right) / 2, y: (top + bottom) / 2 } : null;
  });
  let point = await middle();
  if (!point) {
    await element.evaluate((el) => el.scrollIntoView({ block: 'center', inline: 'center' }));
    point = await middle();
  }
  if (!point) throw new Error('the element does not fit into the view');
  await page.mouse.click(point.x, point.y, options);
}

// A chain of selectors, each optionally narrowed to its nth match (-1: the last).
function locator(page, steps) {
  const all = () => page.evaluateHandle((chain) => {
    let found = [document];
    for (const { selector, index } of chain) {
      found = found.flatMap((root) => [...root.querySelectorAll(selector)]);
      if (index !== undefined) found = found.slice(index).slice(0, 1);
    }
    return found;
  }, steps);
  const first = async () => {
    const element = await (await all()).getProperty('0');
    if (!element.asElement()) throw new Error(`nothing matches ${JSON.stringify(steps)}`);
    return element.asElement();
  };
  const nth = (index) => locator(page, [...steps.slice(0, -1), { ...steps.at(-1), index }]);
  return {
    nth,
    last: () => nth(-1),
    locator: (selector) => locator(page, [...steps, { selector }]),
    count: async () => (await all()).evaluate((found) => found.length),
    textContent: async () => (await first()).evaluate((el) => el.textContent),
    isVisible: async () => (await first()).evaluate((el) => el.checkVisibility()),
    evaluate: async (fn) => (await first()).evaluate(fn),
    click: async () => clickElement(page, await first()),
  };
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
export async function openGallery(browser, dir, { width = 1000, height = 700, initScript, settle = true, touch = false,
  hash = '' } = {}) {
  const context = await browser.newContext({ viewport: { width, height }, hasTouch: touch, isMobile: touch });
  const page = await context.newPage();
  const dialogs = [];
  page.on('dialog', (dialog) => { dialogs.push(dialog.message()); dialog.accept().catch(() => {}); });
  page.on('pageerror', (error) => { dialogs.push(`pageerror: ${error.message}`); });
  if (initScript) await page.addInitScript(initScript);
  await page.goto(pageUrl(dir) + hash);
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
