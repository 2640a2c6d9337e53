// Starts Debian's Firefox ESR headless with a fresh profile and drives it over
// its built-in WebDriver BiDi. The extension is installed temporarily, the way
// an unsigned development build is loaded; Firefox finds native-messaging
// hosts in $HOME/.mozilla/native-messaging-hosts/, so HOME is a scratch
// directory holding the registration under test.
import { spawn } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import readline from "node:readline";
import WebSocket from "ws";

import { hostName, outsideHost } from "./chromium.mjs";

const firefoxPath = process.env.QUILLMARK_FIREFOX || "/usr/bin/firefox-esr";

// Firefox applies its own automation preferences (no first-run pages, no
// background updates) when remote debugging is on; the outside host resolves
// to loopback, as in the Chromium runs.
const preferences = {
  "network.dns.localDomains": outsideHost,
};

function writeProfile(directory) {
  const lines = Object.entries(preferences).map(([name, value]) => `user_pref(${JSON.stringify(name)}, ${JSON.stringify(value)});`);
  fs.writeFileSync(path.join(directory, "user.js"), lines.join("\n") + "\n");
}

function bidiAddress(firefox) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error("Firefox did not open WebDriver BiDi")), 15000);
    firefox.once("exit", (code) => reject(new Error(`Firefox exited with ${code}`)));
    readline.createInterface({ input: firefox.stderr }).on("line", (line) => {
      const match = /WebDriver BiDi listening on (ws:\/\/\S+)/.exec(line);
      if (match) {
        clearTimeout(timer);
        resolve(match[1]);
      }
    });
  });
}

class Bidi {
  constructor(socket) {
    this.socket = socket;
    this.nextId = 1;
    this.pending = new Map();
    socket.on("message", (data) => {
      const reply = JSON.parse(data);
      const call = this.pending.get(reply.id);
      if (!call) return;
      this.pending.delete(reply.id);
      if (reply.type === "error") call.reject(new Error(`${reply.error}: ${reply.message}`));
      else call.resolve(reply.result);
    });
  }

  send(method, params = {}) {
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      this.socket.send(JSON.stringify({ id, method, params }));
    });
  }
}

// The subset of a Playwright page the shared test helpers use. Values cross
// as JSON so that no BiDi remote-value decoding is needed.
class Page {
  constructor(bidi, context) {
    this.bidi = bidi;
    this.context = context;
  }

  goto(url) {
    return this.bidi.send("browsingContext.navigate", { context: this.context, url, wait: "complete" });
  }

  async evaluate(fn, argument) {
    const { result, exceptionDetails } = await this.bidi.send("script.callFunction", {
      functionDeclaration: `async (json) => JSON.stringify(await (${fn})(JSON.parse(json)) ?? null)`,
      arguments: [{ type: "string", value: JSON.stringify(argument ?? null) }],
      target: { context: this.context },
      awaitPromise: true,
    });
    if (exceptionDetails) throw new Error(`in the page: ${exceptionDetails.text}`);
    return JSON.parse(result.value);
  }

  async waitForFunction(fn, { timeout = 10000 } = {}) {
    const deadline = Date.now() + timeout;
    while (!await this.evaluate(fn)) {
      if (Date.now() > deadline) throw new Error(`page never satisfied ${fn}`);
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
  }
}

// extension: the assembled Firefox extension directory; hostManifest: the
// registration to put in the scratch HOME, or null for a machine without
// Quillmark.
export async function launchFirefox({ extension, hostManifest = null }) {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "quillmark-firefox-"));
  const profile = path.join(scratch, "profile");
  const hosts = path.join(scratch, "home", ".mozilla", "native-messaging-hosts");
  fs.mkdirSync(profile);
  fs.mkdirSync(hosts, { recursive: true });
  writeProfile(profile);
  if (hostManifest) {
    fs.writeFileSync(path.join(hosts, `${hostName}.json`), JSON.stringify(hostManifest, null, 2));
  }

  const firefox = spawn(firefoxPath, ["--headless", "--no-remote", "--remote-debugging-port=0", "--profile", profile],
      { env: { ...process.env, HOME: path.join(scratch, "home") }, stdio: ["ignore", "ignore", "pipe"] });
  const exited = new Promise((resolve) => firefox.once("exit", resolve));
  async function close() {
    if (firefox.exitCode === null) {
      firefox.kill("SIGTERM");
      await exited;
    }
    fs.rmSync(scratch, { recursive: true, force: true });
  }
  try {
    const socket = new WebSocket(`${await bidiAddress(firefox)}/session`);
    await new Promise((resolve, reject) => socket.once("open", resolve).once("error", reject));
    const bidi = new Bidi(socket);
    await bidi.send("session.new", { capabilities: {} });
    const { extension: extensionId } = await bidi.send("webExtension.install",
        { extensionData: { type: "path", path: extension } });
    const { contexts } = await bidi.send("browsingContext.getTree", {});
    let blankTab = contexts[0].context;
    return {
      extensionId,
      context: {
        async newPage() {
          const context = blankTab || (await bidi.send("browsingContext.create", { type: "tab" })).context;
          blankTab = null;
          return new Page(bidi, context);
        },
      },
      async close() {
        socket.terminate();
        await close();
      },
    };
  } catch (error) {
    await close();
    throw error;
  }
}
