// The demo page and quorvel.js in headless Chromium against `quorvel host
// --listen` over a fresh demo PKI home: what the page shows after signing,
// verifying and sealing, how it reports a failed member and refused input,
// the rules for web pages as the client meets them, and a bridge that goes
// away and comes back.
//
//   QUORVEL_PROGRAM=build/tools/quorvel node --test web/tests/e2e.test.mjs
//
// Screenshots go to artifacts/ in the build tree of QUORVEL_PROGRAM, beside
// the Qt chooser's picture.
// Dialogs are answered by the `script` UI; the browser is Debian's chromium
// (CHROMIUM overrides its path), never a downloaded one.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync, spawn } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { createHash } from "node:crypto";
import { createInterface } from "node:readline";
import { chromium } from "playwright-core";

const program = process.env.QUORVEL_PROGRAM;
assert.ok(program, "QUORVEL_PROGRAM names the built quorvel program");
const artifacts = join(dirname(dirname(resolve(program))), "artifacts");
const E_ACCESSDENIED = -2147024891;

const root = mkdtempSync(join(tmpdir(), "quorvel-e2e-"));
const script = join(root, "script.json");
const log = join(root, "ui.log");
const attachment = join(root, "invoice.txt");
const environment = {
  ...Object.fromEntries(Object.entries(process.env).filter(([name]) => !name.startsWith("QUORVEL_"))),
  QUORVEL_HOME: join(root, "home"),
  QUORVEL_UI: "script",
  QUORVEL_UI_SCRIPT: script,
  QUORVEL_UI_LOG: log,
};
const quorvel = (...args) => execFileSync(program, args, { env: environment, encoding: "utf8" });
// The dialogs shown so far; the log is made by the first one.
const dialogs = () =>
  existsSync(log)
    ? readFileSync(log, "utf8").split("\n").filter(Boolean).map((line) => JSON.parse(line))
    : [];
const storeEntries = (store) => JSON.parse(quorvel("store", "list", "--store", store, "--json"));

let bridge = null;
let port = 0;
let browser;

// Starts the bridge (on a free port the first time, on the same one after)
// and waits for its address line.
async function startBridge() {
  bridge = spawn(program, ["host", "--listen", `127.0.0.1:${port}`], {
    env: environment,
    stdio: ["ignore", "pipe", "inherit"],
  });
  const lines = createInterface({ input: bridge.stdout })[Symbol.asyncIterator]();
  const { value: line } = await lines.next();
  port = Number(/ws:\/\/127\.0\.0\.1:(\d+)\//.exec(line ?? "")?.[1]);
  assert.ok(port > 0, `the bridge printed its address: ${line}`);
}

async function stopBridge() {
  if (!bridge) return;
  const ended = new Promise((resolve) => bridge.once("exit", resolve));
  bridge.kill("SIGTERM");
  assert.equal(await ended, 0, "the bridge ends cleanly");
  bridge = null;
}

before(async () => {
  quorvel("demo-pki");
  // The signer seals the envelope for himself: envelopes find their
  // recipients among other parties, so his certificate joins the address book.
  const zhangSan = storeEntries("MY").find((entry) => entry.subject.startsWith("CN=Zhang San"));
  const own = join(root, "zhang-san.cer");
  quorvel("store", "export", "--store", "MY", "--out", own, zhangSan.sha1);
  quorvel("store", "import", own, "--store", "AddressBOOK");
  writeFileSync(attachment, "Invoice 2026-207: 100.00 CNY\n");
  // Every dialog of the run, in the order the test below causes them.
  writeFileSync(
    script,
    JSON.stringify({
      answers: [
        { dialog: "open", path: attachment },
        { dialog: "chooser", actions: [{ select: 0 }, "ok"] },
        { dialog: "consent", answer: "confirm" },
        { dialog: "consent", answer: "confirm" },
        { dialog: "chooser", actions: ["cancel"] },
      ],
    }),
  );
  await startBridge();
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
    args: ["--no-sandbox"],
  });
  mkdirSync(artifacts, { recursive: true });
});

after(async () => {
  await browser?.close();
  await stopBridge();
  rmSync(root, { recursive: true, force: true });
});

async function waitForState(page, state) {
  await page.waitForFunction((wanted) => document.getElementById("status").dataset.state === wanted, state, {
    timeout: 30000,
  });
}

// Clicks `button` and waits for the page to reach `state`; fails with the
// page's own account when it shows an error instead.
async function act(page, button, state) {
  await page.click(`#${button}`);
  await page.waitForFunction(
    (wanted) => {
      const current = document.getElementById("status").dataset.state;
      return current === wanted || current === "failed" || current === "disconnected";
    },
    state,
    { timeout: 30000 },
  );
  const error = page.locator("#error");
  assert.ok(await error.isHidden(), `the page shows an error: ${await error.innerText()}`);
  assert.equal(await page.locator("#status").getAttribute("data-state"), state);
}

const sha256 = (bytes) => createHash("sha256").update(bytes).digest("hex");

const texts = (page, selector) => page.locator(selector).evaluateAll((nodes) => nodes.map((n) => n.textContent));

test("the demo page signs, verifies, seals, reports failures and reconnects", async () => {
  const page = await browser.newPage();
  const problems = [];
  page.on("pageerror", (error) => problems.push(String(error)));
  page.on("response", (response) => {
    if (response.status() >= 400 && !response.url().endsWith("/favicon.ico")) {
      problems.push(`${response.status()} ${response.url()}`);
    }
  });
  await page.goto(`http://127.0.0.1:${port}/demo/`);
  await waitForState(page, "ready");

  // quorvel.js in the page's origin, on a connection of its own.
  const client = await page.evaluate(async () => {
    const { Quorvel } = await import("/quorvel.js");
    const ctl = await Quorvel.connect(`ws://${location.host}/`);
    const outcome = async (promise) => promise.then((answer) => ({ answer }), (error) => ({ code: error.code }));
    // A hundred calls at once, each matched to its own answer.
    const inputs = Array.from({ length: 100 }, (_, i) => `第 ${i} 行`);
    const encoded = await Promise.all(inputs.map((text) => ctl.QVBase64Encode(text)));
    const decoded = await Promise.all(encoded.map((answer) => ctl.QVBase64Decode(answer.value)));
    const result = {
      roundTrips: decoded.every((answer, i) => answer.status === 0 && answer.value === inputs[i]),
      namedFile: await outcome(ctl.QVAddFile("/etc/hostname")),
      namedFileForEncrypt: await outcome(ctl.QVAddFileForEncrypt("/etc/hostname")),
      serverMode: await outcome(ctl.put("QVServerMode", 1)),
      version: await ctl.getVersion(),
    };
    await ctl.close();
    result.afterClose = await outcome(ctl.getVersion());
    return result;
  });
  assert.ok(client.roundTrips, "every concurrent call got its own answer");
  assert.deepEqual(client.namedFile, { code: E_ACCESSDENIED });
  assert.deepEqual(client.namedFileForEncrypt, { code: E_ACCESSDENIED });
  assert.deepEqual(client.serverMode, { code: E_ACCESSDENIED });
  assert.equal(client.version.status, 0);
  assert.deepEqual(client.afterClose, { code: -32000 });
  assert.equal(dialogs().length, 0, "no dialog so far");

  // Input the page refuses never reaches the control.
  await page.fill("#amount", "one hundred");
  await page.click("#sign");
  await waitForState(page, "failed");
  assert.match(await page.locator("#error").innerText(), /Invalid input/);
  assert.equal(dialogs().length, 0);

  await page.fill("#payee", "李四");
  await page.fill("#amount", "100.00");
  await page.click("#attach");
  await waitForState(page, "attached");
  assert.equal(await page.locator("#attachments").getAttribute("data-count"), "1");
  await act(page, "sign", "signed");
  assert.equal(await page.locator("#attachments").getAttribute("data-count"), "0");
  await page.screenshot({ path: join(artifacts, "demo-signed.png"), fullPage: true });

  // openssl checks the signature to the demo root; its content is the
  // container of the two form items (code page 936) and the file.
  const signature = await page.inputValue("#signature");
  const der = join(root, "signature.der");
  writeFileSync(der, Buffer.from(signature.replace(/\s/g, ""), "base64"));
  let anchors = "";
  for (const store of ["ROOT", "CA"]) {
    for (const { sha1 } of storeEntries(store)) anchors += quorvel("store", "export", "--store", store, "--pem", sha1);
  }
  writeFileSync(join(root, "anchors.pem"), anchors);
  const content = execFileSync(
    "openssl",
    ["cms", "-verify", "-binary", "-inform", "DER", "-in", der, "-CAfile", join(root, "anchors.pem")],
    { stdio: ["ignore", "pipe", "pipe"] },
  );
  assert.equal(
    new TextDecoder("gbk").decode(content),
    "00000039" + "00000010payee=李四" + "00000013amount=100.00" +
      "00000056" + "00000048" + "00000011invoice.txt" + "Invoice 2026-207: 100.00 CNY\n",
  );
  // Before the key signed, the user saw who asked and exactly what was signed.
  const consent = dialogs()[2];
  assert.equal(consent.kind, "consent");
  assert.equal(consent.origin, `http://127.0.0.1:${port}`);
  assert.equal(consent.action, "sign");
  assert.equal(consent.certificate, "CN=Zhang San, O=ZuvirOrori, C=CN");
  const invoice = readFileSync(attachment);
  assert.deepEqual(consent.content, {
    items: ["payee=李四", "amount=100.00"],
    files: [{ name: "invoice.txt", size: invoice.length, sha256: sha256(invoice) }],
  });
  assert.equal(consent.contentSha256, sha256(content));
  assert.equal(dialogs()[1].origin, consent.origin, "the chooser names the origin too");

  await act(page, "verify", "verified");
  const signer = await texts(page, "#signer dd");
  assert.deepEqual(signer, [
    "CN=Zhang San, O=ZuvirOrori, C=CN",
    "O=ZuvirOrori, OU=config, CN=ZAZU",
    "2024-01-01 00:00:00GMT",
    "2049-12-31 23:59:59GMT",
    "1001",
  ]);
  assert.deepEqual(await texts(page, "#signed-items li"), ["payee=李四", "amount=100.00"]);

  // The envelope goes to the signer, whom verification filled in.
  assert.equal(await page.inputValue("#recipient"), signer[0]);
  await act(page, "envelope", "enveloped");
  assert.equal(await page.locator("#envelope-result").textContent(), await page.inputValue("#envelope-text"));
  assert.equal((await texts(page, "#recipient-info dd"))[4], "1001");
  assert.equal(dialogs()[3].action, "decrypt", "opening the envelope asked too");
  await page.screenshot({ path: join(artifacts, "demo-envelope.png"), fullPage: true });

  // A failed member is shown with the control's errMsg and errorNum.
  await page.click("#sign");
  await waitForState(page, "failed");
  assert.equal(await page.locator("#error").getAttribute("data-error-num"), "-10005");
  const error = await page.locator("#error").innerText();
  assert.match(error, /QVAttachedSign/);
  assert.match(error, /errMsg: 签名失败/);
  assert.match(error, /errorNum: -10005/);
  assert.equal(await page.inputValue("#signature"), "");

  // The bridge goes away: the next action says so and offers to reconnect;
  // nothing reconnects by itself.
  await stopBridge();
  await page.click("#envelope");
  await waitForState(page, "disconnected");
  assert.ok(await page.locator("#reconnect").isVisible());
  assert.match(await page.locator("#error").innerText(), /code: -32000/);
  assert.ok(await page.locator("#verify").isDisabled());
  await startBridge();
  await page.click("#reconnect");
  await waitForState(page, "ready");
  assert.ok(await page.locator("#error").isHidden());
  assert.ok(await page.locator("#reconnect").isHidden());
  await page.fill("#recipient", "");
  await page.click("#attach"); // the new bridge starts the script again: the Open dialog's answer
  await waitForState(page, "attached");

  assert.deepEqual(problems, []);
  assert.deepEqual(
    dialogs().map((dialog) => [dialog.kind, dialog.answer]),
    [
      ["open", "chosen"],
      ["chooser", "chosen"],
      ["consent", "confirm"],
      ["consent", "confirm"],
      ["chooser", "cancelled"],
      ["open", "chosen"],
    ],
  );
  assert.equal(dialogs()[1].rows[0][0], "Zhang San", "the first row of the chooser signed");
  await page.close();
});
