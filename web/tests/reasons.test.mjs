// Why a bank's page cannot reach the bridge, as its customer meets it: the
// demo page and quorvel.js served from a public HTTPS origin, in headless
// Chromium, connecting to a real `quorvel host --listen`. Without the Local
// Network Access permission the browser blocks the socket; with it, the page
// reaches the bridge, which admits an origin the user allowed and refuses
// one the user denied. The page says which, in both its languages.
//
//   QUORVEL_PROGRAM=build/tools/quorvel node --test web/tests/reasons.test.mjs
//
// The site is served from 127.0.0.1 under names of its own, with a
// self-signed certificate; Chromium is told that address is public. The
// browser is Debian's chromium (CHROMIUM overrides its path), never a
// downloaded one.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync, spawn } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createServer } from "node:https";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { createInterface } from "node:readline";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

const program = process.env.QUORVEL_PROGRAM;
assert.ok(program, "QUORVEL_PROGRAM names the built quorvel program");
const artifacts = join(dirname(dirname(resolve(program))), "artifacts");

const root = mkdtempSync(join(tmpdir(), "quorvel-reasons-"));
const log = join(root, "ui.log");
const environment = {
  ...Object.fromEntries(Object.entries(process.env).filter(([name]) => !name.startsWith("QUORVEL_"))),
  QUORVEL_HOME: join(root, "home"),
  QUORVEL_UI: "script",
  QUORVEL_UI_SCRIPT: join(root, "script.json"),
  QUORVEL_UI_LOG: log,
};
const quorvel = (...args) => execFileSync(program, args, { env: environment, encoding: "utf8" });
const webFile = (name) => readFileSync(fileURLToPath(new URL(`../${name}`, import.meta.url)));

let bridge;
let bridgePort;
let site;
let browser;
const siteOrigin = (name) => `https://${name}:${site.address().port}`;

// The bank's copy of the demo page, which names the bridge it connects to.
function sitePage(path) {
  if (path === "/quorvel.js") return ["text/javascript", webFile("quorvel.js")];
  if (path === "/demo.js") return ["text/javascript", webFile("demo/demo.js")];
  if (path === "/demo.css") return ["text/css", webFile("demo/demo.css")];
  const bridgeMeta = `<meta name="quorvel-bridge" content="ws://127.0.0.1:${bridgePort}/">`;
  return ["text/html", String(webFile("demo/index.html")).replace("<head>", `<head>\n  ${bridgeMeta}`)];
}

before(async () => {
  writeFileSync(join(root, "script.json"), JSON.stringify({ answers: [] }));
  execFileSync(
    "openssl",
    ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=bank.example",
      "-keyout", join(root, "key.pem"), "-out", join(root, "cert.pem")],
    { stdio: "ignore" },
  );

  bridge = spawn(program, ["host", "--listen", "127.0.0.1:0"], { env: environment, stdio: ["ignore", "pipe", "inherit"] });
  const { value: line } = await createInterface({ input: bridge.stdout })[Symbol.asyncIterator]().next();
  bridgePort = Number(/ws:\/\/127\.0\.0\.1:(\d+)\//.exec(line ?? "")?.[1]);
  assert.ok(bridgePort > 0, `the bridge printed its address: ${line}`);

  site = createServer(
    { key: readFileSync(join(root, "key.pem")), cert: readFileSync(join(root, "cert.pem")) },
    (request, response) => {
      const [type, body] = sitePage(new URL(request.url, "https://bank.example").pathname);
      response.setHeader("Content-Type", `${type}; charset=utf-8`);
      response.end(body);
    },
  );
  await new Promise((resolve) => site.listen(0, "127.0.0.1", resolve));

  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
    args: [
      "--no-sandbox",
      `--ip-address-space-overrides=127.0.0.1:${site.address().port}=public`,
      "--ignore-certificate-errors",
      "--host-resolver-rules=MAP bank.example 127.0.0.1, MAP denied.example 127.0.0.1",
    ],
  });
  mkdirSync(artifacts, { recursive: true });
});

after(async () => {
  await browser?.close();
  site?.close();
  if (bridge) {
    const ended = new Promise((resolve) => bridge.once("exit", resolve));
    bridge.kill("SIGTERM");
    assert.equal(await ended, 0, "the bridge ends cleanly");
  }
  rmSync(root, { recursive: true, force: true });
});

test("a public page shows whether the browser or the bridge kept it out", { timeout: 120000 }, async () => {
  quorvel("host", "allow", siteOrigin("bank.example"));
  quorvel("host", "deny", siteOrigin("denied.example"));
  const cases = [
    // Headless Chromium cannot show the prompt, and fails the socket at once.
    {
      name: "bank.example",
      granted: false,
      reason: "blocked-by-browser",
      shown: ["code: -32011", "浏览器阻止了连接", "Local Network Access", "LocalNetworkAccessAllowedForUrls"],
      screenshot: "demo-blocked-by-browser.png",
    },
    { name: "bank.example", granted: true, state: "ready" },
    { name: "denied.example", granted: true, reason: "refused", shown: ["code: -32010", "签名控件拒绝了本网站"] },
  ];
  for (const { name, granted, state = "disconnected", reason, shown = [], screenshot } of cases) {
    const label = `${name}, permission ${granted ? "granted" : "not granted"}`;
    const context = await browser.newContext();
    if (granted) await context.grantPermissions(["local-network-access"], { origin: siteOrigin(name) });
    const page = await context.newPage();
    const problems = [];
    page.on("pageerror", (error) => problems.push(String(error)));
    await page.goto(`${siteOrigin(name)}/`);
    await page.waitForFunction(
      () => ["ready", "disconnected"].includes(document.getElementById("status").dataset.state),
      null,
      { timeout: 30000 },
    );
    const error = page.locator("#error");
    assert.equal(await page.locator("#status").getAttribute("data-state"), state, label);
    assert.equal(await error.getAttribute("data-reason"), reason ?? null, label);
    assert.equal(await page.locator("#reconnect").isVisible(), reason !== undefined, label);
    const text = reason ? await error.innerText() : "";
    for (const piece of shown) assert.ok(text.includes(piece), `${label}: ${piece} in ${text}`);
    if (screenshot) await page.screenshot({ path: join(artifacts, screenshot), fullPage: true });
    assert.deepEqual(problems, [], label);
    await context.close();
  }
  // Neither origin was asked about: one was allowed, the other denied.
  assert.ok(!existsSync(log) || !readFileSync(log, "utf8").includes("approval"));
});
