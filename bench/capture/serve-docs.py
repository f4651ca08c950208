#!/usr/bin/env python3
"""Serves a folder on loopback for the capture bench: every FILE.html is also
served as FILE.php (the name that makes a capture take the HTML route).
Further folders are served below a path of their own.

    serve-docs.py PORT FOLDER [/PREFIX/=FOLDER ...]
"""
import http.server
import os
import socket
import sys

FOLDER = sys.argv[2]
MOUNTS = [arg.split("=", 1) for arg in sys.argv[3:]]


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"  # keep-alive, as real servers answer

    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=FOLDER, **kwargs)

    def setup(self):
        super().setup()
        # Headers and body are separate writes: without this every kept-alive
        # reply would wait for the client's delayed acknowledgement.
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def translate_path(self, path):
        bare = path.split("?", 1)[0].split("#", 1)[0]
        if bare.endswith(".php"):
            path = bare[:-4] + ".html"
        for prefix, folder in MOUNTS:
            if path.startswith(prefix):
                inner = super().translate_path("/" + path[len(prefix):])
                return os.path.join(folder, os.path.relpath(inner, FOLDER))
        return super().translate_path(path)

    def guess_type(self, path):
        if path.endswith(".php"):
            return "text/html"
        return super().guess_type(path)

    def log_message(self, *args):
        pass


http.server.ThreadingHTTPServer.allow_reuse_address = True
http.server.ThreadingHTTPServer.daemon_threads = True
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
