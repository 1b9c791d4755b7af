#!/usr/bin/python3
"""An HTTP/1.1 proxy for the sync's tests: it relays a client's keep-alive connections to a server
one exchange at a time, and on a word in its control file it misbehaves once, the way a network does.

    cut_proxy.py --to 127.0.0.1:PORT --port-file F --control C [--stats S]

It listens on a free loopback port and writes the port to F. The control file holds one line:
    cut-request [METHOD]   close both sides halfway through the next request's body (of METHOD)
    cut-response [METHOD]  close both sides halfway through the next response (to METHOD)
    delay SECONDS          hold every response that long before it goes out (until changed)
    answer-put             answer every PUT at once, 201 with an ETag, never passing it on (until
                           changed): a server whose writes cost nothing, so what a push costs is the
                           client's own
    (empty)                relay faithfully
A cut empties the file once done, so it happens once. S, rewritten after every exchange, is a json
object: connections accepted, requests by method, cuts done. --times T appends a line to T for
every request as its head arrives: seconds (monotonic) and the method.
"""

import argparse
import json
import os
import socket
import sys
import threading
import time

MAX_HEAD = 64 * 1024
lock = threading.Lock()
stats = {"connections": 0, "requests": {}, "cuts": 0}


class Closed(Exception):
    pass


class Reader:
    """Buffered reads from a socket, by line and by count."""

    def __init__(self, sock):
        self.sock = sock
        self.buf = b""

    def _fill(self):
        data = self.sock.recv(65536)
        if not data:
            raise Closed()
        self.buf += data

    def head(self):
        while b"\r\n\r\n" not in self.buf:
            if len(self.buf) > MAX_HEAD:
                raise Closed()
            self._fill()
        end = self.buf.index(b"\r\n\r\n") + 4
        head, self.buf = self.buf[:end], self.buf[end:]
        return head

    def line(self):
        while b"\r\n" not in self.buf:
            self._fill()
        end = self.buf.index(b"\r\n") + 2
        line, self.buf = self.buf[:end], self.buf[end:]
        return line

    def exactly(self, n):
        while len(self.buf) < n:
            self._fill()
        data, self.buf = self.buf[:n], self.buf[n:]
        return data

    def rest(self):
        data, self.buf = self.buf, b""
        try:
            while True:
                chunk = self.sock.recv(65536)
                if not chunk:
                    return data
                data += chunk
        except OSError:
            return data


def header(head, name):
    for line in head.split(b"\r\n")[1:]:
        key, _, value = line.partition(b":")
        if key.strip().lower() == name:
            return value.strip()
    return None


def without_expect(head):
    # A client that waits for "100 Continue" before its body would wait on a proxy that relays one
    # whole request before the response: the header goes, and the body comes at once.
    lines = [l for l in head.split(b"\r\n") if not l.lower().startswith(b"expect:")]
    return b"\r\n".join(lines)


def body(reader, head, no_body):
    """The message body after head, raw as it came (chunks and all); None when it runs to the close."""
    if no_body:
        return b""
    if (header(head, b"transfer-encoding") or b"").lower() == b"chunked":
        out = b""
        while True:
            size_line = reader.line()
            out += size_line
            size = int(size_line.split(b";")[0].strip() or b"0", 16)
            if size == 0:
                while True:
                    trailer = reader.line()
                    out += trailer
                    if trailer == b"\r\n":
                        return out
            out += reader.exactly(size + 2)
    length = header(head, b"content-length")
    if length is not None:
        return reader.exactly(int(length))
    return None


class Control:
    def __init__(self, path):
        self.path = path

    def word(self):
        try:
            with open(self.path) as f:
                return f.read().split()
        except OSError:
            return []

    def take_cut(self, kind, method):
        """True, once, when the control file asks for this cut (for any method or this one)."""
        with lock:
            words = self.word()
            if not words or words[0] != kind:
                return False
            if len(words) > 1 and words[1].upper() != method:
                return False
            with open(self.path, "w"):
                pass
            stats["cuts"] += 1
            return True

    def answers_puts(self):
        return self.word() == ["answer-put"]

    def delay(self):
        words = self.word()
        if len(words) == 2 and words[0] == "delay":
            try:
                return float(words[1])
            except ValueError:
                return 0.0
        return 0.0


def write_stats(path):
    if not path:
        return
    with lock:
        tmp = path + ".tmp"
        with open(tmp, "w") as f:
            json.dump(stats, f)
        os.replace(tmp, path)


times_file = None


def note_time(method):
    if times_file is not None:
        with lock:
            times_file.write("%.6f %s\n" % (time.monotonic(), method))
            times_file.flush()


def answer_put(client, req_body):
    with lock:
        stats["answered"] = stats.get("answered", 0) + 1
        n = stats["answered"]
    etag = '"answered-%d-%d"' % (n, len(req_body))
    client.sendall(("HTTP/1.1 201 Created\r\nETag: %s\r\nContent-Length: 0\r\n\r\n" % etag).encode())


def relay(client, target, control, stats_path):
    server = None
    try:
        client.settimeout(120)
        from_client, from_server = Reader(client), None
        while True:
            head = from_client.head()
            method = head.split(b" ", 1)[0].decode("latin-1").upper()
            with lock:
                stats["requests"][method] = stats["requests"].get(method, 0) + 1
            note_time(method)
            head = without_expect(head)
            req_body = body(from_client, head, False) or b""
            if method == "PUT" and control.answers_puts():
                answer_put(client, req_body)
                write_stats(stats_path)
                continue
            if server is None:
                # Only once something is to be relayed: PUTs answered here need no server.
                server = socket.create_connection(target, timeout=120)
                from_server = Reader(server)
            if req_body and control.take_cut("cut-request", method):
                server.sendall(head + req_body[: len(req_body) // 2])
                return
            server.sendall(head + req_body)

            while True:
                resp_head = from_server.head()
                status = int(resp_head.split(b" ", 2)[1])
                if status >= 200 or status == 101:
                    break
                client.sendall(resp_head)
            no_body = method == "HEAD" or status in (204, 304)
            resp_body = body(from_server, resp_head, no_body)
            to_close = resp_body is None
            if to_close:
                resp_body = from_server.rest()
            wait = control.delay()
            if wait:
                time.sleep(wait)
            whole = resp_head + resp_body
            if control.take_cut("cut-response", method):
                client.sendall(whole[: max(1, len(whole) // 2)])
                return
            client.sendall(whole)
            write_stats(stats_path)
            if to_close or (header(resp_head, b"connection") or b"").lower() == b"close":
                return
    except (Closed, OSError, ValueError, IndexError):
        return
    finally:
        write_stats(stats_path)
        for s in (client, server):
            if s is not None:
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                s.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--to", required=True, help="HOST:PORT of the server")
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--control", required=True)
    parser.add_argument("--stats")
    parser.add_argument("--times")
    args = parser.parse_args()
    global times_file
    if args.times:
        times_file = open(args.times, "a")
    host, _, port = args.to.rpartition(":")
    target = (host, int(port))
    control = Control(args.control)
    if not os.path.exists(args.control):
        open(args.control, "w").close()

    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    write_stats(args.stats)
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.replace(tmp, args.port_file)
    while True:
        client, _ = listener.accept()
        with lock:
            stats["connections"] += 1
        write_stats(args.stats)
        threading.Thread(target=relay, args=(client, target, control, args.stats), daemon=True).start()


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit(0)
