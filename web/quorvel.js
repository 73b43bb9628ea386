// The Quorvel client for web pages: one WebSocket to `quorvel host --listen`,
// one control object on it, and a method for every member the host lists.
//
//   import { Quorvel, QuorvelError } from "/quorvel.js";
//   const ctl = await Quorvel.connect("ws://127.0.0.1:27455/");
//   const { status, value } = await ctl.QVBase64Encode("abc");
//
// Every call resolves to the host's answer `{status, value}`: status 0 when
// the member succeeded, 1 when it failed (the control's errMsg and errorNum
// properties say why). Only a call the host could not dispatch, or a lost
// connection, rejects, with a QuorvelError.

export const DEFAULT_PROGID = "Quorvel.DrennicQuorvel2";

// The listing comes from the other end of a socket: only this many members,
// with plain identifiers for names, become methods.
const MAX_MEMBERS = 1024;
const MEMBER_NAME = /^[A-Za-z_][A-Za-z0-9_]{0,127}$/;
const MAX_MESSAGE = 1024;
// The host closes a connection with too many unanswered requests, so calls
// beyond this many wait here until earlier ones are answered.
const MAX_IN_FLIGHT = 32;

export class QuorvelError extends Error {
  // The socket could not be opened, or closed before the answer came.
  static CLOSED = -32000;
  // The host answered something the protocol does not allow.
  static BAD_ANSWER = -32001;

  constructor(message, code, data) {
    super(message);
    this.name = "QuorvelError";
    this.code = code;
    if (data !== undefined) this.data = data;
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

  static open(url, SocketClass) {
    return new Promise((resolve, reject) => {
      let socket;
      try {
        socket = new SocketClass(url);
      } catch (error) {
        reject(new QuorvelError(`cannot connect to ${url}: ${error.message}`, QuorvelError.CLOSED));
        return;
      }
      const fail = () =>
        reject(new QuorvelError(`cannot connect to ${url}`, QuorvelError.CLOSED));
      socket.addEventListener("error", fail);
      socket.addEventListener("close", fail);
      socket.addEventListener("open", () => {
        socket.removeEventListener("error", fail);
        socket.removeEventListener("close", fail);
        resolve(new Connection(socket));
      });
    });
  }

  constructor(socket) {
    this.#socket = socket;
    socket.binaryType = "arraybuffer";
    socket.addEventListener("message", (event) => this.#receive(event.data));
    socket.addEventListener("close", (event) => {
      const reason = event && event.code ? ` (code ${event.code})` : "";
      this.#shut(new QuorvelError(`the connection closed${reason}`, QuorvelError.CLOSED));
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
        call.reject(new QuorvelError(`cannot send: ${error.message}`, QuorvelError.CLOSED));
      }
    }
  }

  close() {
    this.#shut(new QuorvelError("the connection was closed", QuorvelError.CLOSED));
    try {
      this.#socket.close();
    } catch {
      // Already closing.
    }
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
  #connection = null;
  #object = null;
  #methods = [];
  #members = [];

  // Opens a socket to `url`, creates a control object on it and returns the
  // control with one method per member of kind "method".
  static async connect(url, options = {}) {
    const control = new Quorvel(url, options);
    await control.#open();
    return control;
  }

  constructor(url, { progid = DEFAULT_PROGID, WebSocket: SocketClass = globalThis.WebSocket } = {}) {
    this.#url = typeof url === "string" ? url : String(url.href);
    this.#progid = progid;
    this.#SocketClass = SocketClass;
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

  async #open() {
    const connection = await Connection.open(this.#url, this.#SocketClass);
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
      throw new QuorvelError("the control is not connected", QuorvelError.CLOSED);
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
