#!/usr/bin/env python3
"""A small HTTPS server on 127.0.0.1 for the update check's tests.

    https_server.py CERT KEY FOLDER

Prints its port on the first line of stdout, then serves until killed:
  /list         FOLDER/list.txt
  /pkg/NAME     FOLDER/pkg (any NAME)
  /stall[/NAME] the headers, then nothing, for a minute
  /huge         100 MB of zeros
  anything else 404
"""
import http.server
import os
import socketserver
import ssl
import sys
import time

cert, key, folder = sys.argv[1:4]


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def send_file(self, path):
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        try:
            if self.path == "/list":
                self.send_file(os.path.join(folder, "list.txt"))
            elif self.path.startswith("/pkg/"):
                self.send_file(os.path.join(folder, "pkg"))
            elif self.path == "/stall" or self.path.startswith("/stall/"):
                self.send_response(200)
                self.send_header("Content-Length", "1000")
                self.end_headers()
                self.wfile.flush()
                time.sleep(60)
            elif self.path == "/huge":
                self.send_response(200)
                self.send_header("Content-Length", str(100 * 1024 * 1024))
                self.end_headers()
                chunk = b"\0" * 65536
                for _ in range(1600):
                    self.wfile.write(chunk)
            else:
                self.send_error(404)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


server = Server(("127.0.0.1", 0), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
