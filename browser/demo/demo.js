// The demo web application: relays Quillmark's requests to the development
// signing server and shows every message that passes.
import { QuillmarkClient } from "./quillmark-client.js";

const element = (id) => document.getElementById(id);
const client = new QuillmarkClient();
let workflow = null;
// Every message in both directions, for whoever drives the page.
const transcript = [];
window.quillmarkTranscript = transcript;

function setState(state, text) {
  document.body.dataset.state = state;
  element("status").textContent = text;
}

function shorten(value) {
  return JSON.stringify(value, (key, item) =>
    typeof item === "string" && item.length > 160 ? `${item.slice(0, 120)}… (${item.length} characters)` : item);
}

function logLine(kind, text) {
  const line = document.createElement("li");
  line.className = kind;
  line.textContent = text;
  element("messages").append(line);
  line.scrollIntoView({ block: "nearest" });
}

async function server(path, body) {
  const response = await fetch(path, body === undefined ? {} : {
    method: "POST",
    headers: { "content-type": "application/json" },
    body: JSON.stringify(body),
  });
  const reply = await response.json();
  logLine("server", `server ${path}: ${shorten(reply)}`);
  if (!response.ok) {
    throw new Error(reply.error || `${path} answered ${response.status}`);
  }
  return reply;
}

async function call(name, args = []) {
  logLine("to-host", `page → quillmark ${name} ${shorten(args)}`);
  transcript.push({ to: "quillmark", method: name, args });
  const answer = await client.call(name, args);
  if (answer.error !== null) {
    throw new Error(`${name}: ${answer.error}`);
  }
  return answer.result;
}

function answerEvent(name, result) {
  logLine("to-host", `page → quillmark ${name} answer ${shorten(result)}`);
  transcript.push({ to: "quillmark", event: name, result });
  client.answerEvent(name, result);
}

async function relay(method, path, body) {
  const { answer } = await server(path, body);
  await call(method, [answer]);
}

async function showResult() {
  const result = await server("/api/result");
  if (!result.signed) {
    return;
  }
  element("result-document").textContent = result.documentName;
  element("result-document-file").textContent = result.documentName;
  element("result-signature-file").textContent = result.documentName + ".sig";
  element("result-signer").textContent = result.signer;
  element("result-hash").textContent = result.documentSha256;
  element("result-signature").textContent = result.signature;
  element("result").hidden = false;
}

async function finish(successful) {
  const finished = workflow;
  workflow = null;
  await call("DisposeInstance").catch(() => {});
  enableActions(true);
  if (successful) {
    await showResult();
    setState("finished", "Document signed.");
  } else {
    setState("closed", finished === "sign" ? "Closed without signing." : "Document window closed.");
  }
}

const eventHandlers = {
  NeedGetDocumentInfoEvent: ([nonce]) =>
    relay("ProcessGetDocumentInfoResponse", "/api/document-info", { nonce }),
  NeedGetDocumentPageEvent: ([page, nonce]) =>
    relay("ProcessGetDocumentPageResponse", "/api/document-page", { page, nonce }),
  NeedSignInitEvent: ([certificate, nonce]) =>
    relay("ProcessSignInitResponse", "/api/sign-init", { certificate, nonce }),
  NeedSignFinishEvent: ([signature, nonce]) =>
    relay("ProcessSignFinishResponse", "/api/sign-finish", { signature, nonce }),
  LoadConfigurationEvent: async () => {
    const { configuration } = await server("/api/configuration");
    answerEvent("LoadConfigurationEvent", configuration);
  },
  SaveConfigurationEvent: async ([data]) => {
    const { saved } = await server("/api/configuration", { configuration: data });
    answerEvent("SaveConfigurationEvent", saved === true);
  },
  SigningProcessFinishedEvent: ([successful]) => finish(successful === true),
};

client.onMessage = (message) => {
  logLine("from-host", `quillmark → page ${shorten(message)}`);
  transcript.push({ from: "quillmark", message });
};
client.onEvent = (name, args) => {
  const handler = eventHandlers[name];
  // Outside a workflow the host only reports failures of our own answers.
  if (!handler || workflow === null) {
    return;
  }
  handler(args).catch((error) => setState("error", error.message));
};
client.onDisconnect = (error) => {
  workflow = null;
  enableActions(true);
  setState("error", error.message);
};

function enableActions(idle) {
  element("view").disabled = !idle;
  element("sign").disabled = !idle;
  element("bring-to-front").disabled = idle;
  element("terminate").disabled = idle;
}

async function start(mode) {
  enableActions(false);
  element("result").hidden = true;
  workflow = mode;
  try {
    if (!client.connected) {
      setState("busy", "Starting Quillmark…");
      await client.connect();
    }
    await call("CreateInstance");
    await call("SetSigningCertificateStores", [element("stores").value]);
    await call("SetLanguage", [element("language").value]);
    await call("SetFilterOnlyValidCerts", [element("only-valid").checked]);
    await call("SetFilterOnlyQualifiedCerts", [element("only-qualified").checked]);
    await call(mode === "sign" ? "SignDocument" : "ViewDocument");
    setState("busy", mode === "sign" ? "Signing window is open." : "Document window is open.");
  } catch (error) {
    workflow = null;
    enableActions(true);
    setState("error", error.message);
  }
}

async function load() {
  const settings = await server("/api/settings");
  element("stores").value = settings.stores;
  element("document-name").textContent = settings.documentName;
  element("document-pages").textContent = settings.pages;
  try {
    const version = await client.probe();
    logLine("server", `Quillmark extension ${version} found`);
    enableActions(true);
    setState("ready", "Ready.");
  } catch (error) {
    setState("error", "The Quillmark browser extension is not installed.");
  }
}

element("view").addEventListener("click", () => start("view"));
element("sign").addEventListener("click", () => start("sign"));
element("bring-to-front").addEventListener("click", () =>
  call("BringToFront").catch((error) => setState("error", error.message)));
element("terminate").addEventListener("click", () =>
  call("Terminate").catch((error) => setState("error", error.message)));

load().catch((error) => setState("error", error.message));
