// The channel as a user's browser runs it: page -> content script -> service
// worker -> native messaging -> the real quillmark, in headless Chromium.
import assert from "node:assert/strict";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { describe, test } from "node:test";

import { hostName, launchChromium, outsideHost, stagedHostManifest } from "../../browser/driver/chromium.mjs";
import { connectAndCall, connectionFailure, openClientPage, probe, serveClientPages, silentAnswers } from "./support/pages.mjs";

const qualified = (name) => `Quillmark.1.0.7.qt.QES.${name}`;
const server = serveClientPages();

async function withBrowser(options, body) {
  const browser = await launchChromium(options);
  try {
    await body(browser);
  } finally {
    await browser.close();
  }
}

function writeScript(directory, name, text) {
  const file = path.join(directory, name);
  fs.writeFileSync(file, text, { mode: 0o755 });
  return file;
}

describe("allowed page with quillmark installed", () => {
  test("CreateInstance and GetVersion round trip through extension and host", async () => {
    await withBrowser({ hostManifest: stagedHostManifest() }, async ({ context }) => {
      const page = await openClientPage(context, server.url("/"));
      const [created, version] = await connectAndCall(page, ["CreateInstance", "GetVersion"]);
      assert.deepEqual(created, { error: null, method: qualified("CreateInstance"), result: null });
      assert.deepEqual(version, { error: null, method: qualified("GetVersion"), result: "1.0.7 (qt)" });
    });
  });

  test("no answer exceeds the browser's 1 MiB: an echoed 2 MiB argument comes back cut", async () => {
    await withBrowser({ hostManifest: stagedHostManifest() }, async ({ context }) => {
      const page = await openClientPage(context, server.url("/"));
      const [language, version] = await page.evaluate(async () => {
        const client = new QuillmarkClient();
        await withinTime(client.connect(), 5000, "connect");
        await withinTime(client.call("CreateInstance"), 10000, "CreateInstance");
        const echoing = await withinTime(client.call("SetLanguage", ["x".repeat(2 * 1024 * 1024)]), 20000,
            "SetLanguage");
        // Chromium drops the whole channel on a larger message: it must still serve.
        return [echoing, await withinTime(client.call("GetVersion"), 10000, "GetVersion")];
      });
      assert.match(language.error, /^The language x{4096} … \(2097152 characters\) is not supported\.$/);
      assert.ok(JSON.stringify(language).length < 64 * 1024);
      assert.equal(version.result, "1.0.7 (qt)");
    });
  });

  test("the host ends when the page disconnects", async () => {
    const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "quillmark-host-"));
    const pidFile = path.join(scratch, "pid");
    const wrapper = writeScript(scratch, "host",
        `#!/bin/sh\necho $$ > '${pidFile}'\nexec '${stagedHostManifest().path}' "$@"\n`);
    try {
      await withBrowser({ hostManifest: { ...stagedHostManifest(), path: wrapper } }, async ({ context }) => {
        const page = await openClientPage(context, server.url("/"));
        const [created] = await connectAndCall(page, ["CreateInstance"]);
        assert.equal(created.error, null);
        const pid = Number(fs.readFileSync(pidFile, "utf8"));
        assert.ok(fs.existsSync(`/proc/${pid}`), "host runs while connected");
        await page.evaluate(() => window.postMessage({ channel: "quillmark", to: "extension", type: "disconnect" },
            location.origin));
        const deadline = Date.now() + 5000;
        while (fs.existsSync(`/proc/${pid}`) && !fs.readFileSync(`/proc/${pid}/stat`, "utf8").includes(") Z ") &&
               Date.now() < deadline) {
          await new Promise((resolve) => setTimeout(resolve, 50));
        }
        const gone = !fs.existsSync(`/proc/${pid}`) || fs.readFileSync(`/proc/${pid}/stat`, "utf8").includes(") Z ");
        assert.ok(gone, "host process ended after the page disconnected");
      });
    } finally {
      fs.rmSync(scratch, { recursive: true, force: true });
    }
  });
});

describe("pages outside the allow-list", () => {
  test("get no answer while an allowed page in the same browser does", async () => {
    await withBrowser({ hostManifest: stagedHostManifest() }, async ({ context }) => {
      const allowed = await openClientPage(context, server.url("/"));
      const outside = await openClientPage(context, server.url("/", outsideHost));
      assert.deepEqual(await probe(allowed), { version: "1.0.7" });
      assert.deepEqual(await probe(outside), { code: "ExtensionNotInstalled" });
      assert.deepEqual(await silentAnswers(outside), []);
    });
  });
});

describe("host failures reach the page as clear errors", () => {
  const systemManifest = `/etc/chromium/native-messaging-hosts/${hostName}.json`;

  test("host not installed", { skip: fs.existsSync(systemManifest) && `${systemManifest} is installed` }, async () => {
    await withBrowser({ hostManifest: null }, async ({ context }) => {
      const page = await openClientPage(context, server.url("/"));
      assert.deepEqual(await connectionFailure(page), {
        code: "HostNotInstalled",
        message: "Quillmark is not installed on this computer. Install the Quillmark package and reload the page.",
      });
    });
  });

  test("host registered for another extension only", async () => {
    const manifest = { ...stagedHostManifest(), allowed_origins: ["chrome-extension://abcdefghijklmnopabcdefghijklmnop/"] };
    await withBrowser({ hostManifest: manifest }, async ({ context }) => {
      const page = await openClientPage(context, server.url("/"));
      const failure = await connectionFailure(page);
      assert.equal(failure.code, "HostForbidden");
      assert.match(failure.message, /does not allow this browser extension/);
    });
  });

  test("host that exits on the first message", async () => {
    const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "quillmark-host-"));
    try {
      // It takes the message before it goes: a host gone before Chromium has
      // written anything is reported as a broken connection instead.
      const quitter = writeScript(scratch, "host", "#!/bin/sh\nhead -c 4 >/dev/null\nexit 3\n");
      await withBrowser({ hostManifest: { ...stagedHostManifest(), path: quitter } }, async ({ context }) => {
        const page = await openClientPage(context, server.url("/"));
        assert.deepEqual(await connectionFailure(page), { code: "HostExited", message: "Quillmark has closed." });
      });
    } finally {
      fs.rmSync(scratch, { recursive: true, force: true });
    }
  });
});
