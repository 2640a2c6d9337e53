// The extension's own rules: which pages it serves, how host failures are
// named, and that its manifests, key, host registrations and catalogues agree.
import assert from "node:assert/strict";
import crypto from "node:crypto";
import fs from "node:fs";
import path from "node:path";
import { describe, test } from "node:test";

import { developmentExtensionDir, extensionDir } from "../../browser/driver/chromium.mjs";
import { hostErrorCode, hostErrorCodes } from "../../browser/extension/hosterrors.js";
import { originAllowed } from "../../browser/extension/origins.js";

const readJson = (file) => JSON.parse(fs.readFileSync(file, "utf8"));
const chromiumManifest = readJson(path.join(extensionDir, "manifest.json"));
const firefoxManifest = readJson(path.join(extensionDir, "manifest.firefox.json"));
const matchPatterns = (manifest) => manifest.content_scripts.flatMap((script) => script.matches);
const patterns = matchPatterns(chromiumManifest);
const developmentPatterns = matchPatterns(readJson(path.join(developmentExtensionDir(), "manifest.json")));
const firefoxDevelopmentManifest =
    readJson(path.join(process.env.QUILLMARK_BINARY_DIR, "browser", "firefox-extension", "manifest.json"));
const firefoxDevelopmentPatterns = matchPatterns(firefoxDevelopmentManifest);
const localOrigins = ["http://127.0.0.1:8123", "http://127.0.0.1", "http://localhost:40000"];
const productOrigins = ["https://varnek.eu", "https://sign.varnek.eu", "https://a.b.varnek.eu:8443"];
const hostManifestDir = process.env.QUILLMARK_HOST_MANIFESTS;

describe("allow-list", () => {
  test("the release extension serves the product's https origins and no local page", () => {
    assert.ok(patterns.every((pattern) => pattern.startsWith("https://")), patterns.join(" "));
    for (const origin of productOrigins) {
      assert.ok(originAllowed(origin, patterns), origin);
    }
    for (const origin of localOrigins) {
      assert.equal(originAllowed(origin, patterns), false, origin);
    }
  });

  test("the development variants add the demo origins on any port", () => {
    for (const variant of [developmentPatterns, firefoxDevelopmentPatterns]) {
      for (const origin of [...localOrigins, ...productOrigins]) {
        assert.ok(originAllowed(origin, variant), origin);
      }
    }
  });

  test("refuses look-alikes, other schemes and other loopback names", () => {
    for (const origin of ["http://varnek.eu", "https://evilvarnek.eu", "https://varnek.eu.attacker.test",
                          "https://127.0.0.1", "http://127.0.0.2:8123", "http://localhost.attacker.test",
                          "file:///tmp/page.html", "null", "", "http://user@127.0.0.1:8123",
                          "chrome-extension://lgllfakihkobjkboobpickmnaedemain"]) {
      assert.equal(originAllowed(origin, developmentPatterns), false, origin);
    }
  });

  test("a pattern with a port admits that port only", () => {
    assert.ok(originAllowed("http://localhost:8080", ["http://localhost:8080/*"]));
    assert.equal(originAllowed("http://localhost:8081", ["http://localhost:8080/*"]), false);
  });
});

describe("host failure names", () => {
  test("Firefox's texts and a silent disconnect", () => {
    assert.equal(hostErrorCode("No such native application eu.varnek.quillmark"), "HostNotInstalled");
    assert.equal(hostErrorCode(""), "HostExited");
    assert.equal(hostErrorCode(undefined), "HostExited");
    assert.equal(hostErrorCode("Something new went wrong."), "HostUnknownError");
  });

  test("every code has an English and a Slovak text, and the catalogues have the same keys", () => {
    const catalogue = (language) => readJson(path.join(extensionDir, "_locales", language, "messages.json"));
    const english = catalogue("en");
    const slovak = catalogue("sk");
    assert.deepEqual(Object.keys(slovak).sort(), Object.keys(english).sort());
    for (const code of [...hostErrorCodes, "NotConnected"]) {
      assert.ok(english["error" + code], code);
      assert.notEqual(slovak["error" + code].message, english["error" + code].message, code);
    }
    const used = new Set();
    for (const file of ["manifest.json", "manifest.firefox.json", "content.js", "background.js"]) {
      const text = fs.readFileSync(path.join(extensionDir, file), "utf8");
      for (const [, manifestKey, scriptKey] of text.matchAll(/__MSG_(\w+)__|getMessage\("(\w+)"\)/g)) {
        used.add(manifestKey || scriptKey);
      }
    }
    for (const key of used) {
      assert.ok(english[key], key);
    }
  });
});

describe("manifests and registrations agree", () => {
  // The development variants also serve local pages: a host registered for
  // users that admitted them would take orders from any local listener.
  test("each variant's id derives from its key; users' hosts admit the release only", () => {
    const idOf = (manifest) => {
      const digest = crypto.createHash("sha256").update(Buffer.from(manifest.key, "base64")).digest("hex");
      return [...digest.slice(0, 32)].map((digit) => String.fromCharCode(97 + parseInt(digit, 16))).join("");
    };
    const releaseIds = { chromium: idOf(chromiumManifest), firefox: firefoxManifest.browser_specific_settings.gecko.id };
    const developmentIds = { chromium: idOf(readJson(path.join(developmentExtensionDir(), "manifest.json"))),
                             firefox: firefoxDevelopmentManifest.browser_specific_settings.gecko.id };
    const admitted = (variant) => ({
      chromium: readJson(path.join(hostManifestDir, variant, "chromium", "eu.varnek.quillmark.json")).allowed_origins,
      firefox: readJson(path.join(hostManifestDir, variant, "firefox", "eu.varnek.quillmark.json")).allowed_extensions,
    });
    for (const browser of ["chromium", "firefox"]) {
      assert.notEqual(developmentIds[browser], releaseIds[browser], browser);
    }
    assert.deepEqual(admitted("packaged"), { chromium: [`chrome-extension://${releaseIds.chromium}/`],
                                             firefox: [releaseIds.firefox] });
    assert.deepEqual(admitted("stage"), { chromium: [`chrome-extension://${developmentIds.chromium}/`],
                                          firefox: [developmentIds.firefox] });
  });

  test("the development private key stays out of the extension", () => {
    const files = fs.readdirSync(extensionDir, { recursive: true });
    assert.deepEqual(files.filter((file) => /\.(pem|key|crx)$/.test(file)), []);
  });

  test("the Firefox manifest serves the same pages and is allowed by its host registration", () => {
    assert.deepEqual(firefoxManifest.content_scripts, chromiumManifest.content_scripts);
    assert.equal(firefoxManifest.version, chromiumManifest.version);
    assert.deepEqual(firefoxManifest.permissions, chromiumManifest.permissions);
    const host = readJson(path.join(hostManifestDir, "packaged", "firefox", "eu.varnek.quillmark.json"));
    assert.deepEqual(host.allowed_extensions, [firefoxManifest.browser_specific_settings.gecko.id]);
    assert.equal(host.path, "/opt/varnek/quillmark/bin/quillmark");
  });
});
