// The Firefox variant of the extension in Debian's Firefox ESR: page ->
// content script -> background script -> native messaging -> the real
// quillmark, registered the way a user's Firefox finds it.
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, describe, test } from "node:test";

import { hostName, outsideHost } from "../../browser/driver/chromium.mjs";
import { launchFirefox } from "../../browser/driver/firefox.mjs";
import { connectAndCall, connectionFailure, openClientPage, probe, serveClientPages, silentAnswers } from "./support/pages.mjs";

const extension = path.join(process.env.QUILLMARK_BINARY_DIR, "browser", "firefox-extension");
const hostManifest = JSON.parse(fs.readFileSync(
    path.join(process.env.QUILLMARK_HOST_MANIFESTS, "stage", "firefox", `${hostName}.json`), "utf8"));
const qualified = (name) => `Quillmark.1.0.7.qt.QES.${name}`;
const server = serveClientPages();

describe("Firefox with quillmark registered", () => {
  let browser;
  before(async () => {
    browser = await launchFirefox({ extension, hostManifest });
  });
  after(async () => {
    await browser?.close();
  });

  test("installs under the id the host registration allows", () => {
    assert.deepEqual(hostManifest.allowed_extensions, [browser.extensionId]);
  });

  test("CreateInstance and GetVersion round trip through extension and host", async () => {
    const page = await openClientPage(browser.context, server.url("/"));
    const [created, version] = await connectAndCall(page, ["CreateInstance", "GetVersion"]);
    assert.deepEqual(created, { error: null, method: qualified("CreateInstance"), result: null });
    assert.deepEqual(version, { error: null, method: qualified("GetVersion"), result: "1.0.7 (qt)" });
  });

  test("a page outside the allow-list gets no answer while an allowed one does", async () => {
    const allowed = await openClientPage(browser.context, server.url("/"));
    const outside = await openClientPage(browser.context, server.url("/", outsideHost));
    assert.deepEqual(await probe(allowed), { version: "1.0.7" });
    assert.deepEqual(await probe(outside), { code: "ExtensionNotInstalled" });
    assert.deepEqual(await silentAnswers(outside), []);
  });
});

describe("Firefox without quillmark", () => {
  const systemManifest = `/usr/lib/mozilla/native-messaging-hosts/${hostName}.json`;

  test("the page learns that quillmark is not installed",
      { skip: fs.existsSync(systemManifest) && `${systemManifest} is installed` }, async () => {
    const browser = await launchFirefox({ extension });
    try {
      const page = await openClientPage(browser.context, server.url("/"));
      assert.deepEqual(await connectionFailure(page), {
        code: "HostNotInstalled",
        message: "Quillmark is not installed on this computer. Install the Quillmark package and reload the page.",
      });
    } finally {
      await browser.close();
    }
  });
});
