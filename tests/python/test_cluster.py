"""lpdata.reanalyse_files on a local Dask cluster of worker processes gives the table of a
serial re-analysis, value for value."""

import math
import os
import struct
import unittest

import support
from support import lpdata

# Worker processes import lpdata as this process does (the source tree, the module from the build).
os.environ["PYTHONPATH"] = os.pathsep.join(p for p in (os.path.join(support.SOURCE, "python"),
                                                       os.environ.get("PYTHONPATH")) if p)


def identical(a, b):
    if isinstance(a, float) and isinstance(b, float):
        return (math.isnan(a) and math.isnan(b)) or struct.pack("<d", a) == struct.pack("<d", b)
    return a == b and type(a) is type(b)


def serial_table(paths, **settings):
    """The rows of each file's serial re-analysis, built here from Session.reanalyse."""
    rows = []
    for p in paths:
        s = lpdata.load(p).reanalyse(**settings)
        for g, group in enumerate(s.groups):
            for i, scan in enumerate(group.scans):
                rows.append({"file": p, "group": g, "scan": i, "position": scan.position,
                             "time": scan.temporal_position, "resolved_time": scan.resolved_time,
                             "error": scan.error, **scan.results})
    return rows


class Cluster(unittest.TestCase):
    def assert_same_table(self, table, serial):
        self.assertEqual(len(table), len(serial))
        extra = [k for k in lpdata.EXTRA_KEYS if any(k in r for r in serial)]
        self.assertEqual(list(table[0]), list(lpdata.cluster.ROW_KEYS + lpdata.RESULT_KEYS) + extra)
        for mine, theirs in zip(table, serial):
            for k in mine:
                self.assertTrue(identical(mine[k], theirs.get(k, math.nan)), (mine["file"], mine["scan"], k))

    def test_two_worker_processes_give_the_serial_table(self):
        from dask.distributed import Client, LocalCluster
        files = [support.EXAMPLE, support.made_session("spatial", 3, 2, 150),
                 support.made_session("timed", 2, 2, 120, options=support.OPT_INS),
                 support.made_session("spatial", 2, 2, 150, options=("--mode", "5")),
                 support.made_session("resolved", 1, 6, 200)]
        settings = {"ionmass": 4, "nDerivativePoints": 4}
        serial = serial_table(files, **settings)
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
                Client(cluster, timeout="120s") as client:
            client.wait_for_workers(2, timeout=120)  # raises unless both worker processes run
            table = lpdata.reanalyse_files(files, client, **settings)
            # A file that is no session file fails the map with its reason, naming it.
            with self.assertRaises(lpdata.SessionFileError) as e:
                lpdata.reanalyse_files([support.EXAMPLE, os.path.join(support.SOURCE, "README.md")], client)
            self.assertIn("README.md", str(e.exception))
            self.assertIn("The file is not a session file.", str(e.exception))
        self.assertEqual({r["file"] for r in table}, set(files))
        self.assertIn("Ni_fit", table[0])
        self.assert_same_table(table, serial)
        self.assertNotEqual([r["Ni"] for r in table], [r["Ni"] for r in serial_table(files)])  # ionmass counted

    def test_without_a_client_a_local_cluster_runs_and_closes(self):
        files = [support.made_session("spatial", 2, 1, 120), support.EXAMPLE]
        table = lpdata.reanalyse_files(files, robust=True)
        self.assert_same_table(table, serial_table(files, robust=True))


if __name__ == "__main__":
    unittest.main()
