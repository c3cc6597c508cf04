// Browser check of attached files and the order detail: runs `larkedi activate --no-browser`
// on a throw-away module folder holding two stacked designs, opens the window in Chromium
// (headless, fresh profile), attaches files through the window's file picker (one whose
// name holds quotes, blanks and markup), removes one, prints an order's detail, right
// clicks in the frames and removes an order with a double click; then checks the stack
// file with `larkedi stack list --xml`. (stack_window.js covers typing, ticking, reload,
// the spool timer and a remove answered No.)
//   node attach_window.js <larkedi executable> <built module folder>
'use strict';
const fs = require('fs');
const path = require('path');

const { check } = require('./checks');
const {
  commandLine, design, settings, moduleFolder, larkRunner, startWindow, openChromium,
  taken, closeWindow, cleanUp, run,
} = require('./window_run');

function makeModule(builtModule) {
  const dir = moduleFolder(builtModule, 'attach-window');
  fs.writeFileSync(path.join(dir, 'larkEDI.xml'), settings(dir,
    '<PARTNER><ID>1</ID><NAME>Acme</NAME><MANUFID>ACME</MANUFID></PARTNER>' +
    '<CATALOG><ID>1</ID><CODE>ABC</CODE><PARTNERID>1</PARTNERID></CATALOG>'));
  fs.writeFileSync(path.join(dir, 'in.xml'), design({ kit: 'kitchen.kit' }));
  fs.writeFileSync(path.join(dir, 'bath.xml'), design({ kit: 'bath.kit' }));
  const files = path.join(dir, 'my files');
  fs.mkdirSync(files);
  const odd = path.join(files, 'Plan "A" <img src=x onerror=alert(1)> & \'q\'.PDF');
  const notes = path.join(files, 'notes.txt');
  fs.writeFileSync(odd, '%PDF-1.4\n');
  fs.writeFileSync(notes, 'measure twice\n');
  return { dir, odd, notes };
}

async function main() {
  const [exe, builtModule] = commandLine(2, 'node attach_window.js <larkedi> <module folder>');
  const { dir, odd, notes } = makeModule(builtModule);
  const lark = larkRunner(exe, dir);
  lark('stack', 'add', path.join(dir, 'bath.xml'));
  const { child, exited, address } = await startWindow(exe, dir, ['activate', path.join(dir, 'in.xml')]);
  let chromiumServer = null;
  try {
    const browserRun = await openChromium(address);
    chromiumServer = browserRun.server;
    const { page, fB, fC } = browserRun;
    await fB.locator('a[id^="attachfile"]').nth(1).waitFor({ timeout: 15000 });
    // The order of the design handed in (kitchen.kit) is the one worked on.
    const kitchen = fB.locator('.design', { hasText: 'kitchen.kit' });
    const id = (await kitchen.locator('a[id^="attachfile"]').getAttribute('id')).replace(/\D/g, '');
    const attachments = kitchen.locator('.attachments li');

    async function attach(file) {
      const before = await attachments.count();
      await taken(page, fB.locator(`#attachfile${id}`));
      const picker = page.locator('.dialog[data-kind="file"]');
      await picker.waitFor({ timeout: 5000 });
      // The picker lists its first folder first (and writes that folder into the field).
      await picker.locator('.picker-list div').first().waitFor({ timeout: 5000 });
      await picker.locator('.picker-path').fill(file);
      await picker.locator('button[data-button="ok"]').click();
      await picker.waitFor({ state: 'detached', timeout: 5000 });
      await page.waitForFunction(([n, sel]) => {
        const f = document.querySelector('iframe[name="fDocB"]');
        return f && f.contentDocument && f.contentDocument.querySelectorAll(sel).length === n;
      }, [before + 1, '.design .attachments li'], { timeout: 5000 }).catch(() => {});
    }

    // Attaching through the picker; the odd name is shown as text.
    await attach(odd);
    await attach(notes);
    const shown = await attachments.allInnerTexts();
    check(shown.length === 2, `two files are attached (${shown.length})`);
    check(shown.some((t) => t.includes(odd)), 'the name holding quotes and markup is shown as text');
    check(await fB.locator('img').count() === 0, 'the markup in the name made no element');

    // Cancelling the picker attaches nothing.
    await taken(page, fB.locator(`#attachfile${id}`));
    const picker = page.locator('.dialog[data-kind="file"]');
    await picker.waitFor({ timeout: 5000 });
    await picker.locator('button[data-button="cancel"]').click();
    await picker.waitFor({ state: 'detached', timeout: 5000 });
    await page.waitForTimeout(300);
    check(await attachments.count() === 2, 'a cancelled picker attaches nothing');

    // Removing the odd one through its own link.
    await taken(page, attachments.filter({ hasText: odd }).locator(`a[id="remattachfile${id}"]`));
    await page.waitForFunction((sel) => {
      const f = document.querySelector('iframe[name="fDocB"]');
      return f && f.contentDocument && f.contentDocument.querySelectorAll(sel).length === 1;
    }, '.design .attachments li', { timeout: 5000 }).catch(() => {});
    const left = await attachments.allInnerTexts();
    check(left.length === 1 && left[0].includes('notes.txt'), 'the remove link removed its own file');

    // The order's detail lists the file; print opens the print page with the detail.
    await taken(page, fB.locator(`#orderdetailslink${id}`));
    await fC.locator('#lmenuprint').waitFor({ timeout: 5000 });
    const detail = await fB.locator('body').innerText();
    check(detail.includes(notes), 'the detail lists the attached file');
    await taken(page, fC.locator('#lmenuprint'));
    const printed = await page.waitForFunction(() => {
      const f = document.getElementById('printframe');
      const src = f && f.getAttribute('src');
      if (!src || !src.startsWith('/print/')) return null;
      const d = f.contentDocument;
      return d && d.readyState === 'complete' && d.body ? d.body.innerText : null;
    }, null, { timeout: 5000 }).then((h) => h.jsonValue(), () => null);
    check(printed !== null && printed.includes(notes), 'print opens the print page with the detail');
    await taken(page, fC.locator('#lmenureturn'));
    const back = await fB.locator(`#attachfile${id}`).waitFor({ timeout: 5000 }).then(() => true, () => false);
    check(back && await fC.locator('#lmenuprint').count() === 0, 'back from the detail to the list');

    // A right click shows no menu in the frames: the page cancels the browser's own.
    for (const [name, frame, selector] of [['fDocB', fB, `#ponumber${id}`], ['fDocC', fC, 'body']]) {
      await frame.locator('body').evaluate((body) => {
        body.ownerDocument.defaultView.__menu = null;
        body.ownerDocument.defaultView.addEventListener('contextmenu', (e) => {
          body.ownerDocument.defaultView.__menu = !e.defaultPrevented;
        }, { once: true });
      });
      await frame.locator(selector).first().click({ button: 'right' });
      const menu = await frame.locator('body').evaluate((b) => b.ownerDocument.defaultView.__menu);
      check(menu === false, `a right click in ${name} shows no menu`);
    }

    // A double click on the other order's remove link asks once; Yes removes that order.
    const bath = fB.locator('.design', { hasText: 'bath.kit' });
    const other = (await bath.locator('a[id^="orderremovelink"]').getAttribute('id'));
    await fB.locator(`#${other}`).dblclick();
    const question = page.locator('.dialog[data-kind="msgbox"]');
    await question.waitFor({ timeout: 5000 });
    await page.waitForTimeout(300);
    check(await question.count() === 1, 'a double click on remove asks once');
    await question.locator('button[data-button="yes"]').click();
    await question.waitFor({ state: 'detached', timeout: 5000 });
    await fB.locator('.design', { hasText: 'bath.kit' }).waitFor({ state: 'detached', timeout: 5000 })
      .catch(() => {});
    await page.waitForTimeout(300);
    check(await page.locator('.dialog[data-kind="msgbox"]').count() === 0,
          'no second question follows the answer');
    check(await fB.locator('.design', { hasText: 'bath.kit' }).count() === 0, 'answered Yes, that order is gone');
    // Order numbers are given anew by the reload that follows a removal.
    check(await kitchen.locator('a[id^="attachfile"]').count() === 1, 'the other order stays');

    // Closing from the menu; the stack file keeps the file left and not the one removed.
    const code = await closeWindow(page, exited);
    check(code === 0, `larkedi ends with status 0 after the Close tool (${code})`);
    const stack = lark('stack', 'list', '--xml');
    const names = [...stack.matchAll(/<File>[\s\S]*?<Name>([\s\S]*?)<\/Name>/g)].map((m) => m[1]);
    check(names.length === 1 && names[0] === notes, `the stack file holds the file left (${names})`);
    check(!stack.includes('bath.kit'), 'the removed order is not in the stack file');
  } finally {
    await cleanUp({ chromiumServer, children: [child], dir });
  }
}

run('attach window', main);
