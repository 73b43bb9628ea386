// Relays between a page and the extension's service worker: the page talks
// to its own window with postMessage, this script keeps one runtime port per
// connection the page opens. Only messages the page's own window posts are
// taken, and answers go only to the page's own origin, so a frame of another
// origin can neither use this frame's connections nor read their answers:
// every frame has its own copy of this script, and the browser tells the
// service worker each port's origin.
(() => {
  const PAGE = "quorvel-page";
  const EXTENSION = "quorvel-extension";
  const VERSION = 1;
  const MAX_CONNECTIONS = 16;
  const MAX_TEXT = 64 * 1024 * 1024;
  const CHANNEL = /^[0-9a-f]{16,64}$/;
  // The document's own origin: "null" for sandboxed and data: frames, which
  // have none to answer to.
  const origin = globalThis.origin;
  if (typeof origin !== "string" || origin === "null") return;

  const ports = new Map();

  const reply = (message) => window.postMessage({ source: EXTENSION, ...message }, origin);

  function open(channel) {
    if (ports.has(channel)) return;
    if (ports.size >= MAX_CONNECTIONS) {
      reply({ channel, type: "close", code: 1013, reason: `too many connections (at most ${MAX_CONNECTIONS})` });
      return;
    }
    let port;
    try {
      port = chrome.runtime.connect({ name: "quorvel" });
    } catch {
      // The extension was updated or removed under the page.
      reply({ channel, type: "close", code: 1011, reason: "the Quorvel extension is not available" });
      return;
    }
    ports.set(channel, port);
    port.onMessage.addListener((message) => {
      if (message === null || typeof message !== "object") return;
      if (message.type === "open") reply({ channel, type: "open" });
      else if (message.type === "message" && typeof message.text === "string") {
        reply({ channel, type: "message", text: message.text });
      } else if (message.type === "close") {
        ports.delete(channel);
        reply({ channel, type: "close", code: message.code, reason: message.reason });
      }
    });
    port.onDisconnect.addListener(() => {
      if (ports.get(channel) !== port) return;
      ports.delete(channel);
      reply({ channel, type: "close", code: 1011, reason: "the Quorvel extension closed the connection" });
    });
  }

  window.addEventListener("message", (event) => {
    if (event.source !== window || event.origin !== origin) return;
    const data = event.data;
    if (data === null || typeof data !== "object" || data.source !== PAGE) return;
    if (data.type === "hello") {
      if (typeof data.nonce === "string" && CHANNEL.test(data.nonce)) {
        reply({ type: "hello", nonce: data.nonce, version: VERSION });
      }
      return;
    }
    const channel = data.channel;
    if (typeof channel !== "string" || !CHANNEL.test(channel)) return;
    if (data.type === "open") return open(channel);
    const port = ports.get(channel);
    if (!port) return;
    if (data.type === "send" && typeof data.text === "string") {
      if (data.text.length <= MAX_TEXT) return port.postMessage({ type: "send", text: data.text });
      ports.delete(channel);
      port.disconnect();
      reply({ channel, type: "close", code: 1009, reason: `a message larger than ${MAX_TEXT} bytes` });
    } else if (data.type === "close") {
      ports.delete(channel);
      port.disconnect();
    }
  });
})();
