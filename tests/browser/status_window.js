// Browser check of the order status views: runs the partner simulator (gateway and dealer
// site) and `larkedi show --no-browser` on a throw-away module whose partner sends through
// the built-in connector to gate.localhost, puts orders into the simulated gateway, and
// follows them as a dealer would: the dealer site in the second panel (logged in with a
// password full of query characters, kept on that site), the order list by month and page,
// an order's detail and back.
//   node status_window.js <larkedi> <larkedi-partner-sim> <built module folder>
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');

const { check } = require('./checks');
const {
  commandLine, settings, moduleFolder, larkRunner, startWindow, startSim, openChromium,
  taken, closeWindow, cleanUp, run,
} = require('./window_run');

const PASSWORD = 'a&b#1+%';
const DEALER = 'shop@lakeside.example';

// The UTC month before the current one, as the simulator stamps orders ("YYYY-MM-DD...").
function previousMonth() {
  const now = new Date();
  const d = new Date(Date.UTC(now.getUTCFullYear(), now.getUTCMonth() - 1, 15, 12, 0, 0));
  return d.toISOString().replace(/\.\d+Z$/, 'Z');
}

function post(port, pathname, body) {
  return new Promise((resolve, reject) => {
    const req = http.request({
      host: '127.0.0.1', port, path: pathname, method: 'POST',
      headers: { 'Content-Type': 'text/xml; charset=utf-8', Host: `gate.localhost:${port}` },
    }, (res) => {
      let data = '';
      res.on('data', (c) => { data += c; });
      res.on('end', () => resolve({ status: res.statusCode, body: data }));
    });
    req.on('error', reject);
    req.end(body);
  });
}

function order(n) {
  const id = String(n).padStart(2, '0');
  return `<PURCHASEORDER><POHEADER><GLOBALID>GUID${id}</GLOBALID><PONUMBER>PO-${id}</PONUMBER>` +
    `<JOBNAME>Kitchen ${id}</JOBNAME></POHEADER><PODETAILS><DEALERID>${DEALER}</DEALERID>` +
    '<MANUFID>100</MANUFID></PODETAILS></PURCHASEORDER>';
}

async function main() {
  const [exe, simExe, builtModule] = commandLine(
    3, 'node status_window.js <larkedi> <larkedi-partner-sim> <module folder>');
  const dir = moduleFolder(builtModule, 'status-window');
  fs.writeFileSync(path.join(dir, 'sim.json'), JSON.stringify({
    dealers: [{ email: DEALER, password: PASSWORD, code: 'LK1001', status: 2 }],
    orders: [
      { sequence: 1, global_id: 'OLD1', dealer: DEALER, manufacturer: '100',
        received: previousMonth(), po_number: 'PO-LAST-MONTH', job_name: 'Earlier' },
    ],
  }));

  let sim = null;
  let window = null;
  let chromiumServer = null;
  try {
    sim = await startSim(simExe, ['--data', path.join(dir, 'sim.json'),
                                  '--log', path.join(dir, 'requests.jsonl')]);
    const simPort = sim.port;

    fs.writeFileSync(path.join(dir, 'larkEDI.xml'), settings(dir,
      '<PARTNER><ID>1</ID><NAME>Northwind</NAME><CODE>NWC</CODE><MANUFID>100</MANUFID>' +
      `<DEALERID>${DEALER}</DEALERID><METHODID>1</METHODID></PARTNER>`,
      '<METHOD><ID>1</ID><NAME>Orca</NAME><OBJECTNAME>ConnectMethodOrca</OBJECTNAME></METHOD>'));
    larkRunner(exe, dir)('connector', 'add', 'NWC', `http://gate.localhost:${simPort}`);
    // 17 orders this month: a first page of 15 and a second of 2.
    for (let n = 1; n <= 17; n += 1) {
      const r = await post(simPort, '/gateway/receive?partner=NWC', order(n));
      if (r.status !== 200) throw new Error(`the gateway refused order ${n}: ${r.status} ${r.body}`);
    }

    const started = await startWindow(exe, dir, ['show']);
    window = started.child;
    const { exited } = started;
    const browserRun = await openChromium(started.address);
    chromiumServer = browserRun.server;
    const { browser, page, fB, fC } = browserRun;
    const messages = page.locator('.dialog[data-kind="msgbox"]');

    await taken(page, page.locator('#tool3'));
    await fB.locator('#partnerpassword1').waitFor({ timeout: 15000 });

    // The dealer site in the second panel, logged in with the password as typed.
    await fB.locator('#partnerpassword1').fill(PASSWORD);
    await taken(page, fB.locator('#statusbutton1'));
    await page.locator('#panel:not([hidden])').waitFor({ timeout: 10000 });
    check(await page.locator('#browser1').isHidden(), 'the panel takes the place of the frames');
    const siteOrigin = `http://dealer.localhost:${simPort}`;
    let site = null;
    for (let i = 0; i < 100 && !site; i += 1) {
      site = page.frames().find((f) => f.url().startsWith(`${siteOrigin}/loginremote2.asp`));
      if (!site) await page.waitForTimeout(100);
    }
    check(site !== null, 'the panel shows the dealer site of dealer.localhost');
    if (site) {
      await site.locator('h1').waitFor({ timeout: 10000 });
      const text = await site.locator('body').innerText();
      if (!text.includes('Orders of')) console.log(site.url(), text);
      check(text.includes(`Orders of ${DEALER}`), 'the password arrived whole: the login succeeded');
      check(text.includes('PO-17') && text.includes('PO-01'), 'the site lists the orders the gateway received');
      // The site cannot take the panel to another site, not even to the same server under
      // another name.
      const elsewhere = `http://127.0.0.1:${simPort}/elsewhere/loginremote2.asp`;
      await site.evaluate((to) => { window.location.href = to; }, elsewhere).catch(() => {});
      await page.waitForTimeout(1000);
      // Had the panel gone there, the simulator would have been asked for the page.
      const log = fs.readFileSync(path.join(dir, 'requests.jsonl'), 'utf8');
      check(log.includes('loginremote2.asp') && !log.includes('/elsewhere/'),
            'the panel does not go to another site');
    }
    check(await messages.count() === 0, 'no message was shown');

    // The order list: this month, two pages, the month before, and back.
    await taken(page, page.locator('#tool3'));
    await page.locator('#browser1:not([hidden])').waitFor({ timeout: 10000 });
    await fB.locator('#partnerpassword1').fill(PASSWORD);
    await taken(page, fB.locator('#statuslist1'));
    await fB.locator('#statusorder1').waitFor({ timeout: 15000 });
    const rows = () => fB.locator('a[id^="statusorder"]').count();
    check(await rows() === 15, `the first page holds 15 orders (${await rows()})`);
    check(await fB.locator('body', { hasText: 'PO-17' }).count() === 1, 'the newest order comes first');
    await taken(page, fB.locator('#statuspage2'));
    await fB.locator('body', { hasText: 'PO-02' }).waitFor({ timeout: 10000 });
    check(await rows() === 2, `the second page holds the other 2 (${await rows()})`);

    await taken(page, fB.locator('#statusprevmonth'));
    await fB.locator('body', { hasText: 'PO-LAST-MONTH' }).waitFor({ timeout: 10000 });
    check(await rows() === 1, 'the month before shows its one order');
    await taken(page, fB.locator('#statusnextmonth'));
    await fB.locator('body', { hasText: 'PO-17' }).waitFor({ timeout: 10000 });
    check(await fB.locator('body', { hasText: 'PO-LAST-MONTH' }).count() === 0,
          'the next month is this month again');

    // An order's detail and back to the list page.
    const guid = await fB.locator('#statusorder1').getAttribute('name');
    await taken(page, fB.locator('#statusorder1'));
    await fC.locator('[id^="lmenubacktopage"]').waitFor({ timeout: 10000 });
    await fB.locator('body', { hasText: guid }).waitFor({ timeout: 10000 });
    check(await rows() === 0, `the detail of ${guid} replaces the list`);
    await taken(page, fC.locator('[id^="lmenubacktopage"]'));
    await fB.locator('#statusorder1').waitFor({ timeout: 10000 });
    check(await rows() === 15, 'back on the list page of this month');
    check(await messages.count() === 0, 'no message was shown on the way');

    const code = await closeWindow(page, exited);
    check(code === 0, `the window closes with status 0 (${code})`);
    await browser.close();
  } finally {
    await cleanUp({ chromiumServer, children: [window, sim], dir });
  }
}

run('status window', main);
