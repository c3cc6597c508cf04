// Browser check of the rendered views: asks the test program to write every view as a
// standalone page, opens each one in Chromium (headless, offline) at 100 % and 150 % zoom,
// and saves a PNG per view and zoom. Fails when a page cannot be opened, asks for anything
// outside its own file, logs a page error, or draws nothing.
//   node screenshots.js <larkedi_tests executable> <output folder>
'use strict';
const { chromium } = require('playwright-core');
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { pathToFileURL } = require('url');

async function main() {
  const [testsExe, outArg] = process.argv.slice(2);
  if (!testsExe || !outArg) {
    console.error('usage: node screenshots.js <larkedi_tests> <output folder>');
    process.exit(2);
  }
  const out = path.resolve(outArg);
  const pages = path.join(out, 'pages');
  fs.rmSync(out, { recursive: true, force: true });
  fs.mkdirSync(pages, { recursive: true });

  execFileSync(testsExe, ['--gtest_filter=Views.*'], {
    env: { ...process.env, LARKEDI_VIEWS_OUT: pages },
    stdio: ['ignore', 'ignore', 'inherit'],
  });
  const files = fs.readdirSync(pages).filter((f) => f.endsWith('.html')).sort();
  if (files.length < 10) throw new Error(`only ${files.length} pages were written to ${pages}`);

  const problems = [];
  for (const zoom of [1, 1.5]) {
    // A new, empty profile for every run: nothing of the user's browser is used.
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'larkedi-chromium-'));
    const context = await chromium.launchPersistentContext(profile, {
      executablePath: process.env.LARKEDI_CHROMIUM || '/usr/bin/chromium',
      args: [
        '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync',
      ],
      // Zoom as the user does: fewer CSS pixels across, each drawn larger.
      viewport: { width: Math.round(1024 / zoom), height: Math.round(700 / zoom) },
      deviceScaleFactor: zoom,
    });
    try {
      for (const file of files) {
        const page = await context.newPage();
        const url = pathToFileURL(path.join(pages, file)).href;
        page.on('pageerror', (e) => problems.push(`${file}: page error ${e.message}`));
        page.on('request', (r) => {
          if (r.url() !== url) problems.push(`${file}: requested ${r.url()}`);
        });
        await page.goto(url, { waitUntil: 'load' });
        const height = await page.evaluate(() => document.body.scrollHeight);
        if (height < 10) problems.push(`${file}: nothing drawn`);
        const overflow = await page.evaluate(
          () => document.documentElement.scrollWidth - document.documentElement.clientWidth);
        if (overflow > 40) problems.push(`${file} at ${zoom * 100}%: ${overflow}px wider than the window`);
        // The progress page: the sending code widens the bars; let one run to see it drawn.
        if (file.startsWith('orderstogo')) {
          await page.evaluate(() => {
            const bars = document.querySelectorAll('[id$="OrderProgressLeft"]');
            bars.forEach((b, i) => {
              b.setAttribute('width', i % 2 ? '100%' : '60%');
              if (i % 2) b.setAttribute('bgColor', '#FF0000');
            });
          });
          await page.waitForTimeout(600);
        }
        const name = `${path.basename(file, '.html')}-${zoom * 100}.png`;
        await page.screenshot({ path: path.join(out, name), fullPage: true });
        await page.close();
      }
    } finally {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    }
  }
  for (const p of problems) console.error(p);
  console.log(`${files.length} views, ${files.length * 2} screenshots in ${out}`);
  if (problems.length) process.exit(1);
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
