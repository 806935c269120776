#!/usr/bin/python3
"""A local HTTPS server for the fetcher's tests: prints its port, then answers by path until killed."""
import http.server
import ssl
import sys
import time

BODY = b'{"version": "9.9", "url": "https://example.org/get"}'


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def answer(self, status, body, headers=()):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        port = self.server.server_address[1]
        if self.path == "/ok":
            self.answer(200, BODY)
        elif self.path == "/created":
            self.answer(201, BODY)
        elif self.path == "/missing":
            self.answer(404, b"not here")
        elif self.path == "/big":
            self.answer(200, b"x" * (64 * 1024 + 1))
        elif self.path == "/to-https":
            self.answer(302, b"", [("Location", "https://127.0.0.1:%d/ok" % port)])
        elif self.path == "/to-http":
            self.answer(302, b"", [("Location", "http://127.0.0.1:%d/ok" % port)])
        elif self.path == "/drip":
            # A byte every 0.2 s: never idle for long, never done in time.
            self.send_response(200)
            self.send_header("Content-Length", "100")
            self.end_headers()
            try:
                for _ in range(100):
                    self.wfile.write(b"x")
                    self.wfile.flush()
                    time.sleep(0.2)
            except OSError:
                pass
        else:
            self.answer(404, b"")


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[1], sys.argv[2])
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
