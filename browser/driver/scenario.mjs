// What a user does in the demo, scripted: clicks on the demo page (through
// Chromium) and in quillmark's own windows (through the X display, from
// outside the program). Shared by scripts/demo --headless and the tests.

const pause = (milliseconds) => new Promise((resolve) => setTimeout(resolve, milliseconds));
const qualified = (name) => `Quillmark.1.0.7.qt.QES.${name}`;

// The document window is titled "Quillmark - <server> - <document>" once the
// document information has arrived.
export const documentWindowTitle = "^Quillmark - ";
export const certificateWindowTitle = "^Select signing certificate$";
// The top tool strip has a 5-pixel left margin and 20-pixel icon buttons:
// previous page, then next page.
const nextPageButton = { x: 46, y: 12 };
// The bottom strip ends, on the right, with the English "Click to choose
// signing certificate" and "Sign" buttons.
const changeCertificateButton = { fromRight: 190, fromBottom: 12 };

export class DemoUser {
  // page: the Playwright page; desktop: the Desktop quillmark's windows show
  // on; server: the running demo server; say: prints one step.
  constructor({ page, desktop, server, say = () => {} }) {
    this.page = page;
    this.desktop = desktop;
    this.server = server;
    this.say = say;
    this.window = null;
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
    await this.window.click(nextPageButton.x, nextPageButton.y);
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

  async sign({ pin }) {
    this.say("Click \"Sign\" on the demo page");
    await this.openDocumentWindow("#sign");
    this.say(`Quillmark shows page 1 for signing in the window "${await this.window.title()}"`);
    this.say("Click \"Click to choose signing certificate\" in the Quillmark window");
    const { width, height } = await this.window.geometry();
    await this.window.click(width - changeCertificateButton.fromRight, height - changeCertificateButton.fromBottom);
    await this.desktop.waitForWindow(certificateWindowTitle, 10000).catch(() => {
      throw new Error("the certificate selection window did not open: this build of quillmark cannot " +
          "choose a signing certificate yet, so the document cannot be signed");
    });
    throw new Error(`choosing the certificate and entering the PIN (${pin ? "known" : "unknown"}) ` +
        "are not scripted yet");
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
