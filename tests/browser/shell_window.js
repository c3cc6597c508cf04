// Browser check of the window's shell: runs `larkedi activate --no-browser` on a
// throw-away module folder (logging on, its own registry and runtime folder), opens the
// window in Chromium (headless, fresh profile) and checks what surrounds the pages: F5 does
// not reload, a second `larkedi show` brings this window forward and ends, F1 opens the
// help, a script error in a page is the module's message box, Ctrl+Alt+V shows the source
// while logging is on; then the browser is killed: the module saves the stack (with the
// purchase-order number typed) and the window's geometry, and finishes.
//   node shell_window.js <larkedi executable> <built module folder>
'use strict';
const fs = require('fs');
const path = require('path');

const { check } = require('./checks');
const {
  commandLine, design, settings, moduleFolder, larkRunner, startWindow, openChromium, ended,
  cleanUp, run,
} = require('./window_run');

function makeModule(builtModule) {
  const dir = moduleFolder(builtModule, 'shell-window', ['run']);
  fs.writeFileSync(path.join(dir, 'larkEDI.debug'), '');
  fs.writeFileSync(path.join(dir, 'larkEDI.xml'), settings(dir,
    '<PARTNER><ID>1</ID><NAME>Acme</NAME><MANUFID>ACME</MANUFID></PARTNER>' +
    '<CATALOG><ID>1</ID><CODE>ABC</CODE><PARTNERID>1</PARTNERID></CATALOG>'));
  fs.writeFileSync(path.join(dir, 'in.xml'), design({ kit: 'kitchen.kit' }));
  return dir;
}

async function main() {
  const [exe, builtModule] = commandLine(2, 'node shell_window.js <larkedi> <module folder>');
  const dir = makeModule(builtModule);
  const env = {
    ...process.env,
    LARKEDI_REGISTRY_DIR: path.join(dir, 'registry'),
    XDG_RUNTIME_DIR: path.join(dir, 'run'),
  };
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  const lark = larkRunner(exe, dir, env);
  const { child, exited, address } = await startWindow(exe, dir, ['activate', path.join(dir, 'in.xml')],
                                                       { env });
  let chromiumServer = null;
  try {
    const browserRun = await openChromium(address);
    chromiumServer = browserRun.server;
    const { server, context, page, fB } = browserRun;
    const msgbox = page.locator('.dialog[data-kind="msgbox"]');

    const po = fB.locator('input[id^="ponumber"]').first();
    await po.waitFor({ timeout: 15000 });
    const pageId = await page.evaluate(() => document.documentElement.dataset.page);

    // F5 is the module's, not the browser's: the page stays the same page.
    await po.click();
    await page.keyboard.press('F5');
    await page.waitForTimeout(800);
    check(await page.evaluate(() => document.documentElement.dataset.page) === pageId,
          'F5 does not reload the window');

    // A second `larkedi show` finds this window, brings it forward and ends.
    await page.evaluate(() => {
      window.focusCalls = 0;
      const focus = window.focus.bind(window);
      window.focus = () => { window.focusCalls += 1; focus(); };
    });
    let second = '';
    let secondStatus = 0;
    try {
      second = lark('show', '--no-browser');
    } catch (e) {
      secondStatus = e.status;
      second = String(e.stdout || '');
    }
    check(secondStatus === 0, `a second larkedi show ends with status 0 (${secondStatus})`);
    check(/already open/.test(second) && /Finished/.test(second) && !/http:\/\//.test(second),
          'the second process opens no window of its own and says the window is open');
    const focused = await page.waitForFunction(() => window.focusCalls > 0, null, { timeout: 5000 })
      .then(() => true, () => false);
    check(focused, 'the open window takes the focus');
    check(child.exitCode === null, 'the first window still runs');

    // F1 opens the help in a page of its own, served by the window.
    await po.click();
    const helpOpened = context.waitForEvent('page', { timeout: 10000 }).catch(() => null);
    await page.keyboard.press('F1');
    const help = await helpOpened;
    check(help !== null, 'F1 opens a page');
    if (help) {
      await help.waitForLoadState('load').catch(() => {});
      check(/\/Help\/orderprocessing\.html$/.test(help.url()), `the page is the help (${help.url()})`);
      const h1 = await help.locator('h1').innerText().catch(() => '');
      check(h1.includes('Processing orders'), 'the help is the user guide');
      check(await help.locator('#send').count() === 1 && await help.locator('#attach').count() === 1,
            'the guide covers sending and attachments');
      await help.close();
    }
    check(await msgbox.count() === 0, 'no message accompanies the help');

    // A script error in a page is the module's message box, never the browser's report.
    await page.frame({ name: 'fDocB' }).evaluate(() => {
      setTimeout(() => { throw new Error('shell-check-42'); }, 0);
    });
    const shown = await msgbox.waitFor({ timeout: 5000 }).then(() => true, () => false);
    check(shown, 'a script error shows a message box');
    if (shown) {
      const text = await msgbox.innerText();
      check(text.includes('shell-check-42') && text.includes('An error occurred'),
            `the message names the error (${text.replace(/\s+/g, ' ')})`);
      await msgbox.locator('button[data-button="ok"]').click();
      await msgbox.waitFor({ state: 'detached', timeout: 5000 });
    }

    // Ctrl+Alt+V shows the main frame's source as text while logging is on.
    await po.click();
    await page.keyboard.press('Control+Alt+v');
    const source = await fB.locator('pre').waitFor({ timeout: 5000 }).then(() => true, () => false);
    check(source, 'Ctrl+Alt+V shows the page source');
    if (source) {
      const text = await fB.locator('pre').innerText();
      check(text.includes('<input') && text.includes('ponumber'), 'the source is the page as text');
      check(await fB.locator('input[id^="ponumber"]').count() === 0, 'no control of the source is live');
    }
    await page.locator('#tool2').click();
    await po.waitFor({ timeout: 5000 });

    // Typed, then the browser is killed: the module notices the page is gone, saves the
    // stack and the window's geometry, and finishes.
    await po.fill('');
    await po.pressSequentially('PO-SHELL-7');
    await page.waitForTimeout(800);
    await server.kill();
    const code = await ended(exited, 30000);
    check(code === 0, `larkedi ends with status 0 when the browser is gone (${code})`);
    check((child.lines || []).includes('Finished'), 'the window raised Finished');
    const list = lark('stack', 'list');
    check(list.includes('\tPO-SHELL-7\t'), 'the number typed before the browser went is in the stack file');
    let display = '';
    try {
      display = lark('reg', 'query', 'HKCU\\Software\\VB and VBA Program Settings\\LarkEDI\\display');
    } catch (e) {
      display = String(e.stdout || '');
    }
    check(/width/.test(display) && /height/.test(display), 'the window geometry was stored at unload');
    check(!fs.existsSync(path.join(dir, 'run', 'larkEDI_APPLICATION')), 'the window tag went with the window');
  } finally {
    await cleanUp({ chromiumServer, children: [child], dir });
  }
}

run('shell window', main);
