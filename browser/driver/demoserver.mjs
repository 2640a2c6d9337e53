// Runs the development signing server and follows its log lines.
import { spawn } from "node:child_process";
import readline from "node:readline";

const pause = (milliseconds) => new Promise((resolve) => setTimeout(resolve, milliseconds));

export async function startDemoServer(binary, args = [], { echo = false } = {}) {
  const server = spawn(binary, args, { stdio: ["ignore", "pipe", "inherit"] });
  const lines = [];
  readline.createInterface({ input: server.stdout }).on("line", (line) => {
    lines.push(line);
    if (echo) console.log(`  server: ${line}`);
  });
  const exited = new Promise((resolve) => server.once("exit", resolve));

  // The first line matching pattern among those logged from index `from` on.
  async function waitForLine(pattern, { from = 0, timeout = 15000 } = {}) {
    const deadline = Date.now() + timeout;
    while (Date.now() < deadline) {
      const line = lines.slice(from).find((candidate) => pattern.test(candidate));
      if (line) return line;
      if (server.exitCode !== null) break;
      await pause(50);
    }
    throw new Error(`the demo server did not log ${pattern} within ${timeout} ms`);
  }

  const first = await waitForLine(/^Demo server: /);
  return {
    url: first.replace(/^Demo server: /, ""),
    lines,
    waitForLine,
    // Index to pass as `from`, so that only later lines count.
    mark: () => lines.length,
    async stop() {
      if (server.exitCode === null) {
        server.kill("SIGTERM");
        await exited;
      }
    },
  };
}
