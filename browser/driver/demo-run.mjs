// The demo without a screen: the demo server, Chromium with the extension
// (headless) and quillmark's windows on an Xvfb display, with the user's
// steps scripted. Prints every step and what the server verified.
//
//   node browser/driver/demo-run.mjs --build-dir build [--view-only]
// SOFTHSM2_CONF (or PCSCLITE_CSOCK_NAME for the demo card), PKCS11_MODULE,
// PKCS11_STORE_NAME and TOKEN_PIN describe the demo token.
import fs from "node:fs";
import path from "node:path";
import { parseArgs } from "node:util";

import { developmentExtensionDir, launchChromium } from "./chromium.mjs";
import { startDemoServer } from "./demoserver.mjs";
import { Desktop, startXvfb } from "./desktop.mjs";
import { DemoUser } from "./scenario.mjs";

const { values: options } = parseArgs({
  options: {
    "build-dir": { type: "string", default: "build" },
    "view-only": { type: "boolean", default: false },
    "screenshots": { type: "string" },
  },
});
const buildDir = path.resolve(options["build-dir"]);
let stepNumber = 0;
const say = (text) => console.log(`[${++stepNumber}] ${text}`);

async function screenshot(desktop, name) {
  if (options.screenshots && await desktop.screenshot(path.join(options.screenshots, `${name}.png`))) {
    console.log(`    screenshot ${path.join(options.screenshots, `${name}.png`)}`);
  }
}

async function main() {
  if (options.screenshots) fs.mkdirSync(options.screenshots, { recursive: true });
  const manifestFile = path.join(buildDir, "browser", "hosts", "stage", "chromium", "eu.varnek.quillmark.json");
  const xvfb = await startXvfb();
  const serverArgs = [
    ...(process.env.PKCS11_MODULE ? ["--module", process.env.PKCS11_MODULE] : []),
    ...(process.env.PKCS11_STORE_NAME ? ["--store-name", process.env.PKCS11_STORE_NAME] : []),
  ];
  const server = await startDemoServer(path.join(buildDir, "tools", "demo-server", "quillmark-demo-server"),
      serverArgs, { echo: true });
  const browser = await launchChromium({
    hostManifest: JSON.parse(fs.readFileSync(manifestFile, "utf8")),
    environment: { DISPLAY: xvfb.display, QT_QPA_PLATFORM: "xcb" },
    headed: true,
    extension: developmentExtensionDir(buildDir),
  });
  const desktop = new Desktop(xvfb.display);
  try {
    const user = new DemoUser({
      page: await browser.context.newPage(),
      desktop,
      server,
      layoutTool: path.join(buildDir, "tools", "window-layout", "quillmark-window-layout"),
      say,
    });
    await user.openDemoPage();
    await user.view();
    await screenshot(desktop, "1-page-1");
    await user.nextPage(2);
    await screenshot(desktop, "2-page-2");
    await user.terminate();
    if (!options["view-only"]) {
      await user.sign({
        pin: process.env.TOKEN_PIN,
        beforeSigning: () => screenshot(desktop, "3-ready-to-sign"),
      });
      await screenshot(desktop, "4-signed");
      const result = await user.signedResult();
      console.log(`Signature verified by the server:\n  signer    ${result.signer}\n` +
          `  document  ${result.documentName} (SHA-256 ${result.documentSha256})\n  signature ${result.signature}`);
    }
    console.log("Demo finished.");
  } finally {
    await browser.close();
    await server.stop();
    await xvfb.stop();
  }
}

main().catch((error) => {
  console.error(`Demo failed: ${error.message}`);
  process.exitCode = 1;
});
