// The bridge with the real Qt dialogs: `quorvel host --listen` under
// QUORVEL_UI=qt on an Xvfb display of its own that openbox manages, pages in
// headless Chromium, and every dialog answered with input events as a user at
// the keyboard gives them (xdotool, through the X server's XTEST extension):
// the chooser and the consent sign from the keyboard twice on one bridge (a
// consent cancelled with Enter fails the signature first), OK with no row
// selected says so, and an origin's question closed with its close box
// refuses the page and leaves the bridge serving.
//
//   QUORVEL_PROGRAM=build/tools/quorvel node --test web/tests/real_dialogs.test.mjs
//
// Needs Xvfb, openbox, xdotool, xprop, ImageMagick's import and tesseract
// (scripts/setup.sh installs them); skipped without them. A failed test keeps
// a screenshot of the display, its windows and the bridge's output in a
// folder whose path the test's diagnostics print.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFile, execFileSync, spawn } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { createServer } from "node:http";
import { tmpdir } from "node:os";
import { delimiter, join } from "node:path";
import { createInterface } from "node:readline";
import { setTimeout as sleep } from "node:timers/promises";
import { promisify } from "node:util";
import { chromium } from "playwright-core";

const program = process.env.QUORVEL_PROGRAM;
assert.ok(program, "QUORVEL_PROGRAM names the built quorvel program");

const tools = ["Xvfb", "openbox", "xdotool", "xprop", "import", "tesseract"];
const onPath = (name) =>
  (process.env.PATH ?? "").split(delimiter).some((folder) => folder !== "" && existsSync(join(folder, name)));
const missing = tools.filter((tool) => !onPath(tool));
const skip = missing.length > 0 ? `needs ${missing.join(", ")} (scripts/setup.sh installs them)` : false;

const CHOOSER_CAPTION = "请选择您要用的证书"; // the chooser's caption when the page sets none
const APPROVAL_CAPTION = "Quorvel";
const CONSENT_CAPTION = "Quorvel";
const WAIT = 20000; // the longest any one wait may take

const run = promisify(execFile);
const root = mkdtempSync(join(tmpdir(), "quorvel-dialogs-"));
// X clients read no configuration of the user's: openbox keeps its stock key
// bindings (alt+F4 closes the focused window).
const x = {
  ...Object.fromEntries(
    Object.entries(process.env).filter(
      ([name]) => !name.startsWith("QUORVEL_") && !["WAYLAND_DISPLAY", "QT_QPA_PLATFORM"].includes(name),
    ),
  ),
  LANG: "C.UTF-8",
  XDG_RUNTIME_DIR: join(root, "runtime"),
  XDG_CONFIG_HOME: join(root, "config"),
  XDG_CACHE_HOME: join(root, "cache"),
};
mkdirSync(x.XDG_RUNTIME_DIR, { mode: 0o700 });
const environment = { ...x, QUORVEL_HOME: join(root, "home"), QUORVEL_UI: "qt" };

let xvfb;
let openbox;
let browser;
let evidence;

// Resolves with `promise`, or fails after WAIT saying what did not happen.
function within(promise, what) {
  let timer;
  const expiry = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`${what}: nothing within ${WAIT / 1000} s`)), WAIT);
  });
  return Promise.race([promise, expiry]).finally(() => clearTimeout(timer));
}

async function until(check, what) {
  const end = Date.now() + WAIT;
  for (;;) {
    if (await check()) return;
    if (Date.now() > end) throw new Error(`${what}: not so within ${WAIT / 1000} s`);
    await new Promise((resolve) => setTimeout(resolve, 200));
  }
}

const firstLine = (stream) => createInterface({ input: stream })[Symbol.asyncIterator]().next();

async function xdotool(...args) {
  const { stdout } = await run("xdotool", args, { env: x, timeout: WAIT });
  return stdout.trim();
}

// The visible windows of process `pid` whose title matches `pattern`.
async function windows(pid, pattern) {
  try {
    return (await xdotool("search", "--all", "--onlyvisible", "--pid", String(pid), "--name", pattern))
      .split("\n")
      .filter(Boolean);
  } catch {
    return []; // xdotool fails when nothing matches
  }
}

// The one window of the bridge titled exactly `caption`, once it is shown and
// has the keyboard focus, which openbox gives every new window.
async function focusedWindow(bridge, caption) {
  let found = [];
  await until(async () => (found = await windows(bridge.child.pid, `^${caption}$`)).length > 0, `a window "${caption}"`);
  assert.equal(found.length, 1, `one window "${caption}"`);
  await until(async () => (await xdotool("getactivewindow").catch(() => "")) === found[0], `"${caption}" focused`);
  return found[0];
}

async function gone(bridge, window, what) {
  await until(async () => !(await windows(bridge.child.pid, ".*")).includes(window), what);
}

// Keys through XTEST, so that they reach the focused window as typed ones do
// (and openbox sees its own bindings); each is typed once the previous one is.
const press = (...keys) => xdotool("key", "--delay", "100", ...keys);

// The text of a window as tesseract reads it from a screenshot enlarged
// threefold (Qt's windows offer no text to other X clients).
async function readWindow(window) {
  const picture = join(root, `window-${window}.png`);
  await run("import", ["-window", window, "-resize", "300%", picture], { env: x, timeout: WAIT });
  const { stdout } = await run("tesseract", [picture, "stdout", "--psm", "6"], { timeout: WAIT });
  return stdout.replace(/\s+/g, " ").trim();
}

async function startBridge() {
  const child = spawn(program, ["host", "--listen", "127.0.0.1:0"], {
    env: environment,
    stdio: ["ignore", "pipe", "pipe"],
  });
  const bridge = { child, output: "", ended: null };
  child.stderr.setEncoding("utf8").on("data", (text) => (bridge.output += text));
  // Its end: the exit status, or the signal that ended it.
  bridge.exit = new Promise((resolve) => child.once("exit", (code, signal) => resolve(signal ?? code)));
  child.once("exit", (code, signal) => (bridge.ended = signal ?? `status ${code}`));
  const { value: line } = await within(firstLine(child.stdout), "the bridge's address line");
  bridge.port = Number(/ws:\/\/127\.0\.0\.1:(\d+)\//.exec(line ?? "")?.[1]);
  assert.ok(bridge.port > 0, `the bridge printed its address: ${line}`);
  return bridge;
}

function assertRunning(bridge, when) {
  assert.equal(bridge.ended, null, `the bridge still runs ${when}; it ended (${bridge.ended}):\n${bridge.output}`);
}

async function stopBridge(bridge) {
  if (bridge.ended !== null) return;
  bridge.child.kill("SIGTERM");
  const timer = setTimeout(() => bridge.child.kill("SIGKILL"), WAIT);
  await bridge.exit;
  clearTimeout(timer);
}

// What the page shows once its action has ended: the buttons are usable
// again, or the page has lost the bridge.
async function settled(page) {
  await page.waitForFunction(
    () => !document.getElementById("sign").disabled || document.getElementById("status").dataset.state === "disconnected",
    null,
    { timeout: WAIT },
  );
  const error = page.locator("#error");
  return {
    state: await page.locator("#status").getAttribute("data-state"),
    error: (await error.isHidden()) ? "" : await error.innerText(),
  };
}

// A page of the bridge's own origin connects and has a call answered.
async function assertServes(bridge) {
  const page = await browser.newPage();
  try {
    await page.goto(`http://127.0.0.1:${bridge.port}/demo/`);
    const answer = await page.evaluate(async () => {
      const { Quorvel } = await import("/quorvel.js");
      const ctl = await Quorvel.connect(`ws://${location.host}/`);
      const encoded = await ctl.QVBase64Encode("abc");
      await ctl.close();
      return encoded;
    });
    assert.deepEqual({ ...answer, value: answer.value.trim() }, { status: 0, value: "YWJj" });
  } finally {
    await page.close();
  }
}

// Keeps what the display and the bridge showed when a test failed.
async function keepEvidence(t, bridge) {
  evidence ??= mkdtempSync(join(tmpdir(), "quorvel-dialogs-failed-"));
  const name = t.name.replace(/[^A-Za-z0-9]+/g, "-");
  const screenshot = join(evidence, `${name}.png`);
  await run("import", ["-window", "root", screenshot], { env: x, timeout: WAIT }).catch(() => {});
  const shown = [];
  for (const window of (await xdotool("search", "--onlyvisible", "--name", ".").catch(() => "")).split("\n")) {
    if (window) shown.push(`${window} ${await xdotool("getwindowname", window).catch(() => "?")}`);
  }
  const report = [
    `screenshot: ${screenshot}`,
    "visible windows:",
    ...shown,
    `bridge (${bridge?.ended ?? "running"}):`,
    ...(bridge?.output ?? "").split("\n").filter(Boolean),
  ];
  writeFileSync(join(evidence, `${name}.txt`), report.join("\n"));
  for (const line of report) t.diagnostic(line);
}

// A test with a bridge of its own, stopped at its end whatever happens, so
// that no window of it is left for the next test to find.
function dialogTest(name, body) {
  test(name, { skip, timeout: 10 * WAIT }, async (t) => {
    let bridge;
    try {
      bridge = await startBridge();
      await body(bridge);
    } catch (error) {
      await keepEvidence(t, bridge);
      throw error;
    } finally {
      if (bridge) await stopBridge(bridge);
    }
  });
}

before(async () => {
  if (skip) return;
  execFileSync(program, ["demo-pki"], { env: environment, stdio: "ignore" });
  // Xvfb picks a free display and writes its number once it accepts clients.
  xvfb = spawn("Xvfb", ["-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"], {
    stdio: ["ignore", "pipe", "ignore"],
  });
  const { value: number } = await within(firstLine(xvfb.stdout), "Xvfb's display number");
  x.DISPLAY = environment.DISPLAY = `:${number.trim()}`;
  // An openbox that could not open the display yet (seen after other
  // browser tests, under load) is started again.
  await until(async () => {
    if (!openbox || openbox.exitCode !== null) {
      openbox = spawn("openbox", ["--sm-disable"], { env: x, stdio: "ignore" });
    }
    const { stdout } = await run("xprop", ["-root", "_NET_SUPPORTING_WM_CHECK"], { env: x });
    return /window id/.test(stdout);
  }, "openbox managing the display");
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
    args: ["--no-sandbox"],
  });
});

after(async () => {
  await browser?.close();
  openbox?.kill();
  xvfb?.kill();
  rmSync(root, { recursive: true, force: true });
});

// Signs the demo page's transfer, choosing the first row of the chooser with
// the keyboard alone: the list has the focus, Down selects, Enter chooses.
// The consent follows, showing what is signed: `confirm` moves to Confirm once
// it is enabled and presses it; otherwise Enter presses the default, Cancel.
async function signFromKeyboard(page, bridge, attempt, confirm = true) {
  await page.click("#sign");
  const chooser = await focusedWindow(bridge, CHOOSER_CAPTION);
  await press("Down", "Return");
  await gone(bridge, chooser, `the chooser closed by Down, Enter (${attempt})`);
  const consent = await focusedWindow(bridge, CONSENT_CAPTION);
  const text = await readWindow(consent);
  assert.match(text, /asks to sign the content below/, `the consent says what is asked (${attempt}): ${text}`);
  assert.match(text, /amount=/, `the consent shows the form items (${attempt}): ${text}`);
  assert.match(text, /SHA-256/, `the consent shows the digest (${attempt}): ${text}`);
  if (confirm) {
    await sleep(1500); // Confirm is enabled a second after the dialog opens
    await press("shift+Tab", "space");
  } else {
    await press("Return");
  }
  await gone(bridge, consent, `the consent closed (${attempt})`);
  const shown = await settled(page);
  if (!confirm) {
    assert.equal(shown.state, "failed", `the cancelled consent fails the signature (${attempt})`);
    assert.match(shown.error, /errorNum: -10005/);
    assertRunning(bridge, `after the ${attempt} signature`);
    return;
  }
  assert.deepEqual(shown, { state: "signed", error: "" }, `the page signed (${attempt})`);
  assert.match(await page.inputValue("#signature"), /^[A-Za-z0-9+/=\s]{1000,}$/);
  assertRunning(bridge, `after the ${attempt} signature`);
}

dialogTest("the demo page signs twice through the real chooser and consent", async (bridge) => {
  const page = await browser.newPage();
  await page.goto(`http://127.0.0.1:${bridge.port}/demo/`);
  await page.waitForFunction(() => document.getElementById("status").dataset.state === "ready", null, {
    timeout: WAIT,
  });
  await signFromKeyboard(page, bridge, "cancelled", false);
  await signFromKeyboard(page, bridge, "first");
  await page.fill("#amount", "200.00");
  await signFromKeyboard(page, bridge, "second");
  await page.close();
  // SIGTERM ends the bridge through its event loop, whatever its dialogs did.
  bridge.child.kill("SIGTERM");
  assert.equal(await within(bridge.exit, "the bridge's end"), 0, `the bridge ends cleanly on SIGTERM:\n${bridge.output}`);
});

dialogTest("OK with no row selected says so, and the chooser stays open", async (bridge) => {
  const page = await browser.newPage();
  await page.goto(`http://127.0.0.1:${bridge.port}/demo/`);
  await page.waitForFunction(() => document.getElementById("status").dataset.state === "ready", null, {
    timeout: WAIT,
  });
  await page.click("#sign");
  const chooser = await focusedWindow(bridge, CHOOSER_CAPTION);
  await press("Return"); // nothing is selected when the chooser opens
  // The message box has no caption of its own: it is the bridge's other window.
  let boxes = [];
  await until(
    async () => (boxes = (await windows(bridge.child.pid, ".*")).filter((window) => window !== chooser)).length > 0,
    "a message box over the chooser",
  );
  assert.equal(boxes.length, 1);
  assert.match(await readWindow(boxes[0]), /No certificate selected\./);
  await press("Return");
  await gone(bridge, boxes[0], "the message box closed by Enter");
  assert.deepEqual(await windows(bridge.child.pid, `^${CHOOSER_CAPTION}$`), [chooser], "the chooser stays open");
  await until(async () => (await xdotool("getactivewindow").catch(() => "")) === chooser, "the chooser focused again");
  await press("Escape");
  await gone(bridge, chooser, "the chooser closed by Escape");
  const shown = await settled(page);
  assert.equal(shown.state, "failed");
  assert.match(shown.error, /QVAttachedSign/);
  assertRunning(bridge, "after the chooser was cancelled");
  await assertServes(bridge);
  await page.close();
});

dialogTest("an unknown origin's question closed with its close box, then the bridge still serves", async (bridge) => {
  // A page of another origin with its own copy of quorvel.js (the bridge's
  // files are for its own pages: no cross-origin headers).
  const client = await (await fetch(`http://127.0.0.1:${bridge.port}/quorvel.js`)).text();
  const foreign = createServer((request, response) => {
    if (request.url === "/quorvel.js") {
      response.setHeader("Content-Type", "text/javascript; charset=utf-8");
      return response.end(client);
    }
    response.setHeader("Content-Type", "text/html; charset=utf-8");
    response.end(`<!doctype html><title>Foreign</title><script type="module">
      import { Quorvel } from "/quorvel.js";
      window.connected = Quorvel.connect("ws://127.0.0.1:${bridge.port}/").then(
        async (ctl) => { await ctl.close(); return "open"; },
        (error) => error.reason,
      );
    </script>`);
  });
  await new Promise((resolve) => foreign.listen(0, "127.0.0.1", resolve));
  const page = await browser.newPage();
  try {
    await page.goto(`http://127.0.0.1:${foreign.address().port}/`);
    const question = await focusedWindow(bridge, APPROVAL_CAPTION);
    await press("alt+F4"); // openbox's binding: it asks the window to close, as its close box does
    await gone(bridge, question, "the question closed by its close box");
    assert.equal(await within(page.evaluate(() => window.connected), "the page's connect"), "refused");
    assertRunning(bridge, "after the question was closed");
    await assertServes(bridge);
  } finally {
    await page.close();
    foreign.close();
  }
});
