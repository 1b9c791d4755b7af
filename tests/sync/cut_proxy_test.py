#!/usr/bin/python3
"""The proxy the sync's tests and bench go through: relayed faithfully, it passes every request on;
told to answer PUTs, it answers them itself and passes the rest on; its times file has a line for
every request. Against a small server of its own that records what reached it.

    cut_proxy_test.py WORK
"""

import http.client
import http.server
import json
import os
import shutil
import subprocess
import sys
import threading
import time

here = os.path.dirname(os.path.abspath(__file__))
reached = []


class Backend(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.rfile.read(length)
        reached.append(self.command)
        body = b"from the server"
        self.send_response(207 if self.command == "PROPFIND" else 204 if self.command == "PUT" else 200)
        self.send_header("Content-Length", "0" if self.command == "PUT" else str(len(body)))
        self.end_headers()
        if self.command != "PUT":
            self.wfile.write(body)

    do_GET = do_PUT = do_PROPFIND = handle_any


def start_proxy(work, name, target_port):
    port_file = os.path.join(work, name + ".port")
    proc = subprocess.Popen([sys.executable, os.path.join(here, "cut_proxy.py"), "--to", "127.0.0.1:%d" % target_port,
                             "--port-file", port_file, "--control", os.path.join(work, name + ".ctl"),
                             "--stats", os.path.join(work, name + ".stats"), "--times",
                             os.path.join(work, name + ".times")])
    for _ in range(200):
        if os.path.exists(port_file) and open(port_file).read():
            return proc, int(open(port_file).read())
        time.sleep(0.05)
    proc.kill()
    raise SystemExit("cut_proxy_test: the proxy did not start")


def exchange(port, requests):
    """The replies (status, ETag, body) to requests made one after another on one connection."""
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    replies = []
    for method, body in requests:
        conn.request(method, "/cal/x.ics", body=body, headers={"If-None-Match": "*"} if method == "PUT" else {})
        r = conn.getresponse()
        replies.append((r.status, r.getheader("ETag"), r.read()))
    conn.close()
    return replies


def main():
    work = sys.argv[1]
    # An earlier run's files would name a proxy long gone, and its times would add to these.
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Backend)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    up = server.server_address[1]
    # A port nobody listens on: a proxy that answers every PUT itself needs no server for them.
    down = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Backend)
    down_port = down.server_address[1]
    down.server_close()
    requests = [("PROPFIND", b""), ("PUT", b"one"), ("PUT", b"two two"), ("GET", b"")]
    cases = [
        # name, control word, server port, methods that reach the server, replies' statuses
        ("relayed", "", up, ["PROPFIND", "PUT", "PUT", "GET"], [207, 204, 204, 200]),
        ("PUTs answered", "answer-put", up, ["PROPFIND", "GET"], [207, 201, 201, 200]),
        ("PUTs answered, no server", "answer-put", down_port, [], [201, 201]),
    ]
    failures = []
    for n, (name, word, port, want_reached, want_status) in enumerate(cases):
        reached.clear()
        tag = "case%d" % n
        with open(os.path.join(work, tag + ".ctl"), "w") as f:
            f.write(word)
        proc, proxy_port = start_proxy(work, tag, port)
        try:
            sent = requests if port == up else [r for r in requests if r[0] == "PUT"]
            replies = exchange(proxy_port, sent)
        finally:
            time.sleep(0.2)
            proc.kill()
            proc.wait()
        statuses = [r[0] for r in replies]
        if statuses != want_status:
            failures.append("%s: statuses %s, not %s" % (name, statuses, want_status))
        if reached != want_reached:
            failures.append("%s: the server got %s, not %s" % (name, reached, want_reached))
        etags = [r[1] for r in replies if r[0] == 201]
        if len(set(etags)) != len(etags) or None in etags:
            failures.append("%s: the PUTs answered here need ETags of their own: %s" % (name, etags))
        times = [line.split() for line in open(os.path.join(work, tag + ".times"))]
        if [t[1] for t in times] != [m for m, _ in sent] or [float(t[0]) for t in times] != sorted(float(t[0]) for t in times):
            failures.append("%s: the times file says %s" % (name, times))
        stats = json.load(open(os.path.join(work, tag + ".stats")))
        if stats["requests"].get("PUT", 0) != sum(m == "PUT" for m, _ in sent):
            failures.append("%s: the stats count %s" % (name, stats["requests"]))
    server.shutdown()
    for f in failures:
        print("cut_proxy_test: " + f)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
