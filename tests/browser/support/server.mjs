// A static web server on 127.0.0.1 with a free port, for pages the tests open.
import fs from "node:fs";
import http from "node:http";
import path from "node:path";

const contentTypes = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".mjs": "text/javascript; charset=utf-8",
  ".css": "text/css; charset=utf-8",
  ".json": "application/json",
};

function fileIn(directory, relative) {
  const resolved = path.resolve(directory, "." + path.posix.normalize("/" + relative));
  return resolved.startsWith(path.resolve(directory) + path.sep) ? resolved : null;
}

// mounts: { "/demo/": "/path/to/dir" }; pages: { "/": "<html>..." }
export async function startServer({ mounts = {}, pages = {} } = {}) {
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, "http://placeholder");
    if (url.pathname in pages) {
      response.writeHead(200, { "content-type": contentTypes[".html"] });
      response.end(pages[url.pathname]);
      return;
    }
    const prefix = Object.keys(mounts).find((mount) => url.pathname.startsWith(mount));
    const file = prefix && fileIn(mounts[prefix], url.pathname.slice(prefix.length));
    if (!file || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, { "content-type": contentTypes[path.extname(file)] || "application/octet-stream" });
    fs.createReadStream(file).pipe(response);
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  return {
    port: server.address().port,
    url(pathname, host = "127.0.0.1") {
      return `http://${host}:${server.address().port}${pathname}`;
    },
    close: () => new Promise((resolve) => {
      server.closeAllConnections();
      server.close(resolve);
    }),
  };
}
