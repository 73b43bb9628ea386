// The extension's service worker: one native port to the Quorvel host per
// browser profile, and one session on it for each page connection. The
// session's number is ours and its origin is the one the browser gives for
// the page's frame; nothing a page says picks either.
//
// Messages larger than the browser lets through in one piece travel as
// chunks both ways: {"chunk": {"id", "index", "count"}, "text"}, the texts
// joined in order making the message's JSON.
const HOST = "org.quorvel.host";
// A piece of at most this many UTF-16 units is under 1 MB of UTF-8 once
// escaped for all but the rarest texts, and far under the 64 MiB the
// browser lets a host read.
const CHUNK_UNITS = 256 * 1024;
// What the host takes: a request's text of at most 64 MiB of UTF-8, in a
// message of at most 65 MiB.
const MAX_TEXT = 64 * 1024 * 1024;
const MAX_MESSAGE = MAX_TEXT + 1024 * 1024;
// Requests of one page connection not yet answered, as the host allows.
const MAX_WAITING = 64;
// Answers the host sends in chunks: at most this much joined.
const MAX_JOINED = 256 * 1024 * 1024;

let native = null;
let nextSession = 1;
let nextChunk = 1;
let joining = null;
// By session number: {port, opened, waiting}.
const sessions = new Map();

// UTF-8 bytes of `text`, counted only as far as `limit`.
function fitsUtf8(text, limit) {
  if (text.length * 3 <= limit) return true;
  let bytes = 0;
  for (let i = 0; i < text.length && bytes <= limit; i++) {
    const unit = text.charCodeAt(i);
    if (unit < 0x80) bytes += 1;
    else if (unit < 0x800) bytes += 2;
    else if (unit >= 0xd800 && unit <= 0xdbff) {
      bytes += 4;
      i++;
    } else bytes += 3;
  }
  return bytes <= limit;
}

// The origin the browser gives for the frame the port came from.
function originOf(sender) {
  if (typeof sender?.origin === "string") return sender.origin;
  try {
    return new URL(sender.url).origin;
  } catch {
    return "null";
  }
}

function hostPort() {
  if (native) return native;
  native = chrome.runtime.connectNative(HOST);
  native.onMessage.addListener(fromHost);
  native.onDisconnect.addListener(() => {
    const why = chrome.runtime.lastError?.message;
    native = null;
    joining = null;
    const reason = why ? `the Quorvel host is not available: ${why}` : "the Quorvel host stopped";
    const ports = [...sessions.values()];
    sessions.clear();
    for (const { port } of ports) closePort(port, 1011, reason);
  });
  return native;
}

function closePort(port, code, reason) {
  try {
    port.postMessage({ type: "close", code, reason });
    port.disconnect();
  } catch {
    // The page went first.
  }
}

// Ends a page connection here and at the host.
function endSession(number, code, reason) {
  const session = sessions.get(number);
  if (!session) return;
  sessions.delete(number);
  closePort(session.port, code, reason);
  if (native) toHost({ close: number });
}

function toHost(message, text = JSON.stringify(message)) {
  const port = hostPort();
  if (text.length <= CHUNK_UNITS) {
    port.postMessage(message);
    return;
  }
  const pieces = [];
  for (let start = 0; start < text.length; ) {
    let end = Math.min(start + CHUNK_UNITS, text.length);
    // A surrogate pair stays in one piece.
    const last = text.charCodeAt(end - 1);
    if (end < text.length && last >= 0xd800 && last <= 0xdbff) end -= 1;
    pieces.push(text.slice(start, end));
    start = end;
  }
  const id = nextChunk++;
  pieces.forEach((piece, index) => port.postMessage({ chunk: { id, index, count: pieces.length }, text: piece }));
}

// A chunk of the host's, or a message of its own. Chunks come in order, one
// message at a time; anything else drops the message being joined.
function fromHost(message) {
  if (message === null || typeof message !== "object") return;
  if (!("chunk" in message)) return deliver(message);
  const { chunk, text } = message;
  const valid =
    chunk !== null &&
    typeof chunk === "object" &&
    Number.isSafeInteger(chunk.id) &&
    Number.isSafeInteger(chunk.index) &&
    Number.isSafeInteger(chunk.count) &&
    chunk.count >= 2 &&
    typeof text === "string";
  const expected =
    valid && (joining ? chunk.id === joining.id && chunk.count === joining.count && chunk.index === joining.next : chunk.index === 0);
  if (!expected) {
    joining = null;
    return;
  }
  if (!joining) joining = { id: chunk.id, count: chunk.count, next: 0, size: 0, parts: [] };
  joining.size += text.length;
  if (joining.size > MAX_JOINED) {
    joining = null;
    return;
  }
  joining.parts.push(text);
  if (++joining.next < joining.count) return;
  const joined = joining.parts.join("");
  joining = null;
  try {
    deliver(JSON.parse(joined));
  } catch {
    // Not JSON: nothing to deliver.
  }
}

function deliver(message) {
  if (message === null || typeof message !== "object") return;
  const number = message.opened ?? message.answer ?? message.closed;
  const session = sessions.get(number);
  if (!session) return;
  if ("opened" in message) {
    session.opened = true;
    session.port.postMessage({ type: "open" });
  } else if ("answer" in message && typeof message.text === "string") {
    session.waiting = Math.max(0, session.waiting - 1);
    session.port.postMessage({ type: "message", text: message.text });
  } else if ("closed" in message) {
    sessions.delete(number);
    closePort(session.port, message.code, message.reason);
  }
}

chrome.runtime.onConnect.addListener((port) => {
  if (port.name !== "quorvel" || port.sender?.id !== chrome.runtime.id) {
    port.disconnect();
    return;
  }
  const number = nextSession++;
  const session = { port, opened: false, waiting: 0 };
  sessions.set(number, session);
  // Held to the host's limits here, before anything reaches the host: a page
  // sends only once its connection is open, waits for its answers, and sends
  // no more than the host takes.
  port.onMessage.addListener((message) => {
    if (sessions.get(number) !== session || message === null || typeof message !== "object") return;
    if (message.type !== "send" || typeof message.text !== "string") return;
    if (!session.opened) return endSession(number, 1008, "a request before the connection was open");
    if (session.waiting >= MAX_WAITING) {
      return endSession(number, 1008, `more than ${MAX_WAITING} requests waiting for an answer`);
    }
    const call = { call: number, text: message.text };
    const json = JSON.stringify(call);
    if (!fitsUtf8(message.text, MAX_TEXT) || !fitsUtf8(json, MAX_MESSAGE)) {
      return endSession(number, 1009, `a message larger than ${MAX_TEXT} bytes`);
    }
    session.waiting += 1;
    toHost(call, json);
  });
  port.onDisconnect.addListener(() => {
    if (sessions.get(number) !== session) return;
    sessions.delete(number);
    if (native) toHost({ close: number });
  });
  toHost({ open: number, origin: originOf(port.sender) });
});
