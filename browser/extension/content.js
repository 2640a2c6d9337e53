// Bridges an allowed page and the extension. The page talks with
// window.postMessage in this shape:
//   page -> extension: { channel: "quillmark", to: "extension",
//                        type: "probe" | "connect" | "send" | "disconnect", message? }
//   extension -> page: { channel: "quillmark", to: "page",
//                        type: "available" | "connected" | "message" | "disconnected",
//                        message?, code?, error? }
// Only this window's own messages are taken, and answers are posted to this
// page's origin alone.
(() => {
  const channel = "quillmark";
  let port = null;

  function toPage(body) {
    window.postMessage(Object.assign({ channel, to: "page" }, body), window.location.origin);
  }

  function isHostMessage(message) {
    return message !== null && typeof message === "object" && !Array.isArray(message) &&
        (typeof message.method === "string" || typeof message.event === "string");
  }

  function connect() {
    if (port) {
      return;
    }
    try {
      port = chrome.runtime.connect({ name: channel });
    } catch (error) {
      toPage({ type: "disconnected", code: "ExtensionUnavailable", error: String(error.message || error) });
      return;
    }
    port.onMessage.addListener((body) => toPage(body));
    port.onDisconnect.addListener(() => {
      port = null;
    });
  }

  function disconnect() {
    if (port) {
      port.disconnect();
      port = null;
    }
  }

  function send(message) {
    if (!port) {
      toPage({ type: "disconnected", code: "NotConnected", error: chrome.i18n.getMessage("errorNotConnected") });
      return;
    }
    if (!isHostMessage(message)) {
      return;
    }
    port.postMessage({ type: "send", message });
  }

  window.addEventListener("message", (event) => {
    const data = event.data;
    if (event.source !== window || event.origin !== window.location.origin || !data ||
        data.channel !== channel || data.to !== "extension") {
      return;
    }
    switch (data.type) {
      case "probe":
        toPage({ type: "available", version: chrome.runtime.getManifest().version });
        break;
      case "connect":
        connect();
        break;
      case "send":
        send(data.message);
        break;
      case "disconnect":
        disconnect();
        break;
    }
  });
})();
