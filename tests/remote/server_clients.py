#!/usr/bin/env python3
"""Real clients against an offscreen `lpmeasure --server 0` holding the example
session: Python's http.client, curl when present, and raw sockets for the
byte-exact edge cases."""
import http.client
import os
import shutil
import socket
import subprocess
import sys
import tempfile

exe, session = sys.argv[1], sys.argv[2]
# A settings store and log folder of this run: the user's stay untouched.
scratch = tempfile.mkdtemp(prefix="server_clients.")
env = dict(os.environ, QT_QPA_PLATFORM="offscreen",
           XDG_CONFIG_HOME=os.path.join(scratch, "config"), XDG_DATA_HOME=os.path.join(scratch, "data"))
proc = subprocess.Popen([exe, "--server", "0", "--quit-after=60", session],
                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env, text=True)
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def raw(port, data):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(data)
        out = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                return out
            out += chunk


try:
    port = None
    for line in proc.stdout:
        if "data server listening on port" in line:
            port = int(line.split()[-1])
            break
    check(port, "the server reports its port")
    if port is None:
        raise SystemExit(1)

    c = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    c.request("GET", "/info")
    r = c.getresponse()
    body = r.read()
    check(r.status == 200, "GET /info status")
    check(body == b'{\r\n"serial_number":""\r\n}\r\n\n', "info body without a device: %r" % body)
    check(r.getheader("Content-Length") == str(len(body)), "info Content-Length")
    c.close()

    c = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    c.request("GET", "/Data?x=1")
    r = c.getresponse()
    data = r.read()
    check(r.status == 200, "GET /data status")
    check(int(r.getheader("Content-Length")) == len(data), "data Content-Length")
    check(data.startswith(b'{\r\n"scan_running":"False",\r\n"data":\r\n[\r\n[\r\n{\r\n"Voltage": ['),
          "data body opens with the example session's first group")
    check(data.endswith(b'}\r\n]\r\n]\r\n\n}\r\n\n'), "data body closes")
    check(data.count(b'"EEPF_kTe_Error":') >= 1, "results present")
    c.close()

    check(raw(port, b"GET / HTTP/1.1\r\n\r\n") == b"HTTP/1.0 200 OK\r\n", "root: status line alone")
    check(raw(port, b"GET /foo HTTP/1.1\r\n\r\n") == b"HTTP/1.0 200 OK\r\n\r\n", "other path")
    check(raw(port, b"PUT /data HTTP/1.1\r\n\r\n")
          == b"HTTP/1.1 405 Method Not Allowed\nServer: tavro/1.0\nConnection: close\n", "405")
    # Not connected: the POST changes nothing and still gets the status line.
    check(raw(port, b"POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\ntrue") == b"HTTP/1.0 200 OK\r\n", "POST reply")
    check(raw(port, b"GET /data HTTP/1.1\r\n\r\n").endswith(data), "after POST the same data")

    curl = shutil.which("curl")
    if curl:
        out = subprocess.run([curl, "-s", "--http1.0", "http://127.0.0.1:%d/data" % port],
                             capture_output=True, timeout=20).stdout
        check(out == data, "curl reads the same data body")
    else:
        print("SKIP: curl not installed")

    # The shipped client prints the last scan's results.
    client = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "data-client.py")
    out = subprocess.run([sys.executable, client, str(port)], capture_output=True, text=True, timeout=30)
    check(out.returncode == 0, "data-client.py exits 0: %s" % out.stderr)
    check("last scan (19 in the session): 241 points" in out.stdout, "data-client.py: last scan")
    check(any(l.split()[:2] == ["kTe", "1.95842"] for l in out.stdout.splitlines()), "data-client.py: kTe")
finally:
    proc.terminate()
    proc.wait(timeout=20)

print("%d failure(s)" % len(failures))
shutil.rmtree(scratch, ignore_errors=True)
sys.exit(1 if failures else 0)
