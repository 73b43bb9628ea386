// A page of a foreign origin in headless Chromium against a real `quorvel
// host --listen`: refused until the user approves the origin, admitted while
// the answer is remembered, refused again after `quorvel host deny`.
//
//   QUORVEL_PROGRAM=build/tools/quorvel node --test web/tests/origins.test.mjs
//
// Dialogs are answered by the `script` UI; the browser is Debian's chromium
// (CHROMIUM overrides its path), never a downloaded one.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync, spawn } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createServer } from "node:http";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { createInterface } from "node:readline";
import { chromium } from "playwright-core";

const program = process.env.QUORVEL_PROGRAM;
assert.ok(program, "QUORVEL_PROGRAM names the built quorvel program");

const root = mkdtempSync(join(tmpdir(), "quorvel-browser-"));
const home = join(root, "home");
const script = join(root, "script.json");
const log = join(root, "ui.log");
const environment = {
  ...Object.fromEntries(Object.entries(process.env).filter(([name]) => !name.startsWith("QUORVEL_"))),
  QUORVEL_HOME: home,
  QUORVEL_UI: "script",
  QUORVEL_UI_SCRIPT: script,
  QUORVEL_UI_LOG: log,
};

const quorvel = (...args) => execFileSync(program, args, { env: environment, encoding: "utf8" });
const dialogs = () =>
  readFileSync(log, "utf8").split("\n").filter(Boolean).map((line) => JSON.parse(line));

let bridge;
let port;
let browser;
let foreign;

before(async () => {
  quorvel("demo-pki");
  // The approval dialogs of the run, in order.
  writeFileSync(
    script,
    JSON.stringify({
      answers: [
        { dialog: "approval", answer: "dismissed" },
        { dialog: "approval", answer: "always" },
      ],
    }),
  );
  bridge = spawn(program, ["host", "--listen", "127.0.0.1:0"], {
    env: environment,
    stdio: ["ignore", "pipe", "inherit"],
  });
  const { value: line } = await createInterface({ input: bridge.stdout })[Symbol.asyncIterator]().next();
  port = Number(/ws:\/\/127\.0\.0\.1:(\d+)\//.exec(line ?? "")?.[1]);
  assert.ok(port > 0, `the bridge printed its address: ${line}`);

  // A page of another origin that opens a WebSocket to the bridge and says
  // whether it got in: a refused origin's socket opens, and is closed with
  // 4403 before anything is answered.
  foreign = createServer((request, response) => {
    response.setHeader("Content-Type", "text/html; charset=utf-8");
    response.end(`<!doctype html><title>Foreign</title><p id="result">pending</p><script>
      const socket = new WebSocket("ws://127.0.0.1:${port}/");
      const result = document.getElementById("result");
      socket.onopen = () => socket.send(JSON.stringify({
        jsonrpc: "2.0", id: 1, method: "create", params: { progid: "Quorvel.DrennicQuorvel2" } }));
      socket.onmessage = () => { result.textContent = "open"; };
      socket.onclose = (event) => {
        if (result.textContent === "pending") result.textContent = "refused " + event.code;
      };
    </script>`);
  });
  await new Promise((resolve) => foreign.listen(0, "127.0.0.1", resolve));

  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
    args: ["--no-sandbox"],
  });
});

after(async () => {
  await browser?.close();
  foreign?.close();
  if (bridge) {
    const ended = new Promise((resolve) => bridge.once("exit", resolve));
    bridge.kill("SIGTERM");
    assert.equal(await ended, 0, "the bridge ends cleanly");
  }
  rmSync(root, { recursive: true, force: true });
});

test("a foreign origin is refused until approved, and again after deny", async () => {
  const foreignOrigin = `http://127.0.0.1:${foreign.address().port}`;
  const attempt = async () => {
    const page = await browser.newPage();
    await page.goto(`${foreignOrigin}/`);
    await page.waitForFunction(() => document.getElementById("result").textContent !== "pending", null, {
      timeout: 30000,
    });
    const result = await page.locator("#result").textContent();
    await page.close();
    return result;
  };
  assert.equal(await attempt(), "refused 4403"); // the approval dialog is dismissed
  assert.equal(await attempt(), "open"); // approved: always
  assert.equal(await attempt(), "open"); // remembered, not asked again
  quorvel("host", "deny", foreignOrigin);
  assert.equal(await attempt(), "refused 4403");
  const approvals = dialogs().filter((dialog) => dialog.kind === "approval");
  assert.deepEqual(
    approvals.map((dialog) => [dialog.origin, dialog.answer]),
    [
      [foreignOrigin, "dismissed"],
      [foreignOrigin, "always"],
    ],
  );
  assert.match(quorvel("host", "list"), new RegExp(`deny\\t${foreignOrigin}`));
});
