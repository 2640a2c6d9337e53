// Starts the system Chromium (never a downloaded one) with the Quillmark
// extension loaded unpacked and a fresh profile. Native-messaging hosts for a
// custom profile are read from <profile>/NativeMessagingHosts/.
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { chromium } from "playwright-core";

export const sourceDir = process.env.QUILLMARK_SOURCE_DIR ||
    path.resolve(path.dirname(new URL(import.meta.url).pathname), "../..");
// The release extension, as given to users: production https origins only.
export const extensionDir = path.join(sourceDir, "browser", "extension");
// The development variant assembled by the build, which also serves the local
// origins of the demo server and the tests.
export function developmentExtensionDir(buildDir = process.env.QUILLMARK_BINARY_DIR) {
  if (!buildDir) {
    throw new Error("QUILLMARK_BINARY_DIR names the build directory (set by CTest)");
  }
  return path.join(buildDir, "browser", "development-extension");
}
export const hostName = "eu.varnek.quillmark";

const chromiumPath = process.env.QUILLMARK_CHROMIUM || "/usr/bin/chromium";

// Hosts resolved to loopback so pages can come from origins outside the
// extension's allow-list without leaving the machine.
export const outsideHost = "refused.test";

// headed: draw real windows on the display in DISPLAY (the scripted demo, so
// that its screenshots show the page beside quillmark's windows).
export function chromiumArguments(extension, { headed = false } = {}) {
  const display = headed
    ? ["--window-position=0,0", "--window-size=1280,1024"]
    : ["--headless=new"];
  return [
    ...display,
    "--no-sandbox",
    "--disable-gpu",
    "--no-first-run",
    "--no-default-browser-check",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--disable-quic",
    `--host-resolver-rules=MAP ${outsideHost} 127.0.0.1`,
    `--disable-extensions-except=${extension}`,
    `--load-extension=${extension}`,
  ];
}

export function installHostManifest(profile, manifest) {
  const directory = path.join(profile, "NativeMessagingHosts");
  fs.mkdirSync(directory, { recursive: true });
  fs.writeFileSync(path.join(directory, `${hostName}.json`), JSON.stringify(manifest, null, 2));
}

// hostManifest: the manifest object to register for this profile, or null
// for a machine without Quillmark.
export async function launchChromium({ hostManifest = null, environment = {}, headed = false,
                                      extension = developmentExtensionDir() } = {}) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "quillmark-chromium-"));
  if (hostManifest) {
    installHostManifest(profile, hostManifest);
  }
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath,
    headless: false,
    args: chromiumArguments(extension, { headed }),
    env: { ...process.env, ...environment },
  });
  const worker = context.serviceWorkers()[0] ||
      await context.waitForEvent("serviceworker", { timeout: 10000 });
  return {
    context,
    extensionId: new URL(worker.url()).host,
    async close() {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

export function stagedHostManifest() {
  const file = process.env.QUILLMARK_HOST_MANIFEST;
  if (!file) {
    throw new Error("QUILLMARK_HOST_MANIFEST names the staged host manifest (set by CTest)");
  }
  return JSON.parse(fs.readFileSync(file, "utf8"));
}
