// Page side of the Quillmark channel: talks to the browser extension with
// window.postMessage and turns the host's wire messages into promises and
// event callbacks.
//
//   const client = new QuillmarkClient();
//   await client.connect();                       // starts quillmark
//   const answer = await client.call("GetVersion");
//   client.onEvent = (name, args) => { ... };     // "NeedGetDocumentInfoEvent", [nonce]
//   client.answerEvent("LoadConfigurationEvent", storedText);

const channel = "quillmark";
const componentVersion = "1.0.7";

export class QuillmarkError extends Error {
  constructor(code, message) {
    super(message || code);
    this.code = code;
  }
}

export class QuillmarkClient {
  constructor({ platform = "qt", probeTimeout = 2000 } = {}) {
    this.platform = platform;
    this.probeTimeout = probeTimeout;
    this.onEvent = () => {};
    this.onDisconnect = () => {};
    this.onMessage = () => {};
    this.pendingCalls = [];
    this.connected = false;
    this.lastError = new QuillmarkError("NotConnected");
    this.waiters = [];
    window.addEventListener("message", (event) => this.receive(event));
  }

  qualified(shortName) {
    return `Quillmark.${componentVersion}.${this.platform}.QES.${shortName}`;
  }

  static shortName(qualifiedName) {
    const marker = ".QES.";
    const at = typeof qualifiedName === "string" ? qualifiedName.indexOf(marker) : -1;
    return at < 0 ? qualifiedName : qualifiedName.slice(at + marker.length);
  }

  // Resolves with the extension version, rejects when no extension answers.
  probe() {
    return this.expect("available", this.probeTimeout, () => this.post({ type: "probe" }))
        .then((body) => body.version)
        .catch((error) => {
          throw error.code === "Timeout" ? new QuillmarkError("ExtensionNotInstalled") : error;
        });
  }

  async connect() {
    await this.probe();
    await this.expect("connected", this.probeTimeout, () => this.post({ type: "connect" }));
    this.connected = true;
  }

  disconnect() {
    this.post({ type: "disconnect" });
    this.connected = false;
    this.lastError = new QuillmarkError("NotConnected");
    this.failPending(this.lastError);
  }

  // Resolves with the host's answer {error, method, result}; a non-null
  // "error" is left to the caller, because some answers carry both.
  call(shortName, args = []) {
    const method = this.qualified(shortName);
    if (!this.connected) {
      return Promise.reject(this.lastError);
    }
    return new Promise((resolve, reject) => {
      this.pendingCalls.push({ method, resolve, reject });
      this.post({ type: "send", message: { method, args } });
    });
  }

  answerEvent(shortName, result) {
    this.post({ type: "send", message: { event: this.qualified(shortName), result } });
  }

  post(body) {
    window.postMessage(Object.assign({ channel, to: "extension" }, body), window.location.origin);
  }

  expect(type, timeout, start) {
    return new Promise((resolve, reject) => {
      const waiter = { type, resolve, reject };
      waiter.timer = setTimeout(() => {
        this.waiters = this.waiters.filter((w) => w !== waiter);
        reject(new QuillmarkError("Timeout"));
      }, timeout);
      this.waiters.push(waiter);
      start();
    });
  }

  receive(event) {
    const body = event.data;
    if (event.source !== window || !body || body.channel !== channel || body.to !== "page") {
      return;
    }
    this.resolveWaiters(body);
    if (body.type === "message") {
      this.onMessage(body.message);
      this.dispatch(body.message);
    } else if (body.type === "disconnected") {
      this.connected = false;
      const error = new QuillmarkError(body.code, body.error);
      this.lastError = error;
      this.failPending(error);
      this.onDisconnect(error);
    }
  }

  resolveWaiters(body) {
    const matching = this.waiters.filter((w) => w.type === body.type || body.type === "disconnected");
    this.waiters = this.waiters.filter((w) => !matching.includes(w));
    for (const waiter of matching) {
      clearTimeout(waiter.timer);
      if (body.type === "disconnected") {
        waiter.reject(new QuillmarkError(body.code, body.error));
      } else {
        waiter.resolve(body);
      }
    }
  }

  dispatch(message) {
    if (typeof message.event === "string") {
      this.onEvent(QuillmarkClient.shortName(message.event), message.args || []);
      return;
    }
    const index = this.pendingCalls.findIndex((call) => call.method === message.method);
    if (index >= 0) {
      const [call] = this.pendingCalls.splice(index, 1);
      call.resolve(message);
    }
  }

  failPending(error) {
    const calls = this.pendingCalls;
    this.pendingCalls = [];
    for (const call of calls) {
      call.reject(error);
    }
  }
}
