// Browser check of the settings, partner list and partner pages: runs `larkedi show
// --no-browser` on a throw-away module folder with the partner simulator as the partner
// web service, opens the window in Chromium (headless, fresh profile) and sets the module
// up as a dealer would; then checks the settings file.
//   node settings_window.js <larkedi executable> <built module folder> <larkedi-partner-sim>
'use strict';
const fs = require('fs');
const path = require('path');

const { check } = require('./checks');
const {
  commandLine, design, settings, moduleFolder, larkRunner, startWindow, startSim,
  openChromium, taken, until, closeWindow, cleanUp, run,
} = require('./window_run');

function makeModule(builtModule) {
  const dir = moduleFolder(builtModule, 'settings-window', ['Send', 'Archive', 'Stack2', 'registry']);
  fs.writeFileSync(path.join(dir, 'larkEDI.xml'), settings(dir,
    '<PARTNER><ID>1</ID><CODE>ACME</CODE><NAME>Acme Doors</NAME><MANUFID>ACME</MANUFID>' +
    '<METHODID>1</METHODID></PARTNER>' +
    '<CATALOG><ID>1</ID><CODE>ABC</CODE><PARTNERID>1</PARTNERID></CATALOG>',
    '<METHOD><ID>1</ID><NAME>Orca XML Connector</NAME>' +
    '<OBJECTNAME>ConnectMethodOrca</OBJECTNAME></METHOD>'));
  fs.writeFileSync(path.join(dir, 'in.xml'), design({ kit: 'kitchen.kit' }));
  fs.writeFileSync(path.join(dir, 'partners.json'), JSON.stringify({
    manufacturers: [{ id: '100', name: 'Northwood Cabinets', active: true },
                    { id: '200', name: 'Bayview Kitchens', active: true }],
  }));
  return dir;
}

function settingsFile(dir) {
  return fs.readFileSync(path.join(dir, 'larkEDI.xml'), 'utf8');
}

// The text of the first <name> element of the settings file (plain or CDATA).
function field(dir, name) {
  const m = new RegExp(`<${name}>(?:<!\\[CDATA\\[)?([^<\\]]*)`).exec(settingsFile(dir));
  return m ? m[1] : null;
}

async function main() {
  const [exe, builtModule, simExe] = commandLine(
    3, 'node settings_window.js <larkedi> <module folder> <larkedi-partner-sim>');
  const dir = makeModule(builtModule);
  const env = { ...process.env, LARKEDI_REGISTRY_DIR: path.join(dir, 'registry') };
  const lark = larkRunner(exe, dir, env);
  lark('stack', 'add', path.join(dir, 'in.xml'));
  let sim = null;
  let child = null;
  let chromiumServer = null;
  try {
    sim = await startSim(simExe, ['--data', path.join(dir, 'partners.json')]);
    const started = await startWindow(exe, dir, ['show'], {
      env: { ...env, LARKEDI_PARTNER_ENDPOINT: `${sim.base}/wsManufInfo.asmx` },
    });
    child = started.child;
    const { exited } = started;
    const browserRun = await openChromium(started.address);
    chromiumServer = browserRun.server;
    const { page, fB } = browserRun;
    const body = () => fB.locator('body').innerText();
    const dialog = (kind) => page.locator(`.dialog[data-kind="${kind}"]`);
    async function answer(kind, button, text) {
      const d = dialog(kind);
      await d.waitFor({ timeout: 10000 });
      if (kind === 'folder') {
        // The picker writes the folder it lists into its path field once the listing
        // arrives: the path is typed after that.
        await d.locator('.picker-list .folder').first().waitFor({ timeout: 10000 });
      }
      if (text !== undefined) {
        await d.locator(kind === 'folder' ? 'input.picker-path' : 'input.dialog-input').fill(text);
      }
      await d.locator(`button[data-button="${button}"]`).click();
      await d.waitFor({ state: 'detached', timeout: 10000 });
    }
    const idOf = async (locator) => (await locator.getAttribute('id')).replace(/\D/g, '');

    await fB.locator('#urloxnet').waitFor({ timeout: 15000 });

    // The manufacturers of the partner web service became free-EDI partners at the load.
    await taken(page, page.locator('#tool4'));
    await fB.locator('#newpartner').waitFor({ timeout: 10000 });
    let text = await body();
    check(text.includes('Northwood Cabinets') && text.includes('Bayview Kitchens'),
          'the manufacturer list made two free-EDI partners');
    check((settingsFile(dir).match(/freeedi="1"/g) || []).length === 2,
          'the free-EDI partners are in the settings file');
    const northwood = await idOf(fB.locator('tr', { hasText: 'Northwood Cabinets' })
      .locator('button[id^="editpartner"]'));

    // A purchase-order number typed in the stack and not saved yet.
    await taken(page, page.locator('#tool2'));
    const po = fB.locator('input[id^="ponumber"]').first();
    await po.waitFor({ timeout: 10000 });
    check((await body()).includes('Acme Doors'), 'the order goes to Acme Doors first');
    await po.fill('PO-555');

    // A catalog created, renamed and removed.
    await taken(page, page.locator('#tool5'));
    await fB.locator('#newcatalog').waitFor({ timeout: 10000 });
    await taken(page, fB.locator('#newcatalog'));
    await answer('input', 'ok', 'Pantry Line');
    await fB.locator('td', { hasText: 'Pantry Line' }).waitFor({ timeout: 10000 });
    const catalog = await idOf(fB.locator('tr', { hasText: 'Pantry Line' })
      .locator('button[id^="editcatalog"]'));
    check(settingsFile(dir).includes('Pantry Line'), 'the new catalog is saved');
    await taken(page, fB.locator(`#editcatalog${catalog}`));
    await dialog('input').waitFor({ timeout: 10000 });
    check(await dialog('input').locator('input.dialog-input').inputValue() === 'Pantry Line',
          'renaming starts from the current name');
    await answer('input', 'ok', 'Pantry Plus');
    await fB.locator('td', { hasText: 'Pantry Plus' }).waitFor({ timeout: 10000 });
    check(settingsFile(dir).includes('Pantry Plus') && !settingsFile(dir).includes('Pantry Line'),
          'the renamed catalog is saved');
    await taken(page, fB.locator(`#removecatalog${catalog}`));
    await answer('msgbox', 'yes');
    await fB.locator('td', { hasText: 'Pantry Plus' }).waitFor({ state: 'detached', timeout: 10000 });
    check(!settingsFile(dir).includes('Pantry Plus'), 'the removed catalog is gone from the file');

    // The renamed catalog made the stack be rebuilt: the typed number was saved first.
    await taken(page, page.locator('#tool2'));
    await fB.locator('input[id^="ponumber"]').first().waitFor({ timeout: 10000 });
    check(await fB.locator('input[id^="ponumber"]').first().inputValue() === 'PO-555',
          'the typed purchase-order number is kept when the stack is rebuilt');

    // The catalog assigned to another partner: the stack regroups it.
    await taken(page, page.locator('#tool5'));
    await fB.locator('#partnerassign1').waitFor({ timeout: 10000 });
    await taken(page, fB.locator('#partnerassign1'), (l) => l.selectOption(northwood), 'change');
    check(await until(() => settingsFile(dir).includes(`<PARTNERID>${northwood}</PARTNERID>`)),
          'the assignment is saved');
    // The assignment page lists the partners too: wait for the stack page itself.
    await taken(page, page.locator('#tool2'));
    await fB.locator('input[id^="ponumber"]').first().waitFor({ timeout: 10000 });
    text = await body();
    check(text.includes('Northwood Cabinets') && !text.includes('Acme Doors'),
          'the order stack regroups the catalog under its new partner');

    // Two new partners: the second saved alone, then the first with the rest.
    await taken(page, page.locator('#tool4'));
    await taken(page, fB.locator('#newpartner'));
    const nameA = fB.locator('input[id^="NAME"]');
    await nameA.waitFor({ timeout: 10000 });
    const a = await idOf(nameA);
    await nameA.fill('Cedar Works');
    await taken(page, fB.locator('#newpartner'));
    await fB.locator(`#NAME${a}`).waitFor({ state: 'detached', timeout: 10000 });
    const nameB = fB.locator('input[id^="NAME"]');
    const b = await idOf(nameB);
    check(a !== b, 'the second new partner has a number of its own');
    await nameB.fill('Dogwood & Sons');
    await fB.locator(`#DEALERID${b}`).fill('D-42');
    await taken(page, fB.locator(`#savepartner${b}`));
    await fB.locator(`#savepartner${a}`).waitFor({ timeout: 10000 });
    let file = settingsFile(dir);
    check(/Dogwood (&amp;|&) Sons/.test(file) && file.includes('D-42'),
          'the saved partner is in the file');
    check(!file.includes(`<ID>${a}</ID>`), 'the other new partner is not saved yet');
    check((file.match(/freeedi="1"/g) || []).length === 2, 'the free-EDI partners stay in the file');
    await fB.locator(`#NAME${a}`).fill('Cedar Works');
    await taken(page, fB.locator(`#savepartner${a}`));
    await fB.locator('#displaysettings').waitFor({ timeout: 10000 });
    file = settingsFile(dir);
    check(file.includes('Cedar Works') && /Dogwood (&amp;|&) Sons/.test(file),
          'saving the first one saves both');

    // Edit a partner; then a new one left without saving.
    await taken(page, fB.locator(`#editpartner${b}`));
    await fB.locator(`#DEALERID${b}`).fill('D-43');
    await taken(page, fB.locator(`#savepartner${b}`));
    await fB.locator('#displaysettings').waitFor({ timeout: 10000 });
    check(settingsFile(dir).includes('D-43'), 'the edited partner is saved');
    await taken(page, fB.locator('#newpartner'));
    const ghost = fB.locator('input[id^="NAME"]');
    await ghost.waitFor({ timeout: 10000 });
    await ghost.fill('Ghost Partner');
    await taken(page, fB.locator('#exitpartner'));
    await fB.locator('#displaysettings').waitFor({ timeout: 10000 });
    check(!(await body()).includes('Ghost Partner') && !settingsFile(dir).includes('Ghost'),
          'leaving without saving drops the new partner');

    // Folders: the archive folder written differently is refused as the spool folder.
    await taken(page, page.locator('#tool5'));
    await taken(page, fB.locator('#setspoolpathbutton'));
    await answer('folder', 'ok', `${dir}/Stack2/../Archive/`);
    const refusal = dialog('msgbox');
    await refusal.waitFor({ timeout: 10000 });
    check((await refusal.innerText()).includes(`${dir}/Stack2/../Archive/`),
          'the refusal names the folder chosen');
    await answer('msgbox', 'ok');
    check(field(dir, 'SPOOLPATH') === `${dir}/Send`, 'the spool folder is unchanged');
    await taken(page, fB.locator('#setspoolpathbutton'));
    await answer('folder', 'ok', `${dir}/Stack2`);
    await fB.locator('#spoolpath', { hasText: `${dir}/Stack2` }).waitFor({ timeout: 10000 });
    check(field(dir, 'SPOOLPATH') === `${dir}/Stack2`, 'another spool folder is saved');

    const code = await closeWindow(page, exited);
    check(code === 0, `larkedi ends with status 0 after the Close tool (${code})`);
  } finally {
    await cleanUp({ chromiumServer, children: [child, sim], dir });
  }
}

run('settings window', main);
