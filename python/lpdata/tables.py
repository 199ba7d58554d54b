"""A session's results as a pandas DataFrame or an xarray Dataset, with units. pandas and
xarray are needed only here, when asked for."""

import math

import numpy as np

from .results import EXTRA_KEYS, RESULT_KEYS, Results

#: Units of the columns before the results.
COLUMN_UNITS = {"group": "1", "index": "1", "position": "mm", "time": "s", "resolved_time": "us"}


def _keys(session):
    present = set().union(*(s.results for s in session.scans()))
    return RESULT_KEYS + tuple(k for k in EXTRA_KEYS if k in present)


def to_pandas(session):
    import pandas as pd
    rows = session.results_table()
    columns = list(rows[0]) if rows else list(COLUMN_UNITS) + list(_keys(session))
    df = pd.DataFrame(rows, columns=columns)
    df.insert(columns.index("resolved_time") + 1, "error", [s.error for s in session.scans()])
    df.attrs["units"] = {c: COLUMN_UNITS.get(c) or Results.unit(c) for c in columns}
    return df


def _distinct_times(times):
    return len(set(times)) == len(times) and any(times) and not any(map(math.isnan, times))


def _period(times):
    """The length of the cycle the resolved times repeat in (two or more cycles), or None."""
    for p in range(1, len(times) // 2 + 1):
        if len(times) % p == 0 and _distinct_times(times[:p]) and all(
                times[i] == times[i % p] for i in range(len(times))):
            return p
    return None


def _layout(session):
    """(outer dimension, inner dimension, cell of each scan), a dimension as (name, values)
    or None: the frames of a spatial run by position, of a timed run by time; within them
    the scans by resolved time where every frame has the same distinct ones, else by their
    index; a time-resolved run repeated has its cycles and resolved times. Frames of mixed
    run kinds make one flat list of scans."""
    groups = [g for g in session.groups if g.scans]
    if not groups:  # no scans: none along one dimension
        return None, ("scan", []), []
    kinds = {s.scan_type for g in groups for s in g.scans}
    outer = None
    if kinds == {1}:
        outer = ("position", [g.position for g in groups])
    elif kinds == {0}:
        outer = ("time", [g.temporal_position for g in groups])
    elif len(groups) > 1:
        n = sum(len(g.scans) for g in groups)
        return None, ("scan", list(range(n))), [(i,) for i in range(n)]
    times = {tuple(s.resolved_time for s in g.scans) for g in groups}
    first = next(iter(times))
    if outer is None:
        # A time-resolved run repeated: the same resolved times cycle after one another.
        period = _period(first)
        if period is not None:
            return ("cycle", list(range(len(first) // period))), ("resolved_time", list(first[:period])), \
                [divmod(i, period) for i in range(len(first))]
    if len(times) == 1 and _distinct_times(first):
        inner = ("resolved_time", list(first))
    elif any(len(g.scans) > 1 for g in groups):
        inner = ("scan", list(range(max(len(g.scans) for g in groups))))
    else:
        inner = None
    cells = [((gi,) if outer else ()) + ((si,) if inner else ())
             for gi, g in enumerate(groups) for si in range(len(g.scans))]
    return outer, inner, cells


def to_xarray(session):
    import xarray as xr
    outer, inner, cells = _layout(session)
    used = [d for d in (outer, inner) if d is not None]
    dims = tuple(name for name, _ in used)
    shape = tuple(len(values) for _, values in used)
    scans = list(session.scans())
    coords = {name: (name, np.asarray(values, dtype=np.int64 if name in ("scan", "cycle") else np.float64),
                     {"units": COLUMN_UNITS.get(name, "1")}) for name, values in used}

    def grid(values, fill=math.nan, dtype=np.float64):
        a = np.full(shape, fill, dtype=dtype)
        for cell, v in zip(cells, values):
            a[cell] = v
        return a

    # Where the scans' own position, time or resolved time is not a dimension, each cell
    # carries it as a coordinate.
    for name, of in (("position", lambda s: s.place), ("time", lambda s: s.temporal_position),
                     ("resolved_time", lambda s: s.resolved_time)):
        if name not in coords:
            coords[name] = (dims, grid([of(s) for s in scans]), {"units": COLUMN_UNITS[name]})
    if dims == ("scan",) and len(session.groups) > 1:  # a flat list: where each scan came from
        coords["group"] = (dims, np.array([gi for gi, g in enumerate(session.groups) for _ in g.scans]),
                           {"units": "1"})

    data = {}
    for key in _keys(session):
        values = [s.results.get(key, math.nan) for s in scans]
        attrs = {"units": Results.unit(key)}
        data[key] = (dims, grid(values), attrs)
    for key in list(data):
        error = key + ("_err" if key + "_err" in data else "_error")
        if error in data:
            data[key][2]["error"] = error
            data[error][2]["error_of"] = key
    data["error"] = (dims, grid([s.error for s in scans], "", object),
                     {"description": "the scan's analysis error text, empty where it succeeded"})
    return xr.Dataset(data, coords=coords, attrs={"device": session.device_id, "comment": session.comment,
                                                  "file": session.path or ""})
