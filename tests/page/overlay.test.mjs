// The zoom overlay and stepping: what opens, how it looks, how it closes, and
// where the wall is afterwards.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import {
  launchBrowser, tempFolder, removeFolder, buildGallery, openGallery, focusedId, overlayOpen, screenshotPath,
  makeImage, chromiumOnly,
} from './helpers.mjs';
import { makeWallFolder, makeManyFolder } from './folders.mjs';

const overlayState = (page) => page.evaluate(() => {
  const zoom = document.getElementById('zoom');
  const img = document.getElementById('zoomBild');
  const legend = document.getElementById('legend');
  return {
    open: zoom.style.display === 'block',
    file: img ? decodeURIComponent(img.src.split('/').pop()) : null,
    size: img ? [img.naturalWidth, img.naturalHeight] : null,
    name: legend.firstChild?.nodeValue ?? '',
    sizeLine: legend.querySelector('.gray')?.textContent ?? '',
    checkerboard: zoom.classList.contains('transp'),
    bright: legend.classList.contains('hell'),
    background: getComputedStyle(zoom).backgroundColor,
    scrollY: window.scrollY,
  };
});

const waitZoomLoaded = (page) => page.waitForFunction(() => {
  const img = document.getElementById('zoomBild');
  return img && img.complete && document.querySelector('#legend .gray');
});

describe('overlay', () => {
  let browser;
  let wall;
  before(async () => {
    browser = await launchBrowser();
    wall = tempFolder('overlay wall');
    makeWallFolder(wall);
    buildGallery(wall, 'en');
  });
  after(async () => {
    await browser?.close();
    if (wall) removeFolder(wall);
  });

  it('opens the full image on click and Enter, with name and full size in the legend', async () => {
    const { context, page } = await openGallery(browser, wall);
    await page.screenshot({ path: screenshotPath('wall.png'), fullPage: true });

    await page.click('#\\30 01');  // Beach.JPG; the wall shows its 320 x 240 preview
    await waitZoomLoaded(page);
    let state = await overlayState(page);
    assert.deepEqual([state.open, state.file, state.size], [true, 'Beach.JPG', [640, 480]]);
    assert.deepEqual([state.name, state.sizeLine], ['Beach.JPG', '(640px × 480px)']);
    assert.deepEqual([state.checkerboard, state.bright, state.background], [false, false, 'rgb(51, 51, 51)']);
    await page.waitForTimeout(600);  // the overlay fades in
    await page.screenshot({ path: screenshotPath('overlay.png') });

    await page.keyboard.press('Escape');
    assert.equal(await overlayOpen(page), false);
    assert.equal(await focusedId(page), '001');
    assert.equal(await page.evaluate(() => document.getElementById('zoomBild')), null);

    await page.focus('#\\30 03');  // Tom & Jerry.jpeg, preview 150 x 100
    await page.keyboard.press('Enter');
    await waitZoomLoaded(page);
    state = await overlayState(page);
    assert.deepEqual([state.file, state.size, state.name], ['Tom & Jerry.jpeg', [300, 200], 'Tom & Jerry.jpeg']);
    await context.close();
  });

  it('shows SVG on the checkerboard with the bright legend; B and H toggle the checkerboard', async () => {
    const { context, page } = await openGallery(browser, wall);
    await page.click('#\\30 05');  // Sketch.svg
    await waitZoomLoaded(page);
    let state = await overlayState(page);
    assert.deepEqual([state.file, state.size], ['Sketch.svg', [120, 60]]);
    assert.deepEqual([state.checkerboard, state.bright, state.background], [true, true, 'rgb(210, 210, 210)']);
    await page.keyboard.press('b');
    state = await overlayState(page);
    assert.deepEqual([state.checkerboard, state.bright], [false, false]);
    await page.keyboard.press('h');
    state = await overlayState(page);
    assert.deepEqual([state.checkerboard, state.bright], [true, true]);

    // Stepping on to a picture that is not SVG takes the dark ground again.
    await page.keyboard.press('ArrowRight');
    await waitZoomLoaded(page);
    state = await overlayState(page);
    assert.deepEqual([state.file, state.checkerboard, state.bright, state.background],
      ['Logo.PNG', false, false, 'rgb(51, 51, 51)']);
    await context.close();
  });

  it('closes by the close link and by a click on the image, giving back the focus', async () => {
    const { context, page } = await openGallery(browser, wall);
    await page.click('#\\30 02');
    await waitZoomLoaded(page);
    await page.click('#zoom a.zu');
    assert.equal(await overlayOpen(page), false);
    assert.equal(await focusedId(page), '002');

    await page.click('#\\30 04');
    await waitZoomLoaded(page);
    await page.click('#zoomBild');
    assert.equal(await overlayOpen(page), false);
    assert.equal(await focusedId(page), '004');
    await context.close();
  });
});

describe('stepping', () => {
  let browser;
  let twelve;
  let single;
  before(async () => {
    browser = await launchBrowser();
    twelve = tempFolder('twelve');
    makeManyFolder(twelve, 12);
    buildGallery(twelve, 'en');
    single = tempFolder('single');
    makeImage(single, 'only.png', 64, 48);
    buildGallery(single, 'en');
  });
  after(async () => {
    await browser?.close();
    for (const dir of [twelve, single]) if (dir) removeFolder(dir);
  });

  const fifth = '#\\30 05';

  it('steps on the wall with the arrows, Home, End, PageUp and PageDown', async () => {
    const { context, page } = await openGallery(browser, twelve);
    const stepFromFifth = async (key) => {
      await page.focus(fifth);
      await page.keyboard.press(key);
      return focusedId(page);
    };
    assert.equal(await stepFromFifth('PageDown'), '012');
    assert.equal(await stepFromFifth('PageUp'), '001');
    assert.equal(await stepFromFifth('ArrowRight'), '006');
    assert.equal(await stepFromFifth('ArrowLeft'), '004');
    assert.equal(await stepFromFifth('End'), '012');
    assert.equal(await stepFromFifth('Home'), '001');
    await page.keyboard.press('ArrowLeft');  // before the first: nothing
    assert.equal(await focusedId(page), '001');
    await page.keyboard.press('End');
    await page.keyboard.press('ArrowRight');  // past the last: nothing
    assert.equal(await focusedId(page), '012');
    assert.equal(await overlayOpen(page), false);
    await context.close();
  });

  it('steps inside the overlay with keys and with the step links', async () => {
    const { context, page } = await openGallery(browser, twelve);
    const shown = async () => {
      await waitZoomLoaded(page);
      const state = await overlayState(page);
      assert.equal(state.open, true);
      return [state.file, await focusedId(page)];
    };
    await page.focus(fifth);
    await page.keyboard.press('Enter');
    assert.deepEqual(await shown(), ['img 0005.jpg', '005']);
    await page.keyboard.press('ArrowRight');
    assert.deepEqual(await shown(), ['img 0006.jpg', '006']);
    await page.keyboard.press('PageDown');
    assert.deepEqual(await shown(), ['img 0012.jpg', '012']);
    await page.keyboard.press('ArrowRight');  // the last one stays open
    assert.deepEqual(await shown(), ['img 0012.jpg', '012']);
    await page.keyboard.press('Home');
    assert.deepEqual(await shown(), ['img 0001.jpg', '001']);
    await page.click('#zoom .zRechts');
    assert.deepEqual(await shown(), ['img 0002.jpg', '002']);
    await page.click('#zoom .zRechts');
    await page.click('#zoom .zLinks');
    assert.deepEqual(await shown(), ['img 0002.jpg', '002']);
    await page.keyboard.press('Escape');
    assert.equal(await overlayOpen(page), false);
    assert.equal(await focusedId(page), '002');
    await context.close();
  });

  it('hides both step links in a gallery of one image', async () => {
    const { context, page } = await openGallery(browser, single);
    await page.keyboard.press('Enter');
    await waitZoomLoaded(page);
    const visible = await page.evaluate(() => ['zLinks', 'zRechts', 'zu']
      .map((c) => getComputedStyle(document.querySelector(`#zoom .${c}`)).display !== 'none'));
    assert.deepEqual(visible, [false, false, true]);
    assert.deepEqual(await page.evaluate(() => [...document.querySelectorAll('#suchliste option')].map((o) => o.value)),
      ['only.png']);
    await context.close();
  });
});

describe('scroll position of the wall', () => {
  let browser;
  let many;
  before(async () => {
    browser = await launchBrowser();
    many = tempFolder('three hundred');
    makeManyFolder(many, 300, { width: 60, height: 45 });
    buildGallery(many, 'en');
  });
  after(async () => {
    await browser?.close();
    if (many) removeFolder(many);
  });

  it('is where it was after a click far down the wall and closing, also twice over', {
    skip: chromiumOnly('Firefox keeps scrolling the wall while the images around the view load after the jump, '
      + 'so that the image is out of view when it is to be clicked'),
  }, async () => {
    const { context, page } = await openGallery(browser, many, { height: 500 });
    const openAndClose = async (index, close) => {
      await page.evaluate((i) => window.bilder[i].scrollIntoView({ block: 'center' }), index);
      await page.waitForFunction((i) => window.bilder[i].complete, index);
      await page.waitForTimeout(100);
      const before = await page.evaluate(() => window.scrollY);
      assert.ok(before > 1000, `scrolled down to ${before}`);
      await page.click(`[id="${String(index + 1).padStart(3, '0')}"]`);
      await waitZoomLoaded(page);
      assert.equal((await overlayState(page)).scrollY, 0);
      await close();
      assert.equal(await overlayOpen(page), false);
      assert.equal(await page.evaluate(() => window.scrollY), before);
      assert.equal(await focusedId(page), String(index + 1).padStart(3, '0'));
    };
    await openAndClose(199, () => page.keyboard.press('Escape'));
    // A second click, with the last image far away: the wall stays here as well.
    await openAndClose(259, () => page.click('#zoom a.zu'));
    // Enter on the open overlay opens the same image again: closing still returns here.
    await openAndClose(239, async () => {
      await page.keyboard.press('Enter');
      await waitZoomLoaded(page);
      assert.equal(await page.evaluate(() => document.querySelectorAll('#zoomBild').length), 1);
      await page.keyboard.press('Escape');
    });
    await context.close();
  });
});
