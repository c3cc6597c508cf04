// Browser check of the main window: runs larkedi-window-harness (a window server with a
// test page), opens its address in Chromium (headless, fresh profile) and drives the page
// the way a user would, following the module's side on the harness's standard output.
//   node window.js <larkedi-window-harness executable>
'use strict';
const { chromium } = require('playwright-core');
const { spawn } = require('child_process');
const readline = require('readline');

const { CHROMIUM_ARGS, problems, check } = require('./checks');
const { taken } = require('./window_run');

// The harness's output lines, and waiting for one.
function follow(child) {
  const lines = [];
  const waiters = [];
  readline.createInterface({ input: child.stdout }).on('line', (line) => {
    lines.push(line);
    for (const w of waiters.splice(0)) {
      if (!w.test(line)) waiters.push(w);
    }
  });
  return {
    lines,
    count: (prefix) => lines.filter((l) => l.startsWith(prefix)).length,
    // Resolves with the first line (already seen or coming) that starts with `prefix`.
    wait(prefix, from = 0, ms = 10000) {
      const seen = lines.slice(from).find((l) => l.startsWith(prefix));
      if (seen !== undefined) return Promise.resolve(seen);
      return new Promise((resolve) => {
        const timer = setTimeout(() => resolve(null), ms);
        waiters.push({
          test: (l) => {
            if (!l.startsWith(prefix)) return false;
            clearTimeout(timer);
            resolve(l);
            return true;
          },
        });
      });
    },
  };
}

async function main() {
  const harnessExe = process.argv[2];
  if (!harnessExe) {
    console.error('usage: node window.js <larkedi-window-harness>');
    process.exit(2);
  }
  const harness = spawn(harnessExe, ['--no-browser', '--gone-after', '1500'],
                        { stdio: ['ignore', 'pipe', 'inherit'] });
  const exited = new Promise((resolve) => harness.on('exit', (code) => resolve(code)));
  const out = follow(harness);
  const address = await out.wait('http://127.0.0.1:');
  if (!address) throw new Error('the harness printed no address');
  const origin = new URL(address).origin;

  const server = await chromium.launchServer({
    executablePath: process.env.LARKEDI_CHROMIUM || '/usr/bin/chromium',
    args: CHROMIUM_ARGS,
    headless: true,
  });
  let killed = false;
  try {
    const browser = await chromium.connect(server.wsEndpoint());
    const context = await browser.newContext();
    const page = await context.newPage();
    page.on('pageerror', (e) => problems.push(`page error: ${e.message}`));
    const fB = page.frameLocator('iframe[name="fDocB"]');

    // The secret opens the window once; the address the user sees is the clean one.
    await page.goto(address);
    await fB.locator('#counter').waitFor();
    check(page.url() === `${origin}/`, 'the secret is gone from the address bar');
    const cookies = await context.cookies();
    check(cookies.length === 1 && cookies[0].httpOnly && cookies[0].sameSite === 'Strict',
          'the window cookie is HttpOnly and SameSite=Strict');
    check(await page.evaluate(() => document.cookie) === '', 'the page script cannot read the cookie');
    check(await out.wait('event complete window') !== null, 'the module hears the page complete');
    check((await page.frameLocator('iframe[name="fDocA"]').locator('.banner-title').textContent()) === 'LarkEDI',
          'the top frame shows its document');

    // A click reaches the module, and the module's change shows in the page.
    await taken(page, fB.locator('#clickme1'));
    check(await out.wait('event click fDocB clickme1') !== null, 'a click reaches the module');
    await fB.locator('#counter', { hasText: 'clicks: 1' }).waitFor({ timeout: 5000 });
    await fB.locator('#progress[style*="10%"]').waitFor({ timeout: 5000 });
    check(await fB.locator('#progress').evaluate((el) => el.style.width) === '10%',
          'a style width patch is applied');
    await taken(page, page.locator('#tool2'));
    check(await out.wait('event click window tool2') !== null, 'a menu bar click reaches the module');

    // Typing: the module reads the value the page holds when the key is released.
    await fB.locator('#ponumber3').pressSequentially('PO-77');
    check(await out.wait('event keyup fDocB ponumber3 key=7 value=PO-77') !== null,
          'the module reads the typed value with the key stroke');
    await fB.locator('#ordercheck5').click();
    check(await out.wait('event click fDocB ordercheck5 checked=1') !== null,
          'a check box click carries its new state');

    // A message box answered in the page returns that button to the operation.
    await taken(page, fB.locator('#askbutton'));
    const box = page.locator('.dialog[data-kind="msgbox"]');
    await box.waitFor({ timeout: 5000 });
    check((await box.locator('.dialog-text').textContent()) === 'Send the orders <now>?',
          'the message box shows its text as text');
    check(await page.evaluate(() => document.activeElement.dataset.button) === 'no',
          'the default button has the focus');
    await box.locator('button[data-button="yes"]').click();
    check(await out.wait('msgbox yes') !== null, 'the chosen button reaches the operation');
    await fB.locator('#answer', { hasText: 'yes' }).waitFor({ timeout: 5000 });
    check(await box.count() === 0, 'the answered box is gone');

    // An input box and a folder picker, answered in the page.
    await taken(page, fB.locator('#inputbutton'));
    const input = page.locator('.dialog[data-kind="input"]');
    await input.waitFor({ timeout: 5000 });
    check(await input.locator('input').inputValue() === 'PO-1', 'the input box shows its default text');
    await input.locator('input').fill('PO 9 & <b>');
    await input.locator('input').press('Enter');
    check(await out.wait('inputbox ') === 'inputbox =PO 9 & <b>', 'the typed text reaches the operation');
    await fB.locator('#typed', { hasText: 'PO 9' }).waitFor({ timeout: 5000 });
    check(await fB.locator('#typed').textContent() === 'PO 9 & <b>', 'the text is shown as text');

    await taken(page, fB.locator('#folderbutton'));
    const picker = page.locator('.dialog[data-kind="folder"]');
    await picker.locator('.picker-list div').first().waitFor({ timeout: 5000 });
    const start = await picker.locator('.picker-path').inputValue();
    await picker.locator('.picker-list div', { hasText: 'fr' }).dblclick();
    await page.waitForFunction((s) => {
      const p = document.querySelector('.dialog[data-kind="folder"] .picker-path');
      return p && p.value !== s;
    }, start);
    await picker.locator('button[data-button="ok"]').click();
    const chosen = await out.wait('folder ');
    check(chosen === `folder =${start}/fr`, `the folder picker browses and returns a folder (${chosen})`);

    // The second panel takes the place of the frames, and gives it back.
    await taken(page, fB.locator('#panelbutton'));
    await page.locator('#panel:not([hidden])').waitFor({ timeout: 5000 });
    check(await page.locator('#browser1').isHidden(), 'the panel hides the frames');
    check((await page.locator('#panelframe').getAttribute('src')) === `${origin}/blank.htm`,
          'the panel shows its address');
    await taken(page, page.locator('#tool1'));
    await page.locator('#browser1:not([hidden])').waitFor({ timeout: 5000 });
    check(await page.locator('#panel').isHidden(), 'the frames come back');

    // Print preview: the HTML opens in the print page of the window.
    await taken(page, fB.locator('#printbutton'));
    await page.waitForFunction(() => /\/print\/\d+$/.test(document.getElementById('printframe').getAttribute('src') || ''));
    const printed = page.frameLocator('#printframe').locator('#printed');
    await printed.waitFor({ state: 'attached', timeout: 5000 });
    check(await printed.textContent() === 'Printed: clicks: 1', 'the print page shows the given HTML');

    // A double click on a slow operation runs it once.
    const before = out.lines.length;
    await fB.locator('#slowbutton').dblclick();
    // A ticked box clicked meanwhile: the module never takes that click, and the page
    // shows the box as the module holds it again.
    await fB.locator('#ordercheck5').click();
    await fB.locator('#slow', { hasText: 'slow runs: 1' }).waitFor({ timeout: 10000 });
    await fB.locator('#ordercheck5:checked').waitFor({ timeout: 5000 }).catch(() => {});
    check(await fB.locator('#ordercheck5').isChecked(),
          'a box clicked while an operation ran shows the module\'s state again');
    await taken(page, fB.locator('#clickme1'));
    await fB.locator('#counter', { hasText: 'clicks: 2' }).waitFor({ timeout: 5000 });
    check(out.lines.slice(before).filter((l) => l === 'event click fDocB slowbutton').length === 1,
          'a double click runs the operation once');
    check(!out.lines.slice(before).some((l) => l.startsWith('event click fDocB ordercheck5')),
          'the click made while it ran did not reach the module');

    // A reload shows the module's current state, not the first page.
    const pageBefore = await page.evaluate(() => document.documentElement.dataset.page);
    await page.reload();
    await fB.locator('#counter', { hasText: 'clicks: 2' }).waitFor({ timeout: 5000 });
    check(await page.evaluate(() => document.documentElement.dataset.page) !== pageBefore,
          'the page was reloaded');
    check(await fB.locator('#ponumber3').inputValue() === 'PO-77', 'a reload keeps the typed value');
    check(await fB.locator('#ordercheck5').isChecked(), 'a reload keeps the check box');
    check(await fB.locator('#answer').textContent() === 'yes', 'a reload keeps the module\'s text');
    check(await page.locator('#tool2').count() === 1, 'a reload keeps the menu bar');

    // Reloading while a dialog is open answers it Cancel.
    const mark = out.lines.length;
    await taken(page, fB.locator('#askbutton'));
    await box.waitFor({ timeout: 5000 });
    await page.reload();
    check(await out.wait('msgbox ', mark) === 'msgbox cancel', 'a reload cancels the open dialog');
    await fB.locator('#answer', { hasText: 'cancel' }).waitFor({ timeout: 5000 });
    check(await box.count() === 0, 'the reloaded page shows no stale dialog');

    // Right click: no context menu anywhere; the module still hears it.
    const listen = (el, type) => {
      const win = el.ownerDocument.defaultView;
      win.__seen = null;
      el.ownerDocument.addEventListener(type, (e) => { win.__seen = e.defaultPrevented; });
    };
    await fB.locator('#heading').evaluate(listen, 'contextmenu');
    await fB.locator('#heading').click({ button: 'right' });
    check(await fB.locator('#heading').evaluate((el) => el.ownerDocument.defaultView.__seen) === true,
          'a right click in a frame shows no menu');
    check(await out.wait('event contextmenu fDocB heading') !== null, 'the module hears the right click');
    await page.locator('#menubar').evaluate(listen, 'contextmenu');
    await page.locator('#menubar').click({ button: 'right' });
    check(await page.evaluate(() => window.__seen) === true, 'a right click on the menu bar shows no menu');

    // F5 does not reload the page.
    const pageNow = await page.evaluate(() => document.documentElement.dataset.page);
    await fB.locator('#ponumber3').evaluate(listen, 'keydown');
    await fB.locator('#ponumber3').focus();
    await page.keyboard.press('F5');
    check(await out.wait('event keyup fDocB ponumber3 key=F5') !== null, 'the module hears F5');
    check(await fB.locator('#ponumber3').evaluate((el) => el.ownerDocument.defaultView.__seen) === true,
          'F5 is swallowed in a frame');
    await page.locator('#menubar').evaluate(listen, 'keydown');
    await page.locator('#tool2').focus();
    await page.keyboard.press('F5');
    check(await page.evaluate(() => window.__seen) === true, 'F5 is swallowed in the window page');
    check(await page.evaluate(() => document.documentElement.dataset.page) === pageNow,
          'the page was not reloaded');
    check(await fB.locator('#counter').textContent() === 'clicks: 2', 'the frames kept their content');

    // Killing the browser: the window sees its page gone and closes.
    server.process().kill('SIGKILL');
    killed = true;
    check(await out.wait('closed page-gone', 0, 15000) !== null, 'the window sees the page gone');
    const code = await Promise.race([exited, new Promise((r) => setTimeout(() => r('running'), 10000))]);
    check(code === 0, `the harness ends after the window closed (${code})`);
  } finally {
    if (!killed) await server.close().catch(() => {});
    if (harness.exitCode === null) harness.kill('SIGTERM');
  }
  for (const p of problems) console.error(`problem: ${p}`);
  if (problems.length) process.exit(1);
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
