// What a user does in the demo, scripted: clicks on the demo page (through
// Chromium) and in quillmark's own windows (through the X display, from
// outside the program). Shared by scripts/demo --headless and the tests.

import { execFile } from "node:child_process";
import { promisify } from "node:util";

const run = promisify(execFile);
const pause = (milliseconds) => new Promise((resolve) => setTimeout(resolve, milliseconds));
const qualified = (name) => `Quillmark.1.0.7.qt.QES.${name}`;

// The document window is titled "Quillmark - <server> - <document>" once the
// document information has arrived.
export const documentWindowTitle = "^Quillmark - ";
export const certificateWindowTitle = "^Select signing certificate$";
const pinDialogTitle = "^Varnek Quillmark$";
const messageBoxTitle = "^Quillmark$";

export class DemoUser {
  // page: the Playwright page; desktop: the Desktop quillmark's windows show
  // on; server: the running demo server; layoutTool: quillmark-window-layout,
  // which tells where a control lies; say: prints one step.
  constructor({ page, desktop, server, layoutTool, say = () => {} }) {
    this.page = page;
    this.desktop = desktop;
    this.server = server;
    this.layoutTool = layoutTool;
    this.say = say;
    this.window = null;
  }

  // Clicks a control of a quillmark window where a window of the same class
  // and size has it.
  async clickControl(window, kind, control) {
    const { width, height } = await window.geometry();
    const { stdout } = await run(this.layoutTool, [kind, control, String(width), String(height)], {
      env: { ...process.env, DISPLAY: this.desktop.display, QT_QPA_PLATFORM: "xcb" },
    });
    const [x, y] = stdout.trim().split(" ").map(Number);
    await window.click(x, y);
  }

  async eventsFromHost(name) {
    return (await this.transcript()).filter((entry) => entry.from && entry.message.event === qualified(name));
  }

  // Repeats an action until quillmark sends the event, as a user clicks
  // again when nothing happens (a button comes back a moment after a box).
  async untilEvent(name, action, attempts = 10) {
    const before = (await this.eventsFromHost(name)).length;
    for (let attempt = 0; attempt < attempts; ++attempt) {
      await action();
      const deadline = Date.now() + 500;
      while (Date.now() < deadline) {
        if ((await this.eventsFromHost(name)).length > before) return;
        await pause(50);
      }
    }
    throw new Error(`quillmark did not send ${name}`);
  }

  async answerPinDialog(pin, timeout) {
    const dialog = await this.desktop.waitForWindow(pinDialogTitle, timeout).catch(() => null);
    if (!dialog) return false;
    this.say("Type the token PIN and press Enter");
    await dialog.type(pin);
    await dialog.key("Return");
    await this.desktop.waitUntilGone(pinDialogTitle);
    return true;
  }

  transcript() {
    return this.page.evaluate(() => window.quillmarkTranscript.map((entry) => (
      // Page images are large; the checks need only their size.
      JSON.parse(JSON.stringify(entry, (key, value) =>
        typeof value === "string" && value.length > 2000 ? `<${value.length} characters>` : value)))));
  }

  async answersFromHost(method) {
    return (await this.transcript())
        .filter((entry) => entry.from && entry.message.method === qualified(method))
        .map((entry) => entry.message);
  }

  async waitForAnswers(method, count, timeout = 15000) {
    const deadline = Date.now() + timeout;
    while (Date.now() < deadline) {
      const answers = await this.answersFromHost(method);
      if (answers.length >= count) {
        const failed = answers.find((answer) => answer.error !== null);
        if (failed) throw new Error(`quillmark refused ${method}: ${failed.error}`);
        return answers;
      }
      await pause(100);
    }
    throw new Error(`quillmark did not answer ${method} ${count} times within ${timeout} ms`);
  }

  async waitForState(state, timeout = 15000) {
    await this.page.waitForFunction((expected) => document.body.dataset.state === expected, state, { timeout });
  }

  async openDemoPage() {
    this.say(`Open the demo page ${this.server.url}`);
    await this.page.goto(this.server.url);
    await this.waitForState("ready");
  }

  async view() {
    this.say("Click \"View\" on the demo page");
    await this.openDocumentWindow("#view");
    this.say(`Quillmark shows page 1 in the window "${await this.window.title()}"`);
  }

  async nextPage(expectedPage) {
    this.say("Click \"Next page\" in the Quillmark window");
    const shown = (await this.answersFromHost("ProcessGetDocumentPageResponse")).length;
    const mark = this.server.mark();
    await this.clickControl(this.window, "main", "btnNextPage");
    await this.server.waitForLine(new RegExp(`^document-page: page ${expectedPage}$`), { from: mark });
    await this.waitForAnswers("ProcessGetDocumentPageResponse", shown + 1);
    this.say(`Quillmark shows page ${expectedPage}`);
  }

  async openDocumentWindow(button) {
    const shown = (await this.answersFromHost("ProcessGetDocumentPageResponse")).length;
    const mark = this.server.mark();
    await this.page.click(button);
    await this.server.waitForLine(/^document-page: page 1$/, { from: mark });
    await this.waitForAnswers("ProcessGetDocumentPageResponse", shown + 1);
    this.window = await this.desktop.waitForWindow(documentWindowTitle);
  }

  // beforeSigning runs once the certificate is chosen, just before "Sign".
  async sign({ pin, beforeSigning = async () => {} }) {
    this.say("Click \"Sign\" on the demo page");
    await this.openDocumentWindow("#sign");
    this.say(`Quillmark shows page 1 for signing in the window "${await this.window.title()}"`);

    this.say("Click \"Click to choose signing certificate\"");
    await this.clickControl(this.window, "main", "btnChangeCert");
    const certificates = await this.desktop.waitForWindow(certificateWindowTitle);
    // Listing the token's certificates may need a login, asked at any time
    // before the list is shown.
    await this.answerPinDialog(pin, 3000);
    this.say("Choose the certificate on the demo token and press OK");
    await this.untilEvent("SaveConfigurationEvent", async () => {
      await this.answerPinDialog(pin, 200);
      await this.clickControl(certificates, "certform", "row:1");
      await this.clickControl(certificates, "certform", "btnOk");
    }, 20);
    await this.desktop.waitUntilGone(certificateWindowTitle);
    await beforeSigning();

    this.say("Click \"Sign\" in the Quillmark window");
    await this.untilEvent("NeedSignInitEvent", () => this.clickControl(this.window, "main", "btnSign"));
    if (!await this.answerPinDialog(pin, 15000)) {
      throw new Error("quillmark did not ask for the PIN");
    }
    const box = await this.desktop.waitForWindow(messageBoxTitle, 15000);
    this.say("Quillmark reports the document signed; press Enter");
    await box.key("Return");
    await this.waitForState("finished");
    this.window = null;
    this.say(`The page says "${await this.page.textContent("#status")}"`);
  }

  async signedResult() {
    return this.page.evaluate(() => fetch("/api/result").then((response) => response.json()));
  }

  async terminate() {
    this.say("Click \"Terminate\" on the demo page");
    await this.page.click("#terminate");
    await this.waitForState("closed");
    await this.desktop.waitUntilGone(documentWindowTitle);
    this.window = null;
    this.say(`The window is closed; the page says "${await this.page.textContent("#status")}"`);
  }
}
