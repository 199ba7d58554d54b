"""Session files of the Quendrix Langmuir probe system, and lpanalyse's results, as Python
objects with numpy arrays.

    session = lpdata.load("run.ldf")
    session.to_pandas()                     # one row per scan, units in .attrs["units"]
    session.to_xarray()                     # over position, time or resolved_time
    scan = session.groups[0].scans[0]       # scan.V, scan.I, scan.stdI, scan.dIdV, scan.eepf.EEDF
    scan.results["kTe"], scan.results.error("kTe"), scan.results.unit("kTe")
    scan.results.get("Ni_fit")              # opt-in analyses' keys (EXTRA_KEYS) when they ran
    lpdata.analyse(V, I, stdI=stdI, ionmass=4)  # the program's own analysis (compiled module)
    session.reanalyse(ionmass=4); lpdata.reanalyse_files(paths, client)  # sessions, archives on Dask
"""

from .analysis import AnalysisEntry, read_analysis
from .results import (EXTRA_GROUPS, EXTRA_KEYS, EXTRA_UNITS, PAIRS, RESULT_KEYS, RESULT_UNITS, VALUE_KEYS, Quantity,
                      Results)
from .session import (NO_DRIVE_POSITION, Curve, Eepf, EepfTable, RawSums, Scan, ScanGroup, Session,
                      SessionFileError, Trace, derivative, load, read)
from .textvalues import CONFIG_TYPES, SETTINGS_TYPES
from .engine import AnalysisResults, analyse, setting_names
from .cluster import reanalyse_files

__version__ = "2.7.0"
__all__ = ["AnalysisEntry", "CONFIG_TYPES", "Curve", "Eepf", "EepfTable", "EXTRA_GROUPS", "EXTRA_KEYS",
           "EXTRA_UNITS", "NO_DRIVE_POSITION", "PAIRS", "Quantity", "RESULT_KEYS", "RESULT_UNITS", "RawSums", "Results",
           "SETTINGS_TYPES", "Scan", "ScanGroup", "Session", "SessionFileError", "Trace", "VALUE_KEYS",
           "derivative", "load", "read", "read_analysis"]
__all__ += ["AnalysisResults", "analyse", "reanalyse_files", "setting_names"]
