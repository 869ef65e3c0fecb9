// Makes the README's pictures (docs/*.png) from the bundled examples, with
// quimbo-build and Debian's Chromium, headless: the wall, the zoom view and
// an album index. Run by scripts/screenshots after a change to the page.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const [quimboBuild, root] = process.argv.slice(2);
const docs = path.join(root, 'docs');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'quimbo-shots-'));
const run = (...args) => execFileSync(quimboBuild, ['--lang', 'en', '--fixed-time', '2026-12-07T12:00', ...args]);

// The examples as one gallery, and as a small photo tree for the index.
const gallery = path.join(work, 'Examples');
fs.cpSync(path.join(root, 'examples'), gallery, { recursive: true });
for (const name of fs.readdirSync(gallery)) if (name.startsWith('!') || name.startsWith('$')) fs.rmSync(path.join(gallery, name));
run('--title', 'Examples', gallery);
const tree = path.join(work, 'Photos');
const albums = { '2025/Garden': ['Blätter.jpeg', 'Kreise.svg'], '2025/Sea': ['Wellen.webp', 'Sonnenuntergang.jpg'],
  '2026/Shapes': ['Gitter & Kreis.png', 'Symbol.ico'] };
for (const [album, files] of Object.entries(albums)) {
  fs.mkdirSync(path.join(tree, album), { recursive: true });
  for (const file of files) fs.copyFileSync(path.join(root, 'examples', file), path.join(tree, album, file));
}
run('--title', 'Summer by the sea', path.join(tree, '2025/Sea'));
run('-r', '--title', 'Our photos', tree);

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
    '--disable-sync', '--no-first-run'],
});
async function shoot(file, name, act) {
  const page = await browser.newPage({ viewport: { width: 760, height: 460 } });
  await page.goto(pathToFileURL(file).href);
  await page.waitForLoadState('load');
  if (act) await act(page);
  await page.waitForTimeout(300);
  const shot = path.join(work, name);
  await page.screenshot({ path: shot });
  await page.close();
  // 256 colours keep each picture small enough for the repository.
  execFileSync('convert', [shot, '-strip', '-colors', '256', `PNG8:${path.join(docs, name)}`]);
  console.log(`${path.join('docs', name)}: ${fs.statSync(path.join(docs, name)).size} bytes`);
}
fs.mkdirSync(docs, { recursive: true });
await shoot(path.join(gallery, '!pictures.html'), 'wall.png');
await shoot(path.join(gallery, '!pictures.html'), 'zoom.png', async (page) => {
  await page.click('img.bild >> nth=0');
  await page.waitForFunction(() => document.getElementById('zoom').style.display === 'block');
});
await shoot(path.join(tree, '!albums.html'), 'albums.png');
await browser.close();
fs.rmSync(work, { recursive: true, force: true });
