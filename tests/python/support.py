"""Shared fixtures of the Python tests: the project's programs (paths from CTest's
environment), sessions made once per test run, and lpanalyse's report as the reference."""

import csv
import io
import math
import os
import subprocess
import sys
import tempfile

SOURCE = os.environ.get("LP_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE, "python"))

import lpdata  # noqa: E402

LPANALYSE = os.environ.get("LPANALYSE", "lpanalyse")
LPSESSIONGEN = os.environ.get("LPSESSIONGEN", "lpsessiongen")
EXAMPLE = os.path.join(SOURCE, "examples", "example-session.ldf")

_dir = tempfile.TemporaryDirectory(prefix="lpdata-test-")
WORK = _dir.name


def run(*args, ok=(0,), **kw):
    p = subprocess.run([str(a) for a in args], capture_output=True, text=True, **kw)
    if p.returncode not in ok:
        raise AssertionError(f"{args[0]} exited {p.returncode}: {p.stderr}")
    return p


OPT_INS = ("--set", "ionDensityMethod=1", "--set", "twoTemperature=1")


def made_session(kind, groups, scans, points, hdf5=False, options=()):
    """A synthetic analysed session (and its HDF5 export, as of the file read back);
    options: lpsessiongen's --mode N and --set name=value."""
    name = os.path.join(WORK, "-".join((kind, f"{groups}x{scans}x{points}") + options[1::2]))
    if not os.path.exists(name + ".ldf"):
        run(LPSESSIONGEN, *options, kind, groups, scans, points, name + ".ldf", name + ".h5")
    return (name + ".ldf", name + ".h5") if hdf5 else name + ".ldf"


def _value(text):
    return float(text)  # "nan", "inf" and "-inf" included


def lpanalyse_report(path, *options):
    """lpanalyse's re-analysis of a session file, at full precision: {(group, index):
    (error text, {key: value}, {list name: [values]})}, the keys in lpanalyse's order: the
    32, then the opt-in analyses' the scan has."""
    out = run(LPANALYSE, "--format", "csv", "--precision", "shortest", "--eepf", *options, path, ok=(0, 1)).stdout
    results_part, eepf_part = out.split("\n\n", 1)
    report = {}
    for row in csv.DictReader(io.StringIO(results_part)):
        values = {k: _value(v) for k, v in row.items()
                  if k in lpdata.RESULT_KEYS or (k in lpdata.EXTRA_KEYS and v != "")}
        report[(int(row["group"]), int(row["scan"]))] = (row["error"], values, {})
    for row in csv.DictReader(io.StringIO(eepf_part)):
        lists = report[(int(row["group"]), int(row["scan"]))][2]
        for k in ("energy", "EEDF", "EEDF_error", "EEDF_low_error"):
            lists.setdefault(k, []).append(_value(row[k]))
    return report


def six_digits(v):
    """The value as a session file keeps it: six significant digits."""
    return v if not math.isfinite(v) else float(f"{v:.6g}")


def same(a, b):
    return a == b or (math.isnan(a) and math.isnan(b))


def assert_agrees_with_lpanalyse(test, path):
    """Every result, error and EEPF value lpdata reads equals lpanalyse's re-analysis of the
    same file, as the file keeps it (six digits)."""
    session = lpdata.load(path)
    report = lpanalyse_report(path)
    test.assertEqual(len(report), len(session))
    for g, group in enumerate(session.groups):
        for i, scan in enumerate(group.scans):
            error, values, lists = report[(g, i)]
            test.assertEqual(scan.error, error, (path, g, i))
            test.assertEqual(list(scan.results), list(values), (path, g, i))
            for k in values:
                test.assertTrue(same(scan.results[k], six_digits(values[k])),
                                f"{path} scan {g}/{i} {k}: {scan.results[k]!r} != {values[k]!r}")
            for k in ("energy", "EEDF", "EEDF_error", "EEDF_low_error"):
                mine = [float(x) for x in getattr(scan.eepf, k)]
                theirs = [six_digits(x) for x in lists.get(k, [])]
                test.assertEqual(len(mine), len(theirs), (path, g, i, k))
                test.assertTrue(all(map(same, mine, theirs)), (path, g, i, k))
    return session


def lpanalyse_reports(paths, *options):
    """lpanalyse's analysis of several files in one run, at full precision (CSV, --precision
    shortest, with the EEPF lists): {(file, group, index): (error text, {key: value}, {list
    name: [values]})}, results keyed as in lpanalyse_report."""
    out = run(LPANALYSE, "--format", "csv", "--precision", "shortest", "--eepf", *options, *paths,
              ok=(0, 1)).stdout
    results_part, eepf_part = out.split("\n\n", 1)
    report = {}
    for row in csv.DictReader(io.StringIO(results_part)):
        values = {k: _value(v) for k, v in row.items()
                  if k in lpdata.RESULT_KEYS or (k in lpdata.EXTRA_KEYS and v != "")}
        report[(row["file"], int(row["group"]), int(row["scan"]))] = (row["error"], values, {})
    for row in csv.DictReader(io.StringIO(eepf_part)):
        lists = report[(row["file"], int(row["group"]), int(row["scan"]))][2]
        for k in ("energy", "EEDF", "EEDF_error", "EEDF_low_error"):
            lists.setdefault(k, []).append(_value(row[k]))
    return report


def iv_columns(path):
    """The columns of an IV text file with a header (voltage, current, std_voltage,
    std_current), as float() reads them: what lpanalyse reads, to the bit."""
    with open(path, encoding="utf-8") as f:
        rows = [line for line in f if line.strip() and not line.startswith("#")]
    names = rows[0].strip().split(",")
    table = [[float(x) for x in line.split(",")] for line in rows[1:]]
    return {n: [r[c] for r in table] for c, n in enumerate(names)}
