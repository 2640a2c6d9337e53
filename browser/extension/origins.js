// Decides whether a page origin may reach the host. The patterns are the
// content-script match patterns of the manifest, so the manifest stays the one
// place where the served pages are listed.

function parsePattern(pattern) {
  const match = /^(https?|\*):\/\/([^/]+)\/.*$/.exec(pattern);
  if (!match) {
    return null;
  }
  const [, scheme, hostAndPort] = match;
  const portSeparator = hostAndPort.lastIndexOf(":");
  const hasPort = portSeparator > 0 && !hostAndPort.endsWith("]");
  return {
    scheme,
    host: hasPort ? hostAndPort.slice(0, portSeparator) : hostAndPort,
    port: hasPort ? hostAndPort.slice(portSeparator + 1) : null,
  };
}

function schemeMatches(patternScheme, scheme) {
  return patternScheme === "*" ? scheme === "http" || scheme === "https" : patternScheme === scheme;
}

function hostMatches(patternHost, host) {
  if (patternHost.startsWith("*.")) {
    const domain = patternHost.slice(2);
    return host === domain || host.endsWith("." + domain);
  }
  return patternHost === host;
}

// A pattern without a port admits every port of its host, as the browser's
// own match patterns do, so the demo server may listen on any free port.
function portMatches(patternPort, port) {
  return patternPort === null || patternPort === "*" || patternPort === port;
}

export function originAllowed(origin, patterns) {
  let url;
  try {
    url = new URL(origin);
  } catch {
    return false;
  }
  if (url.username || url.password) {
    return false;
  }
  const scheme = url.protocol.replace(/:$/, "");
  return patterns.some((pattern) => {
    const parsed = parsePattern(pattern);
    return parsed !== null && schemeMatches(parsed.scheme, scheme) &&
        hostMatches(parsed.host, url.hostname) && portMatches(parsed.port, url.port);
  });
}
