// The browser extension and its native host as a bank's customer has them:
// Debian's Chromium with the unpacked extension loaded, the host manifest
// written by `quorvel browser install` into the profile's
// NativeMessagingHosts folder, and pages on public HTTPS origins that reach
// the control through the extension, without the bridge and without any Local
// Network Access prompt.
//
//   QUORVEL_PROGRAM=build/tools/quorvel node --test web/tests/extension.test.mjs
//
// The sites are served from 127.0.0.1 under names of their own, with a
// self-signed certificate; Chromium is told that address is public. The
// browser is Debian's chromium (CHROMIUM overrides its path), never a
// downloaded one.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createServer } from "node:https";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

const program = process.env.QUORVEL_PROGRAM;
assert.ok(program, "QUORVEL_PROGRAM names the built quorvel program");
const extension = join(dirname(dirname(resolve(program))), "web", "extension");

const root = mkdtempSync(join(tmpdir(), "quorvel-extension-"));
const log = join(root, "ui.log");
const environment = {
  ...Object.fromEntries(Object.entries(process.env).filter(([name]) => !name.startsWith("QUORVEL_"))),
  HOME: join(root, "home"),
  XDG_CONFIG_HOME: join(root, "config"),
  QUORVEL_HOME: join(root, "quorvel"),
  QUORVEL_UI: "script",
  QUORVEL_UI_SCRIPT: join(root, "script.json"),
  QUORVEL_UI_LOG: log,
};
const quorvel = (...args) => execFileSync(program, args, { env: environment, encoding: "utf8" });
const dialogs = () =>
  existsSync(log) ? readFileSync(log, "utf8").split("\n").filter(Boolean).map((line) => JSON.parse(line)) : [];

let site;
let context;
const origin = (name) => `https://${name}:${site.address().port}`;

// Every site serves quorvel.js and a page that loads it; a page may name a
// frame of another site to embed.
function respond(request, response) {
  const url = new URL(request.url, "https://site.example");
  if (url.pathname === "/quorvel.js") {
    response.setHeader("Content-Type", "text/javascript; charset=utf-8");
    response.end(readFileSync(fileURLToPath(new URL("../quorvel.js", import.meta.url))));
    return;
  }
  const frame = url.searchParams.get("frame");
  response.setHeader("Content-Type", "text/html; charset=utf-8");
  response.end(
    `<!doctype html><meta charset="utf-8"><script type="module">
       import * as quorvel from "/quorvel.js"; window.quorvel = quorvel; window.loaded = true;
     </script>${frame ? `<iframe src="${frame}"></iframe>` : ""}`,
  );
}

before(async () => {
  writeFileSync(
    join(root, "script.json"),
    JSON.stringify({
      answers: [
        { dialog: "chooser", actions: [{ select: 0 }, "ok"] },
        { dialog: "consent", answer: "confirm" },
        { dialog: "chooser", actions: [{ select: 0 }, "ok"] },
        { dialog: "consent", answer: "confirm" },
      ],
    }),
  );
  quorvel("demo-pki");
  const installed = quorvel("browser", "install", "--browser", "chromium");
  assert.match(installed, /NativeMessagingHosts\/org\.quorvel\.host\.json/);
  execFileSync(
    "openssl",
    ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=bank.example",
      "-keyout", join(root, "key.pem"), "-out", join(root, "cert.pem")],
    { stdio: "ignore" },
  );
  site = createServer({ key: readFileSync(join(root, "key.pem")), cert: readFileSync(join(root, "cert.pem")) }, respond);
  await new Promise((done) => site.listen(0, "127.0.0.1", done));
  quorvel("host", "allow", origin("bank.example"));
  quorvel("host", "deny", origin("denied.example"));

  // The profile folder is where `quorvel browser install` put the manifest
  // for Chromium: $XDG_CONFIG_HOME/chromium.
  context = await chromium.launchPersistentContext(join(environment.XDG_CONFIG_HOME, "chromium"), {
    executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
    headless: true,
    env: environment,
    ignoreHTTPSErrors: true,
    args: [
      "--no-sandbox",
      `--disable-extensions-except=${extension}`,
      `--load-extension=${extension}`,
      `--ip-address-space-overrides=127.0.0.1:${site.address().port}=public`,
      "--host-resolver-rules=MAP bank.example 127.0.0.1, MAP denied.example 127.0.0.1",
    ],
  });
});

after(async () => {
  await context?.close();
  site?.close();
  rmSync(root, { recursive: true, force: true });
});

async function openPage(url) {
  const page = await context.newPage();
  await page.goto(url);
  await page.waitForFunction(() => window.loaded === true);
  return page;
}

test("a public page signs, verifies and reads back 10 MiB through the extension, with no prompt", { timeout: 180000 }, async () => {
  const page = await openPage(`${origin("bank.example")}/`);
  const result = await page.evaluate(async () => {
    const permission = await navigator.permissions
      .query({ name: "loopback-network" })
      .then((status) => status.state, () => "unknown");
    const ctl = await window.quorvel.Quorvel.connect();
    // Stored whole, as openssl would: the signature is larger than the text.
    await ctl.put("MaxCompSize", 16 * 1024 * 1024);
    const round = async (text) => {
      await ctl.QVSetPlainText(text);
      const signed = await ctl.QVAttachedSign("");
      const verified = await ctl.QVAttachedVerify(signed.value ?? "");
      const read = await ctl.QVGetPlainText();
      return { signed: signed.status, length: (signed.value ?? "").length, verified: verified.status, same: read.value === text };
    };
    const small = await round("payee=Li Si; amount=100.00");
    const large = await round("签名测试 Quorvel 0123456789\n".repeat(Math.ceil((10 * 1024 * 1024) / 24)));
    await ctl.close();
    return { permission, small, large };
  });
  assert.notEqual(result.permission, "granted", "the page has no Local Network Access permission");
  assert.deepEqual(result.small, { ...result.small, signed: 0, verified: 0, same: true });
  assert.deepEqual(result.large, { ...result.large, signed: 0, verified: 0, same: true });
  assert.ok(result.large.length > 1024 * 1024, `the signature crossed in chunks (${result.large.length} characters)`);
  const consents = dialogs().filter((dialog) => dialog.kind === "consent");
  assert.equal(consents.length, 2);
  for (const consent of consents) assert.equal(consent.origin, origin("bank.example"), "the browser's origin is shown");
  await page.close();
});

test("pages are judged by the origin the browser gives, whatever they claim", { timeout: 60000 }, async () => {
  const denied = await openPage(`${origin("denied.example")}/`);
  const refusal = await denied.evaluate(async (claimed) => {
    // What a page can say to the content script: a channel, and an origin
    // the relay does not read.
    const channel = "00112233445566778899aabbccddeeff";
    const closed = new Promise((done) =>
      window.addEventListener("message", (event) => {
        if (event.data?.source === "quorvel-extension" && event.data.channel === channel && event.data.type === "close") {
          done(event.data.code);
        }
      }),
    );
    window.postMessage({ source: "quorvel-page", type: "open", channel, origin: claimed }, location.origin);
    const code = await closed;
    const reason = await window.quorvel.Quorvel.connect().then(() => "connected", (error) => error.reason);
    return { code, reason };
  }, origin("bank.example"));
  assert.deepEqual(refusal, { code: 4403, reason: "refused" });
  await denied.close();

  // A frame of the denied site inside the bank's page: refused on its own
  // origin, and the bank's frame does not relay for it.
  const bank = await openPage(`${origin("bank.example")}/?frame=${encodeURIComponent(`${origin("denied.example")}/`)}`);
  const frame = bank.frames().find((candidate) => candidate.url().startsWith(origin("denied.example")));
  await frame.waitForFunction(() => window.loaded === true);
  const framed = await frame.evaluate(async () => {
    const reason = await window.quorvel.Quorvel.connect({ transport: "extension" }).then(() => "connected", (error) => error.reason);
    const channel = "ffeeddccbbaa99887766554433221100";
    window.parent.postMessage({ source: "quorvel-page", type: "open", channel }, "*");
    return { reason, channel };
  });
  assert.equal(framed.reason, "refused");
  const relayed = await bank.evaluate(
    (channel) =>
      new Promise((done) => {
        window.addEventListener("message", (event) => {
          if (event.data?.source === "quorvel-extension" && event.data.channel === channel) done(true);
        });
        setTimeout(() => done(false), 1000);
      }),
    framed.channel,
  );
  assert.equal(relayed, false, "the bank's frame relayed nothing for the other origin's frame");
  await bank.close();
});
