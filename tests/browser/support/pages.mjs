// Test pages that load the demo's page-side client and time-box every wait,
// so a silent extension or host fails the test instead of hanging it.
import { sourceDir } from "../../../browser/driver/chromium.mjs";
import path from "node:path";
import { after, before } from "node:test";

import { startServer } from "./server.mjs";

export const clientPage = `<!doctype html>
<html><head><meta charset="utf-8"><title>client</title>
<script type="module">
import { QuillmarkClient } from "/demo/quillmark-client.js";
window.QuillmarkClient = QuillmarkClient;
window.withinTime = (promise, milliseconds, what) => Promise.race([promise,
  new Promise((resolve, reject) => setTimeout(() => reject(new Error("no answer to " + what)), milliseconds))]);
window.clientLoaded = true;
</script></head><body></body></html>`;

const serverSetup = {
  mounts: { "/demo/": path.join(sourceDir, "browser", "demo") },
  pages: { "/": clientPage },
};

// Serves the client page and the demo's scripts while the calling test file
// runs; the returned object gets the server's url() once it listens.
export function serveClientPages() {
  const server = {};
  before(async () => {
    Object.assign(server, await startServer(serverSetup));
  });
  after(() => server.close());
  return server;
}

export async function openClientPage(context, url) {
  const page = await context.newPage();
  await page.goto(url);
  await page.waitForFunction(() => window.clientLoaded === true);
  return page;
}

// Connects a new client and calls the given methods in turn; resolves with
// the host's answers.
export function connectAndCall(page, methods) {
  return page.evaluate(async (names) => {
    const client = new QuillmarkClient();
    await withinTime(client.connect(), 5000, "connect");
    const answers = [];
    for (const name of names) {
      answers.push(await withinTime(client.call(name), 10000, name));
    }
    return answers;
  }, methods);
}

// The error a GetVersion call ends with, or null when the host answered.
export function connectionFailure(page) {
  return page.evaluate(async () => {
    const client = new QuillmarkClient();
    await withinTime(client.connect(), 5000, "connect");
    try {
      await withinTime(client.call("GetVersion"), 10000, "GetVersion");
      return null;
    } catch (error) {
      return { code: error.code, message: error.message };
    }
  });
}

// { version } when the extension serves the page, { code } otherwise.
export function probe(page) {
  return page.evaluate(() => new QuillmarkClient({ probeTimeout: 1500 }).probe()
      .then((version) => ({ version }), (error) => ({ code: error.code })));
}

// Everything the extension posts back while the page connects and sends a
// call on its own, without the client's probe.
export function silentAnswers(page) {
  return page.evaluate(() => new Promise((resolve) => {
    const seen = [];
    window.addEventListener("message", (event) => {
      if (event.data && event.data.to === "page") seen.push(event.data);
    });
    for (const type of ["connect", "send"]) {
      window.postMessage({ channel: "quillmark", to: "extension", type,
        message: { method: "Quillmark.1.0.7.qt.QES.CreateInstance", args: [] } }, location.origin);
    }
    setTimeout(() => resolve(seen), 1500);
  }));
}
