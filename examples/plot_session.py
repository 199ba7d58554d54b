#!/usr/bin/env python3
"""Plots a session file with matplotlib into a PNG: one scan's IV curve with its analysis
values (Vp, Vf, kTe, Ne, ...), and a trend of one result with its error bars over position,
time or delay.

    python3 examples/plot_session.py examples/example-session.ldf session.png
    python3 examples/plot_session.py run.ldf run.png --scan 2/0 --trend Ne
    python3 examples/plot_session.py run.ldf fit.png --trend Ni_fit   # an opt-in analysis' result

Needs the lpdata package (pip install ./python, or PYTHONPATH=python) and matplotlib."""

import argparse
import math
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

try:
    import lpdata
except ImportError:  # run from a checkout without installing the package
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
    import lpdata


def trend_axis(session, rows):
    """What the scans of the session differ in: position, delay or time."""
    if len({r["position"] for r in rows}) > 1:
        return "position", "Position (mm)"
    if len({r["resolved_time"] for r in rows}) > 1:
        return "resolved_time", "Delay after SYNC (us)"
    if len({r["time"] for r in rows}) > 1:
        return "time", "Time (s)"
    return None, "Scan"


# Values a trend can show: the 16 results, then those of the opt-in analyses (the session
# holds them when they were on).
TRENDS = lpdata.VALUE_KEYS + tuple(v for group in lpdata.EXTRA_GROUPS for v, _, _ in group)
ERRORS = {v: e for v, e, _ in lpdata.PAIRS + tuple(q for group in lpdata.EXTRA_GROUPS for q in group)}


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("session", help="session file (.ldf)")
    p.add_argument("png", help="PNG file to write")
    p.add_argument("--scan", default="0/0", help="GROUP/INDEX of the IV curve to show (default 0/0)")
    p.add_argument("--trend", default="kTe", choices=TRENDS, help="result to plot as a trend")
    a = p.parse_args(argv)

    try:
        session = lpdata.load(a.session)
    except (OSError, lpdata.SessionFileError) as e:
        sys.exit(f"plot_session: {e}")
    if len(session) == 0:
        sys.exit(f"plot_session: {a.session}: no scans")
    rows = session.results_table()
    if a.trend not in rows[0]:
        sys.exit(f"plot_session: {a.session} has no {a.trend}: switch its analysis on (Process Settings, "
                 f"or lpanalyse --set) and save the session again")
    g, i = (int(x) for x in a.scan.split("/"))
    scan = session.groups[g].scans[i]
    r = scan.results

    fig, (iv, trend) = plt.subplots(1, 2, figsize=(12, 4.8), constrained_layout=True)
    iv.errorbar(scan.V, scan.I * 1e3, yerr=scan.stdI * 1e3, fmt=".", ms=3, lw=0.6, label="corrected curve")
    for key, colour in (("Vp", "tab:red"), ("Vf", "tab:green")):
        if not math.isnan(r[key]):
            iv.axvline(r[key], color=colour, ls="--", lw=1, label=f"{key} = {r[key]:.3g} V")
    iv.axhline(0, color="grey", lw=0.5)
    lines = [f"{k} = {r[k]:.4g}" + (f" ± {r.error(k):.2g}" if math.isfinite(r.error(k)) else "") + f" {r.unit(k)}"
             for k in ("kTe", "Ne", "Ni", "isat", "eedf_kTe", "Ni_fit", "Te_cold", "Te_hot")
             if k in r and not math.isnan(r[k])]
    iv.text(0.02, 0.97, "\n".join(lines), transform=iv.transAxes, va="top", family="monospace", fontsize=8,
            bbox=dict(boxstyle="round", fc="white", alpha=0.8))
    iv.set(xlabel="Voltage (V)", ylabel="Current (mA)", title=f"IV curve, scan {g}/{i}")
    iv.legend(loc="lower right", fontsize=8)

    column, label = trend_axis(session, rows)
    x = [row[column] for row in rows] if column else list(range(len(rows)))
    error_key = ERRORS[a.trend]
    errors = [row[error_key] for row in rows] if error_key else None
    trend.errorbar(x, [row[a.trend] for row in rows], yerr=errors, fmt="o-", ms=4, capsize=3)
    trend.set(xlabel=label, ylabel=f"{a.trend} ({r.unit(a.trend)})", title=f"{a.trend} trend")
    fig.suptitle(f"{os.path.basename(a.session)}: {session.comment or session.device_id}", fontsize=10)
    fig.savefig(a.png, dpi=100)
    print(f"plot_session: wrote {a.png}")


if __name__ == "__main__":
    main()
