// Turns the browser's native-messaging failure texts into codes that pages can
// act on. The texts are Chromium's and Firefox's; they are matched loosely
// because they are not a stable interface.

const knownFailures = [
  { code: "HostNotInstalled", pattern: /not found|no such native application/i },
  { code: "HostForbidden", pattern: /forbidden/i },
  { code: "HostNameInvalid", pattern: /invalid native messaging host name/i },
  { code: "HostFailedToStart", pattern: /failed to start/i },
  { code: "HostExited", pattern: /host has exited/i },
  { code: "HostCommunicationError", pattern: /error when communicating/i },
];

export function hostErrorCode(browserMessage) {
  if (!browserMessage) {
    return "HostExited";
  }
  const failure = knownFailures.find(({ pattern }) => pattern.test(browserMessage));
  return failure ? failure.code : "HostUnknownError";
}

export const hostErrorCodes = knownFailures.map(({ code }) => code).concat("HostUnknownError");
