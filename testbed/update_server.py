#!/usr/bin/env python3
"""The web update location of the testbed: an HTTP/1.1 server on loopback that serves a folder
(the update location's product folders, e.g. <root>/zavxp/tulov-ek.ide) with keep-alive
connections, Nagle's algorithm off, answers of a chosen status for chosen paths, optional Basic
authentication, and a log of every request.

In tests:
    server = UpdateServer(root, prefix="/cid")       # serves <root> below /cid
    server.start()                                   # a free port on 127.0.0.1
    server.url                                       # "http://127.0.0.1:PORT/cid"
    server.answer("/cid/zavxp/tulov-ek.ide", 404)    # this path answers 404
    server.require_auth("user", "secret")            # 401 without these credentials
    server.requests                                  # [Request(method, path, user, status), ...]
    server.stop()

By hand:  update_server.py ROOT [--port N] [--prefix /cid] [--user U --password P]
"""
import argparse
import base64
import collections
import http.server
import os
import pathlib
import socket
import sys
import threading
import urllib.parse

Request = collections.namedtuple("Request", "method path user status")


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"  # keep-alive: one connection serves many requests
    server_version = "ZorvanTestbedUpdate/1.0"

    def setup(self):
        super().setup()
        # Without this every kept-alive answer waits for the client's delayed ACK.
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def log_message(self, fmt, *args):  # the request log is kept in `requests` instead
        pass

    def do_GET(self):
        self._answer(with_body=True)

    def do_HEAD(self):
        self._answer(with_body=False)

    def _answer(self, with_body):
        owner = self.server.owner
        path = urllib.parse.urlsplit(self.path).path
        user = self._user()
        status, body, extra = owner._decide(path, user)
        with owner._lock:
            owner.requests.append(Request(self.command, path, user, status))
        self.send_response(status)
        for name, value in extra:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        if status == 200:
            self.send_header("Content-Type", "application/octet-stream")
        self.end_headers()
        if with_body and body:
            self.wfile.write(body)

    def _user(self):
        header = self.headers.get("Authorization", "")
        if not header.lower().startswith("basic "):
            return None
        try:
            return base64.b64decode(header[6:].strip()).decode("utf-8", "replace")
        except ValueError:
            return None


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class UpdateServer:
    """A web update location serving `root` below the address path `prefix`."""

    def __init__(self, root, prefix="/cid", host="127.0.0.1", port=0):
        self.root = pathlib.Path(root)
        self.prefix = "/" + prefix.strip("/") if prefix.strip("/") else ""
        self.requests = []
        self._host, self._port = host, port
        self._answers = {}   # address path -> status (matched case-sensitively, as sent)
        self._auth = None    # "user:password"
        self._lock = threading.Lock()
        self._server = None
        self._thread = None

    # -- configuration, any time while running ---------------------------------------------
    def answer(self, path, status):
        """Answer `path` (the full address path, e.g. "/cid/zavxp/manifest.dat") with `status`
        and an empty body, whatever the folder holds. None goes back to serving the folder."""
        with self._lock:
            if status is None:
                self._answers.pop(path, None)
            else:
                self._answers[path] = int(status)

    def require_auth(self, user, password):
        """Basic authentication for every path; None, None switches it off."""
        with self._lock:
            self._auth = None if user is None else f"{user}:{password}"

    def reset(self):
        with self._lock:
            self._answers.clear()
            self._auth = None
            self.requests.clear()

    # -- life -------------------------------------------------------------------------------
    def start(self):
        self._server = _Server((self._host, self._port), _Handler)
        self._server.owner = self
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        if self._server is not None:
            self._server.shutdown()
            self._server.server_close()
            self._server = None

    @property
    def port(self):
        return self._server.server_address[1]

    @property
    def url(self):
        """The update location's address: http://127.0.0.1:PORT/<prefix>."""
        return f"http://{self._host}:{self.port}{self.prefix}"

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # -- answering --------------------------------------------------------------------------
    def _decide(self, path, user):
        with self._lock:
            auth, chosen = self._auth, self._answers.get(path)
        if auth is not None and user != auth:
            return 401, b"", [("WWW-Authenticate", 'Basic realm="Zorvan update"')]
        if chosen is not None:
            return chosen, b"", []
        if not path.startswith(self.prefix + "/"):
            return 404, b"", []
        relative = urllib.parse.unquote(path[len(self.prefix) + 1:])
        parts = [p for p in relative.split("/") if p]
        if any(p in (".", "..") for p in parts):
            return 404, b"", []
        file = self.root.joinpath(*parts) if parts else self.root
        if not file.is_file():
            return 404, b"", []
        return 200, file.read_bytes(), []


def main(argv):
    parser = argparse.ArgumentParser(description="Serve a folder as the testbed's web update location.")
    parser.add_argument("root")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--prefix", default="/cid")
    parser.add_argument("--user")
    parser.add_argument("--password", default="")
    args = parser.parse_args(argv)
    server = UpdateServer(args.root, prefix=args.prefix, port=args.port)
    if args.user:
        server.require_auth(args.user, args.password)
    server.start()
    print(f"serving {os.path.abspath(args.root)} at {server.url}", flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass
    finally:
        for r in server.requests:
            print(r.method, r.path, r.user or "-", r.status)
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
