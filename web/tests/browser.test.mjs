// The demo bank page in headless Chromium against a real `quorvel host
// --listen`: a transfer signed through the chooser and checked by openssl, the
// signature verified in the page, an envelope sealed and opened; and a page of
// a foreign origin refused until the user approves it and again after `deny`.
//
//   QUORVEL_PROGRAM=build/tools/quorvel QUORVEL_ARTIFACTS=build/artifacts \
//     node --test web/tests/browser.test.mjs
//
// Dialogs are answered by the `script` UI; the browser is Debian's chromium
// (CHROMIUM overrides its path), never a downloaded one.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync, spawn } from "node:child_process";
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createServer } from "node:http";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { createInterface } from "node:readline";
import { chromium } from "playwright-core";

const program = process.env.QUORVEL_PROGRAM;
const artifacts = process.env.QUORVEL_ARTIFACTS ?? tmpdir();
assert.ok(program, "QUORVEL_PROGRAM names the built quorvel program");

const root = mkdtempSync(join(tmpdir(), "quorvel-browser-"));
const home = join(root, "home");
const script = join(root, "script.json");
const log = join(root, "ui.log");
const attachment = join(root, "invoice.txt");
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

// The thumbprint of the certificate of `store` whose subject starts with `subject`.
function thumbprint(store, subject) {
  const listing = quorvel("store", "list", "--store", store);
  const match = new RegExp(`^\\[\\w+\\] ([0-9a-f]{40})\\n  subject: +${subject}`, "m").exec(listing);
  assert.ok(match, `${subject} is in ${store}`);
  return match[1];
}

before(async () => {
  quorvel("demo-pki");
  // Zhang San seals the envelope for himself, so his certificate is also in
  // the address book, where envelopes find their recipients.
  const own = join(root, "zhang-san.cer");
  quorvel("store", "export", "--store", "MY", "--out", own, thumbprint("MY", "CN=Zhang San"));
  quorvel("store", "import", own, "--store", "AddressBOOK");
  writeFileSync(attachment, "Invoice 2026-118: 100.00 CNY\n");
  // Every dialog of the run, in the order the tests below cause them.
  writeFileSync(
    script,
    JSON.stringify({
      answers: [
        { dialog: "open", path: attachment },
        { dialog: "chooser", actions: [{ select: 0 }, "ok"] }, // Zhang San signs
        // The envelope names its recipient, who is found without a dialog.
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
  // whether it got in.
  foreign = createServer((request, response) => {
    response.setHeader("Content-Type", "text/html; charset=utf-8");
    response.end(`<!doctype html><title>Foreign</title><p id="result">pending</p><script>
      const socket = new WebSocket("ws://127.0.0.1:${port}/");
      socket.onopen = () => { document.getElementById("result").textContent = "open"; };
      socket.onclose = () => {
        const result = document.getElementById("result");
        if (result.textContent === "pending") result.textContent = "refused";
      };
    </script>`);
  });
  await new Promise((resolve) => foreign.listen(0, "127.0.0.1", resolve));

  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
    args: ["--no-sandbox"],
  });
  mkdirSync(artifacts, { recursive: true });
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

// Waits until the element `id` holds `text` in its `property` (any text when
// none is given) or the page shows an error, and fails with the page's own
// account of the error.
async function settle(page, id, property, text = "") {
  await page.waitForFunction(
    ([id, property, text]) => {
      if (!document.getElementById("error").hidden) return true;
      const value = document.getElementById(id)[property];
      return value.length > 0 && value.includes(text);
    },
    [id, property, text],
    { timeout: 30000 },
  );
  const error = page.locator("#error");
  assert.ok(await error.isHidden(), `the page shows an error: ${await error.innerText()}`);
}

async function waitForStatus(page, states) {
  await page.waitForFunction(
    (wanted) => wanted.includes(document.getElementById("status").dataset.state),
    states,
    { timeout: 30000 },
  );
}

test("the demo page signs a transfer, verifies it and opens an envelope", async () => {
  const page = await browser.newPage();
  const problems = [];
  page.on("pageerror", (error) => problems.push(String(error)));
  // Every file the page asks for is served; the browser's own favicon request is not the page's.
  page.on("response", (response) => {
    if (response.status() >= 400 && !response.url().endsWith("/favicon.ico")) {
      problems.push(`${response.status()} ${response.url()}`);
    }
  });
  await page.goto(`http://127.0.0.1:${port}/demo/`);
  await waitForStatus(page, ["ready"]);

  await page.fill("#payee", "李四");
  await page.fill("#amount", "100.00");
  await page.click("#attach");
  await page.waitForFunction(() => document.getElementById("attachments").dataset.count === "1");
  await page.click("#sign");
  await settle(page, "signature", "value");
  await page.screenshot({ path: join(artifacts, "demo-signed.png"), fullPage: true });

  // The signature is standard PKCS#7: openssl checks it to the demo root, and
  // its content is the container of the two form items and the file.
  const signature = await page.inputValue("#signature");
  const der = join(root, "signature.der");
  writeFileSync(der, Buffer.from(signature.replace(/\s/g, ""), "base64"));
  const anchors = join(root, "anchors.pem");
  let pem = "";
  for (const store of ["ROOT", "CA"]) {
    for (const [, sha1] of quorvel("store", "list", "--store", store).matchAll(/^\[\w+\] ([0-9a-f]{40})$/gm)) {
      pem += quorvel("store", "export", "--store", store, "--pem", sha1);
    }
  }
  writeFileSync(anchors, pem);
  const content = execFileSync(
    "openssl",
    ["cms", "-verify", "-binary", "-inform", "DER", "-in", der, "-CAfile", anchors],
    { stdio: ["ignore", "pipe", "pipe"] },
  );
  assert.match(content.toString("latin1"), /invoice\.txt/);
  assert.match(content.toString("latin1"), /Invoice 2026-118/);

  await page.click("#verify");
  await settle(page, "signer", "textContent", "Zhang San");
  assert.match(await page.locator("#signer").innerText(), /ZAZU/);

  await page.fill("#recipient", "CN=Zhang San");
  await page.click("#envelope");
  await settle(page, "envelope-result", "textContent");
  assert.equal(
    await page.locator("#envelope-result").textContent(),
    await page.inputValue("#envelope-text"),
  );
  await page.screenshot({ path: join(artifacts, "demo-envelope.png"), fullPage: true });
  assert.deepEqual(problems, []);
  assert.deepEqual(
    dialogs().map((dialog) => [dialog.kind, dialog.answer]),
    [["open", "chosen"], ["chooser", "chosen"]],
  );
  await page.close();
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
  assert.equal(await attempt(), "refused"); // the approval dialog is dismissed
  assert.equal(await attempt(), "open"); // approved: always
  assert.equal(await attempt(), "open"); // remembered, not asked again
  quorvel("host", "deny", foreignOrigin);
  assert.equal(await attempt(), "refused");
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
