// Test pages that load the demo's page-side client and time-box every wait,
// so a silent extension or host fails the test instead of hanging it.
import { sourceDir } from "../../../browser/driver/chromium.mjs";
import path from "node:path";

export const clientPage = `<!doctype html>
<html><head><meta charset="utf-8"><title>client</title>
<script type="module">
import { QuillmarkClient } from "/demo/quillmark-client.js";
window.QuillmarkClient = QuillmarkClient;
window.withinTime = (promise, milliseconds, what) => Promise.race([promise,
  new Promise((resolve, reject) => setTimeout(() => reject(new Error("no answer to " + what)), milliseconds))]);
window.clientLoaded = true;
</script></head><body></body></html>`;

export const serverSetup = {
  mounts: { "/demo/": path.join(sourceDir, "browser", "demo") },
  pages: { "/": clientPage },
};

export async function openClientPage(context, url) {
  const page = await context.newPage();
  await page.goto(url);
  await page.waitForFunction(() => window.clientLoaded === true);
  return page;
}
