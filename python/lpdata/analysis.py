"""lpanalyse's JSON output read into the package's result objects."""

import json

import numpy as np

from .results import Results
from .session import Eepf


class AnalysisEntry:
    """One analysed scan of lpanalyse: input file, group, index, error text, results and,
    when lpanalyse was given --eepf, the EEPF. A scan of a session file has its position
    (mm; not-a-number for the "no drive" marker), time (s) and resolved time (us); a text
    input has None there."""

    __slots__ = ("file", "group", "index", "error", "results", "eepf", "position", "time", "resolved_time")

    def __init__(self, file, group, index, error, results, eepf, position=None, time=None, resolved_time=None):
        self.file, self.group, self.index, self.error, self.results, self.eepf = (
            file, group, index, error, results, eepf)
        self.position, self.time, self.resolved_time = position, time, resolved_time

    def __repr__(self):
        return f"AnalysisEntry({self.file!r}, group={self.group}, index={self.index}, {self.results!r})"


def _array(values):
    return np.array([np.nan if v is None else v for v in values], dtype=np.float64)


def read_analysis(source):
    """Entries of lpanalyse's JSON (`lpanalyse file ... > out.json`): a path, an open file
    or the text itself. JSON null (no value) becomes not-a-number; the results hold the
    opt-in analyses' keys where lpanalyse wrote them."""
    if hasattr(source, "read"):
        doc = json.load(source)
    elif isinstance(source, str) and source.lstrip().startswith("{"):
        doc = json.loads(source)
    else:
        with open(source, encoding="utf-8") as f:
            doc = json.load(f)
    entries = []
    for o in doc["scans"]:
        e = o.get("eepf")
        eepf = Eepf(*(_array(e[k]) for k in ("energy", "EEDF", "EEDF_error", "EEDF_low_error"))) if e else None
        where = [None if k not in o else np.nan if o[k] is None else float(o[k])
                 for k in ("position", "time", "resolved_time")]
        entries.append(AnalysisEntry(o["file"], o["group"], o["scan"], o["error"], Results(o["results"]), eepf,
                                     *where))
    return entries
