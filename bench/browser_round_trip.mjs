// A small call's round trip from a page in headless Chromium, through the
// Quorvel extension and its native host, beside the same call over the
// WebSocket bridge, in the same run and the same page.
//
//   node bench/browser_round_trip.mjs build-bench/tools/quorvel [calls]
//
// The page is served from the loopback address, where both transports reach
// the host without a Local Network Access prompt. Each side makes `calls`
// QVBase64Encode calls of 16 bytes after 50 of warming up, paced under the
// hosts' message rate; the medians and the 90th percentiles are printed in
// milliseconds.
import assert from "node:assert/strict";
import { execFileSync, spawn } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { createServer } from "node:http";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { createInterface } from "node:readline";
import { fileURLToPath } from "node:url";

const require = createRequire(new URL("../web/tests/package.json", import.meta.url));
const { chromium } = require("playwright-core");

const program = resolve(process.argv[2] ?? "build/tools/quorvel");
const calls = Number(process.argv[3] ?? 500);
const extension = join(dirname(dirname(program)), "web", "extension");
const root = mkdtempSync(join(tmpdir(), "quorvel-round-trip-"));
const environment = {
  ...Object.fromEntries(Object.entries(process.env).filter(([name]) => !name.startsWith("QUORVEL_"))),
  HOME: join(root, "home"),
  XDG_CONFIG_HOME: join(root, "config"),
  QUORVEL_HOME: join(root, "quorvel"),
  QUORVEL_UI: "none",
};
const quorvel = (...args) => execFileSync(program, args, { env: environment, encoding: "utf8" });

const site = createServer((request, response) => {
  if (request.url === "/quorvel.js") {
    response.setHeader("Content-Type", "text/javascript");
    response.end(readFileSync(fileURLToPath(new URL("../web/quorvel.js", import.meta.url))));
    return;
  }
  response.setHeader("Content-Type", "text/html");
  response.end('<script type="module">import * as q from "/quorvel.js"; window.quorvel = q;</script>');
});
await new Promise((done) => site.listen(0, "127.0.0.1", done));
const origin = `http://127.0.0.1:${site.address().port}`;
quorvel("browser", "install", "--browser", "chromium");
quorvel("host", "allow", origin);

const bridge = spawn(program, ["host", "--listen", "127.0.0.1:0"], {
  env: environment,
  stdio: ["ignore", "pipe", "inherit"],
});
const { value: line } = await createInterface({ input: bridge.stdout })[Symbol.asyncIterator]().next();
const url = /ws:\/\/127\.0\.0\.1:\d+\//.exec(line ?? "")?.[0];
assert.ok(url, `the bridge printed its address: ${line}`);

const context = await chromium.launchPersistentContext(join(environment.XDG_CONFIG_HOME, "chromium"), {
  executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
  headless: true,
  env: environment,
  args: ["--no-sandbox", `--disable-extensions-except=${extension}`, `--load-extension=${extension}`],
});
try {
  const page = await context.newPage();
  await page.goto(`${origin}/`);
  await page.waitForFunction(() => window.quorvel !== undefined);
  const results = await page.evaluate(
    async ({ url, calls }) => {
      const measure = async (ctl) => {
        const times = [];
        let previous = 0;
        for (let i = 0; i < 50 + calls; i++) {
          // Calls are paced under the hosts' 200 messages a second.
          while (performance.now() - previous < 7) await new Promise((done) => setTimeout(done, 1));
          const start = (previous = performance.now());
          const { status } = await ctl.QVBase64Encode("0123456789abcdef");
          if (status !== 0) throw new Error("the call failed");
          if (i >= 50) times.push(performance.now() - start);
        }
        await ctl.close();
        times.sort((a, b) => a - b);
        return { median: times[Math.floor(times.length / 2)], p90: times[Math.floor(times.length * 0.9)] };
      };
      const { Quorvel } = window.quorvel;
      // Interleaved halves, so that a shared machine's load falls on both.
      const extension = [];
      const websocket = [];
      for (let round = 0; round < 2; round++) {
        extension.push(await measure(await Quorvel.connect({ transport: "extension" })));
        websocket.push(await measure(await Quorvel.connect(url)));
      }
      const mean = (list, key) => list.reduce((sum, item) => sum + item[key], 0) / list.length;
      return {
        extension: { median: mean(extension, "median"), p90: mean(extension, "p90") },
        websocket: { median: mean(websocket, "median"), p90: mean(websocket, "p90") },
      };
    },
    { url, calls: Math.floor(calls / 2) },
  );
  const ms = (value) => value.toFixed(3);
  console.log(`transport   median_ms  p90_ms  (${calls} calls each)`);
  for (const [name, { median, p90 }] of Object.entries(results)) {
    console.log(`${name.padEnd(10)}  ${ms(median).padStart(9)}  ${ms(p90).padStart(6)}`);
  }
  const difference = results.extension.median - results.websocket.median;
  console.log(`extension - websocket median: ${ms(difference)} ms (target: within 2 ms)`);
} finally {
  await context.close();
  bridge.kill("SIGTERM");
  site.close();
  rmSync(root, { recursive: true, force: true });
}
