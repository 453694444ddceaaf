#!/usr/bin/env python3
"""A stand-in for the web service, for tests: listens on 127.0.0.1 only.

    python3 service.py [--port N] [--exit-with-stdin] [--release VERSION=FILE]

Prints "listening on http://127.0.0.1:PORT" once it accepts connections
(port 0, the default, picks a free one). With --exit-with-stdin it ends
when its standard input closes, so it never outlives the test that started
it, however that test ends. Answers the five service paths with
fixed bodies (the latest version names a file of this service, with its
size and SHA-256), serves generated files under /files/NAME?size=BYTES, and
records every other request. With --release, the latest version is
VERSION and its file the local FILE (a real update), served under
/files/ by its own name. A request may also arrive through it as a
proxy (an absolute URL in the request line): it is answered the same way; a
tunnel (CONNECT) is recorded and refused with 404.

Control paths (not recorded):
  GET  /_control/requests   the record: a JSON array of
                            {method, target, path, headers, body, client_closed}
  POST /_control/reset      forgets the record and every rule
  POST /_control/rule       {"path": P, ...switches}: how P is answered from now on
  GET  /_control/sha256?size=N  the SHA-256 of the file /files/*?size=N

Switches of a rule:
  delay: seconds to wait before answering (an early close by the client is
         noted as client_closed in the record)
  status: the status code to answer with (404 answers "Not Found")
  redirect: a location to answer 302 with
  body: the body text to answer with instead of the fixed one
  no_length: send the body without Content-Length, ending it by closing
  stall_after: send this many bytes of the body, then nothing more
  short_by: announce this many bytes more than are sent, then close
  pace: seconds to wait after each 64 KiB block of a file
  fill: answer a service path with a body of this many spaces, sent in blocks
        (with Content-Length unless no_length), never held whole
  endless: answer a service path with spaces until the client closes
  gzip: send a file, or the spaces of fill, gzip-encoded (Content-Encoding:
        gzip; spaces are packed as they are sent, without a length)
  gzip_cut: with gzip, leave this many bytes off the end of the compressed
        file, announcing only what is sent: a complete answer, a cut stream
  file: under /files/, serve this local file's bytes instead (a program, say)
"""
import argparse
import gzip
import hashlib
import json
import os
import select
import sys
import threading
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

# The newest release is a generated file this service serves itself, so a
# client can download it and check it against the published digest.
LATEST_SIZE = 3 * 1024 * 1024 + 17
FIXED = {
    "/api/versions/": '{"list":[{"version":"2.1.0","notes":"修复与改进"},{"version":"2.0.0","notes":"首个版本"}]}',
    "/api/info/": '{"name":"Tidewell","homepage":"https://www.tidewell.example"}',
    "/api/feedback/": '{"ok":true}',
    "/api/events/": '{"ok":true}',
}
CHUNK = 64 * 1024

lock = threading.Lock()
record = []
rules = {}
release = None  # with --release: {"version", "path", "name", "sha256", "size"}


def file_chunks(size):
    """Deterministic content: block k is SHA-256(k) repeated."""
    sent, k = 0, 0
    while sent < size:
        block = (hashlib.sha256(str(k).encode()).digest() * (CHUNK // 32))[: size - sent]
        yield block
        sent += len(block)
        k += 1


def file_sha256(size):
    digest = hashlib.sha256()
    for block in file_chunks(size):
        digest.update(block)
    return digest.hexdigest()


def latest_release(host):
    """{version, url, sha256, size, notes}: the answer to the latest-version read."""
    if release:
        return json.dumps({
            "version": release["version"],
            "url": f"http://{host}/files/{release['name']}",
            "sha256": release["sha256"],
            "size": release["size"],
            "notes": "修复与改进",
        }, ensure_ascii=False, separators=(",", ":"))
    return json.dumps({
        "version": "2.1.0",
        "url": f"http://{host}/files/Tidewell-2.1.0.exe?size={LATEST_SIZE}",
        "sha256": file_sha256(LATEST_SIZE),
        "size": LATEST_SIZE,
        "notes": "修复与改进",
    }, ensure_ascii=False, separators=(",", ":"))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.handle_any()

    def do_POST(self):
        self.handle_any()

    def do_HEAD(self):
        self.handle_any()

    def do_CONNECT(self):
        # A tunnel request to this proxy: recorded, never opened.
        self.handle_any()

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length else b""

    def client_closed_within(self, seconds):
        """Waits; True as soon as the client closes its side."""
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return False
            ready, _, _ = select.select([self.connection], [], [], min(left, 0.05))
            if ready:
                try:
                    if not self.connection.recv(1, 2):  # MSG_PEEK
                        return True
                except OSError:
                    return True

    def answer(self, status, body, headers=(), length=True):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if length:
            self.send_header("Content-Length", str(len(body)))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def handle_any(self):
        parts = urlsplit(self.path)
        path = parts.path
        body = self.read_body()
        if path.startswith("/_control/"):
            return self.control(path, parts.query, body)
        entry = {
            "method": self.command,
            "target": self.path,
            "path": path,
            "headers": {k: v for k, v in self.headers.items()},
            "body": body.decode("utf-8", "replace"),
            "client_closed": False,
        }
        with lock:
            record.append(entry)
            rule = dict(rules.get(path, {}))
        try:
            self.respond(path, parts.query, rule, entry)
        except (BrokenPipeError, ConnectionResetError):
            entry["client_closed"] = True

    def respond(self, path, query, rule, entry):
        if rule.get("delay") and self.client_closed_within(rule["delay"]):
            entry["client_closed"] = True
            self.close_connection = True
            return
        if "redirect" in rule:
            return self.answer(302, b"", [("Location", rule["redirect"])])
        status = rule.get("status", 200)
        if release and path == "/files/" + release["name"] and "file" not in rule:
            rule["file"] = release["path"]
        if path.startswith("/files/"):
            size = int(parse_qs(query).get("size", ["0"])[0])
            return self.send_file(size, status, rule)
        if status == 404:
            return self.answer(404, b"Not Found", [("Content-Type", "text/plain")])
        if rule.get("fill") is not None or rule.get("endless"):
            return self.send_spaces(rule.get("fill"), not rule.get("no_length"),
                                    rule.get("gzip"))
        if "body" in rule:
            content = rule["body"].encode()
        elif path == "/api/versions/latest/":
            content = latest_release(self.headers.get("Host", "127.0.0.1")).encode()
        elif path == "/api/versions/" and release:
            content = json.dumps({"list": [{"version": release["version"], "notes": "修复与改进"}]},
                                 ensure_ascii=False).encode()
        elif path in FIXED:
            content = FIXED[path].encode()
        else:
            return self.answer(404, b"Not Found", [("Content-Type", "text/plain")])
        self.answer(status, content, [("Content-Type", "application/json; charset=utf-8")],
                    length=not rule.get("no_length"))

    def send_spaces(self, size, length, packed):
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        if packed:
            self.send_header("Content-Encoding", "gzip")
        if size is not None and length and not packed:
            self.send_header("Content-Length", str(size))
        else:
            self.send_header("Connection", "close")
        self.close_connection = True
        self.end_headers()
        packer = zlib.compressobj(9, zlib.DEFLATED, 31) if packed else None
        block = b" " * CHUNK
        sent = 0
        while size is None or sent < size:
            part = block if size is None else block[: size - sent]
            self.wfile.write(packer.compress(part) if packer else part)
            sent += len(part)
        if packer:
            self.wfile.write(packer.flush())

    def send_file(self, size, status, rule):
        if status != 200:
            return self.answer(status, b"Not Found" if status == 404 else b"")
        if rule.get("gzip"):
            packed = gzip.compress(b"".join(file_chunks(size)))
            packed = packed[: len(packed) - rule.get("gzip_cut", 0)]
            return self.answer(200, packed, [("Content-Type", "application/octet-stream"),
                                             ("Content-Encoding", "gzip")])
        if "file" in rule:
            with open(rule["file"], "rb") as local:
                return self.answer(200, local.read(), [("Content-Type", "application/octet-stream")])
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if rule.get("no_length"):
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(size + rule.get("short_by", 0)))
        if rule.get("short_by"):
            self.close_connection = True
        self.end_headers()
        stall_after = rule.get("stall_after")
        sent = 0
        for block in file_chunks(size):
            if stall_after is not None and sent + len(block) >= stall_after:
                self.wfile.write(block[: stall_after - sent])
                self.wfile.flush()
                self.client_closed_within(3600)
                self.close_connection = True
                return
            self.wfile.write(block)
            sent += len(block)
            if rule.get("pace"):
                self.wfile.flush()
                time.sleep(rule["pace"])

    def control(self, path, query, body):
        if path == "/_control/requests":
            with lock:
                content = json.dumps(record, ensure_ascii=False).encode()
        elif path == "/_control/reset":
            with lock:
                record.clear()
                rules.clear()
            content = b"{}"
        elif path == "/_control/rule":
            rule = json.loads(body or b"{}")
            with lock:
                rules[rule.pop("path")] = rule
            content = b"{}"
        elif path == "/_control/sha256":
            size = int(parse_qs(query).get("size", ["0"])[0])
            content = json.dumps({"sha256": file_sha256(size)}).encode()
        else:
            return self.answer(404, b"Not Found")
        self.answer(200, content, [("Content-Type", "application/json")])


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--exit-with-stdin", action="store_true")
    parser.add_argument("--release", metavar="VERSION=FILE")
    options = parser.parse_args()
    if options.release:
        global release
        version, _, path = options.release.partition("=")
        with open(path, "rb") as local:
            content = local.read()
        release = {"version": version, "path": path, "name": os.path.basename(path),
                   "sha256": hashlib.sha256(content).hexdigest(), "size": len(content)}
    server = Server(("127.0.0.1", options.port), Handler)
    if options.exit_with_stdin:
        def watch():
            while sys.stdin.buffer.read(4096):
                pass
            os._exit(0)
        threading.Thread(target=watch, daemon=True).start()
    print(f"listening on http://127.0.0.1:{server.server_address[1]}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
