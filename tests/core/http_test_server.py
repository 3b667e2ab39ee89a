#!/usr/bin/env python3
"""Loopback HTTP server for the HTTP client and disk cache tests (127.0.0.1 only).

  http_test_server.py start --state-dir DIR   start in the background; DIR/port, DIR/pid
  http_test_server.py stop --state-dir DIR    stop the server started there
  http_test_server.py serve --state-dir DIR   run in the foreground

Resources (query options combine):
  /data/NAME?size=N        N bytes of the test pattern; byte i = block[i % 65521] with
                           block[j] = ((j * 2654435761) mod 2^32 >> 13) & 255
    norange=1              ignore Range: always 200 with the whole body
    range200=1             honour Range on a tag's first request only, then answer 200
    nolength=1             no Content-Length; the connection closes after the body
    crstar=1               206 with "Content-Range: bytes a-b/*" and no Content-Length
    chunked=K              chunked coding, K bytes a chunk; the connection stays open after
                           the zero chunk. split=1 sends every size line in two packets,
                           ext=1 adds ";name=value" extensions, zeros=1 pads sizes to 20 digits
    drop=N                 the tag's first response stops after N body bytes (connection reset)
    dropevery=N            every response stops after N body bytes
    lm=TEXT                Last-Modified header
    bighead=N              pad the response head past N bytes
    delay=MS               wait before answering
    silent=1               never answer
    auth=1                 401 unless "Authorization: Basic dXNlcjpwYXNz" (user:pass)
    status=N               answer status N
    nostatus=1             a status line without a blank
  /redirect?to=LOC&code=C  redirect to LOC (URL-encoded)
  /chain?n=K&final=PATH    K redirects in a row, then PATH
  /bench/64m               67108864 bytes of the pattern; /: 10 bytes of it
  /fixtures/PATH           a file under the folder that holds the state folder
  /fixtures/PATH           the file PATH below the folder that holds DIR (files the test run
                           made, such as cabinets); the query options above apply
  /_log?tag=T              every raw request recorded for tag T, each as 8 decimal digits of
                           length and the bytes; /_stats?tag=T: "count=N maxconc=M"
A request line with an absolute URL is served as a proxy would (target 127.0.0.1 only) and is
recorded with its raw bytes like any other. Requests are recorded under their "tag" query value.
"""
import os
import signal
import socket
import socketserver
import subprocess
import sys
import threading
import time
import urllib.parse

BLOCK_SIZE = 65521
BLOCK = bytes(((j * 2654435761) & 0xFFFFFFFF) >> 13 & 0xFF for j in range(BLOCK_SIZE))
MAX_LIFETIME_S = 3600
_pattern_cache = {}
_lock = threading.Lock()
_log = {}        # tag -> [raw request bytes]
_inflight = {}   # tag -> current
_maxconc = {}    # tag -> max concurrent
_fixture_root = None   # /fixtures/ serves files below this folder


def pattern(size):
    with _lock:
        data = _pattern_cache.get(size)
    if data is None:
        data = (BLOCK * (size // BLOCK_SIZE + 1))[:size]
        with _lock:
            if len(_pattern_cache) > 8:
                _pattern_cache.clear()
            _pattern_cache[size] = data
    return data


def record(tag, raw):
    with _lock:
        _log.setdefault(tag, []).append(raw)
        n = _inflight.get(tag, 0) + 1
        _inflight[tag] = n
        _maxconc[tag] = max(_maxconc.get(tag, 0), n)
        return len(_log[tag])


def finished(tag):
    with _lock:
        _inflight[tag] = _inflight.get(tag, 1) - 1


class Handler(socketserver.BaseRequestHandler):
    def setup(self):
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.request.settimeout(30)
        self.pending = b""

    def read_request(self):
        while b"\r\n\r\n" not in self.pending:
            chunk = self.request.recv(65536)
            if not chunk:
                return None
            self.pending += chunk
            if len(self.pending) > 1 << 20:
                return None
        end = self.pending.index(b"\r\n\r\n") + 4
        head, self.pending = self.pending[:end], self.pending[end:]
        headers = {}
        for line in head.split(b"\r\n")[1:]:
            if b":" in line:
                k, v = line.split(b":", 1)
                headers[k.strip().lower().decode("latin-1")] = v.strip().decode("latin-1")
        body = b""
        length = int(headers.get("content-length", "0") or 0)
        while len(self.pending) < length:
            chunk = self.request.recv(65536)
            if not chunk:
                break
            self.pending += chunk
        body, self.pending = self.pending[:length], self.pending[length:]
        return head, headers, body

    def send(self, data):
        self.request.sendall(data)

    def respond(self, status, reason, headers, body=b"", close=False):
        lines = ["HTTP/1.1 %d %s" % (status, reason)] + ["%s: %s" % h for h in headers]
        if close:
            lines.append("Connection: close")
        self.send(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + body)

    def handle(self):
        try:
            while True:
                got = self.read_request()
                if got is None:
                    return
                if not self.serve_one(*got):
                    return
        except (ConnectionError, socket.timeout, OSError):
            return

    def serve_one(self, head, headers, body):
        line = head.split(b"\r\n", 1)[0].decode("latin-1")
        parts = line.split(" ")
        if len(parts) != 3:
            self.respond(400, "Bad Request", [("Content-Length", "0")], close=True)
            return False
        method, target, _ = parts
        if target.startswith("http://"):
            url = urllib.parse.urlsplit(target)
            # Names under ".invalid" never resolve anywhere: only a proxy can serve them.
            if url.hostname not in ("127.0.0.1", "localhost") and not url.hostname.endswith(".invalid"):
                self.respond(403, "Forbidden", [("Content-Length", "0")], close=True)
                return False
            target = url.path + ("?" + url.query if url.query else "")
        url = urllib.parse.urlsplit(target)
        query = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
        path = url.path
        if path == "/_log":
            with _lock:
                entries = list(_log.get(query.get("tag", ""), []))
            data = b"".join(b"%08d" % len(e) + e for e in entries)
            self.respond(200, "OK", [("Content-Length", str(len(data)))], data)
            return True
        if path == "/_stats":
            tag = query.get("tag", "")
            with _lock:
                data = ("count=%d maxconc=%d" % (len(_log.get(tag, [])), _maxconc.get(tag, 0))).encode()
            self.respond(200, "OK", [("Content-Length", str(len(data)))], data)
            return True
        tag = query.get("tag", path)
        seen = record(tag, head + body)
        try:
            return self.serve_resource(method, path, query, headers, seen)
        finally:
            finished(tag)

    def serve_resource(self, method, path, query, headers, seen):
        delay = int(query.get("delay", "0"))
        if delay:
            time.sleep(delay / 1000.0)
        if query.get("silent"):
            # Hold the connection without a word until the client gives up.
            end = time.time() + 30
            self.request.settimeout(0.2)
            while time.time() < end:
                try:
                    if not self.request.recv(4096):
                        break
                except socket.timeout:
                    continue
            return False
        if query.get("nostatus"):
            self.send(b"HTTP/1.1_200_OK\r\nContent-Length: 0\r\n\r\n")
            return True
        if path.startswith("/fixtures/"):
            return self.serve_fixture(path[len("/fixtures/"):], headers)
        if path == "/redirect":
            code = int(query.get("code", "302"))
            self.respond(code, "Moved", [("Location", query.get("to", "/")), ("Content-Length", "0")])
            return True
        if path == "/chain":
            n = int(query.get("n", "1"))
            extra = "&tag=" + urllib.parse.quote(query["tag"]) if "tag" in query else ""
            if n <= 0:
                location = query.get("final", "/")
            else:
                location = "/chain?n=%d&final=%s%s" % (n - 1, urllib.parse.quote(query.get("final", "/"), safe=""), extra)
            self.respond(302, "Found", [("Location", location), ("Content-Length", "0")])
            return True
        if "status" in query:
            data = b"status page"
            self.respond(int(query["status"]), "Status", [("Content-Length", str(len(data)))], data)
            return True
        if query.get("auth") and headers.get("authorization") != "Basic dXNlcjpwYXNz":
            data = b"need a password"
            self.respond(401, "Unauthorized", [("WWW-Authenticate", 'Basic realm="test"'),
                                               ("Content-Length", str(len(data)))], data)
            return True
        fixture = fixture_bytes(path) if path.startswith("/fixtures/") else None
        if path == "/bench/64m":
            size = 64 << 20
        elif path == "/":
            size = 10
        elif path.startswith("/data/"):
            size = int(query.get("size", "1000"))
        elif path.startswith("/fixtures/") and fixture is not None:
            size = len(fixture)
        else:
            self.respond(404, "Not Found", [("Content-Length", "0")])
            return True
        data = fixture if fixture is not None else pattern(size)
        start = 0
        rng = headers.get("range", "")
        honour = not query.get("norange") and not (query.get("range200") and seen > 1)
        if rng.startswith("bytes=") and honour:
            start = int(rng[6:].split("-", 1)[0] or 0)
        if start > size:
            self.respond(416, "Range Not Satisfiable", [("Content-Length", "0")])
            return True
        out = []
        if query.get("lm"):
            out.append(("Last-Modified", query["lm"]))
        if query.get("bighead"):
            need = int(query["bighead"])
            i = 0
            while need > 0:
                out.append(("X-Padding-%d" % i, "p" * 200))
                need -= 220
                i += 1
        partial = rng.startswith("bytes=") and honour
        status, reason = (206, "Partial Content") if partial else (200, "OK")
        body = data[start:] if partial else data
        if partial:
            out.append(("Content-Range", "bytes %d-%d/%s" % (start, size - 1, "*" if query.get("crstar") else size)))
        close = bool(query.get("nolength"))
        limit = len(body)
        if query.get("drop") and seen == 1:
            limit = min(limit, int(query["drop"]))
        if query.get("dropevery"):
            limit = min(limit, int(query["dropevery"]))
        if method == "HEAD":
            body = b""
        if query.get("chunked"):
            out.append(("Transfer-Encoding", "chunked"))
            self.respond(status, reason, out)
            self.send_chunked(body[:limit], int(query["chunked"]), query, limit == len(body))
            return limit == len(body)
        if not close and not query.get("crstar"):
            out.append(("Content-Length", str(len(body))))
        self.respond(status, reason, out, close=close)
        view = memoryview(body)[:limit]
        for at in range(0, len(view), 1 << 20):
            self.send(view[at:at + (1 << 20)])
        if limit < len(body):
            self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
            return False
        return not close and not query.get("crstar")

    def serve_fixture(self, relative, headers):
        # Files the test run made beside the server's state folder (cabinets and the like).
        root = os.path.dirname(self.server.state_dir)
        path = os.path.realpath(os.path.join(root, urllib.parse.unquote(relative)))
        if not path.startswith(root + os.sep) or not os.path.isfile(path):
            self.respond(404, "Not Found", [("Content-Length", "0")])
            return True
        with open(path, "rb") as f:
            data = f.read()
        rng = headers.get("range", "")
        start = int(rng[6:].split("-", 1)[0] or 0) if rng.startswith("bytes=") else 0
        if start > len(data):
            self.respond(416, "Range Not Satisfiable", [("Content-Length", "0")])
            return True
        if rng.startswith("bytes="):
            self.respond(206, "Partial Content", [("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data))),
                                                  ("Content-Length", str(len(data) - start))], data[start:])
        else:
            self.respond(200, "OK", [("Content-Length", str(len(data)))], data)
        return True

    def send_chunked(self, body, size, query, complete):
        for at in range(0, len(body), size):
            piece = body[at:at + size]
            digits = ("%x" % len(piece)).rjust(20, "0") if query.get("zeros") else "%x" % len(piece)
            line = digits + (";name=value" if query.get("ext") else "") + "\r\n"
            if query.get("split"):
                self.send(line[:2].encode())
                time.sleep(0.02)
                self.send(line[2:].encode() + piece + b"\r\n")
            else:
                self.send(line.encode() + piece + b"\r\n")
        if complete:
            self.send(b"0\r\n\r\n")


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


def fixture_bytes(path):
    """The file a /fixtures/ path names, or None; never anything outside the fixture root."""
    if not _fixture_root:
        return None
    root = os.path.realpath(_fixture_root)
    name = os.path.realpath(os.path.join(root, urllib.parse.unquote(path[len("/fixtures/"):])))
    if not name.startswith(root + os.sep) or not os.path.isfile(name):
        return None
    with open(name, "rb") as f:
        return f.read()


def serve(state_dir):
    global _fixture_root
    _fixture_root = os.path.dirname(os.path.abspath(state_dir))
    server = Server(("127.0.0.1", 0), Handler)
    server.state_dir = os.path.realpath(state_dir)
    port = server.server_address[1]
    tmp = os.path.join(state_dir, "port.tmp")
    with open(tmp, "w") as f:
        f.write("%d\n" % port)
    os.replace(tmp, os.path.join(state_dir, "port"))
    threading.Timer(MAX_LIFETIME_S, server.shutdown).start()
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    server.serve_forever(poll_interval=0.2)


def start(state_dir):
    os.makedirs(state_dir, exist_ok=True)
    stop(state_dir)
    for name in ("port", "pid"):
        try:
            os.remove(os.path.join(state_dir, name))
        except FileNotFoundError:
            pass
    log = open(os.path.join(state_dir, "server.log"), "w")
    child = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", "--state-dir", state_dir],
                             stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    with open(os.path.join(state_dir, "pid"), "w") as f:
        f.write("%d\n" % child.pid)
    deadline = time.time() + 20
    while time.time() < deadline:
        if os.path.exists(os.path.join(state_dir, "port")):
            print("http test server on 127.0.0.1:%s" % open(os.path.join(state_dir, "port")).read().strip())
            return 0
        if child.poll() is not None:
            break
        time.sleep(0.05)
    print("http test server did not start", file=sys.stderr)
    return 1


def stop(state_dir):
    pid_file = os.path.join(state_dir, "pid")
    try:
        pid = int(open(pid_file).read().strip())
    except (FileNotFoundError, ValueError):
        return 0
    try:
        # Only the server this folder started, never a process that reused its id.
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            if b"http_test_server.py" not in f.read():
                raise ProcessLookupError
        os.kill(pid, signal.SIGTERM)
        for _ in range(100):
            os.kill(pid, 0)
            time.sleep(0.05)
        os.kill(pid, signal.SIGKILL)
    except (ProcessLookupError, FileNotFoundError):
        pass
    for name in ("pid", "port"):
        try:
            os.remove(os.path.join(state_dir, name))
        except FileNotFoundError:
            pass
    return 0


def main():
    if len(sys.argv) != 4 or sys.argv[2] != "--state-dir":
        print(__doc__, file=sys.stderr)
        return 2
    command, state_dir = sys.argv[1], os.path.abspath(sys.argv[3])
    if command == "start":
        return start(state_dir)
    if command == "stop":
        return stop(state_dir)
    if command == "serve":
        serve(state_dir)
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
