// Relays one page connection to one quillmark process. Each port from a
// content script gets its own native port, so every tab has its own host and
// closing the tab closes the host's standard input.

import { hostErrorCode } from "./hosterrors.js";
import { originAllowed } from "./origins.js";

const hostName = "eu.varnek.quillmark";
const pagePortName = "quillmark";

function allowedPatterns() {
  return chrome.runtime.getManifest().content_scripts.flatMap((script) => script.matches);
}

function senderOrigin(sender) {
  if (sender.origin) {
    return sender.origin;
  }
  try {
    return new URL(sender.url).origin;
  } catch {
    return "";
  }
}

function mayConnect(port) {
  const sender = port.sender || {};
  return sender.id === chrome.runtime.id && sender.frameId === 0 &&
      originAllowed(senderOrigin(sender), allowedPatterns());
}

function browserFailureText(nativePort) {
  const error = nativePort.error || chrome.runtime.lastError;
  return error ? error.message : "";
}

function disconnection(browserText) {
  const code = hostErrorCode(browserText);
  return {
    type: "disconnected",
    code,
    error: chrome.i18n.getMessage("error" + code) || code,
  };
}

function relay(pagePort) {
  const nativePort = chrome.runtime.connectNative(hostName);
  let pageGone = false;

  nativePort.onMessage.addListener((message) => {
    pagePort.postMessage({ type: "message", message });
  });
  nativePort.onDisconnect.addListener(() => {
    const browserText = browserFailureText(nativePort);
    if (pageGone) {
      return;
    }
    console.warn("quillmark host disconnected:", browserText);
    pagePort.postMessage(disconnection(browserText));
    pagePort.disconnect();
  });

  pagePort.onMessage.addListener((request) => {
    if (request && request.type === "send") {
      nativePort.postMessage(request.message);
    }
  });
  pagePort.onDisconnect.addListener(() => {
    pageGone = true;
    nativePort.disconnect();
  });

  pagePort.postMessage({ type: "connected" });
}

chrome.runtime.onConnect.addListener((port) => {
  if (port.name !== pagePortName || !mayConnect(port)) {
    port.disconnect();
    return;
  }
  relay(port);
});
