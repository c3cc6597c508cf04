// Interop check: an independent SOAP 1.1 stack (the npm "soap" package) serves the partner
// web service from our WSDL, and the module's client (through `larkedi partner ...`) must
// call it and read its answers.
//
//   node peer_test.js /path/to/larkedi
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const { execFile } = require('node:child_process');
const soap = require('soap');

const NS = 'http://partners.larkedi.invalid/';
const larkedi = process.argv[2];
const received = [];  // { action, type, contentLength, bytes } per request

const service = {
  wsManufInfo: {
    wsManufInfoSoap: {
      GetManufInfo() {
        return {
          GetManufInfoResult: {
            Manufs: {
              Manuf: [
                { ID: '100', Name: 'Northwood Cabinets' },
                { ID: 'A<&B', Name: 'Odd & Co' },
                { ID: '300' },  // no Name: must be skipped
              ],
            },
          },
        };
      },
      IsManufHaveEmail(args) {
        // An xsd:boolean style "true": the client compares without regard to case.
        return { IsManufHaveEmailResult: { IsManufHaveEmail: args.sManufCode === '100' ? 'true' : 'false' } };
      },
      IsDealerSupported(args) {
        const known = args.sDealerEmail === 'josé@exämple.com' && args.sDealerPassword === 'p<&w]]>';
        const answer = known ? '<Status>2</Status><Profile><Location><City>Québec</City></Location></Profile>'
                             : '<Status>3</Status>';
        return { IsDealerSupportedResult: { $xml: `<Response xmlns="">${answer}</Response>` } };
      },
    },
  },
};

function run(args, env) {
  return new Promise((resolve) => {
    execFile(larkedi, args, { env, timeout: 30000 }, (error, stdout, stderr) => {
      resolve({ code: error ? (error.code ?? -1) : 0, stdout, stderr });
    });
  });
}

async function main() {
  const wsdl = fs.readFileSync(path.join(__dirname, 'wsManufInfo.wsdl'), 'utf8');
  const server = http.createServer();
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  await new Promise((resolve) => {
    soap.listen(server, { path: '/wsManufInfo.asmx', services: service, xml: wsdl, callback: resolve });
  });
  // (the SOAP server takes over the request listeners once ready, so this one comes after.)
  // Record what arrived on the wire next to the SOAP stack's own handling.
  server.prependListener('request', (req) => {
    const chunks = [];
    req.on('data', (c) => chunks.push(c));
    req.on('end', () => {
      received.push({
        action: req.headers.soapaction,
        type: req.headers['content-type'],
        contentLength: req.headers['content-length'],
        bytes: Buffer.concat(chunks).length,
      });
    });
  });
  const endpoint = `http://127.0.0.1:${server.address().port}/wsManufInfo.asmx`;

  const moduleDir = fs.mkdtempSync(path.join(os.tmpdir(), 'larkedi-interop-'));
  const env = { ...process.env, LARKEDI_MODULE_DIR: moduleDir };
  delete env.LARKEDI_PARTNER_ENDPOINT;
  delete env.LARKEDI_PARTNER_DEV_ENDPOINT;
  delete env.LARKEDI_PARTNER_NAMESPACE;
  const common = ['--endpoint', endpoint, '--timeout', '10'];

  try {
    let r = await run(['partner', 'manufacturers', ...common], env);
    assert.equal(r.code, 0, r.stderr);
    assert.equal(r.stdout, '100\tNorthwood Cabinets\nA<&B\tOdd & Co\n');

    r = await run(['partner', 'is-active', '100', ...common], env);
    assert.equal(r.stdout, 'true\n', r.stderr);

    r = await run(['partner', 'dealer-status', 'josé@exämple.com', 'p<&w]]>', ...common], env);
    assert.equal(r.code, 0, r.stderr);
    assert.match(r.stdout, /^status: 2\n/);
    assert.match(r.stdout, /<City>Québec<\/City>/);
    r = await run(['partner', 'dealer-status', 'josé@exämple.com', 'p<&w', ...common], env);
    assert.match(r.stdout, /^status: 3\n/);

    const ops = ['GetManufInfo', 'IsManufHaveEmail', 'IsDealerSupported', 'IsDealerSupported'];
    assert.equal(received.length, ops.length);
    received.forEach((got, i) => {
      assert.equal(got.action, NS + ops[i]);
      assert.equal(got.type, 'text/xml; charset=utf-8');
      assert.equal(Number(got.contentLength), got.bytes);
    });
    console.log(`soap peer interop: ${received.length} calls answered and read`);
  } finally {
    server.close();
    fs.rmSync(moduleDir, { recursive: true, force: true });
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
