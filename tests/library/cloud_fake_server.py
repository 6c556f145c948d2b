#!/usr/bin/python3
"""A stand-in for the cloud service, for the client's tests.

cloud_fake_server.py DIR CERT KEY

Listens on HTTPS (CERT, KEY) and on plain HTTP, both on kernel-chosen ports of
127.0.0.1, and writes "<https port> <plain port>" to DIR/ports. Every request is
answered from DIR/scenario.json, read again for each request, and logged as one JSON
line (method, path with query, headers, body) to DIR/https.log or DIR/plain.log.

A scenario: {"id": ..., "silent": bool, "routes": [route, ...]}. A route matches when
its "path" is part of the request's path and query, each of "has" is too and none of
"lacks"; its "replies" are given in turn, the last one again and again. A reply:
  {"status": n, "json": value | "text": str, "headers": {...}}
  {"action": "close"}    read the request, close without answering
  {"action": "short"}    Content-Length 100000, 10 bytes, then an orderly close
  {"action": "reset"}    the same, then a reset (SO_LINGER 0, no shutdown)
  {"action": "stall"}    never answer; wait for the client to go
  {"action": "big", "size": n}    a body of n bytes with its Content-Length
  {"action": "endless"}  a chunked body without end; logs {"kind": "closed"} when the
                         client goes
  {"gen": "pages", "total": n, "always_more": bool}  pages of 200 records, the page
                         number carried in the syncToken "p<k>"
With "silent", the HTTPS port accepts and never starts TLS.
"""
import http.server
import json
import os
import select
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time

LOG_LOCK = threading.Lock()
COUNT_LOCK = threading.Lock()
COUNTS = {}


def load_scenario(folder):
    try:
        with open(os.path.join(folder, "scenario.json"), encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return {"routes": []}


def wait_for_close(sock, seconds):
    """Waits until the peer closes the connection, or seconds pass."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        r, _, _ = select.select([sock], [], [], 0.1)
        if r:
            try:
                if not sock.recv(65536, socket.MSG_PEEK):
                    return
                sock.recv(65536)
            except (OSError, ssl.SSLError):
                return


def page_reply(body, total, always_more):
    try:
        token = json.loads(body)["zones"][0].get("syncToken", "p0")
        page = int(token[1:])
    except (ValueError, KeyError, IndexError, TypeError):
        page = 0
    first = page * 200
    count = 200 if always_more else max(0, min(200, total - first))
    records = [{"recordName": "r%d" % (first + i), "recordType": "Take",
                "fields": {"title": {"value": "T%d" % (first + i), "type": "STRING"}}}
               for i in range(count)]
    more = always_more or first + count < total
    return {"zones": [{"records": records, "moreComing": more, "syncToken": "p%d" % (page + 1)}]}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def setup(self):
        self.scenario = load_scenario(self.server.folder)
        if self.server.tls:
            if self.scenario.get("silent"):
                wait_for_close(self.request, 20)
                raise ConnectionAbortedError("silent")
            self.request = self.server.context.wrap_socket(self.request, server_side=True)
        super().setup()

    def log_message(self, format, *args):
        pass

    def log_event(self, event):
        with LOG_LOCK:
            with open(self.server.log_path, "a", encoding="utf-8") as f:
                f.write(json.dumps(event) + "\n")

    def do_GET(self):
        self.serve()

    def do_POST(self):
        self.serve()

    def reply_for(self, method):
        for index, route in enumerate(self.scenario.get("routes", [])):
            if route.get("path", "") not in self.path:
                continue
            if route.get("method", method) != method:
                continue
            if any(h not in self.path for h in route.get("has", [])):
                continue
            if any(h in self.path for h in route.get("lacks", [])):
                continue
            replies = route.get("replies", [])
            if not replies:
                continue
            key = (str(self.scenario.get("id")), index)
            with COUNT_LOCK:
                n = COUNTS.get(key, 0)
                COUNTS[key] = n + 1
            return replies[min(n, len(replies) - 1)]
        return {"status": 404, "text": ""}

    def send_head(self, status, headers, length=None):
        lines = ["HTTP/1.1 %d X" % status]
        for k, v in headers.items():
            lines.append("%s: %s" % (k, v))
        if length is not None:
            lines.append("Content-Length: %d" % length)
        self.wfile.write(("\r\n".join(lines) + "\r\n\r\n").encode())

    def serve(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length).decode("utf-8", "replace") if length else ""
        self.log_event({"kind": "request", "method": self.command, "path": self.path,
                        "headers": dict(self.headers.items()), "body": body})
        reply = self.reply_for(self.command)
        action = reply.get("action")
        self.close_connection = True
        try:
            if action == "close":
                return
            if action in ("short", "reset"):
                self.send_head(200, {"Content-Type": "application/json"}, 100000)
                self.wfile.write(b"{\"zones\":[")
                if action == "reset":
                    self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    self.connection.close()
                return
            if action == "stall":
                wait_for_close(self.connection, 30)
                return
            if action == "big":
                size = reply["size"]
                self.send_head(200, {"Content-Type": "application/json"}, size)
                block = b" " * 65536
                while size > 0:
                    self.wfile.write(block[:min(size, len(block))])
                    size -= min(size, len(block))
                return
            if action == "endless":
                self.send_head(200, {"Content-Type": "application/json", "Transfer-Encoding": "chunked"})
                chunk = b"%x\r\n" % 65536 + b" " * 65536 + b"\r\n"
                try:
                    while True:
                        self.wfile.write(chunk)
                except (OSError, ssl.SSLError):
                    self.log_event({"kind": "closed"})
                return
            if reply.get("gen") == "pages":
                data = json.dumps(page_reply(body, reply.get("total", 0), reply.get("always_more", False)))
            elif "json" in reply:
                data = json.dumps(reply["json"])
            else:
                data = reply.get("text", "")
            raw = data.encode("utf-8")
            headers = {"Content-Type": "application/json", "Connection": "close"}
            headers.update(reply.get("headers", {}))
            self.send_head(reply.get("status", 200), headers, len(raw))
            self.wfile.write(raw)
        except (OSError, ssl.SSLError):
            pass


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, folder, log_name, context):
        super().__init__(("127.0.0.1", 0), Handler)
        self.folder = folder
        self.log_path = os.path.join(folder, log_name)
        self.tls = context is not None
        self.context = context

    def handle_error(self, request, client_address):
        pass

    def shutdown_request(self, request):
        try:
            request.shutdown(socket.SHUT_WR)
        except OSError:
            pass
        self.close_request(request)


def main():
    folder, cert, key = sys.argv[1], sys.argv[2], sys.argv[3]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    secure = Server(folder, "https.log", context)
    plain = Server(folder, "plain.log", None)
    for s in (secure, plain):
        threading.Thread(target=s.serve_forever, daemon=True).start()
    tmp = os.path.join(folder, "ports.tmp")
    with open(tmp, "w") as f:
        f.write("%d %d\n" % (secure.server_address[1], plain.server_address[1]))
    os.rename(tmp, os.path.join(folder, "ports"))
    # Runs until the test ends it (SIGTERM).
    threading.Event().wait()


if __name__ == "__main__":
    main()
