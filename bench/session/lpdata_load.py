"""lpdata's load of a session file: the seconds it takes (the best of three loads, as the
program's load is timed) and the peak memory the first load adds over the file's size; whether
the compiled module read the numbers, and the load with numpy's parser instead.
Run by bench_session on the file it has just loaded itself:
    python3 lpdata_load.py PACKAGE_DIR FILE"""

import gc
import os
import sys
import time

sys.path.insert(0, sys.argv[1])
import lpdata  # noqa: E402  (numpy comes with it, before anything is measured)
from lpdata import _numbers  # noqa: E402


def status(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise RuntimeError(f"no {field} in /proc/self/status")


path = sys.argv[2]
# The peak resident size counts from here (Linux resets it on "5" to clear_refs).
with open("/proc/self/clear_refs", "w") as f:
    f.write("5")
base = status("VmRSS")
start = time.perf_counter()
session = lpdata.load(path)
seconds = time.perf_counter() - start
peak = status("VmHWM")
scans = len(session)
for _ in range(2):
    del session
    gc.collect()
    start = time.perf_counter()
    session = lpdata.load(path)
    seconds = min(seconds, time.perf_counter() - start)
compiled = bool(_numbers._compiled())
# The same loads with numpy's number parser, as without the compiled module.
_numbers._reader = False
numpy_seconds = float("inf")
for _ in range(3):
    del session
    gc.collect()
    start = time.perf_counter()
    session = lpdata.load(path)
    numpy_seconds = min(numpy_seconds, time.perf_counter() - start)
print(f"lpdata_load_1024_s: {seconds:.3f}")
print(f"lpdata_load_compiled: {int(compiled)}")
print(f"lpdata_load_numpy_1024_s: {numpy_seconds:.3f}")
print(f"lpdata_load_memory_ratio: {(peak - base) / os.path.getsize(path):.2f}")
print(f"lpdata_load_scans: {scans}")
# The whole interpreter's peak (numpy and the package included), for comparison.
print(f"lpdata_process_peak_MB: {peak / 1e6:.1f}")
