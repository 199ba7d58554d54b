#!/usr/bin/env python3
"""Real clients against an offscreen `lpmeasure --server 0` holding the example
session: Python's http.client, curl when present, and raw sockets for the
byte-exact edge cases; then where the server listens with and without
--server-address (loopback addresses only), and the refused option mixes."""
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
failures = []


def launch(*extra):
    return subprocess.Popen([exe, "--server", "0", "--quit-after=60", *extra, session],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, text=True)


def port_of(p):
    for line in p.stdout:
        if "data server listening on port" in line:
            return int(line.split()[-1])
    return None


def reachable(host, port):
    try:
        with socket.create_connection((host, port), timeout=5) as s:
            s.sendall(b"GET / HTTP/1.0\r\n\r\n")
            return s.recv(100) == b"HTTP/1.0 200 OK\r\n"
    except OSError:
        return False


def stop(p):
    p.terminate()
    try:
        return p.communicate(timeout=20)[1]
    except subprocess.TimeoutExpired:
        p.kill()
        return p.communicate()[1]


proc = launch()


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
    port = port_of(proc)
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
    # The command line's server is this computer's only: not on another loopback address.
    check(not reachable("127.0.0.2", port), "--server listens on 127.0.0.1 alone")
finally:
    err = stop(proc)
check("listens on all addresses" not in err, "no all-addresses warning on loopback")

for extra, at, not_at, warnings in ((["--server-address", "127.0.0.2", "--server-read-only"], "127.0.0.2", "127.0.0.1", 0),
                                    (["--server-address=0.0.0.0"], "127.0.0.2", None, 1)):
    p = launch(*extra)
    try:
        port = port_of(p)
        check(port and reachable(at, port), "%s: answers on %s" % (extra, at))
        if not_at:
            check(port and not reachable(not_at, port), "%s: not on %s" % (extra, not_at))
    finally:
        err = stop(p)
    check(err.count("listens on all addresses") == warnings, "%s: %d warning line(s)" % (extra, warnings))

for bad in (["--server-address", "no.such.address", "--server", "0"], ["--server-read-only"], ["--server-address"]):
    r = subprocess.run([exe, *bad], capture_output=True, text=True, env=env, timeout=60)
    check(r.returncode == 2 and "lpmeasure:" in r.stderr, "%s refused with status 2: %r" % (bad, r.stderr))

print("%d failure(s)" % len(failures))
shutil.rmtree(scratch, ignore_errors=True)
sys.exit(1 if failures else 0)
