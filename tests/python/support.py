"""Shared fixtures of the Python tests: the project's programs (paths from CTest's
environment), sessions made once per test run, and lpanalyse's report as the reference."""

import csv
import io
import math
import os
import re
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


def lpanalyse_rows(path):
    """lpanalyse's CSV of a session file at full precision: one dict of floats (and the
    error text) per scan, with the scan's position, time and resolved time."""
    out = run(LPANALYSE, "--format", "csv", "--precision", "shortest", path, ok=(0, 1)).stdout
    return [{k: (v if k in ("file", "error") else float(v)) for k, v in row.items() if v != "" or k == "error"}
            for row in csv.DictReader(io.StringIO(out))]


def assert_tables_agree_with_lpanalyse(test, path, units):
    """to_pandas() and to_xarray() hold, for every scan, the position (not-a-number for the
    "no drive" marker), time, resolved time, error text and results lpanalyse reports (the
    results as the file keeps them, six digits), with the program's `units`."""
    session = lpdata.load(path)
    df = session.to_pandas()
    ds = session.to_xarray()
    rows = lpanalyse_rows(path)
    test.assertEqual(len(df), len(rows))
    keys = [k for k in rows[0] if k in lpdata.RESULT_KEYS or k in lpdata.EXTRA_KEYS]
    test.assertEqual(list(df.columns), ["group", "index", "position", "time", "resolved_time", "error"] + keys)
    for column, unit in df.attrs["units"].items():
        test.assertEqual(unit, units[column], column)
    for key in keys:
        test.assertEqual(ds[key].attrs["units"], units[key], key)
    for dim in ds.dims:
        if dim in units:
            test.assertEqual(ds[dim].attrs["units"], units[dim], dim)
    for i, row in enumerate(rows):
        mine = df.iloc[i]
        where = f"{path} row {i}"
        test.assertEqual((mine["group"], mine["index"]), (row["group"], row["scan"]), where)
        for k in ("position", "time", "resolved_time"):
            test.assertTrue(same(mine[k], row[k]), (where, k, mine[k], row[k]))
        test.assertEqual(mine["error"], row["error"], where)
        for k in keys:
            test.assertTrue(same(mine[k], six_digits(row[k])), (where, k, mine[k], row[k]))
        # The same scan in the dataset, picked by its coordinates.
        pick = {d: row[d] for d in ("position", "time", "resolved_time") if d in ds.dims}
        cell = ds.sel(pick)
        if "cycle" in ds.dims:  # a repeated time-resolved run: the scan's cycle is left
            cell = cell.isel(cycle=int(row["scan"]) // ds.sizes["resolved_time"])
        elif "scan" in ds.dims:  # the scan's place in its frame, or in the flat list of scans
            cell = cell.isel(scan=i if "group" in ds.coords else int(row["scan"]))
        test.assertEqual(cell["error"].dims, (), where)
        test.assertEqual(cell["error"].item(), row["error"], where)
        for k in ("position", "time", "resolved_time"):
            test.assertTrue(same(float(cell[k]), row[k]), (where, k))
        for k in keys:
            test.assertTrue(same(float(cell[k]), six_digits(row[k])), (where, k))
    return session, ds


_units = {}


def program_units():
    """The unit of every table column as the program writes it: the units group of an HDF5
    export (of a session with the opt-in analyses, so that it has every key)."""
    if not _units:
        import h5py
        _, h5 = made_session("spatial", 1, 1, 100, hdf5=True, options=OPT_INS)
        with h5py.File(h5, "r") as f:
            _units.update(f["units"].attrs.items())
    return _units


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


def stated_sweeps(path):
    """The sweeps an IV text file states in its "# sweeps: N" line (None without one): what
    lpanalyse takes unless --sweeps is given."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = re.match(r"#\s*sweeps\s*[:=]\s*(\d+)\s*$", line.strip())
            if m:
                return int(m.group(1))
            if line.strip() and not line.startswith("#"):
                return None
    return None


def iv_columns(path):
    """The columns of an IV text file with a header (voltage, current, std_voltage,
    std_current), as float() reads them: what lpanalyse reads, to the bit."""
    with open(path, encoding="utf-8") as f:
        rows = [line for line in f if line.strip() and not line.startswith("#")]
    names = rows[0].strip().split(",")
    table = [[float(x) for x in line.split(",")] for line in rows[1:]]
    return {n: [r[c] for r in table] for c, n in enumerate(names)}


def session_fields(session):
    """Everything a session holds, arrays as their bytes: equal only where bit-identical."""
    out = [session.device_id, session.comment, session.config, session.analysis_settings,
           list(session.eepf_table.energy), list(session.eepf_table.resolution)]
    for g in session.groups:
        out.append((g.position, g.temporal_position, len(g)))
        for sc in g.scans:
            arrays = [sc.init_scan.V, sc.init_scan.I, sc.init_scan_derivative.V, sc.init_scan_derivative.I,
                      sc.raw.sumV, sc.raw.sumI, sc.raw.sumVsq, sc.raw.sumIsq, sc.V, sc.I, sc.stdV, sc.stdI,
                      sc.eepf.energy, sc.eepf.EEDF, sc.eepf.EEDF_error, sc.eepf.EEDF_low_error]
            arrays += [a for t in sc.dc_init_scans for a in (t.V, t.I)]
            if sc.double_probe is not None:
                arrays += [sc.double_probe.V, sc.double_probe.I, sc.double_probe.stdV, sc.double_probe.stdI]
            out.append((sc.date, sc.scan_type, sc.position, sc.temporal_position, sc.resolved_time,
                        sc.ion_current, sc.error, sc.raw.count, sc.init_scan.duration, len(sc.dc_init_scans),
                        sc.double_probe is None, [(k, v) for k, v in sc.results.items() if v == v],
                        [a.tobytes() for a in arrays]))
    return out
