"""Loopback HTTP/1.1 server for the tests, controlled as loopback_control says.

GET serves the files of the root folder, POST to an existing file answers 200, a
missing file 404. The path prefix picks a failure, with no state in the server:
  /status/<code>/<file>  answers <code> with a small HTML body
  /slow/<ms>/<rest>      waits <ms> milliseconds, then answers as for /<rest>
  /drop/<file>           announces the whole file, sends half of it, then hangs up
"""
import http.server
import os
import socket
import sys
import threading
import time
import urllib.parse

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loopback_control  # noqa: E402


def make_handler(root, log):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = 'HTTP/1.1'

        def log_message(self, format, *args):
            pass

        def do_GET(self):
            self.answer(send_body=True)

        def do_HEAD(self):
            self.answer(send_body=False)

        def do_POST(self):
            length = int(self.headers.get('Content-Length') or 0)
            if length:
                self.rfile.read(length)
            self.answer(send_body=True, post=True)

        def answer(self, send_body, post=False):
            log.write('%s %s' % (self.command, self.path))
            parts = urllib.parse.unquote(self.path.split('?')[0]).lstrip('/').split('/')
            drop = False
            while len(parts) > 1 and parts[0] in ('slow', 'status', 'drop'):
                if parts[0] == 'drop':
                    drop, parts = True, parts[1:]
                elif parts[0] == 'slow' and len(parts) > 2 and parts[1].isdigit():
                    time.sleep(int(parts[1]) / 1000)
                    parts = parts[2:]
                elif parts[0] == 'status' and len(parts) > 2 and parts[1].isdigit():
                    return self.error(int(parts[1]), send_body)
                else:
                    break
            path = self.file_path(parts)
            if path is None:
                return self.error(404, send_body)
            if post:
                return self.reply(200, b'OK\n', 'text/plain', send_body)
            with open(path, 'rb') as f:
                data = f.read()
            if drop:
                return self.hang_up(data)
            self.reply(200, data, 'application/octet-stream', send_body)

        def file_path(self, parts):
            if not parts or any(p in ('', '.', '..') for p in parts):
                return None
            path = os.path.join(root, *parts)
            return path if os.path.isfile(path) else None

        def reply(self, code, body, content_type, send_body):
            self.send_response(code)
            self.send_header('Content-Type', content_type)
            self.send_header('Content-Length', str(len(body)))
            self.end_headers()
            if send_body:
                self.wfile.write(body)

        def error(self, code, send_body):
            body = ('<html><body><h1>%d</h1></body></html>\n' % code).encode()
            self.reply(code, body, 'text/html', send_body)

        def hang_up(self, data):
            self.send_response(200)
            self.send_header('Content-Type', 'application/octet-stream')
            self.send_header('Content-Length', str(len(data)))
            self.end_headers()
            self.wfile.write(data[:len(data) // 2])
            self.wfile.flush()
            # The client gets the half it was sent, then end of file long before
            # the announced length.
            self.connection.shutdown(socket.SHUT_WR)
            self.close_connection = True

    return Handler


class Server(http.server.ThreadingHTTPServer):
    # Keep-alive connections of a finished test must not hold the server open.
    daemon_threads = True

    def __init__(self, handler):
        super().__init__(('127.0.0.1', 0), handler)
        self.open_connections = set()

    def process_request(self, request, client_address):
        self.open_connections.add(request)
        super().process_request(request, client_address)

    def shutdown_request(self, request):
        self.open_connections.discard(request)
        super().shutdown_request(request)

    def hang_up_all(self):
        # After a stop no request is answered, not even on a connection kept alive.
        for connection in list(self.open_connections):
            try:
                connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def start(args, log):
    server = Server(make_handler(args.root, log))
    threading.Thread(target=server.serve_forever, args=(0.05,), daemon=True).start()

    def close():
        server.shutdown()
        server.server_close()
        server.hang_up_all()

    return server.server_address[1], time.sleep, close


if __name__ == '__main__':
    loopback_control.serve(loopback_control.parse_args(__doc__), start)
