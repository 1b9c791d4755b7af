#!/usr/bin/python3
"""A small HTTP/1.1 server for the WinHTTP transport's test, stdlib only.

Listens on 127.0.0.1 on three free ports: the origin the test talks to, another one a redirect
points away to, and the origin's paths over TLS with the certificate (and key) in the PEM file
named second on the command line, which no system trusts. Writes "ORIGIN OTHER TLS" (the ports) to
the file named first once all listen, and serves until it is killed.

Paths on the origin:
  /echo          200, body "conn=N auth=VALUE len=BODYLENGTH method=M" (N counts connections)
  /hits          200, body: how many requests the other port got
  /away          302 to the other port's /echo          (another origin: refused)
  /away-host     302 to http://localhost:ORIGIN/echo    (another host: refused)
  /here          301 to /echo                           (the same origin: followed)
  /loop          302 to /loop                           (never ends: refused after a few)
  /big           200 with a 4000-byte body and its Content-Length
  /big-chunked   200 with a 4000-byte body in chunks, no length
  /cut           200 announcing 4000 bytes, sending 100, then closing
  /cut-chunked   200 chunked, one chunk, then closing
  /slow          answers after 3 seconds
  /status/N      N with a small body; 401 asks for Basic
  /headers       200 with a few headers to read back
  /digest        asks for Digest only (user "me", password "pw"); 200 "digest ok" once answered
  /trickle-head  the status line and headers a byte at a time, 0.3 s apart, for up to 30 s
  /trickle-body  headers at once, then a 100-byte body a byte at a time, 0.3 s apart
  /refuse        401 as soon as the headers are read, then a close on the unread body (a reset)
  /inflight/X    200 "X" after 0.4 s, counting how many such requests are under way at once
  /inflight-max  200, body: the most /inflight requests under way at once since the last asking
"""
import hashlib
import os
import re
import socket
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

lock = threading.Lock()
state = {'connections': 0, 'other_hits': 0, 'inflight': 0, 'inflight_max': 0}


class Origin(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def setup(self):
        super().setup()
        with lock:
            state['connections'] += 1
            self.conn_id = state['connections']

    def log_message(self, *args):
        pass

    def reply(self, status, body=b'', headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def body(self):
        length = int(self.headers.get('Content-Length') or 0)
        return self.rfile.read(length) if length else b''

    def trickle(self, data):
        try:
            for i in range(min(len(data), 100)):
                self.wfile.write(data[i:i + 1])
                self.wfile.flush()
                time.sleep(0.3)
        except OSError:
            pass
        self.close_connection = True

    def handle_any(self):
        path = self.path.split('?')[0]
        if path == '/refuse':
            # The body is never read: closing with it unread makes the kernel answer it with a reset.
            self.reply(401, b'refused', [('WWW-Authenticate', 'Basic realm="test"'), ('Connection', 'close')])
            self.wfile.flush()
            self.close_connection = True
            return
        data = self.body()
        port = self.server.server_address[1]
        if path == '/trickle-head':
            self.trickle(b'HTTP/1.1 200 OK\r\nContent-Length: 4\r\nX-Pad: ' + b'p' * 200 + b'\r\n\r\nlate')
        elif path == '/trickle-body':
            self.send_response(200)
            self.send_header('Content-Length', '100')
            self.end_headers()
            self.wfile.flush()
            self.trickle(b't' * 100)
        elif path == '/echo':
            text = 'conn=%d auth=%s len=%d method=%s' % (self.conn_id, self.headers.get('Authorization', '-'),
                                                       len(data), self.command)
            self.reply(200, text.encode())
        elif path == '/hits':
            self.reply(200, str(state['other_hits']).encode())
        elif path == '/away':
            self.reply(302, headers=[('Location', 'http://127.0.0.1:%d/echo' % other_port)])
        elif path == '/away-host':
            self.reply(302, headers=[('Location', 'http://localhost:%d/echo' % port)])
        elif path == '/here':
            self.reply(301, headers=[('Location', '/echo')])
        elif path == '/loop':
            self.reply(302, headers=[('Location', '/loop')])
        elif path == '/big':
            self.reply(200, b'b' * 4000)
        elif path in ('/big-chunked', '/cut-chunked'):
            self.send_response(200)
            self.send_header('Transfer-Encoding', 'chunked')
            self.end_headers()
            pieces = 1 if path == '/cut-chunked' else 4
            for _ in range(pieces):
                self.wfile.write(b'3e8\r\n' + b'c' * 1000 + b'\r\n')
            if path == '/cut-chunked':
                self.wfile.flush()
                self.cut()
                return
            self.wfile.write(b'0\r\n\r\n')
        elif path == '/cut':
            self.send_response(200)
            self.send_header('Content-Length', '4000')
            self.end_headers()
            self.wfile.write(b'x' * 100)
            self.wfile.flush()
            self.cut()
        elif path.startswith('/inflight/'):
            with lock:
                state['inflight'] += 1
                state['inflight_max'] = max(state['inflight_max'], state['inflight'])
            time.sleep(0.4)
            with lock:
                state['inflight'] -= 1
            self.reply(200, path.split('/')[2].encode())
        elif path == '/inflight-max':
            with lock:
                most, state['inflight_max'] = state['inflight_max'], 0
            self.reply(200, str(most).encode())
        elif path == '/slow':
            time.sleep(3)
            self.reply(200, b'late')
        elif path.startswith('/status/'):
            status = int(path.split('/')[2])
            headers = [('WWW-Authenticate', 'Basic realm="test"')] if status == 401 else []
            self.reply(status, b'status', headers)
        elif path == '/digest':
            if self.digest_ok():
                self.reply(200, b'digest ok')
            else:
                self.reply(401, b'digest', [('WWW-Authenticate',
                                             'Digest realm="t", nonce="n0", qop="auth", algorithm=MD5')])
        elif path == '/headers':
            self.reply(200, b'h', [('X-One', '  spaced value  '), ('ETag', '"e1"'), ('X-Empty', '')])
        else:
            self.reply(404, b'no')

    def digest_ok(self):
        value = self.headers.get('Authorization', '')
        if not value.startswith('Digest '):
            return False
        p = dict(re.findall(r'(\w+)="?([^",]*)"?', value[7:]))
        md5 = lambda text: hashlib.md5(text.encode()).hexdigest()
        ha1 = md5('%s:%s:%s' % (p.get('username'), p.get('realm'), 'pw'))
        ha2 = md5('%s:%s' % (self.command, p.get('uri')))
        expected = md5(':'.join([ha1, p.get('nonce', ''), p.get('nc', ''), p.get('cnonce', ''), p.get('qop', ''), ha2]))
        return p.get('username') == 'me' and p.get('response') == expected

    def cut(self):
        self.close_connection = True
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    do_GET = do_PUT = do_POST = do_DELETE = do_PROPFIND = do_REPORT = handle_any


class Other(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    def handle_any(self):
        with lock:
            state['other_hits'] += 1
        body = ('auth=%s' % self.headers.get('Authorization', '-')).encode()
        self.send_response(200)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    do_GET = do_PUT = do_POST = do_DELETE = do_PROPFIND = do_REPORT = handle_any


origin = ThreadingHTTPServer(('127.0.0.1', 0), Origin)
other = ThreadingHTTPServer(('127.0.0.1', 0), Other)
origin.daemon_threads = other.daemon_threads = True
other_port = other.server_address[1]
threading.Thread(target=other.serve_forever, daemon=True).start()
secure = ThreadingHTTPServer(('127.0.0.1', 0), Origin)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[2])
secure.socket = context.wrap_socket(secure.socket, server_side=True)
secure.daemon_threads = True
threading.Thread(target=secure.serve_forever, daemon=True).start()
with open(sys.argv[1] + '.tmp', 'w') as f:
    f.write('%d %d %d\n' % (origin.server_address[1], other_port, secure.server_address[1]))
os.replace(sys.argv[1] + '.tmp', sys.argv[1])
origin.serve_forever()
