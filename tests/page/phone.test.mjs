// The page on a phone and through links: swipes in the zoom view, a link to one
// image (#NAME), Back closing the zoom, and the album index at 360 px.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import {
  ENGINE, QUIMBO_BUILD, launchBrowser, tempFolder, removeFolder, buildGallery, openGallery, makeImage, overlayOpen,
} from './helpers.mjs';
import { makeManyFolder } from './folders.mjs';

const zoomed = (page) => page.evaluate(() => (document.getElementById('zoom').style.display === 'block'
  ? document.getElementById('zoomBild').src.split('/').pop() : null));
const address = (page) => page.evaluate(() => [location.hash, history.length]);
const closed = (page) => page.waitForFunction(() => document.getElementById('zoom').style.display === 'none');

// Fingers moved together in 8 steps, each from [x0, y0] to [x1, y1].
async function drag(page, fingers) {
  const at = (t) => fingers.map(([x0, y0, x1, y1]) => [x0 + (x1 - x0) * t, y0 + (y1 - y0) * t]);
  if (ENGINE === 'firefox') {
    const touches = [];
    for (const [x, y] of at(0)) touches.push(await page.touchscreen.touchStart(x, y));
    for (let i = 1; i <= 8; i++) for (const [k, [x, y]] of at(i / 8).entries()) await touches[k].move(x, y);
    for (const touch of touches) await touch.end();
  } else {
    const cdp = await page.context().newCDPSession(page);
    const send = (type, points) => cdp.send('Input.dispatchTouchEvent',
      { type, touchPoints: points.map(([x, y], id) => ({ x, y, id })) });
    await send('touchStart', at(0));
    for (let i = 1; i <= 8; i++) await send('touchMove', at(i / 8));
    await send('touchEnd', []);
    await cdp.detach();
  }
  await page.waitForTimeout(100);
}
const swipe = (page, dx, dy = 0) => drag(page, [[195 - dx / 2, 420 - dy / 2, 195 + dx / 2, 420 + dy / 2]]);

describe('zoom view on a phone and by link', () => {
  let browser;
  let dir;
  before(async () => {
    browser = await launchBrowser();
    dir = tempFolder('phone');
    ['a 1.png', 'b#2 100%.png', 'c%41.png', 'Ü ö.png'].forEach((name, i) => makeImage(dir, name, 40 + i, 30));
    makeManyFolder(dir, 3);  // the wall: img 0001.jpg to img 0003.jpg, then the names above
    buildGallery(dir, 'en');
  });
  after(async () => {
    await browser?.close();
    if (dir) removeFolder(dir);
  });

  it('steps by horizontal swipes up to the ends; a vertical drag, a pinch and a short move do not step', async () => {
    const { context, page, dialogs } = await openGallery(browser, dir, { width: 390, height: 844, touch: true });
    await page.click('[id="006"]');
    await page.touchscreen.tap(195, 420);  // a tap closes, as a click does
    assert.equal(await overlayOpen(page), false);
    await page.click('[id="006"]');
    const [, entries] = await address(page);
    const cases = [
      [() => swipe(page, -200), '%C3%9C%20%C3%B6.png'],
      [() => swipe(page, -200), '%C3%9C%20%C3%B6.png'],  // the last image: no further
      [() => swipe(page, 200), 'c%2541.png'],
      [() => swipe(page, 60, 200), 'c%2541.png'],  // mostly downwards
      [() => swipe(page, 30), 'c%2541.png'],
      // A pinch, inwards, so that the view keeps its scale for the swipes after it
      [() => drag(page, [[50, 420, 150, 420], [340, 420, 240, 420]]), 'c%2541.png'],
      [() => swipe(page, 200), 'b%232%20100%25.png'],
    ];
    for (const [gesture, expected] of cases) {
      await gesture();
      assert.equal(await zoomed(page), expected, `after ${gesture}`);
    }
    // Past the first image a rightward swipe is no browser "back"; steps add no history entries.
    for (let i = 0; i < 6; i++) await swipe(page, 250);
    await page.waitForTimeout(400);
    assert.deepEqual([await zoomed(page), await address(page)], ['img%200001.jpg', ['#img%200001.jpg', entries]]);
    assert.deepEqual([await page.evaluate(() => window.scrollX), dialogs], [0, []]);
    await context.close();
  });

  it('opens the image a link names, plain or percent-encoded, and nothing for an unknown name', async () => {
    const cases = [
      ['#a%201.png', 'a%201.png'], ['#a 1.png', 'a%201.png'],
      ['#b%232%20100%25.png', 'b%232%20100%25.png'], ['#b#2 100%.png', 'b%232%20100%25.png'],
      ['#c%2541.png', 'c%2541.png'], ['#c%41.png', 'c%2541.png'],
      ['#%C3%9C%20%C3%B6.png', '%C3%9C%20%C3%B6.png'], ['#Ü ö.png', '%C3%9C%20%C3%B6.png'],
      ['#nothing.png', null], ['#%E0%A4%A', null],
    ];
    for (const [hash, expected] of cases) {
      const { context, page, dialogs } = await openGallery(browser, dir, { hash, settle: false });
      if (expected) await page.waitForFunction(() => document.getElementById('zoomBild')?.complete);
      assert.deepEqual([await zoomed(page), dialogs], [expected, []], hash);
      if (expected) {  // Back goes to the wall of the same page, without the name
        await page.goBack();
        await closed(page);
        assert.equal((await address(page))[0], '', hash);
      }
      await context.close();
    }
  });

  it('keeps one history entry per zoom, replaced on each step; Back closes, Forward leaves a working page', async () => {
    const { context, page } = await openGallery(browser, dir);
    const [, entries] = await address(page);
    await page.click('[id="002"]');
    await page.keyboard.press('ArrowRight');
    await page.click('#zoom .zRechts');
    assert.deepEqual(await address(page), ['#a%201.png', entries + 1]);
    await page.reload();  // the same image again, on the same entry
    await page.waitForFunction(() => document.getElementById('zoomBild')?.complete);
    assert.deepEqual([await zoomed(page), await address(page)], ['a%201.png', ['#a%201.png', entries + 1]]);
    await page.goBack();
    await closed(page);
    assert.deepEqual([await address(page), await page.evaluate(() => document.activeElement.id)], [['', entries + 1], '004']);
    await page.goForward();
    await page.waitForTimeout(300);
    await page.keyboard.press('Escape');  // reopened or not, the page still opens, steps and closes
    await page.click('[id="001"]');
    await page.keyboard.press('ArrowRight');
    assert.equal(await zoomed(page), 'img%200002.jpg');
    await page.keyboard.press('Escape');
    await closed(page);
    await page.waitForTimeout(300);
    assert.equal((await address(page))[0], '');
    await context.close();
  });
});

describe('album index on a phone', () => {
  let browser;
  let dir;
  before(async () => {
    browser = await launchBrowser();
    dir = tempFolder('Pictures');
    for (const album of ['2023/Summer', '2023/Sommerferien an der Nordsee/Tag 1', 'Geburtstagsfeier Oma/Ausflug', 'x/y']) {
      fs.mkdirSync(path.join(dir, album), { recursive: true });
      makeImage(path.join(dir, album), 'first.jpg', 900, 600);
    }
    execFileSync(QUIMBO_BUILD, ['--recursive', '--previews', '--lang', 'en', dir], { stdio: 'pipe' });
    for (const file of ['2023/Summer/first_t.jpg', 'x/y/first_t.jpg', 'x/y/first.jpg']) fs.unlinkSync(path.join(dir, file));
  });
  after(async () => {
    await browser?.close();
    if (dir) removeFolder(dir);
  });

  it('fits 360 px without breaking inside a name; a cover falls back to its image, then to a placeholder', async () => {
    const context = await browser.newContext({ viewport: { width: 360, height: 740 } });
    const page = await context.newPage();
    await page.goto(pathToFileURL(path.join(dir, '!albums.html')).href);
    await page.waitForFunction(() => [...document.querySelectorAll('a.album img')].every((img) => img.complete));
    await page.waitForTimeout(300);
    const state = await page.evaluate(() => ({
      overflow: document.documentElement.scrollWidth - document.documentElement.clientWidth,
      // Names with a line break between two letters of one part (the top of a letter is lower than the one before)
      brokenWords: [...document.querySelectorAll('.name, .folder')].filter((name) => {
        const letters = [...name.childNodes].flatMap((node) => [...(node.nodeValue ?? '')].map((c, i) => [node, i, c]));
        const tops = letters.map(([node, i]) => {
          const range = document.createRange();
          range.setStart(node, i);
          range.setEnd(node, i + 1);
          return Math.round(range.getBoundingClientRect().top);
        });
        return tops.some((top, i) => i > 0 && top > tops[i - 1] && !/[/ ]/.test(letters[i - 1][2]));
      }).map((name) => name.textContent),
      covers: [...document.querySelectorAll('a.album')].map((a) => a.querySelector('img')
        ? `${decodeURIComponent(a.querySelector('img').src.split('/').slice(-2).join('/'))}` : a.firstElementChild.className),
    }));
    assert.deepEqual(state, {
      overflow: 0, brokenWords: [], covers: ['Tag 1/first_t.jpg', 'Summer/first.jpg', 'Ausflug/first_t.jpg', 'blank'],
    });
    await context.close();
  });
});
