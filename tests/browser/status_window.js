// Browser check of the order status views: runs the partner simulator (gateway and dealer
// site) and `larkedi show --no-browser` on a throw-away module whose partner sends through
// the built-in connector to gate.localhost, puts orders into the simulated gateway, and
// follows them as a dealer would: the dealer site in the second panel (logged in with a
// password full of query characters, kept on that site), the order list by month and page,
// an order's detail and back.
//   node status_window.js <larkedi> <larkedi-partner-sim> <built module folder>
'use strict';
const { chromium } = require('playwright-core');
const { spawn, execFileSync } = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const readline = require('readline');

const { CHROMIUM_ARGS, problems, check } = require('./checks');

const PASSWORD = 'a&b#1+%';
const DEALER = 'shop@lakeside.example';

function firstLine(child) {
  return new Promise((resolve) => {
    const rl = readline.createInterface({ input: child.stdout });
    let done = false;
    rl.on('line', (line) => {
      if (!done) { done = true; resolve(line); }
    });
    child.on('exit', () => resolve(null));
  });
}

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
  const [exe, simExe, builtModule] = process.argv.slice(2);
  if (!exe || !simExe || !builtModule) {
    console.error('usage: node status_window.js <larkedi> <larkedi-partner-sim> <module folder>');
    process.exit(2);
  }
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'larkedi-status-window-'));
  fs.cpSync(path.join(builtModule, 'html'), path.join(dir, 'html'), { recursive: true });
  fs.writeFileSync(path.join(dir, 'sim.json'), JSON.stringify({
    dealers: [{ email: DEALER, password: PASSWORD, code: 'LK1001', status: 2 }],
    orders: [
      { sequence: 1, global_id: 'OLD1', dealer: DEALER, manufacturer: '100',
        received: previousMonth(), po_number: 'PO-LAST-MONTH', job_name: 'Earlier' },
    ],
  }));

  const children = [];
  const sim = spawn(simExe, ['--data', path.join(dir, 'sim.json'), '--port', '0',
                             '--log', path.join(dir, 'requests.jsonl')],
                    { stdio: ['ignore', 'pipe', 'inherit'] });
  children.push(sim);
  let window = null;
  try {
    const listening = await firstLine(sim);
    const simPort = Number((/:(\d+)$/.exec(listening || '') || [])[1]);
    if (!simPort) throw new Error(`the simulator did not say where it listens (${listening})`);

    fs.writeFileSync(path.join(dir, 'larkEDI.xml'),
      '<SETTINGS><METHOD><ID>1</ID><NAME>Orca</NAME><OBJECTNAME>ConnectMethodOrca</OBJECTNAME></METHOD>' +
      `<SPOOLPATH>${dir}/Send</SPOOLPATH><ARCHIVEPATH>${dir}/Archive</ARCHIVEPATH>` +
      '<TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION><SORTORDER>NS</SORTORDER>' +
      '<PARTNER><ID>1</ID><NAME>Northwind</NAME><CODE>NWC</CODE><MANUFID>100</MANUFID>' +
      `<DEALERID>${DEALER}</DEALERID><METHODID>1</METHODID></PARTNER></SETTINGS>`);
    execFileSync(exe, ['--module-dir', dir, 'connector', 'add', 'NWC',
                       `http://gate.localhost:${simPort}`], { encoding: 'utf8' });
    // 17 orders this month: a first page of 15 and a second of 2.
    for (let n = 1; n <= 17; n += 1) {
      const r = await post(simPort, '/gateway/receive?partner=NWC', order(n));
      if (r.status !== 200) throw new Error(`the gateway refused order ${n}: ${r.status} ${r.body}`);
    }

    window = spawn(exe, ['--module-dir', dir, 'show', '--no-browser'],
                   { stdio: ['ignore', 'pipe', 'inherit'] });
    children.push(window);
    const exited = new Promise((resolve) => window.on('exit', (code) => resolve(code)));
    const address = await firstLine(window);
    if (!address || !address.startsWith('http://127.0.0.1:')) {
      throw new Error(`larkedi show printed no address first (${address})`);
    }

    const server = await chromium.launchServer({
      executablePath: process.env.LARKEDI_CHROMIUM || '/usr/bin/chromium',
      args: CHROMIUM_ARGS,
      headless: true,
    });
    try {
      const browser = await chromium.connect(server.wsEndpoint());
      const page = await (await browser.newContext()).newPage();
      page.on('dialog', (d) => { problems.push(`a browser dialog opened: ${d.message()}`); d.dismiss(); });
      const fB = page.frameLocator('iframe[name="fDocB"]');
      const fC = page.frameLocator('iframe[name="fDocC"]');
      const messages = page.locator('.dialog[data-kind="msgbox"]');

      await page.goto(address);
      await page.locator('#tool3').click();
      await fB.locator('#partnerpassword1').waitFor({ timeout: 15000 });
      check(true, 'the status page lists the partner');

      // The dealer site in the second panel, logged in with the password as typed.
      await fB.locator('#partnerpassword1').fill(PASSWORD);
      await fB.locator('#statusbutton1').click();
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
      await page.locator('#tool3').click();
      await page.locator('#browser1:not([hidden])').waitFor({ timeout: 10000 });
      await fB.locator('#partnerpassword1').fill(PASSWORD);
      await fB.locator('#statuslist1').click();
      await fB.locator('#statusorder1').waitFor({ timeout: 15000 });
      const rows = () => fB.locator('a[id^="statusorder"]').count();
      check(await rows() === 15, `the first page holds 15 orders (${await rows()})`);
      check(await fB.locator('body', { hasText: 'PO-17' }).count() === 1, 'the newest order comes first');
      await fB.locator('#statuspage2').click();
      await fB.locator('body', { hasText: 'PO-02' }).waitFor({ timeout: 10000 });
      check(await rows() === 2, `the second page holds the other 2 (${await rows()})`);

      await fB.locator('#statusprevmonth').click();
      await fB.locator('body', { hasText: 'PO-LAST-MONTH' }).waitFor({ timeout: 10000 });
      check(await rows() === 1, 'the month before shows its one order');
      await fB.locator('#statusnextmonth').click();
      await fB.locator('body', { hasText: 'PO-17' }).waitFor({ timeout: 10000 });
      check(await fB.locator('body', { hasText: 'PO-LAST-MONTH' }).count() === 0,
            'the next month is this month again');

      // An order's detail and back to the list page.
      const guid = await fB.locator('#statusorder1').getAttribute('name');
      await fB.locator('#statusorder1').click();
      await fC.locator('[id^="lmenubacktopage"]').waitFor({ timeout: 10000 });
      await fB.locator('body', { hasText: guid }).waitFor({ timeout: 10000 });
      check(await rows() === 0, `the detail of ${guid} replaces the list`);
      await fC.locator('[id^="lmenubacktopage"]').click();
      await fB.locator('#statusorder1').waitFor({ timeout: 10000 });
      check(await rows() === 15, 'back on the list page of this month');
      check(await messages.count() === 0, 'no message was shown on the way');

      await page.locator('#tool7').click();
      const code = await Promise.race([exited, new Promise((r) => setTimeout(() => r('timeout'), 15000))]);
      check(code === 0, `the window closes with status 0 (${code})`);
      await browser.close();
    } finally {
      await server.close();
    }
  } finally {
    for (const child of children) {
      if (child.exitCode === null) child.kill('SIGTERM');
    }
    fs.rmSync(dir, { recursive: true, force: true });
  }
  if (problems.length) {
    console.error(`${problems.length} problem(s):\n  ${problems.join('\n  ')}`);
    process.exit(1);
  }
  console.log('status window: every check passed');
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
