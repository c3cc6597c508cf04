// What the browser checks share: Chromium's offline headless arguments and the list of
// problems a check run collects.
'use strict';

const CHROMIUM_ARGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

const problems = [];
function check(ok, what) {
  if (!ok) problems.push(what);
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
}

module.exports = { CHROMIUM_ARGS, problems, check };
