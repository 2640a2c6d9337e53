// The demo as a user meets it: the demo page from the development signing
// server in Chromium, quillmark's window on an X display, driven from outside.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import crypto from "node:crypto";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { after, before, test } from "node:test";

import { launchChromium, stagedHostManifest } from "../../browser/driver/chromium.mjs";
import { startDemoServer } from "../../browser/driver/demoserver.mjs";
import { Desktop, startXvfb } from "../../browser/driver/desktop.mjs";
import { DemoUser } from "../../browser/driver/scenario.mjs";

const tools = path.join(process.env.QUILLMARK_BINARY_DIR, "tools");
const serverBinary = path.join(tools, "demo-server", "quillmark-demo-server");
const braced = /^\{[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\}$/;
let scratch;
let token;
let xvfb;
let server;
let browser;
let user;

// A SoftHSM2 token with a signing certificate, as scripts/demo makes it;
// its settings come as NAME='value' lines.
function createDemoToken(directory) {
  const output = execFileSync(path.join(tools, "tokenfixture", "quillmark-demo-token"), [directory]).toString();
  return Object.fromEntries(output.trim().split("\n").map((line) => {
    const [, name, value] = /^(\w+)='(.*)'$/.exec(line);
    return [name, value];
  }));
}

before(async () => {
  scratch = fs.mkdtempSync(path.join(os.tmpdir(), "quillmark-demo-"));
  token = createDemoToken(path.join(scratch, "token"));
  xvfb = await startXvfb();
  server = await startDemoServer(serverBinary, ["--module", token.PKCS11_MODULE]);
  browser = await launchChromium({
    hostManifest: stagedHostManifest(),
    environment: { DISPLAY: xvfb.display, QT_QPA_PLATFORM: "xcb", SOFTHSM2_CONF: token.SOFTHSM2_CONF },
  });
  user = new DemoUser({
    page: await browser.context.newPage(),
    desktop: new Desktop(xvfb.display),
    server,
    layoutTool: path.join(process.env.QUILLMARK_BINARY_DIR, "tools", "window-layout", "quillmark-window-layout"),
  });
});

after(async () => {
  await browser?.close();
  await server?.stop();
  await xvfb?.stop();
  fs.rmSync(scratch, { recursive: true, force: true });
});

test("views the sample document through page 2 and ends with Terminate", async () => {
  await user.openDemoPage();
  await user.view();
  assert.match(await user.window.title(), /^Quillmark - .+ - DOC-[0-9A-F]{12}$/);
  await user.nextPage(2);
  await user.terminate();

  const transcript = await user.transcript();
  const events = transcript.filter((entry) => entry.from && entry.message.event)
      .map(({ message }) => ({ name: message.event.replace(/^Quillmark\.1\.0\.7\.qt\.QES\./, ""), args: message.args }));
  assert.deepEqual(events.map(({ name, args }) => [name, typeof args[0] === "number" ? args[0] : null]), [
    ["LoadConfigurationEvent", null],
    ["NeedGetDocumentInfoEvent", null],
    ["NeedGetDocumentPageEvent", 1],
    ["NeedGetDocumentPageEvent", 2],
    ["SigningProcessFinishedEvent", null],
  ]);
  assert.deepEqual(events[0].args, [""]);
  // This browser has stored no configuration yet, so the page answers with none.
  assert.deepEqual(transcript.filter((entry) => entry.to && entry.event),
      [{ to: "quillmark", event: "LoadConfigurationEvent", result: "" }]);
  const nonces = events.slice(1, 4).map(({ args }) => args[args.length - 1]);
  nonces.forEach((nonce) => assert.match(nonce, braced));
  assert.equal(new Set(nonces).size, 3, "every request has a fresh nonce");
  assert.deepEqual(events[4].args, [false]);

  const answers = transcript.filter((entry) => entry.from && entry.message.method);
  assert.ok(answers.length >= 10);
  assert.deepEqual(answers.filter(({ message }) => message.error !== null), []);
  const served = server.lines.filter((line) => /^document-/.test(line));
  assert.equal(served.length, 3, served.join("\n"));
  assert.match(served[0], /^document-info: DOC-[0-9A-F]{12}, 3 pages, session S-/);
  assert.deepEqual(served.slice(1), ["document-page: page 1", "document-page: page 2"]);
});

test("signs with the certificate on the demo token, and the server verifies the signature", async () => {
  await user.sign({ pin: token.TOKEN_PIN });

  const result = await user.signedResult();
  assert.equal(result.signed, true);
  assert.match(result.signer, /CN = Quillmark Demo Signer/);
  // Checked here again with the certificate from the token directory.
  const verified = crypto.verify("sha256", fs.readFileSync(path.join(process.env.QUILLMARK_SOURCE_DIR,
      "tools", "documentsource", "sample.pdf")), fs.readFileSync(token.SIGNER_CERTIFICATE),
      Buffer.from(result.signature, "hex"));
  assert.equal(verified, true);

  const transcript = await user.transcript();
  const sentToHost = transcript.filter((entry) => entry.to && entry.event);
  assert.equal(sentToHost.at(-1).event, "SaveConfigurationEvent");
  assert.equal(sentToHost.at(-1).result, true);
  const finished = transcript.filter((entry) => entry.from &&
      entry.message.event === "Quillmark.1.0.7.qt.QES.SigningProcessFinishedEvent");
  assert.deepEqual(finished.at(-1).message.args, [true]);
  assert.ok(server.lines.some((line) => line.startsWith("sign-finish: signature verified with")));
});
