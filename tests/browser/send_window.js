// Browser check of sending from the window: runs the partner simulator (its gateway takes
// the orders) and `larkedi activate --no-browser` on a throw-away module folder with two
// orders for one partner and one for a free-EDI partner, opens the window in Chromium (headless, fresh profile), double
// clicks the send button of the totals strip, answers the password and dealer dialogs
// (following the dealer dialog's link) and watches the progress rows; then asks the gateway what it received and checks the stack.
//   node send_window.js <larkedi executable> <larkedi-partner-sim executable> <built module folder>
'use strict';
const fs = require('fs');
const path = require('path');

const { problems, check } = require('./checks');
const {
  commandLine, design: oneDesign, settings, moduleFolder, larkRunner, startWindow, startSim,
  openChromium, waitForFile, closeWindow, cleanUp, run,
} = require('./window_run');

const PASSWORD = 'typed-in-the-window-7';
const ACCOUNT_PASSWORD = 'account-pw-in-the-window';
const HOME_PAGE = 'https://home.example.invalid/dealers?a=1&b=2';

function design(number, kit, catalog = 'ABC') {
  const item = `<Item><LineItemNumber>1</LineItemNumber><Code>ITEM-${number}</Code><Qty>2</Qty></Item>`;
  return oneDesign({ number, kit, catalog, item });
}

function makeModule(builtModule) {
  const dir = moduleFolder(builtModule, 'send-window');
  fs.writeFileSync(path.join(dir, 'larkEDI.xml'), settings(dir,
    '<PARTNER><ID>1</ID><NAME>Acme &lt;img src=x onerror=alert(1)&gt;</NAME><CODE>ACM</CODE>' +
    '<MANUFID>ACME</MANUFID><DEALERID>D-1</DEALERID><METHODID>1</METHODID>' +
    '<TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>' +
    '<EDIVALIDATE><MULTICATSEND>1</MULTICATSEND></EDIVALIDATE></PARTNER>' +
    '<PARTNER freeedi="1"><ID>2</ID><NAME>Northwood</NAME><CODE>NWC</CODE><MANUFID>100</MANUFID>' +
    '<DEALERID>good@example.com</DEALERID><METHODID>1</METHODID>' +
    '<EDIVALIDATE><MULTICATSEND>1</MULTICATSEND></EDIVALIDATE></PARTNER>' +
    '<CATALOG><ID>1</ID><CODE>ABC</CODE><PARTNERID>1</PARTNERID></CATALOG>' +
    '<CATALOG><ID>2</ID><CODE>XYZ</CODE><PARTNERID>2</PARTNERID></CATALOG>',
    '<METHOD><ID>1</ID><NAME>Orca</NAME><OBJECTNAME>ConnectMethodOrca</OBJECTNAME></METHOD>'));
  fs.writeFileSync(path.join(dir, 'ConnectMethodOrca.xml'),
    '<ConnectMethodOrca><CONNECTTIMEOUTMS>2000</CONNECTTIMEOUTMS><TIMEOUTMS>5000</TIMEOUTMS>' +
    '<HEALTHTIMEOUTMS>2000</HEALTHTIMEOUTMS></ConnectMethodOrca>');
  fs.writeFileSync(path.join(dir, 'first.xml'), design('PO-1', 'first.kit'));
  fs.writeFileSync(path.join(dir, 'in.xml'), design('PO-2', 'second.kit'));
  fs.writeFileSync(path.join(dir, 'third.xml'), design('PO-3', 'third.kit', 'XYZ'));
  // Records the address the dealer dialog's link opens.
  fs.writeFileSync(path.join(dir, 'opener'),
    `#!/bin/sh\nprintf '%s\\n' "$1" >> '${path.join(dir, 'opened.txt')}'\n`, { mode: 0o755 });
  return dir;
}

function simData(dir) {
  fs.writeFileSync(path.join(dir, 'sim.json'), JSON.stringify({
    manufacturers: [{ id: '100', name: 'Northwood', active: true }],
    dealers: [{ email: 'good@example.com', password: ACCOUNT_PASSWORD, status: 2,
                profile: { Location: { City: 'Kingston' } } }],
  }));
  return ['--data', path.join(dir, 'sim.json'), '--data-dir', path.join(dir, 'gateway')];
}

async function gatewayOrders(base) {
  const res = await fetch(`${base}/gateway/orders`);
  return res.json();
}

async function main() {
  const [exe, simExe, builtModule] = commandLine(
    3, 'node send_window.js <larkedi> <larkedi-partner-sim> <module folder>');
  const dir = makeModule(builtModule);
  const lark = larkRunner(exe, dir);
  let sim = null;
  let child = null;
  let chromiumServer = null;
  try {
    sim = await startSim(simExe, simData(dir));
    lark('connector', 'add', 'ACM', sim.base);
    lark('connector', 'add', 'NWC', sim.base);
    lark('stack', 'add', path.join(dir, 'first.xml'));
    lark('stack', 'add', path.join(dir, 'third.xml'));

    const started = await startWindow(exe, dir, ['activate', path.join(dir, 'in.xml')], {
      env: { ...process.env, LARKEDI_PARTNER_ENDPOINT: `${sim.base}/wsManufInfo.asmx`,
             LARKEDI_OPENER: path.join(dir, 'opener'),
             LARKEDI_DEALER_SERVICE_URL: HOME_PAGE },
      stderr: true,
    });
    child = started.child;
    const { exited } = started;
    let stderr = '';
    child.stderr.on('data', (d) => { stderr += d; });

    const browserRun = await openChromium(started.address);
    chromiumServer = browserRun.server;
    const { page, fB, fC } = browserRun;
    await fB.locator('input[id^="ordercheck"]').nth(2).waitFor({ timeout: 15000 });
    check(await fB.locator('input[id^="ordercheck"]').count() === 3, 'three orders are stacked');
    const send = fC.locator('#sendorders');
    await send.waitFor({ timeout: 5000 });

    // A double click starts one send: one dialog at a time, the password asked once for
    // the partner, the dealer's account once for the free-EDI order.
    await send.dblclick();
    let passwords = 0;
    let dealers = 0;
    for (let round = 0; round < 4; round += 1) {
      const dialog = page.locator('.dialog');
      const open = await dialog.first().waitFor({ timeout: round === 0 ? 15000 : 5000 })
        .then(() => true, () => false);
      if (!open) break;
      await page.waitForTimeout(300);
      check(await dialog.count() === 1, 'one dialog at a time (a double click sends once)');
      const kind = await dialog.first().getAttribute('data-kind');
      const field = dialog.locator('input[type="password"]');
      check(await field.count() === 1, `the ${kind} dialog hides the password as typed`);
      if (round === 0) {
        check(await fB.locator('[id$="OrderProgressLeft"]').count() === 3,
              'the progress page shows one row per order while the dialog is open');
      }
      if (kind === 'password') {
        passwords += 1;
        await field.fill(PASSWORD);
      } else if (kind === 'dealer') {
        dealers += 1;
        const email = dialog.locator('input[type="text"]');
        check(await email.inputValue() === 'good@example.com',
              'the dealer dialog starts with the partner\'s dealer e-mail');
        await dialog.locator('a.dialog-link').click();
        const opened = await waitForFile(path.join(dir, 'opened.txt'));
        check(opened === `${HOME_PAGE}\n`, `the link opens the service's home page (${opened.trim()})`);
        check(await dialog.count() === 1, 'the dealer dialog stays open after the link');
        await field.fill(ACCOUNT_PASSWORD);
      } else {
        problems.push(`an unexpected ${kind} dialog: ${await dialog.innerText()}`);
      }
      await dialog.locator('button[data-button="ok"]').click();
      await dialog.first().waitFor({ state: 'detached', timeout: 5000 }).catch(() => {});
    }
    check(passwords === 1 && dealers === 1,
          `the password and the dealer's account were each asked once (${passwords}, ${dealers})`);

    // Both rows end with success; the password is asked once for the partner.
    const done = await page.waitForFunction(() => {
      const f = document.querySelector('iframe[name="fDocB"]');
      const doc = f && f.contentDocument;
      if (!doc) return false;
      const steps = Array.from(doc.querySelectorAll('[id$="ProgressSpan"]'));
      return steps.length === 3 && steps.every((s) => s.textContent.trim() === 'Done');
    }, null, { timeout: 30000 }).then(() => true, () => false);
    check(done, 'every progress row ends with Done');
    check(await page.locator('.dialog').count() === 0, 'no dialog is left open');
    const widths = await fB.locator('[id$="OrderProgressLeft"]')
      .evaluateAll((els) => els.map((e) => e.style.width));
    check(widths.length === 3 && widths.every((w) => w === '100%'), `the bars are full (${widths})`);
    const results = await fB.locator('[id$="OrderSpan"]').allInnerTexts();
    check(results.every((t) => /Sequence number on the server: \d+/.test(t)),
          'each row names its sequence number');
    check((await fB.locator('body').innerText()).includes('<img src=x onerror=alert(1)>'),
          'the partner name holding markup is shown as text');
    check(await fB.locator('img[src="x"]').count() === 0, 'the markup made no element');
    await page.waitForFunction(() => {
      const f = document.querySelector('iframe[name="fDocB"]');
      const b = f && f.contentDocument && f.contentDocument.getElementById('CancelButton');
      return b && b.textContent.trim() === 'Return';
    }, null, { timeout: 10000 }).catch(() => {});
    check((await fB.locator('#CancelButton').innerText()).trim() === 'Return',
          'the cancel button became Return');

    // The gateway holds exactly one document per order; the stack is empty.
    let received = await gatewayOrders(sim.base);
    const ids = new Set(received.map((o) => o.global_id));
    check(received.length === 3 && ids.size === 3,
          `the gateway received each order once (${received.length})`);
    check(received.filter((o) => o.partner_code === 'ACM').length === 2 &&
          received.filter((o) => o.partner_code === 'NWC').length === 1,
          'two orders went to ACM, one to the free-EDI partner NWC');
    const list = lark('stack', 'list');
    check(!list.includes('.xme'), 'the stack is empty after the send');

    // Nothing is left to send: the button is disabled. A click that reaches the module
    // anyway (the button enabled by hand) sends nothing and says so.
    await send.waitFor({ timeout: 5000 });
    check(await send.isDisabled(), 'the send button is disabled with nothing to send');
    await send.evaluate((el) => el.removeAttribute('disabled'));
    await send.click();
    const box = page.locator('.dialog[data-kind="msgbox"]');
    const said = await box.waitFor({ timeout: 10000 }).then(() => true, () => false);
    check(said, 'a second click says there is nothing to send');
    if (said) {
      await box.locator('button').first().click();
      await box.waitFor({ state: 'detached', timeout: 5000 }).catch(() => {});
    }
    received = await gatewayOrders(sim.base);
    check(received.length === 3, 'the second click sent nothing');

    const code = await closeWindow(page, exited);
    check(code === 0, `larkedi ends with status 0 after the Close tool (${code})`);
    const printed = stderr + child.lines.join('\n');
    check(!printed.includes(PASSWORD) && !printed.includes(ACCOUNT_PASSWORD),
          'no password is printed');
    const files = fs.readdirSync(dir, { recursive: true })
      .map((f) => path.join(dir, f))
      .filter((f) => !f.includes(`${path.sep}gateway${path.sep}`) && f !== path.join(dir, 'sim.json') &&
              fs.statSync(f).isFile());
    check(files.every((f) => {
      const data = fs.readFileSync(f, 'latin1');
      return !data.includes(PASSWORD) && !data.includes(ACCOUNT_PASSWORD);
    }), 'no file of the module holds a password');
  } finally {
    await cleanUp({ chromiumServer, children: [child, sim], dir });
  }
}

run('send window', main);
