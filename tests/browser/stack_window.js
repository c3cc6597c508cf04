// Browser check of the order stack page: runs `larkedi activate --no-browser` on a
// throw-away module folder with a design handed in, opens the window in Chromium
// (headless, fresh profile) and works on the stack as a dealer would; then checks the
// stack file with `larkedi stack list`.
//   node stack_window.js <larkedi executable> <built module folder>
'use strict';
const fs = require('fs');
const path = require('path');

const { check } = require('./checks');
const {
  commandLine, design, settings, moduleFolder, larkRunner, startWindow, openChromium,
  taken, closeWindow, cleanUp, run,
} = require('./window_run');

function makeModule(builtModule) {
  const dir = moduleFolder(builtModule, 'stack-window');
  fs.writeFileSync(path.join(dir, 'larkEDI.xml'), settings(dir,
    '<PARTNER><ID>1</ID><NAME>Acme &lt;img src=x onerror=alert(1)&gt;</NAME>' +
    '<MANUFID>ACME</MANUFID></PARTNER>' +
    '<CATALOG><ID>1</ID><CODE>ABC</CODE><PARTNERID>1</PARTNERID></CATALOG>'));
  fs.writeFileSync(path.join(dir, 'in.xml'), design({ kit: 'kitchen.kit' }));
  return dir;
}

async function main() {
  const [exe, builtModule] = commandLine(2, 'node stack_window.js <larkedi> <module folder>');
  const dir = makeModule(builtModule);
  const lark = larkRunner(exe, dir);
  const { child, exited, address } = await startWindow(
    exe, dir, ['activate', path.join(dir, 'in.xml')],
    { env: { ...process.env, LARKEDI_SPOOL_TIMER_MS: '1000' } });
  let chromiumServer = null;
  try {
    const browserRun = await openChromium(address);
    chromiumServer = browserRun.server;
    const { page, fB, fC } = browserRun;
    let dialogs = 0;
    const box = fB.locator('input[id^="ordercheck"]').first();
    await box.waitFor({ timeout: 15000 });
    let id = (await box.getAttribute('id')).replace(/\D/g, '');
    const partnerText = await fB.locator('body').innerText();
    check(partnerText.includes('<img src=x onerror=alert(1)>'),
          'a partner name holding markup is shown as text');
    check(await fB.locator('img[src="x"]').count() === 0, 'the markup made no element');

    // Ticking the send box changes the totals.
    const totalsBefore = await fC.locator('body').innerText();
    const wasTicked = await box.isChecked();
    await box.click();
    await page.waitForFunction((before) => {
      const f = document.querySelector('iframe[name="fDocC"]');
      return f && f.contentDocument && f.contentDocument.body.innerText !== before;
    }, totalsBefore, { timeout: 5000 }).catch(() => {});
    check((await fC.locator('body').innerText()) !== totalsBefore, 'ticking a send box changes the totals');
    check((await box.isChecked()) === !wasTicked, 'the send box keeps its new state');
    await box.click();  // back as it was
    await page.waitForFunction((before) => {
      const f = document.querySelector('iframe[name="fDocC"]');
      return f && f.contentDocument && f.contentDocument.body.innerText === before;
    }, totalsBefore, { timeout: 5000 }).catch(() => {});
    check((await fC.locator('body').innerText()) === totalsBefore,
          'ticking it back gives the first totals again');

    // A purchase-order number typed, with markup in it.
    await fB.locator(`#ponumber${id}`).fill('');
    await fB.locator(`#ponumber${id}`).pressSequentially('PO-<b>42</b>');

    // The detail and back.
    await taken(page, fB.locator(`#orderdetailslink${id}`));
    await fC.locator('#lmenureturn').waitFor({ timeout: 5000 });
    check(await fB.locator(`#ordercheck${id}`).count() === 0, 'the detail replaces the list');
    await taken(page, fC.locator('#lmenureturn'));
    await fB.locator(`#ordercheck${id}`).waitFor({ timeout: 5000 });
    check(await fB.locator(`#ponumber${id}`).inputValue() === 'PO-<b>42</b>',
          'back on the list, the typed number is there as text');

    // A reload shows the same state.
    await page.reload();
    await fB.locator(`#ponumber${id}`).waitFor({ timeout: 10000 });
    check(await fB.locator(`#ponumber${id}`).inputValue() === 'PO-<b>42</b>',
          'a reload keeps the typed number');
    check(await fB.locator('b', { hasText: '42' }).count() === 0,
          'the number holding markup made no element');

    // A design stacked by another process appears within the (shortened) timer period.
    fs.writeFileSync(path.join(dir, 'bath.xml'), design({ kit: 'bath.kit' }));
    lark('stack', 'add', path.join(dir, 'bath.xml'));
    const appeared = await fB.locator('body', { hasText: 'bath.kit' }).waitFor({ timeout: 15000 })
      .then(() => true, () => false);
    check(appeared, 'a design stacked meanwhile appears on the page');
    // Order groups are numbered anew by every load: the row is found by its number.
    const fields = await fB.locator('input[id^="ponumber"]')
      .evaluateAll((els) => els.map((e) => [e.id, e.value]));
    const kept = fields.find(([, value]) => value === 'PO-<b>42</b>');
    check(fields.length === 2 && kept !== undefined, 'the redrawn stack keeps the typed number');
    if (kept) id = kept[0].replace(/\D/g, '');

    // A double click on remove asks once; the answer No keeps the order.
    await fB.locator(`#orderremovelink${id}`).dblclick();
    const question = page.locator('.dialog[data-kind="msgbox"]');
    await question.waitFor({ timeout: 5000 });
    dialogs = await question.count();
    await page.waitForTimeout(300);
    check(await question.count() === 1 && dialogs === 1, 'a double click on remove asks once');
    await question.locator('button[data-button="no"]').click();
    await question.waitFor({ state: 'detached', timeout: 5000 });
    await page.waitForTimeout(300);
    check(await page.locator('.dialog[data-kind="msgbox"]').count() === 0,
          'no second question follows the answer');
    check(await fB.locator(`#ordercheck${id}`).count() === 1, 'answered No, the order stays');

    // Closing from the menu saves the stack and finishes.
    const code = await closeWindow(page, exited);
    check(code === 0, `larkedi ends with status 0 after the Close tool (${code})`);
    check(child.lines.includes('Finished'), 'the window raised Finished');
    const list = lark('stack', 'list');
    check(list.includes('\tPO-<b>42</b>\t'), 'the typed number is in the stack file');
  } finally {
    await cleanUp({ chromiumServer, children: [child], dir });
  }
}

run('stack window', main);
