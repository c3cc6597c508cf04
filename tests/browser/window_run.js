// What the checks of `larkedi`'s window share: a throw-away module folder with its settings
// and designs, the window started with --no-browser and its address opened in Chromium
// (headless, fresh profile), the partner simulator, waiting, closing and the final report.
'use strict';
const { chromium } = require('playwright-core');
const { spawn, execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const readline = require('readline');

const { CHROMIUM_ARGS, problems } = require('./checks');

// The arguments after the script, or the usage and status 2 when one is missing.
function commandLine(count, usage) {
  const args = process.argv.slice(2);
  if (args.length < count || args.slice(0, count).some((a) => !a)) {
    console.error(`usage: ${usage}`);
    process.exit(2);
  }
  return args;
}

// The first line `child` prints (null if it ends first); every line it prints is kept in
// `child.lines`.
function firstLine(child) {
  return new Promise((resolve) => {
    const rl = readline.createInterface({ input: child.stdout });
    const lines = [];
    child.lines = lines;
    rl.on('line', (line) => {
      lines.push(line);
      if (lines.length === 1) resolve(line);
    });
    child.on('exit', () => resolve(null));
  });
}

// A design of one catalog with one item (a drawer unless told).
function design({ number = 'N-1', kit = 'kitchen.kit', catalog = 'ABC',
                  item = '<Item><Code>C1</Code><Qty>2</Qty><Text>drawer</Text></Item>' } = {}) {
  return '<Designs><Design><JobInfo><Header><ComputerName>PC</ComputerName>' +
    `<Number>${number}</Number><GlobalID/></Header><FileName>${kit}</FileName></JobInfo>` +
    `<Catalog><Identification><Name>${catalog}</Name></Identification>` +
    `${item}</Catalog></Design></Designs>`;
}

// A settings file for the module in `dir`: the method, the spool and archive folders in
// `dir`, the usual transformation and sort order, then `rest` (partners, catalogs).
function settings(dir, rest, method = '<METHOD><ID>1</ID><NAME>x</NAME></METHOD>') {
  return `<SETTINGS>${method}` +
    `<SPOOLPATH>${dir}/Send</SPOOLPATH><ARCHIVEPATH>${dir}/Archive</ARCHIVEPATH>` +
    '<TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION><SORTORDER>NS</SORTORDER>' +
    `${rest}</SETTINGS>`;
}

// A throw-away module folder named after the check, with the built pages and the given
// sub-folders.
function moduleFolder(builtModule, name, subfolders = []) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), `larkedi-${name}-`));
  fs.cpSync(path.join(builtModule, 'html'), path.join(dir, 'html'), { recursive: true });
  for (const sub of subfolders) fs.mkdirSync(path.join(dir, sub));
  return dir;
}

// Runs `larkedi --module-dir <dir> --yes ...` to its end; its output.
function larkRunner(exe, dir, env = process.env) {
  return (...args) => execFileSync(exe, ['--module-dir', dir, '--yes', ...args],
                                   { encoding: 'utf8', env });
}

// Starts `larkedi --module-dir <dir> <args> --no-browser` and waits for the address it
// prints first; `exited` resolves to its exit status. With `stderr` its error output is
// piped (for the check to read) instead of passed through.
async function startWindow(exe, dir, args, { env = process.env, stderr = false } = {}) {
  const child = spawn(exe, ['--module-dir', dir, ...args, '--no-browser'],
                      { stdio: ['ignore', 'pipe', stderr ? 'pipe' : 'inherit'], env });
  const exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  const address = await firstLine(child);
  if (!address || !address.startsWith('http://127.0.0.1:')) {
    if (child.exitCode === null) child.kill('SIGTERM');
    throw new Error(`larkedi ${args[0]} printed no address first (${address})`);
  }
  return { child, exited, address };
}

// Starts the partner simulator with `args` on a free port; `sim.base` is the address it
// listens on, `sim.port` its port.
async function startSim(simExe, args) {
  const sim = spawn(simExe, [...args, '--port', '0'], { stdio: ['ignore', 'pipe', 'inherit'] });
  const line = await firstLine(sim);
  const m = /^listening on (http:\/\/127\.0\.0\.1:(\d+))/.exec(line || '');
  if (!m) {
    if (sim.exitCode === null) sim.kill('SIGTERM');
    throw new Error(`the partner simulator did not start (${line})`);
  }
  sim.base = m[1];
  sim.port = Number(m[2]);
  return sim;
}

// Launches Chromium and opens `address` in a fresh context. A browser dialog is a problem
// (the window's own dialogs are page elements). `fB` and `fC` are the window's frames.
async function openChromium(address) {
  const server = await chromium.launchServer({
    executablePath: process.env.LARKEDI_CHROMIUM || '/usr/bin/chromium',
    args: CHROMIUM_ARGS,
    headless: true,
  });
  try {
    const browser = await chromium.connect(server.wsEndpoint());
    const context = await browser.newContext();
    const page = await context.newPage();
    page.on('dialog', (d) => { problems.push(`a browser dialog opened: ${d.message()}`); d.dismiss(); });
    const fB = page.frameLocator('iframe[name="fDocB"]');
    const fC = page.frameLocator('iframe[name="fDocC"]');
    await page.goto(address);
    return { server, browser, context, page, fB, fC };
  } catch (e) {
    await server.close().catch(() => {});
    throw e;
  }
}

// Waits until `test()` holds (`ms` at most); its last answer.
async function until(test, ms = 10000) {
  for (let i = 0; i < ms / 100; i += 1) {
    if (test()) return true;
    await new Promise((r) => setTimeout(r, 100));
  }
  return test();
}

// The text of `file` once it holds a whole line (`ms` at most), else ''.
async function waitForFile(file, ms = 5000) {
  const whole = () => fs.existsSync(file) && fs.readFileSync(file, 'utf8').includes('\n');
  const ready = await until(whole, ms);
  return ready ? fs.readFileSync(file, 'utf8') : '';
}

// The exit status `exited` resolves to within `ms`, else 'running'.
function ended(exited, ms = 15000) {
  return Promise.race([exited, new Promise((r) => setTimeout(() => r('running'), ms))]);
}

// Does `act` (a click by default) on `locator`, an element of the module's pages, and
// waits for the module's answer to the event the page sends for it. While an operation
// still runs the module drops input, as a busy window does, and the page may already show
// what the operation drew before the operation has ended; a dropped event never ran, so
// it is sent again. Not for check boxes: each click toggles the box in the browser.
// The answers are read in the page (its fetch is wrapped once per page load), since the
// browser does not always keep the body of a response the page never read.
async function taken(page, locator, act = (l) => l.click(), kind = 'click') {
  const id = (await locator.getAttribute('id', { timeout: 10000 })) || '';
  for (let i = 0; i < 50; i += 1) {
    const seen = await page.evaluate(() => {
      if (!window.eventAnswers) {
        const fetchFirst = window.fetch.bind(window);
        window.eventAnswers = [];
        window.fetch = async (input, init) => {
          const res = await fetchFirst(input, init);
          if (String(input) === '/event' && init && typeof init.body === 'string') {
            const sent = JSON.parse(init.body);
            res.clone().json().then((answer) => {
              window.eventAnswers.push({ kind: sent.kind, id: sent.id, queued: !!answer.queued });
            }, () => {});
          }
          return res;
        };
      }
      return window.eventAnswers.length;
    });
    await act(locator);
    const answer = await page.waitForFunction(([from, k, want]) => {
      const found = window.eventAnswers.slice(from).find((a) => a.kind === k && a.id === want);
      return found ? { queued: found.queued } : null;
    }, [seen, kind, id], { timeout: 15000 });
    if ((await answer.jsonValue()).queued) return;
    await page.waitForTimeout(100);
  }
  throw new Error(`the module dropped every ${kind} on #${id}`);
}

// Clicks the window's Close tool; the status larkedi ends with (or 'running').
async function closeWindow(page, exited) {
  // The window may close the page before its answer is read.
  await taken(page, page.locator('#tool7')).catch(() => {});
  return ended(exited);
}

// Closes the browser, ends the processes still running and removes the module folder.
async function cleanUp({ chromiumServer = null, children = [], dir = null }) {
  if (chromiumServer) await chromiumServer.close().catch(() => {});
  for (const child of children) {
    if (child && child.exitCode === null) child.kill('SIGTERM');
  }
  if (dir) fs.rmSync(dir, { recursive: true, force: true });
}

// Runs the check `main`; status 1 when it throws or a check failed.
function run(name, main) {
  main().then(() => {
    if (problems.length) {
      console.error(`${problems.length} problem(s):\n  ${problems.join('\n  ')}`);
      process.exit(1);
    }
    console.log(`${name}: every check passed`);
  }).catch((e) => {
    console.error(e);
    process.exit(1);
  });
}

module.exports = {
  commandLine, firstLine, design, settings, moduleFolder, larkRunner, startWindow, startSim,
  openChromium, taken, until, waitForFile, ended, closeWindow, cleanUp, run,
};
