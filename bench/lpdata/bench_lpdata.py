"""lpdata's compiled module: the cost of the binding against the engine on the same curves,
Session.reanalyse on two threads against one, and reanalyse_files on two local Dask workers
against one. Each comparison is measured in turns in one run (best of the rounds of each), so
a busy spell of the machine falls on both sides alike. Prints "name: value" lines.

    bench_lpdata.py HELPER     (bench/run passes the helper built beside the module)"""

import os
import subprocess
import sys
import tempfile
import time

import lpdata

HELPER = sys.argv[1]
ROUNDS = 5


def helper(*args):
    return subprocess.run([HELPER, *map(str, args)], check=True, capture_output=True, text=True).stdout


def columns(path):
    with open(path) as f:
        next(f)
        rows = [[float(x) for x in line.split(",")] for line in f]
    return [list(c) for c in zip(*rows)]


def best(fn, rounds=ROUNDS):
    out = []
    for _ in range(rounds):
        t0 = time.perf_counter()
        fn()
        out.append(time.perf_counter() - t0)
    return min(out)


def main():
    if not lpdata.engine.available():
        sys.exit("bench_lpdata: the compiled module is not there (LPDATA_ENGINE)")
    work = tempfile.TemporaryDirectory(prefix="bench-lpdata-")
    d = work.name

    # 1. One curve at a time: lpdata.analyse against the session driver on the same 16 curves
    # (400 points, 5 sweeps, so four perturbed analyses and the EEPF each), the driver timed in
    # C++ in this process; the two in turns, best of the rounds of each.
    import importlib.machinery
    import importlib.util
    import numpy as np
    path = os.environ["LPDATA_BENCH_TIMER"]
    loader = importlib.machinery.ExtensionFileLoader("lpdata_bench_timer", path)
    timer = importlib.util.module_from_spec(importlib.util.spec_from_file_location("lpdata_bench_timer", path,
                                                                                    loader=loader))
    loader.exec_module(timer)
    helper("curves", d, 16)
    curves = [tuple(np.array(c) for c in columns(os.path.join(d, f"curve{i}.csv"))) for i in range(16)]
    engine_s, binding_s = [], []
    for _ in range(4 * ROUNDS):
        engine_s.append(timer.engine_seconds_per_curve(curves, 5, 1))
        binding_s.append(best(lambda: [lpdata.analyse(V, I, sV, sI, sweeps=5) for V, I, sV, sI in curves], 1)
                         / len(curves))
    e, b = min(engine_s), min(binding_s)
    print(f"lpdata_engine_scan_ms: {e * 1e3:.3f}")
    print(f"lpdata_analyse_ms: {b * 1e3:.3f}")
    print(f"lpdata_analyse_ratio: {b / e:.3f}")

    # 2. Session.reanalyse of 1024 scans on one and on two threads.
    big = os.path.join(d, "big.ldf")
    helper("session", big, 1024)
    session = lpdata.load(big)
    # The program's own driver on the same file, in turns: how far two threads can go here.
    one, two, own1, own2 = [], [], [], []
    for _ in range(3):
        one.append(best(lambda: session.reanalyse(threads=1), 1))
        two.append(best(lambda: session.reanalyse(threads=2), 1))
        own1.append(timer.engine_session_seconds(big, 1))
        own2.append(timer.engine_session_seconds(big, 2))
    print(f"lpdata_reanalyse_1024_1thread_s: {min(one):.3f}")
    print(f"lpdata_reanalyse_1024_2threads_s: {min(two):.3f}")
    print(f"lpdata_reanalyse_2threads_speedup: {min(one) / min(two):.3f}")
    print(f"lpdata_engine_reanalyse_2threads_speedup: {min(own1) / min(own2):.3f}")

    # 3. reanalyse_files over 64 session files (16 scans each) on local clusters of one and of
    # two single-threaded worker processes, both started (and warmed up) before timing.
    paths = []
    for i in range(64):
        paths.append(os.path.join(d, f"file{i}.ldf"))
        helper("session", paths[-1], 16)
    from dask.distributed import Client, LocalCluster
    clusters = [LocalCluster(n_workers=n, threads_per_worker=1, processes=True, dashboard_address=None)
                for n in (1, 2)]
    clients = [Client(c) for c in clusters]
    try:
        for c in clients:
            lpdata.reanalyse_files(paths[:4], c)
        times = ([], [])
        for _ in range(3):
            for k, c in enumerate(clients):
                times[k].append(best(lambda: lpdata.reanalyse_files(paths, c), 1))
    finally:
        for c in clients:
            c.close()
        for c in clusters:
            c.close()
    print(f"lpdata_dask_64files_1worker_s: {min(times[0]):.3f}")
    print(f"lpdata_dask_64files_2workers_s: {min(times[1]):.3f}")
    print(f"lpdata_dask_2workers_speedup: {min(times[0]) / min(times[1]):.3f}")


if __name__ == "__main__":
    main()
