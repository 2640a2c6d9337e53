// A desktop without a screen for quillmark's windows: an Xvfb display and
// xdotool to act on its windows as a user would, from outside the program.
import { execFile, spawn } from "node:child_process";
import { promisify } from "node:util";

const run = promisify(execFile);
const pause = (milliseconds) => new Promise((resolve) => setTimeout(resolve, milliseconds));

export async function startXvfb({ width = 1280, height = 1024 } = {}) {
  // -displayfd picks a free display number and writes it to descriptor 3.
  const server = spawn("Xvfb", ["-displayfd", "3", "-screen", "0", `${width}x${height}x24`, "-nolisten", "tcp", "-noreset"],
      { stdio: ["ignore", "ignore", "pipe", "pipe"] });
  let errors = "";
  server.stderr.on("data", (chunk) => { errors += chunk; });
  const number = await new Promise((resolve, reject) => {
    server.stdio[3].once("data", (data) => resolve(data.toString().trim()));
    server.once("exit", (code) => reject(new Error(`Xvfb ended with ${code}: ${errors}`)));
  });
  return {
    display: `:${number}`,
    async stop() {
      if (server.exitCode === null) {
        const ended = new Promise((resolve) => server.once("exit", resolve));
        server.kill("SIGTERM");
        await ended;
      }
    },
  };
}

export class Desktop {
  constructor(display) {
    this.display = display;
  }

  async xdotool(...args) {
    const { stdout } = await run("xdotool", args, { env: { ...process.env, DISPLAY: this.display } });
    return stdout.trim();
  }

  // The id of the first visible window whose title matches, waiting for it.
  async waitForWindow(titlePattern, timeout = 15000) {
    const deadline = Date.now() + timeout;
    while (Date.now() < deadline) {
      const ids = await this.xdotool("search", "--onlyvisible", "--name", titlePattern).catch(() => "");
      if (ids) {
        return new DesktopWindow(this, ids.split("\n")[0]);
      }
      await pause(100);
    }
    throw new Error(`no window titled ${titlePattern} appeared within ${timeout} ms`);
  }

  async waitUntilGone(titlePattern, timeout = 10000) {
    const deadline = Date.now() + timeout;
    while (Date.now() < deadline) {
      const ids = await this.xdotool("search", "--onlyvisible", "--name", titlePattern).catch(() => "");
      if (!ids) {
        return;
      }
      await pause(100);
    }
    throw new Error(`the window titled ${titlePattern} is still open after ${timeout} ms`);
  }

  // A PNG of the whole screen when ImageMagick's import is at hand.
  async screenshot(file) {
    try {
      await run("import", ["-window", "root", file], { env: { ...process.env, DISPLAY: this.display } });
      return true;
    } catch {
      return false;
    }
  }
}

export class DesktopWindow {
  constructor(desktop, id) {
    this.desktop = desktop;
    this.id = id;
  }

  title() {
    return this.desktop.xdotool("getwindowname", this.id);
  }

  async geometry() {
    const shell = await this.desktop.xdotool("getwindowgeometry", "--shell", this.id);
    const value = (name) => Number(new RegExp(`^${name}=(\\d+)$`, "m").exec(shell)[1]);
    return { width: value("WIDTH"), height: value("HEIGHT") };
  }

  // x, y relative to the window's top left corner.
  async click(x, y) {
    await this.desktop.xdotool("mousemove", "--window", this.id, String(x), String(y), "click", "1");
  }

  // Without a window manager, focus is given directly; the keys then go in
  // as real input, which Qt takes like a user's typing.
  async type(text) {
    await this.desktop.xdotool("windowfocus", "--sync", this.id);
    await this.desktop.xdotool("type", "--delay", "30", text);
  }

  async key(...keys) {
    await this.desktop.xdotool("windowfocus", "--sync", this.id);
    await this.desktop.xdotool("key", ...keys);
  }
}
