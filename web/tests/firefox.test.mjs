// The extension in Debian's Firefox ESR, headless, loaded by web-ext as a
// temporary add-on, with the host manifest `quorvel browser install
// --browser firefox` wrote: a page of an allowed origin calls the control
// through it, a denied one is refused.
//
//   QUORVEL_PROGRAM=build/tools/quorvel node --test web/tests/firefox.test.mjs
//
// Playwright drives only its own builds of Firefox, so the page reports to
// the test's server instead. Pages are on the loopback address, which the
// extension serves for development (Firefox would not take the test's
// self-signed certificate without a profile of the test's making). Skipped
// where firefox-esr is not installed.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync, spawn } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import { createServer } from "node:http";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";

const program = process.env.QUORVEL_PROGRAM;
assert.ok(program, "QUORVEL_PROGRAM names the built quorvel program");
const firefox = process.env.FIREFOX ?? "/usr/bin/firefox-esr";
const webExt = fileURLToPath(new URL("node_modules/web-ext/bin/web-ext.js", import.meta.url));
const skip = !existsSync(firefox) || !existsSync(webExt) ? "firefox-esr or web-ext is not installed" : false;
const extension = join(dirname(dirname(resolve(program))), "web", "extension");

const root = mkdtempSync(join(tmpdir(), "quorvel-firefox-"));
const environment = {
  ...Object.fromEntries(Object.entries(process.env).filter(([name]) => !name.startsWith("QUORVEL_"))),
  HOME: join(root, "home"),
  QUORVEL_HOME: join(root, "quorvel"),
  QUORVEL_UI: "none",
  MOZ_HEADLESS: "1",
  // web-ext's profiles go with the test's folder.
  TMPDIR: join(root, "tmp"),
};
const quorvel = (...args) => execFileSync(program, args, { env: environment, encoding: "utf8" });

// One server, two origins by port: each page connects through the extension
// and posts what came of it.
const reports = new Map();
const pageServer = () =>
  createServer((request, response) => {
    if (request.url === "/quorvel.js") {
      response.setHeader("Content-Type", "text/javascript");
      response.end(readFileSync(fileURLToPath(new URL("../quorvel.js", import.meta.url))));
      return;
    }
    if (request.url === "/report") {
      let body = "";
      request.on("data", (chunk) => (body += chunk));
      request.on("end", () => {
        reports.get(request.socket.localPort)?.(JSON.parse(body));
        response.end();
      });
      return;
    }
    response.setHeader("Content-Type", "text/html");
    response.end(`<!doctype html><script type="module">
      import { Quorvel } from "/quorvel.js";
      let report;
      try {
        const ctl = await Quorvel.connect({ transport: "extension" });
        report = await ctl.QVBase64Encode("Quorvel");
      } catch (error) {
        report = { reason: error.reason ?? String(error) };
      }
      fetch("/report", { method: "POST", body: JSON.stringify(report) });
    </script>`);
  });

const sites = [];
let runner;

before(async () => {
  if (skip) return;
  mkdirSync(environment.TMPDIR);
  for (let i = 0; i < 2; i++) {
    const site = pageServer();
    await new Promise((done) => site.listen(0, "127.0.0.1", done));
    sites.push(site);
  }
  assert.match(quorvel("browser", "install", "--browser", "firefox"), /native-messaging-hosts\/org\.quorvel\.host\.json/);
});

function stop() {
  if (!runner) return;
  try {
    process.kill(-runner.pid, "SIGKILL");
  } catch {
    // Already gone.
  }
  runner = null;
}

after(async () => {
  stop();
  for (const site of sites) site.close();
  rmSync(root, { recursive: true, force: true });
});

// Opens the page in Firefox with the extension and waits for its report.
async function visit(site) {
  const port = site.address().port;
  const report = new Promise((done) => reports.set(port, done));
  runner = spawn(
    process.execPath,
    [webExt, "run", `--firefox=${firefox}`, `--source-dir=${extension}`, `--start-url=http://127.0.0.1:${port}/`,
      "--no-input", "--no-reload"],
    // A group of its own: Firefox outlives web-ext, so the group goes at once.
    { env: environment, stdio: "ignore", detached: true },
  );
  try {
    return await report;
  } finally {
    stop();
  }
}

test("Firefox: an allowed page calls the control through the extension, a denied one is refused", { skip, timeout: 120000 }, async () => {
  const [allowed, denied] = sites.map((site) => `http://127.0.0.1:${site.address().port}`);
  quorvel("host", "allow", allowed);
  quorvel("host", "deny", denied);
  assert.deepEqual(await visit(sites[0]), { status: 0, value: "UXVvcnZlbA==\n" });
  assert.deepEqual(await visit(sites[1]), { reason: "refused" });
});
