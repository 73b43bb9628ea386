// quorvel.js through its public interface: against a scripted host on a fake
// socket (ordering, hostile frames, errors, lost connections, why connecting
// failed), through node's own WebSocket against servers of the test's own,
// and against the real `quorvel host --stdio` behind a socket that carries
// its lines.
//   node --test web/tests/client.test.mjs
// The real-host test needs QUORVEL_PROGRAM (the built quorvel); it copies the
// home QUORVEL_DEMO_HOME names, or fills a fresh one with `quorvel demo-pki`.
import { after, test as nodeTest } from "node:test";
import assert from "node:assert/strict";
import { execFile, execFileSync, spawn } from "node:child_process";
import { createHash } from "node:crypto";
import { cpSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createServer as createHttpServer } from "node:http";
import { createServer as createTcpServer } from "node:net";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { createInterface } from "node:readline";
import { fileURLToPath } from "node:url";
import { promisify } from "node:util";

import { Quorvel, QuorvelError } from "../quorvel.js";

// A call that never settles fails its test instead of stalling the run.
const test = (name, options, body) =>
  body ? nodeTest(name, { timeout: 20000, ...options }, body) : nodeTest(name, { timeout: 3000 }, options);

// A socket whose other end is `serve(request, socket)`: it may answer by
// returning a response, or later through socket.deliver(). Every socket made
// is kept in `sockets`, every request in socket.requests.
function fakeHost(serve) {
  const sockets = [];
  class FakeSocket extends EventTarget {
    constructor(url) {
      super();
      this.url = url;
      this.requests = [];
      this.closed = false;
      sockets.push(this);
      setImmediate(() => this.dispatchEvent(new Event("open")));
    }
    send(frame) {
      if (this.closed) throw new Error("socket is closed");
      const request = JSON.parse(frame);
      this.requests.push(request);
      const answer = serve(request, this);
      if (answer !== undefined) setImmediate(() => this.deliver(answer));
    }
    deliver(data) {
      const text = typeof data === "string" || data instanceof ArrayBuffer ? data : JSON.stringify(data);
      this.dispatchEvent(Object.assign(new Event("message"), { data: text }));
    }
    close(code = 1000) {
      if (this.closed) return;
      this.closed = true;
      setImmediate(() => this.dispatchEvent(Object.assign(new Event("close"), { code })));
    }
  }
  return { FakeSocket, sockets };
}

const method = (name, params = []) => ({
  dispid: 1,
  name,
  kind: "method",
  params: params.map((p) => ({ name: p, type: "string" })),
  result: "string",
  implemented: true,
});
const defaultMembers = [
  method("Echo", ["text"]),
  { ...method("errMsg"), kind: "get" },
  { ...method("MaxCompSize"), kind: "put" },
];

// Answers create, members and release as the host does; `invoke` decides the rest.
function protocol({ members = defaultMembers, invoke = () => undefined, object = 7 } = {}) {
  return (request, socket) => {
    const { id, method: name, params } = request;
    if (name === "create") return { jsonrpc: "2.0", id, result: { object } };
    if (name === "members") return { jsonrpc: "2.0", id, result: members };
    if (name === "release") return { jsonrpc: "2.0", id, result: null };
    return invoke(request, socket);
  };
}
const echo = ({ id, params }) => ({ jsonrpc: "2.0", id, result: { status: 0, value: params.args[0] } });

async function connect(serve, options = {}) {
  const host = fakeHost(serve);
  const ctl = await Quorvel.connect("ws://127.0.0.1:1/", { WebSocket: host.FakeSocket, ...options });
  return { ctl, ...host };
}

test("methods come from the listing, and only plain names that hide nothing", async () => {
  const many = Array.from({ length: 1100 }, (_, i) => method(`M${i}`));
  const cases = [
    { members: defaultMembers, defined: ["Echo"], absent: ["errMsg", "MaxCompSize"] },
    {
      members: [method("then"), method("close"), method("members"), method("a b"), method("__proto__"),
        method("constructor"), method("toString"), { name: 5, kind: "method" }, null, "x", method("Ok")],
      defined: ["Ok"],
      absent: ["then", "a b"],
    },
    { members: many, defined: ["M0", "M1023"], absent: ["M1024", "M1099"] },
  ];
  for (const { members, defined, absent } of cases) {
    const { ctl } = await connect(protocol({ members, invoke: echo }));
    for (const name of defined) assert.equal(typeof ctl[name], "function", name);
    for (const name of absent) assert.equal(Object.hasOwn(ctl, name), false, name);
    assert.equal(typeof ctl.close, "function");
    assert.ok(ctl.members.length <= 1024);
    // Awaiting the control must not treat it as a promise.
    assert.equal(await Promise.resolve(ctl), ctl);
  }
});

test("calls send the member, kind and arguments and resolve to status and value", async () => {
  const { ctl, sockets } = await connect(protocol({ invoke: echo }));
  const cases = [
    { call: () => ctl.Echo("abc"), sent: { member: "Echo", kind: "method", args: ["abc"] }, value: "abc" },
    { call: () => ctl.get("errMsg"), sent: { member: "errMsg", kind: "get", args: [] }, value: null },
    {
      call: () => ctl.put("MaxCompSize", 1000),
      sent: { member: "MaxCompSize", kind: "put", args: [1000] },
      value: 1000,
    },
  ];
  for (const { call, sent, value } of cases) {
    assert.deepEqual(await call(), { status: 0, value });
    const request = sockets[0].requests.at(-1);
    assert.equal(request.jsonrpc, "2.0");
    assert.equal(request.method, "invoke");
    assert.deepEqual(request.params, { object: 7, ...sent });
  }
  await assert.rejects(ctl.Echo(10n), TypeError);
});

test("the socket is opened on the URL given as text or as a URL object", async () => {
  for (const url of ["ws://127.0.0.1:27455/", new URL("ws://127.0.0.1:27455/")]) {
    const host = fakeHost(protocol());
    await Quorvel.connect(url, { WebSocket: host.FakeSocket });
    assert.equal(host.sockets[0].url, "ws://127.0.0.1:27455/");
  }
});

test("without a URL the transport is chosen: the WebSocket at the default address where no extension answers", async () => {
  const host = fakeHost(protocol());
  await Quorvel.connect({ WebSocket: host.FakeSocket });
  await Quorvel.connect(undefined, { WebSocket: host.FakeSocket, transport: "websocket" });
  assert.deepEqual(host.sockets.map((socket) => socket.url), ["ws://127.0.0.1:27455/", "ws://127.0.0.1:27455/"]);
  await assert.rejects(Quorvel.connect({ transport: "bridge" }), RangeError);
  await assert.rejects(Quorvel.connect("ws://127.0.0.1:27455/", { transport: "extension" }), TypeError);
});

test("concurrent calls are matched to their answers by id, whatever the order", async () => {
  const held = [];
  const { ctl, sockets } = await connect(
    protocol({
      invoke: (request, socket) => {
        held.push(request);
        if (held.length < 5) return undefined;
        for (const r of held.reverse()) socket.deliver(echo(r));
      },
    }),
  );
  const texts = ["a", "b", "c", "d", "e"];
  const answers = await Promise.all(texts.map((t) => ctl.Echo(t)));
  assert.deepEqual(answers.map((a) => a.value), texts);
  // create and members took ids 1 and 2 on this socket.
  assert.deepEqual(sockets[0].requests.map((r) => r.id), [1, 2, 3, 4, 5, 6, 7]);
});

test("no more than 32 calls wait for answers at once; the others queue in order", async () => {
  const held = [];
  const { ctl, sockets } = await connect(protocol({ invoke: (request) => void held.push(request) }));
  const calls = Array.from({ length: 40 }, (_, i) => ctl.Echo(`${i}`));
  await new Promise((resolve) => setImmediate(resolve));
  assert.equal(held.length, 32);
  for (const request of held.splice(0, 3)) sockets[0].deliver(echo(request));
  await new Promise((resolve) => setImmediate(resolve));
  assert.equal(held.length, 32, "each answer lets one more call go");
  while (held.length > 0) sockets[0].deliver(echo(held.shift()));
  const answers = await Promise.all(calls);
  assert.deepEqual(answers.map((a) => a.value), calls.map((_, i) => `${i}`));
  assert.deepEqual(sockets[0].requests.slice(2).map((r) => r.params.args[0]), calls.map((_, i) => `${i}`));
});

test("calls still queued are rejected with the waiting ones when the socket closes", async () => {
  const { ctl, sockets } = await connect(protocol({ invoke: () => undefined }));
  const calls = Array.from({ length: 40 }, (_, i) => ctl.Echo(`${i}`));
  sockets[0].close(1008);
  const outcomes = await Promise.allSettled(calls);
  assert.ok(outcomes.every((o) => o.status === "rejected" && o.reason.code === QuorvelError.CLOSED));
  assert.equal(sockets[0].requests.length, 2 + 32);
});

test("frames that answer no call are dropped", async () => {
  const junk = ["not json", new ArrayBuffer(4), "null", "[]", "[1, null]", '{"id": 999, "result": 1}',
    '{"id": "3", "result": 1}', '{"id": 3.5, "result": 1}', "{".repeat(10000)];
  const { ctl } = await connect(
    protocol({
      invoke: (request, socket) => {
        for (const frame of junk) socket.deliver(frame);
        socket.deliver([echo(request)]);
      },
    }),
  );
  assert.deepEqual(await ctl.Echo("kept"), { status: 0, value: "kept" });
});

test("errors and answers outside the protocol reject with QuorvelError", async () => {
  const cases = [
    { answer: { error: { code: -2147024891, message: "denied" } }, code: -2147024891, message: "denied" },
    { answer: { error: { code: -32602, message: "params", data: { at: 1 } } }, code: -32602, data: { at: 1 } },
    { answer: { error: { code: -32603, message: "x".repeat(5000) } }, code: -32603, length: 1024 },
    { answer: { error: { code: -1 } }, code: -1 },
    { answer: { error: "nonsense" }, code: QuorvelError.BAD_ANSWER },
    { answer: { error: { code: 1.5 } }, code: QuorvelError.BAD_ANSWER },
    { answer: { result: { status: 7, value: "" } }, code: QuorvelError.BAD_ANSWER },
    { answer: { result: null }, code: QuorvelError.BAD_ANSWER },
    { answer: {}, code: QuorvelError.BAD_ANSWER },
  ];
  for (const { answer, code, message, data, length } of cases) {
    const { ctl } = await connect(protocol({ invoke: ({ id }) => ({ jsonrpc: "2.0", id, ...answer }) }));
    const error = await ctl.Echo("x").then(
      () => assert.fail(`resolved for ${JSON.stringify(answer)}`),
      (e) => e,
    );
    assert.ok(error instanceof QuorvelError && error instanceof Error);
    assert.equal(error.code, code);
    if (message !== undefined) assert.equal(error.message, message);
    if (data !== undefined) assert.deepEqual(error.data, data);
    if (length !== undefined) assert.equal(error.message.length, length);
  }
});

test("a closed socket rejects every waiting call and every later one", async () => {
  // The bridge closes with 4403 when the user denies the origin of an open connection.
  const cases = [
    { closeCode: 1006, code: QuorvelError.CLOSED, reason: "not-running" },
    { closeCode: 4403, code: QuorvelError.REFUSED, reason: "refused" },
  ];
  for (const { closeCode, code, reason } of cases) {
    const { ctl, sockets } = await connect(protocol({ invoke: () => undefined }));
    const waiting = [ctl.Echo("a"), ctl.get("errMsg")];
    sockets[0].close(closeCode);
    for (const call of waiting) await assert.rejects(call, { code, reason });
    await assert.rejects(ctl.Echo("b"), { code, reason });
    assert.equal(sockets.length, 1, "no silent reconnection");
  }
});

test("connecting fails when the socket, create or members fail", async () => {
  class Refused extends EventTarget {
    constructor() {
      super();
      setImmediate(() => this.dispatchEvent(new Event("error")));
    }
  }
  await assert.rejects(Quorvel.connect("ws://127.0.0.1:1/", { WebSocket: Refused }), {
    code: QuorvelError.CLOSED,
  });
  const cases = [
    { serve: ({ id }) => ({ id, error: { code: -2147221164, message: "unknown ProgID" } }), code: -2147221164 },
    { serve: ({ id }) => ({ id, result: { object: "one" } }), code: QuorvelError.BAD_ANSWER },
    { serve: protocol({ members: { not: "a list" } }), code: QuorvelError.BAD_ANSWER },
  ];
  for (const { serve, code } of cases) {
    const host = fakeHost(serve);
    const options = { WebSocket: host.FakeSocket, progid: "Other.Thing" };
    await assert.rejects(Quorvel.connect("ws://x/", options), { code });
    assert.equal(host.sockets[0].requests[0].params.progid, "Other.Thing");
    assert.ok(host.sockets[0].closed, "the socket of a failed connection is closed");
  }
});

// A socket that never opens: `failAfter` ms after it is made it fails with an
// error event (unless it closes with 4403) and a close event of `closeCode`;
// without `failAfter` it stays connecting until closed.
function unopenedSocket({ failAfter, closeCode = 1006 } = {}) {
  const sockets = [];
  class UnopenedSocket extends EventTarget {
    constructor() {
      super();
      this.closed = false;
      sockets.push(this);
      if (failAfter === undefined) return;
      setTimeout(() => {
        if (closeCode !== 4403) this.dispatchEvent(new Event("error"));
        this.dispatchEvent(Object.assign(new Event("close"), { code: closeCode }));
      }, failAfter);
    }
    close() {
      this.closed = true;
    }
  }
  return { UnopenedSocket, sockets };
}

// Runs `body` with the browser globals a page would have: `permissions` maps
// a permission name to its state, "throws", "hangs" or "unreadable"; `host`
// is the page's.
async function inBrowser({ permissions, host = "bank.example" }, body) {
  const saved = ["navigator", "location"].map((name) => [name, Object.getOwnPropertyDescriptor(globalThis, name)]);
  const query = async ({ name }) => {
    const state = permissions[name];
    if (state === "hangs") return new Promise(() => {});
    if (state === "unreadable") return { get state() { throw new Error("unreadable"); } };
    if (state === undefined || state === "throws") throw new TypeError(`no permission ${name}`);
    return { state };
  };
  const define = (name, value) => Object.defineProperty(globalThis, name, { value, configurable: true, writable: true });
  if (permissions) define("navigator", { permissions: { query } });
  define("location", { hostname: host });
  try {
    return await body();
  } finally {
    for (const [name, descriptor] of saved) {
      if (descriptor) Object.defineProperty(globalThis, name, descriptor);
      else delete globalThis[name];
    }
  }
}

test("a socket that never opens fails with its reason, from the bridge's close or the browser's permission", async () => {
  const blocked = { code: QuorvelError.BLOCKED, reason: "blocked-by-browser" };
  const notRunning = { code: QuorvelError.CLOSED, reason: "not-running" };
  const cases = [
    { permissions: undefined, expected: notRunning },
    { permissions: { "loopback-network": "denied" }, expected: blocked },
    { permissions: { "loopback-network": "throws", "local-network-access": "denied" }, expected: blocked },
    { permissions: { "local-network-access": "throws" }, expected: notRunning },
    { permissions: { "loopback-network": "granted" }, expected: notRunning },
    { permissions: { "loopback-network": "sometimes" }, expected: notRunning },
    { permissions: { "loopback-network": "hangs" }, expected: notRunning },
    { permissions: { "loopback-network": "unreadable" }, expected: notRunning },
    // Still not granted once the attempt failed: the user dismissed the prompt.
    {
      permissions: { "loopback-network": "prompt" },
      failAfter: 50,
      expected: blocked,
      statuses: ["connecting", "permission-prompt"],
    },
    // A page on the loopback address is never asked, whatever the browser answers.
    { permissions: { "loopback-network": "prompt" }, host: "127.0.0.1", failAfter: 50, expected: notRunning },
    { permissions: { "loopback-network": "denied" }, closeCode: 4403, expected: { code: QuorvelError.REFUSED, reason: "refused" } },
  ];
  for (const { permissions, host, failAfter = 0, closeCode, expected, statuses = ["connecting"] } of cases) {
    const label = JSON.stringify({ permissions, host, closeCode });
    const { UnopenedSocket } = unopenedSocket({ failAfter, closeCode });
    const reported = [];
    const error = await inBrowser({ permissions, host }, () =>
      Quorvel.connect("ws://127.0.0.1:27455/", { WebSocket: UnopenedSocket, onStatus: (s) => reported.push(s) }).then(
        () => assert.fail(`connected: ${label}`),
        (e) => e,
      ),
    );
    assert.ok(error instanceof QuorvelError, label);
    assert.deepEqual({ code: error.code, reason: error.reason }, expected, label);
    assert.deepEqual(reported, statuses, label);
    if (expected === blocked) {
      assert.match(error.message, /Local Network Access.*LocalNetworkAccessAllowedForUrls/, label);
    }
  }
});

test("connect gives up after connectTimeoutMs and closes the socket; reconnect keeps the options", async () => {
  const timeout = { code: QuorvelError.TIMEOUT, reason: "timeout" };
  const neverOpens = unopenedSocket();
  await assert.rejects(Quorvel.connect("ws://x/", { WebSocket: neverOpens.UnopenedSocket, connectTimeoutMs: 100 }), timeout);
  assert.ok(neverOpens.sockets[0].closed);

  // Open, but the bridge never answers create.
  const silent = fakeHost(() => undefined);
  const started = Date.now();
  await assert.rejects(Quorvel.connect("ws://x/", { WebSocket: silent.FakeSocket, connectTimeoutMs: 100 }), timeout);
  assert.ok(Date.now() - started >= 95);
  assert.ok(silent.sockets[0].closed);

  // The same options for the next socket, which stays silent.
  const host = fakeHost((request, socket) => (socket === host.sockets[0] ? protocol()(request, socket) : undefined));
  const statuses = [];
  const ctl = await Quorvel.connect("ws://x/", {
    WebSocket: host.FakeSocket,
    connectTimeoutMs: 100,
    onStatus: (s) => statuses.push(s),
  });
  assert.deepEqual(statuses, ["connecting", "open"]);
  await assert.rejects(ctl.reconnect(), timeout);
  assert.deepEqual(statuses, ["connecting", "open", "connecting"]);
  assert.ok(host.sockets[1].closed);

  for (const connectTimeoutMs of [0, -1, Number.NaN, "100", 2 ** 31]) {
    await assert.rejects(Quorvel.connect("ws://x/", { WebSocket: silent.FakeSocket, connectTimeoutMs }), RangeError);
  }
});

// Node's own WebSocket: global from node 22, behind a flag before.
const socketFlags = typeof WebSocket === "function" ? [] : ["--experimental-websocket"];
const clientModule = new URL("../quorvel.js", import.meta.url).href;
const connectOnce = `
  const { Quorvel } = await import(process.argv[1]);
  const statuses = [];
  const started = Date.now();
  const outcome = await Quorvel.connect(process.argv[2], {
    connectTimeoutMs: Number(process.argv[3]),
    onStatus: (status) => statuses.push(status),
  }).then(() => ({}), (error) => ({ code: error.code, reason: error.reason }));
  console.log(JSON.stringify({ ...outcome, statuses, ms: Date.now() - started }));
`;

async function listening(server) {
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  return server.address().port;
}

test("over real sockets: a refusing bridge, a silent one and none at all", async () => {
  // Completes the handshake, then sends only a close frame with 4403.
  const refusing = createHttpServer();
  refusing.on("upgrade", (request, socket) => {
    const accept = createHash("sha1")
      .update(`${request.headers["sec-websocket-key"]}258EAFA5-E914-47DA-95CA-C5AB0DC85B11`)
      .digest("base64");
    socket.on("error", () => {});
    socket.write(
      "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n" +
        `Sec-WebSocket-Accept: ${accept}\r\n\r\n`,
    );
    socket.write(Buffer.from([0x88, 2, 4403 >> 8, 4403 & 0xff]));
    socket.once("data", () => socket.end());
  });
  // Accepts connections and never answers.
  const accepted = [];
  const silent = createTcpServer((socket) => accepted.push(socket));
  const closed = createTcpServer();
  const closedPort = await listening(closed);
  await new Promise((resolve) => closed.close(resolve));
  try {
    const cases = [
      { port: await listening(refusing), code: QuorvelError.REFUSED, reason: "refused" },
      { port: await listening(silent), code: QuorvelError.TIMEOUT, reason: "timeout", atLeast: 400 },
      { port: closedPort, code: QuorvelError.CLOSED, reason: "not-running" },
    ];
    for (const { port, code, reason, atLeast = 0 } of cases) {
      const { stdout } = await promisify(execFile)(
        process.execPath,
        [...socketFlags, "--no-warnings", "--input-type=module", "-e", connectOnce, clientModule, `ws://127.0.0.1:${port}/`, "400"],
        { timeout: 10000 },
      );
      const outcome = JSON.parse(stdout);
      assert.deepEqual({ code: outcome.code, reason: outcome.reason }, { code, reason }, `port of ${reason}`);
      assert.deepEqual(outcome.statuses, ["connecting"]);
      assert.ok(outcome.ms >= atLeast && outcome.ms < 5000, `${reason} after ${outcome.ms} ms`);
    }
  } finally {
    for (const socket of accepted) socket.destroy();
    refusing.close();
    silent.close();
  }
});

test("close releases the object; reconnect opens a new socket and object", async () => {
  let objects = 0;
  const host = fakeHost((request, socket) => protocol({ invoke: echo, object: socket.object })(request, socket));
  const ctl = await Quorvel.connect("ws://x/", {
    WebSocket: class extends host.FakeSocket {
      object = ++objects;
    },
  });
  await ctl.reconnect();
  assert.equal(host.sockets.length, 2);
  const [first, second] = host.sockets;
  assert.deepEqual(first.requests.at(-1), { jsonrpc: "2.0", id: 3, method: "release", params: { object: 1 } });
  assert.ok(first.closed);
  await ctl.Echo("again");
  assert.deepEqual(second.requests.map((r) => [r.id, r.method]), [[1, "create"], [2, "members"], [3, "invoke"]]);
  assert.equal(second.requests[2].params.object, 2);
  await ctl.close();
  assert.deepEqual(second.requests.at(-1).params, { object: 2 });
  assert.ok(second.closed);
  await assert.rejects(ctl.Echo("after"), { code: QuorvelError.CLOSED });
});

// The real host, one `quorvel host --stdio` process per socket.
const program = process.env.QUORVEL_PROGRAM;
const demoHome = process.env.QUORVEL_DEMO_HOME;
const skip = program ? false : "QUORVEL_PROGRAM is not set";
// A test that failed or timed out must not leave a host behind to keep the run alive.
const children = [];
after(() => {
  for (const child of children) child.kill();
});

function hostProcessSocket(environment, children) {
  return class HostProcessSocket extends EventTarget {
    constructor() {
      super();
      this.child = spawn(program, ["host", "--stdio"], { env: environment, stdio: ["pipe", "pipe", "inherit"] });
      children.push(this.child);
      createInterface({ input: this.child.stdout }).on("line", (data) =>
        this.dispatchEvent(Object.assign(new Event("message"), { data })),
      );
      this.child.on("exit", () => this.dispatchEvent(Object.assign(new Event("close"), { code: 1000 })));
      this.child.on("spawn", () => this.dispatchEvent(new Event("open")));
    }
    send(frame) {
      this.child.stdin.write(frame + "\n");
    }
    close() {
      this.child.stdin.end();
    }
  };
}

test("against the host: signing, verification, failures and dispatch errors", { skip }, async () => {
  const root = mkdtempSync(join(tmpdir(), "quorvel-web-client-"));
  try {
    writeFileSync(join(root, "script.json"), JSON.stringify({ answers: [] }));
    const environment = {
      ...Object.fromEntries(Object.entries(process.env).filter(([name]) => !name.startsWith("QUORVEL_"))),
      QUORVEL_HOME: join(root, "home"),
      QUORVEL_UI: "script",
      QUORVEL_UI_SCRIPT: join(root, "script.json"),
    };
    if (demoHome) cpSync(demoHome, join(root, "home"), { recursive: true });
    else execFileSync(program, ["demo-pki"], { env: environment, stdio: "ignore" });
    const WebSocket = hostProcessSocket(environment, children);
    const ctl = await Quorvel.connect("ws://127.0.0.1:27455/", { WebSocket });

    // Every method the declarations name is a method of the control, and no other.
    const declarations = readFileSync(fileURLToPath(new URL("../quorvel.d.ts", import.meta.url)), "utf8");
    const declared = [...declarations.matchAll(/\/\*\* dispid \d+[^*]*\*\/\n {2}(\w+)\(/g)].map((m) => m[1]);
    const listed = ctl.members.filter((m) => m.kind === "method").map((m) => m.name);
    assert.deepEqual(declared.sort(), [...listed].sort());
    for (const name of listed) assert.equal(typeof ctl[name], "function", name);

    const text = "转账 100.00 元 to 6222";
    assert.deepEqual(await ctl.QVSetPlainText(text), { status: 0, value: null });
    const signed = await ctl.QVAttachedSign("CN=Zhang San");
    assert.equal(signed.status, 0);
    assert.match(signed.value, /^[A-Za-z0-9+/=\n]+$/);
    assert.equal((await ctl.QVAttachedVerify(signed.value)).status, 0);
    assert.equal((await ctl.QVGetPlainText()).value, text);
    const info = await Promise.all([1, 2, 5].map((type) => ctl.QVGetSignerCertInfo(type)));
    assert.deepEqual(
      info.map((r) => r.value),
      ["CN=Zhang San, O=ZuvirOrori, C=CN", "O=ZuvirOrori, OU=config, CN=ZAZU", "1001"],
    );

    // A member's own failure resolves with status 1; the properties say why.
    assert.deepEqual(await ctl.QVAttachedVerify("AAAA"), { status: 1, value: null });
    assert.ok((await ctl.get("errorNum")).value < 0);
    assert.equal(typeof (await ctl.get("errMsg")).value, "string");

    // Concurrent calls on one socket.
    const inputs = Array.from({ length: 20 }, (_, i) => `text ${i}`);
    const encoded = await Promise.all(inputs.map((t) => ctl.QVBase64Encode(t)));
    for (const [i, answer] of encoded.entries()) {
      assert.equal(Buffer.from(answer.value, "base64").toString(), inputs[i]);
    }

    const dispatchErrors = [
      { call: () => ctl.QVAttachedSign(), code: -2147352562 },
      { call: () => ctl.QVAttachedSign(true), code: -2147352571 },
      { call: () => ctl.put("MaxCompSize", 2 ** 40), code: -2147352566 },
      { call: () => ctl.get("NoSuchMember"), code: -2147352570 },
    ];
    for (const { call, code } of dispatchErrors) await assert.rejects(call(), { name: "QuorvelError", code });

    await ctl.close();
    await assert.rejects(ctl.getVersion(), { code: QuorvelError.CLOSED });
  } finally {
    rmSync(root, { recursive: true, force: true });
  }
});
