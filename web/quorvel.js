// The Quorvel client for web pages: one connection to the Quorvel host, one
// control object on it, and a method for every member the host lists.
//
//   import { Quorvel, QuorvelError } from "/quorvel.js";
//   const ctl = await Quorvel.connect();
//   const { status, value } = await ctl.QVBase64Encode("abc");
//
// The connection goes through the Quorvel browser extension when the page has
// it (it answers a hello within EXTENSION_HELLO_MS), and otherwise over a
// WebSocket to `quorvel host --listen` at DEFAULT_URL. `connect(url)` uses
// the WebSocket at `url`; `connect({transport: "extension"})` or
// `{transport: "websocket"}` picks one.
//
// Every call resolves to the host's answer `{status, value}`: status 0 when
// the member succeeded, 1 when it failed (the control's errMsg and errorNum
// properties say why). Only a call the host could not dispatch, or a lost
// connection, rejects, with a QuorvelError.
//
// A connection that cannot be made rejects with a QuorvelError whose `reason`
// says why: "not-running", "refused" (the bridge refused the page's origin),
// "blocked-by-browser" (the browser's Local Network Access permission) or
// "timeout".

export const DEFAULT_PROGID = "Quorvel.DrennicQuorvel2";
export const DEFAULT_URL = "ws://127.0.0.1:27455/";
// The extension's content script answers at once: it runs before the page's
// own scripts.
export const EXTENSION_HELLO_MS = 300;
const PAGE_SOURCE = "quorvel-page";
const EXTENSION_SOURCE = "quorvel-extension";
const EXTENSION_URL = "the Quorvel extension";

// The listing comes from the other end of a socket: only this many members,
// with plain identifiers for names, become methods.
const MAX_MEMBERS = 1024;
const MEMBER_NAME = /^[A-Za-z_][A-Za-z0-9_]{0,127}$/;
const MAX_MESSAGE = 1024;
// The host closes a connection with too many unanswered requests, so calls
// beyond this many wait here until earlier ones are answered.
const MAX_IN_FLIGHT = 32;

const DEFAULT_CONNECT_TIMEOUT_MS = 30000;
// setTimeout fires at once for anything longer.
const MAX_TIMER_MS = 2 ** 31 - 1;
// The browser's permission answer normally comes at once; one that does not
// come within this long counts as unknown.
const PERMISSION_QUERY_MS = 1000;
// The bridge completes the handshake and closes with this code when it
// refuses the page's origin, then or later.
const REFUSAL_CLOSE_CODE = 4403;
// The names Chromium has given the permission, newest first.
const LOCAL_NETWORK_PERMISSIONS = ["loopback-network", "local-network-access"];

export class QuorvelError extends Error {
  // The socket could not be opened, or closed before the answer came.
  static CLOSED = -32000;
  // The host answered something the protocol does not allow.
  static BAD_ANSWER = -32001;
  // The bridge refused the page's origin.
  static REFUSED = -32010;
  // The browser did not let the page reach the bridge.
  static BLOCKED = -32011;
  // No connection within connectTimeoutMs.
  static TIMEOUT = -32012;

  constructor(message, code, data) {
    super(message);
    this.name = "QuorvelError";
    this.code = code;
    if (data !== undefined) this.data = data;
  }
}

const REASONS = new Map([
  [QuorvelError.CLOSED, "not-running"],
  [QuorvelError.REFUSED, "refused"],
  [QuorvelError.BLOCKED, "blocked-by-browser"],
  [QuorvelError.TIMEOUT, "timeout"],
]);

// A failure of the connection itself, with the reason its code stands for.
// Errors the host sends never get a reason, whatever their code.
function connectionError(code, message) {
  const error = new QuorvelError(message, code);
  error.reason = REASONS.get(code);
  return error;
}

const refusedError = (url) =>
  connectionError(
    QuorvelError.REFUSED,
    `the Quorvel bridge at ${url} refused this site (close code ${REFUSAL_CLOSE_CODE}): ` +
      "the user has not allowed it to use the signing control",
  );

// A page served from the loopback address itself reaches the bridge without
// any Local Network Access check, though the browser answers "prompt" for it.
function pageOnLoopback() {
  const host = globalThis.location?.hostname;
  if (typeof host !== "string") return false;
  return (
    host === "localhost" || host.endsWith(".localhost") || host === "[::1]" || /^127(\.\d{1,3}){3}$/.test(host)
  );
}

// The page's Local Network Access permission: "granted", "denied", "prompt",
// or "unknown" when the browser has no such permission or does not answer.
async function localNetworkPermission() {
  const permissions = globalThis.navigator?.permissions;
  if (!permissions || typeof permissions.query !== "function") return "unknown";
  let timer;
  const late = new Promise((resolve) => {
    timer = setTimeout(() => resolve("unknown"), PERMISSION_QUERY_MS);
  });
  const query = (async () => {
    for (const name of LOCAL_NETWORK_PERMISSIONS) {
      let status;
      try {
        status = await permissions.query({ name });
      } catch {
        continue; // a name this browser does not know
      }
      const state = status?.state;
      return state === "granted" || state === "denied" || state === "prompt" ? state : "unknown";
    }
    return "unknown";
  })().catch(() => "unknown");
  try {
    return await Promise.race([query, late]);
  } finally {
    clearTimeout(timer);
  }
}

// Why a socket that never opened failed: the bridge's refusal, the browser's
// permission (denied, or still not granted once the attempt failed), or
// otherwise nothing listening.
async function socketFailure(url, event) {
  if (event?.code === REFUSAL_CLOSE_CODE) return refusedError(url);
  if (url === EXTENSION_URL) {
    const why = typeof event?.reason === "string" && event.reason ? `: ${event.reason.slice(0, MAX_MESSAGE)}` : "";
    return connectionError(QuorvelError.CLOSED, `cannot connect through ${url}${why}`);
  }
  if (!pageOnLoopback()) {
    const state = await localNetworkPermission();
    if (state === "denied" || state === "prompt") {
      return connectionError(
        QuorvelError.BLOCKED,
        `the browser blocked the connection to ${url}: this site has no Local Network Access permission. ` +
          "Allow the site to access devices on your local network (apps on this device) in its site " +
          "permissions, or ask your administrator to allow it with the LocalNetworkAccessAllowedForUrls policy",
      );
    }
  }
  return connectionError(QuorvelError.CLOSED, `cannot connect to ${url}: is the Quorvel bridge running?`);
}

function randomChannel() {
  const bytes = new Uint8Array(16);
  globalThis.crypto.getRandomValues(bytes);
  return Array.from(bytes, (byte) => byte.toString(16).padStart(2, "0")).join("");
}

// The extension's answers to this page: posted by its content script to this
// window, for this page's origin only.
function fromExtension(event) {
  if (event.source !== globalThis.window || event.origin !== globalThis.location?.origin) return null;
  const data = event.data;
  return data !== null && typeof data === "object" && data.source === EXTENSION_SOURCE ? data : null;
}

function postToExtension(message) {
  globalThis.window.postMessage({ source: PAGE_SOURCE, ...message }, globalThis.location.origin);
}

let extensionPresence = null;

// Whether the page has the extension: its content script answers a hello.
// Asked once per page.
function extensionPresent() {
  if (extensionPresence) return extensionPresence;
  extensionPresence = new Promise((resolve) => {
    if (typeof globalThis.window?.postMessage !== "function" || !globalThis.crypto?.getRandomValues) {
      resolve(false);
      return;
    }
    const nonce = randomChannel();
    const heard = (event) => {
      const data = fromExtension(event);
      if (data?.type !== "hello" || data.nonce !== nonce) return;
      clearTimeout(timer);
      globalThis.window.removeEventListener("message", heard);
      resolve(true);
    };
    const timer = setTimeout(() => {
      globalThis.window.removeEventListener("message", heard);
      resolve(false);
    }, EXTENSION_HELLO_MS);
    globalThis.window.addEventListener("message", heard);
    postToExtension({ type: "hello", nonce });
  });
  return extensionPresence;
}

// A connection through the extension with the little of WebSocket's
// interface the client uses: open, message, close (with code and reason)
// events, send and close.
class ExtensionSocket {
  #channel = randomChannel();
  #listeners = new Map();
  #done = false;
  #heard = (event) => {
    const data = fromExtension(event);
    if (!data || data.channel !== this.#channel) return;
    if (data.type === "open") this.#emit({ type: "open" });
    else if (data.type === "message" && typeof data.text === "string") this.#emit({ type: "message", data: data.text });
    else if (data.type === "close") {
      const code = Number.isSafeInteger(data.code) ? data.code : 1006;
      this.#finish(code, typeof data.reason === "string" ? data.reason : "");
    }
  };

  constructor() {
    globalThis.window.addEventListener("message", this.#heard);
    postToExtension({ type: "open", channel: this.#channel });
  }

  set binaryType(_) {}

  addEventListener(type, listener) {
    if (!this.#listeners.has(type)) this.#listeners.set(type, new Set());
    this.#listeners.get(type).add(listener);
  }

  removeEventListener(type, listener) {
    this.#listeners.get(type)?.delete(listener);
  }

  send(text) {
    if (this.#done) throw new Error("the connection is closed");
    postToExtension({ type: "send", channel: this.#channel, text });
  }

  close() {
    if (this.#done) return;
    postToExtension({ type: "close", channel: this.#channel });
    this.#finish(1000, "");
  }

  #finish(code, reason) {
    if (this.#done) return;
    this.#done = true;
    globalThis.window.removeEventListener("message", this.#heard);
    this.#emit({ type: "close", code, reason });
  }

  #emit(event) {
    for (const listener of [...(this.#listeners.get(event.type) ?? [])]) listener(event);
  }
}

function closeQuietly(socket) {
  try {
    socket.close();
  } catch {
    // Already closing.
  }
}

// One WebSocket carrying JSON-RPC requests and their answers. Ids count from 1
// on each socket; answers are matched to calls by id, in whatever order they
// arrive.
class Connection {
  #socket;
  #pending = new Map();
  #queued = [];
  #nextId = 1;
  #closed = null;

  // Opens a socket to `url`. `attempt.connecting()` says whether it is still
  // opening; `attempt.cancel(error)` gives up on it (closing the socket, or
  // the connection once open) with `error`.
  static open(url, SocketClass, attempt) {
    return new Promise((resolve, reject) => {
      let socket;
      try {
        socket = new SocketClass(url);
      } catch (error) {
        const why = String(error?.message ?? error).slice(0, MAX_MESSAGE);
        reject(connectionError(QuorvelError.CLOSED, `cannot connect to ${url}: ${why}`));
        return;
      }
      let settled = false;
      const settle = () => {
        settled = true;
        socket.removeEventListener("open", opened);
        socket.removeEventListener("error", failed);
        socket.removeEventListener("close", failed);
      };
      const opened = () => {
        if (settled) return;
        settle();
        const connection = new Connection(socket, url);
        attempt.cancel = (error) => connection.close(error);
        resolve(connection);
      };
      const failed = (event) => {
        if (settled) return;
        settle();
        socketFailure(url, event).then(reject);
      };
      attempt.connecting = () => !settled;
      attempt.cancel = (error) => {
        if (settled) return;
        settle();
        closeQuietly(socket);
        reject(error);
      };
      socket.addEventListener("open", opened);
      socket.addEventListener("error", failed);
      socket.addEventListener("close", failed);
    });
  }

  constructor(socket, url) {
    this.#socket = socket;
    socket.binaryType = "arraybuffer";
    socket.addEventListener("message", (event) => this.#receive(event.data));
    socket.addEventListener("close", (event) => {
      const code = event?.code;
      if (code === REFUSAL_CLOSE_CODE) {
        this.#shut(refusedError(url));
        return;
      }
      const why = Number.isSafeInteger(code) && code !== 0 ? ` (code ${code})` : "";
      this.#shut(connectionError(QuorvelError.CLOSED, `the connection closed${why}`));
    });
  }

  get closed() {
    return this.#closed !== null;
  }

  call(method, params) {
    if (this.#closed) return Promise.reject(this.#closed);
    const id = this.#nextId++;
    let frame;
    try {
      frame = JSON.stringify({ jsonrpc: "2.0", id, method, params });
    } catch (error) {
      return Promise.reject(new TypeError(`arguments cannot be sent: ${error.message}`));
    }
    return new Promise((resolve, reject) => {
      this.#queued.push({ id, frame, resolve, reject });
      this.#sendQueued();
    });
  }

  #sendQueued() {
    while (!this.#closed && this.#queued.length > 0 && this.#pending.size < MAX_IN_FLIGHT) {
      const call = this.#queued.shift();
      this.#pending.set(call.id, call);
      try {
        this.#socket.send(call.frame);
      } catch (error) {
        this.#pending.delete(call.id);
        call.reject(connectionError(QuorvelError.CLOSED, `cannot send: ${error.message}`));
      }
    }
  }

  // Closes the socket; waiting calls reject with `error`.
  close(error = connectionError(QuorvelError.CLOSED, "the connection was closed")) {
    this.#shut(error);
    closeQuietly(this.#socket);
  }

  // Rejects every call still waiting, and every later one, with `error`.
  #shut(error) {
    if (this.#closed) return;
    this.#closed = error;
    const waiting = [...this.#pending.values(), ...this.#queued];
    this.#pending.clear();
    this.#queued = [];
    for (const call of waiting) call.reject(error);
  }

  // A frame that is not JSON, or answers no call of ours, is dropped: it
  // cannot be matched to anything waiting.
  #receive(data) {
    if (typeof data !== "string") return;
    let message;
    try {
      message = JSON.parse(data);
    } catch {
      return;
    }
    for (const answer of Array.isArray(message) ? message : [message]) {
      if (answer === null || typeof answer !== "object") continue;
      const call = Number.isSafeInteger(answer.id) ? this.#pending.get(answer.id) : undefined;
      if (!call) continue;
      this.#pending.delete(answer.id);
      if ("error" in answer) call.reject(rpcError(answer.error));
      else if ("result" in answer) call.resolve(answer.result);
      else call.reject(new QuorvelError("an answer without result or error", QuorvelError.BAD_ANSWER));
    }
    this.#sendQueued();
  }
}

function rpcError(error) {
  if (error === null || typeof error !== "object" || !Number.isSafeInteger(error.code)) {
    return new QuorvelError("a malformed error answer", QuorvelError.BAD_ANSWER);
  }
  const message =
    typeof error.message === "string" ? error.message.slice(0, MAX_MESSAGE) : `error ${error.code}`;
  return new QuorvelError(message, error.code, error.data);
}

function checkedResult(result) {
  if (result === null || typeof result !== "object" || (result.status !== 0 && result.status !== 1)) {
    throw new QuorvelError("an invoke answer without status 0 or 1", QuorvelError.BAD_ANSWER);
  }
  return { status: result.status, value: result.value === undefined ? null : result.value };
}

export class Quorvel {
  #url;
  #progid;
  #SocketClass;
  #connectTimeoutMs;
  #onStatus;
  #connection = null;
  #object = null;
  #methods = [];
  #members = [];

  // Opens a connection, creates a control object on it and returns the
  // control with one method per member of kind "method". With a `url` the
  // connection is a WebSocket to it; without one, `options.transport`
  // ("extension" or "websocket") picks, and by default the extension is
  // used when the page has it.
  static async connect(url, options = {}) {
    if (url !== undefined && url !== null && typeof url === "object" && typeof url.href !== "string") {
      options = url;
      url = undefined;
    }
    const { transport } = options;
    if (transport !== undefined && transport !== "extension" && transport !== "websocket") {
      throw new RangeError('transport must be "extension" or "websocket"');
    }
    if (url !== undefined && url !== null && transport === "extension") {
      throw new TypeError("a URL names a WebSocket, not the extension");
    }
    let viaExtension = transport === "extension";
    if (transport === undefined && (url === undefined || url === null)) viaExtension = await extensionPresent();
    const control = viaExtension
      ? new Quorvel(EXTENSION_URL, { ...options, WebSocket: ExtensionSocket })
      : new Quorvel(url ?? DEFAULT_URL, options);
    await control.#open();
    return control;
  }

  constructor(
    url,
    {
      progid = DEFAULT_PROGID,
      WebSocket: SocketClass = globalThis.WebSocket,
      connectTimeoutMs = DEFAULT_CONNECT_TIMEOUT_MS,
      onStatus,
    } = {},
  ) {
    if (typeof connectTimeoutMs !== "number" || !(connectTimeoutMs > 0 && connectTimeoutMs <= MAX_TIMER_MS)) {
      throw new RangeError(`connectTimeoutMs must be a number of milliseconds from 1 to ${MAX_TIMER_MS}`);
    }
    if (onStatus !== undefined && typeof onStatus !== "function") {
      throw new TypeError("onStatus must be a function");
    }
    this.#url = typeof url === "string" ? url : String(url.href);
    this.#progid = progid;
    this.#SocketClass = SocketClass;
    this.#connectTimeoutMs = connectTimeoutMs;
    this.#onStatus = onStatus;
  }

  // The members the host listed for this object: {dispid, name, kind, params,
  // result, implemented}.
  get members() {
    return this.#members;
  }

  get(name) {
    return this.#invoke(name, "get", []);
  }

  put(name, value) {
    return this.#invoke(name, "put", [value]);
  }

  // Releases the object and closes the socket. Calls still waiting reject.
  async close() {
    const connection = this.#connection;
    const object = this.#object;
    this.#connection = null;
    this.#object = null;
    if (!connection) return;
    if (!connection.closed && object !== null) {
      try {
        await connection.call("release", { object });
      } catch {
        // The object goes with the connection anyway.
      }
    }
    connection.close();
  }

  // Closes this connection, if any, and opens a new socket with a new object.
  // Nothing carries over: the new object starts in its initial state.
  async reconnect() {
    await this.close();
    await this.#open();
  }

  // A page's callback must not break the connection it reports on.
  #report(status) {
    if (!this.#onStatus) return;
    try {
      this.#onStatus(status);
    } catch (error) {
      if (typeof globalThis.reportError === "function") globalThis.reportError(error);
    }
  }

  // Opens the socket, creates the object and lists its members, all within
  // connectTimeoutMs: the browser's permission prompt and the bridge's
  // question to the user may both be open meanwhile.
  async #open() {
    this.#report("connecting");
    const attempt = { connecting: () => true, cancel: () => {} };
    const timer = setTimeout(
      () =>
        attempt.cancel(
          connectionError(QuorvelError.TIMEOUT, `no connection to ${this.#url} within ${this.#connectTimeoutMs} ms`),
        ),
      this.#connectTimeoutMs,
    );
    if (this.#onStatus && this.#SocketClass !== ExtensionSocket && !pageOnLoopback()) {
      localNetworkPermission().then((state) => {
        if (state === "prompt" && attempt.connecting()) this.#report("permission-prompt");
      });
    }
    try {
      const connection = await Connection.open(this.#url, this.#SocketClass, attempt);
      try {
        const created = await connection.call("create", { progid: this.#progid });
        if (created === null || typeof created !== "object" || !Number.isSafeInteger(created.object)) {
          throw new QuorvelError("create answered no object", QuorvelError.BAD_ANSWER);
        }
        const members = await connection.call("members", { object: created.object });
        if (!Array.isArray(members)) {
          throw new QuorvelError("members answered no list", QuorvelError.BAD_ANSWER);
        }
        this.#connection = connection;
        this.#object = created.object;
        this.#defineMethods(members.slice(0, MAX_MEMBERS));
      } catch (error) {
        connection.close();
        throw error;
      }
    } finally {
      clearTimeout(timer);
    }
    this.#report("open");
  }

  // A member name that is not a plain identifier, or that would hide one of
  // this class's own names (or `then`, which would make the control look like
  // a promise), gets no method.
  #defineMethods(members) {
    for (const name of this.#methods) delete this[name];
    this.#methods = [];
    const listed = [];
    for (const member of members) {
      if (member === null || typeof member !== "object") continue;
      const { name, kind } = member;
      if (typeof name !== "string" || !MEMBER_NAME.test(name)) continue;
      listed.push(Object.freeze({ ...member }));
      if (kind !== "method" || name === "then" || name in this) continue;
      Object.defineProperty(this, name, {
        value: (...args) => this.#invoke(name, "method", args),
        enumerable: true,
        configurable: true,
      });
      this.#methods.push(name);
    }
    this.#members = Object.freeze(listed);
  }

  async #invoke(member, kind, args) {
    if (!this.#connection) {
      throw connectionError(QuorvelError.CLOSED, "the control is not connected");
    }
    const result = await this.#connection.call("invoke", {
      object: this.#object,
      member: String(member),
      kind,
      args,
    });
    return checkedResult(result);
  }
}
