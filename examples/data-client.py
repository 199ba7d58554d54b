#!/usr/bin/env python3
"""Reads the data server of a running `lpmeasure --server PORT` and prints the
controller's serial number and the results of the last scan of the active
session. Python's standard library only.

    python3 examples/data-client.py [PORT] [HOST]      (default 8000, 127.0.0.1)
"""
import json
import sys
import urllib.request

KEYS = ["Vp", "Vf", "kTe", "Ne", "Ni", "Isat", "Je", "Jp", "Ld", "EEPF_Ne", "EEPF_Energy", "EEPF_kTe"]
UNITS = {"Vp": "V", "Vf": "V", "kTe": "eV", "Ne": "m^-3", "Ni": "m^-3", "Isat": "A", "Je": "A/m^2",
         "Jp": "A/m^2", "Ld": "m", "EEPF_Ne": "m^-3", "EEPF_Energy": "eV", "EEPF_kTe": "eV"}


def get(base, path):
    with urllib.request.urlopen(base + path, timeout=10) as reply:
        return reply.read().decode("utf-8")


def main():
    port = int(sys.argv[1]) if len(sys.argv) > 1 else 8000
    host = sys.argv[2] if len(sys.argv) > 2 else "127.0.0.1"
    base = "http://%s:%d" % (host, port)
    info = json.loads(get(base, "/info"))
    data = json.loads(get(base, "/data"))
    print("serial number:", info["serial_number"] or "(no controller connected)")
    print("scan running: ", data["scan_running"])
    scans = [scan for group in data["data"] for scan in group]
    if not scans:
        print("the active session holds no scans")
        return 1
    last = scans[-1]
    print("last scan (%d in the session): %d points, position %s mm, time %s us"
          % (len(scans), len(last["Voltage"]), last["spatial_position"], last["time"]))
    for key in KEYS:
        print("  %-12s %14s +- %-12s %s" % (key, last[key], last[key + "_Error"], UNITS[key]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
