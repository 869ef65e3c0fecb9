// --title in the browser: whatever the text, the page's title and heading
// show it and nothing else, the page's script runs, and a later build
// without --title carries it over.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { QUIMBO_BUILD, launchBrowser, tempFolder, removeFolder, makeImage, openGallery } from './helpers.mjs';

// quimbo-build with the title made by printf (so that it may hold any byte).
function buildWithTitle(dir, printfTitle) {
  const args = printfTitle === null ? '' : '--title "$(printf "$1")"';
  execFileSync('sh', ['-c', `exec "$0" --lang en ${args} -- "$2"`, QUIMBO_BUILD, printfTitle ?? '', dir]);
}

describe('--title', () => {
  let browser;
  let dir;
  before(async () => {
    browser = await launchBrowser();
    dir = tempFolder('Title');
    makeImage(dir, 'a.png', 40, 30);
  });
  after(async () => {
    await browser?.close();
    if (dir) removeFolder(dir);
  });

  const cases = [
    { name: 'quotes and a closing script tag', title: 'Tom\'s "best" </script><b>bold</b>', shown: 'Tom\'s "best" </script><b>bold</b>' },
    { name: 'a newline and a tab', title: 'two\\nlines\\tand tab', shown: 'two\nlines\tand tab' },
    { name: 'backslashes and an escape', title: 'C:\\\\\\\\x\\\\u0041', shown: 'C:\\\\x\\u0041' },
    { name: 'bytes that are not UTF-8', title: 'caf\\351 \\303\\251', shown: 'caf\uFFFD \u00E9' },
    { name: 'entities stay text', title: '&ndash; &amp; <!--', shown: '&ndash; &amp; <!--' },
    { name: 'line separators', title: 'a\\342\\200\\250b', shown: 'a\u2028b' },
  ];
  for (const c of cases) {
    it(`shows ${c.name} as text, and carries it over`, async () => {
      for (const printfTitle of [c.title, null]) {  // given, then carried over
        buildWithTitle(dir, printfTitle);
        const { context, page, dialogs } = await openGallery(browser, dir);
        const state = await page.evaluate(() => ({
          title: document.title,
          heading: document.getElementById('h1').textContent,
          injected: document.querySelectorAll('b, script:not(:first-of-type):not(:last-of-type)').length,
          images: window.bilder.length,
        }));
        assert.equal(state.heading, c.shown, String(printfTitle));
        assert.equal(state.title, c.shown.replace(/[\t\n\f\r ]+/g, ' ').trim());
        assert.deepEqual([state.injected, state.images, dialogs], [0, 1, []]);
        await context.close();
      }
    });
  }
});
