"""Archives of session files re-analysed on a Dask cluster, one task per file.

    from dask.distributed import Client
    rows = lpdata.reanalyse_files(paths, Client("tcp://host:8786"), ionmass=4)
    pandas.DataFrame(rows)

Every worker needs lpdata with its compiled module (the same version as the client) and must
read the files under the paths given."""

import math
import os

from .results import EXTRA_KEYS, RESULT_KEYS

#: The columns every row starts with.
ROW_KEYS = ("file", "group", "scan", "position", "time", "resolved_time", "error")


def file_rows(path, name=None, **options):
    """One session file loaded and re-analysed (``Session.reanalyse`` with ``options``): a row
    per scan, ``ROW_KEYS`` and then the result keys (the opt-in analyses' where a scan has
    them). ``name`` is what the ``file`` column shows (default: the path)."""
    from .session import load
    session = load(path).reanalyse(**options)
    rows = []
    for gi, g in enumerate(session.groups):
        for si, s in enumerate(g.scans):
            row = {"file": path if name is None else name, "group": gi, "scan": si, "position": s.position,
                   "time": s.temporal_position, "resolved_time": s.resolved_time, "error": s.error}
            row.update(s.results)
            rows.append(row)
    return rows


def _table(parts):
    """Rows of every file in one table: the opt-in keys that any scan has, not-a-number in the
    others."""
    rows = [r for part in parts for r in part]
    present = set().union(*rows) if rows else set()
    keys = ROW_KEYS + RESULT_KEYS + tuple(k for k in EXTRA_KEYS if k in present)
    return [{k: r.get(k, math.nan) for k in keys} for r in rows]


def reanalyse_files(paths, client=None, **settings):
    """Re-analyses session files on a Dask cluster, one task per file, and returns one results
    table: a row per scan (files in the order given, then frames and scans) with ``file``,
    ``group``, ``scan``, ``position`` (mm), ``time`` (s), ``resolved_time`` (us), ``error``
    (the analysis' message) and the result keys; ``pandas.DataFrame`` takes it as it is.

    client: a ``dask.distributed.Client`` (``Client("tcp://host:8786")`` for a running
    scheduler); without one a local cluster of one single-threaded worker process per core
    runs the files and is closed afterwards. settings: what ``Session.reanalyse`` takes
    (session-file names such as ``ionmass=4``, and ``probe``, ``robust``, ``eepf_table``);
    they are checked here before anything is sent. A file that cannot be read raises its
    ``SessionFileError`` (or OSError) naming it."""
    from . import engine
    engine.check_settings(**{k: v for k, v in settings.items()
                             if k not in ("probe", "robust", "eepf_table", "threads")})
    settings = dict(settings, threads=settings.get("threads", 1))
    names = [os.fspath(p) for p in paths]
    # Workers may run elsewhere in the file system: absolute paths as this side sees them.
    where = [os.path.abspath(n) for n in names]
    own = None
    if client is None:
        from dask.distributed import Client, LocalCluster
        own = LocalCluster(n_workers=os.cpu_count() or 1, threads_per_worker=1, processes=True,
                           dashboard_address=None)
        client = Client(own)
    try:
        futures = client.map(file_rows, where, names, pure=False, **settings)
        parts = client.gather(futures)
    finally:
        if own is not None:
            client.close()
            own.close()
    return _table(parts)
