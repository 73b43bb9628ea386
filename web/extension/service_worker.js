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
const MAX_TEXT = 64 * 1024 * 1024;
// Answers the host sends in chunks: at most this much joined.
const MAX_JOINED = 256 * 1024 * 1024;

let native = null;
let nextSession = 1;
let nextChunk = 1;
let joining = null;
const sessions = new Map();

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
    for (const port of ports) closePort(port, 1011, reason);
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

function toHost(message) {
  const port = hostPort();
  const text = JSON.stringify(message);
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
  const expected = joining ? chunk.id === joining.id && chunk.count === joining.count && chunk.index === joining.next : chunk.index === 0;
  if (!valid || !expected) {
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
  const port = sessions.get(number);
  if (!port) return;
  if ("opened" in message) port.postMessage({ type: "open" });
  else if ("answer" in message && typeof message.text === "string") {
    port.postMessage({ type: "message", text: message.text });
  } else if ("closed" in message) {
    sessions.delete(number);
    closePort(port, message.code, message.reason);
  }
}

chrome.runtime.onConnect.addListener((port) => {
  if (port.name !== "quorvel" || port.sender?.id !== chrome.runtime.id) {
    port.disconnect();
    return;
  }
  const number = nextSession++;
  sessions.set(number, port);
  port.onMessage.addListener((message) => {
    if (!sessions.has(number) || message === null || typeof message !== "object") return;
    if (message.type === "send" && typeof message.text === "string" && message.text.length <= MAX_TEXT) {
      toHost({ call: number, text: message.text });
    }
  });
  port.onDisconnect.addListener(() => {
    if (sessions.delete(number) && native) toHost({ close: number });
  });
  toHost({ open: number, origin: originOf(port.sender) });
});
