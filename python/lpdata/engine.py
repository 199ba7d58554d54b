"""The program's own analysis from Python, through the compiled module lpdata._engine.

    r = lpdata.analyse(V, I, stdI=stdI, ionmass=4)     # as lpanalyse analyses a text file
    r["kTe"], r.error("kTe"), r.unit("kTe"), r.message, r.eepf.EEDF
    helium = session.reanalyse(ionmass=4)               # as lpanalyse re-analyses a session file

Settings go by their session-file names (``ionmass``, ``probe_radius``, ``noiseRobust``,
``ionDensityMethod``, ...; ``setting_names()`` lists them); a name the program does not know,
or a value it refuses, raises ValueError with the program's reason. The interpreter lock is
released while a curve is analysed, so threads analyse in parallel."""

import copy
import importlib.machinery
import importlib.util
import math
import numbers
import os
import sys

import numpy as np

from . import textvalues as tv
from .results import Results
from .session import Curve, Eepf

_engine = None
_missing = None


def _load():
    """The compiled module: the package's own, or the file LPDATA_ENGINE names (a build tree)."""
    global _engine, _missing
    if _engine is not None:
        return _engine
    reasons = []
    path = os.environ.get("LPDATA_ENGINE")
    if path:
        try:
            loader = importlib.machinery.ExtensionFileLoader("lpdata._engine", path)
            spec = importlib.util.spec_from_file_location("lpdata._engine", path, loader=loader)
            module = importlib.util.module_from_spec(spec)
            loader.exec_module(module)
            sys.modules["lpdata._engine"] = module
            _engine = module
            return _engine
        except (ImportError, OSError) as e:
            reasons.append(f"LPDATA_ENGINE={path}: {e}")
    try:
        from . import _engine as module
        _engine = module
        return _engine
    except ImportError as e:
        reasons.append(str(e))
    note = os.path.join(os.path.dirname(__file__), "ENGINE-NOT-BUILT.txt")
    if os.path.exists(note):
        with open(note, encoding="utf-8") as f:
            reasons.append(f.read().strip())
    _missing = "; ".join(reasons)
    return None


def available():
    """Whether the compiled module can be loaded (session files are read without it)."""
    return _load() is not None


def _need():
    engine = _load()
    if engine is None:
        raise ImportError(
            "lpdata.analyse and Session.reanalyse need lpdata's compiled module (lpdata._engine), which this "
            "installation lacks: install the build tools (Debian: cmake g++ qtbase5-dev libhdf5-dev pybind11-dev) "
            "and reinstall from the project's sources (pip install ./python), or install the project's Debian "
            f"package. Reading session files works without it. ({_missing})")
    return engine


class AnalysisResults(Results):
    """Results of one analysis: the values and errors by key as ``Results`` (units with
    ``unit``), ``message`` (the analysis' error text, empty when it succeeded), ``eepf`` (the
    EEPF lists) and ``curve`` (the corrected curve that was analysed)."""

    __slots__ = ("message", "eepf", "curve")

    def __init__(self, values=None, message="", eepf=None, curve=None):
        super().__init__(values)
        self.message, self.eepf, self.curve = message, eepf, curve

    @property
    def ok(self):
        return not self.message

    def __repr__(self):
        text = "Analysis" + super().__repr__()
        return text if not self.message else f"{text[:-1]}, message={self.message!r})"


def _text(name, value):
    """A setting's value as the text the program parses: numbers exactly (shortest repr)."""
    if isinstance(value, (bool, np.bool_)):
        return "true" if value else "false"
    if isinstance(value, numbers.Integral):
        return str(int(value))
    if isinstance(value, numbers.Real):
        return repr(float(value))
    if isinstance(value, str):
        return value
    raise ValueError(f"{name}={value!r}: not a number")


def _setting_texts(settings):
    return [(str(k), _text(k, v)) for k, v in settings.items()]


def setting_names():
    """The analysis settings' session-file names, as ``analyse`` and ``reanalyse`` take them."""
    return list(_need().setting_names())


def check_settings(**settings):
    """Raises ValueError with the program's reason when it would refuse one of the settings."""
    _need().check_settings(_setting_texts(settings))


def _table(eepf_table):
    if eepf_table is None:
        return None
    if hasattr(eepf_table, "energy") and hasattr(eepf_table, "resolution"):
        return (np.asarray(eepf_table.energy, dtype=np.float64), np.asarray(eepf_table.resolution, dtype=np.float64))
    energy, resolution = eepf_table
    return (np.asarray(energy, dtype=np.float64), np.asarray(resolution, dtype=np.float64))


def _results(out):
    e = out["eepf"]
    return AnalysisResults(out["results"], out["error"], Eepf(*e), Curve(*out["corrected"]))


def _probe(probe):
    return str(int(probe)) if isinstance(probe, numbers.Integral) and not isinstance(probe, bool) else str(probe)


def analyse(V, I, stdV=None, stdI=None, sweeps=None, probe="single", robust=False, eepf_table=None, **settings):
    """Analyses an IV curve as ``lpanalyse`` analyses a text file with these columns.

    V, I: voltages (V) and currents (A), ascending voltages; stdV, stdI: their deviations over
    the sweeps (either may be left out; with neither there are no errors). sweeps: how many
    sweeps the deviations stand for (default 2). probe: "single" (0), "reference" (1),
    "double" (3), "spherical" (4) or "mach" (5). robust: the noise-robust analysis of single
    probes (the setting noiseRobust). eepf_table: (energies, resolutions) or an EepfTable
    (default: the built-in table). Further keywords are analysis settings by their
    session-file names.

    Returns AnalysisResults; for two-dimensional V and I (one curve per row, deviations alike)
    a list of them. A failed analysis is no exception: its ``message`` says why, and the
    values it did not reach are not-a-number."""
    engine = _need()
    if sweeps is None:
        sweeps = 2
    elif isinstance(sweeps, bool) or not isinstance(sweeps, numbers.Integral):
        raise ValueError(f"sweeps: expected a whole number of at least {engine.min_sweeps}")
    texts = _setting_texts(settings)
    table = _table(eepf_table)
    mode = _probe(probe)
    V = np.asarray(V, dtype=np.float64)
    if V.ndim == 2:
        rows = lambda a: [None] * len(V) if a is None else np.asarray(a, dtype=np.float64)  # noqa: E731
        Is, sVs, sIs = rows(I), rows(stdV), rows(stdI)
        if len(Is) != len(V) or len(sVs) != len(V) or len(sIs) != len(V):
            raise ValueError("V, I, stdV and stdI must have the same number of curves")
        return [_results(engine.analyse(v, i, sv, si, int(sweeps), mode, texts, bool(robust), table))
                for v, i, sv, si in zip(V, Is, sVs, sIs)]
    return _results(engine.analyse(V, I, stdV, stdI, int(sweeps), mode, texts, bool(robust), table))


def _scan_input(scan):
    """What the analysis reads of a scan, in the compiled module's order."""
    raw = scan.raw
    count = raw.count if raw is not None else 0
    c = scan.corrected
    init = scan.init_scan
    return (count, *((raw.sumV, raw.sumI, raw.sumVsq, raw.sumIsq) if count else (None,) * 4),
            *((c.V, c.I, c.stdV, c.stdI) if c is not None else (None,) * 4),
            *((init.V, init.I, float(init.duration)) if init is not None else (None, None, 0.0)),
            [(t.V, t.I, float(t.duration)) for t in scan.dc_init_scans],
            float(scan.ion_current[0]), float(scan.ion_current[1]), getattr(scan, "measurement_alert", "") or "")


def _reanalysed_scan(scan, out):
    s = copy.copy(scan)
    s.__dict__.pop("_derivatives", None)  # derivatives of the old curve
    s.results = Results(out["results"])
    s.error = out["error"]
    s.corrected = Curve(*out["corrected"])
    dp = out["double_probe"]
    s.double_probe = Curve(*dp) if dp is not None else None
    s.eepf = Eepf(*out["eepf"])
    s.plasma_resistance = out["plasma_resistance"]
    return s


def reanalyse_session(session, threads=None, probe=None, robust=False, eepf_table=None, **settings):
    """The session with every scan re-analysed as ``lpanalyse`` re-analyses its file, with the
    session's settings, configuration and EEPF table, the given settings on top; see
    ``Session.reanalyse``."""
    engine = _need()
    scans = list(session.scans())
    table = _table(eepf_table if eepf_table is not None else session.eepf_table)
    out = engine.reanalyse([_scan_input(s) for s in scans], dict(session.config_text),
                           dict(session.analysis_settings_text), _setting_texts(settings), bool(robust),
                           None if probe is None else _probe(probe), table, 0 if threads is None else int(threads))
    new = copy.copy(session)
    new.analysis_settings_text = dict(out["settings"])
    new.analysis_settings = tv.typed_map(new.analysis_settings_text, tv.SETTINGS_TYPES)
    if out["probe_mode"] >= 0:
        new.config = dict(session.config, probeMode=out["probe_mode"])
        new.config_text = dict(session.config_text, probeMode=str(out["probe_mode"]))
    if eepf_table is not None:
        new.eepf_table = type(session.eepf_table)(*table)
    done = iter(out["scans"])
    new.groups = []
    for g in session.groups:
        ng = copy.copy(g)
        ng.scans = [_reanalysed_scan(s, next(done)) for s in g.scans]
        new.groups.append(ng)
    # The index by time and position points at the new frames, for scans added later.
    same = {id(g): ng for g, ng in zip(session.groups, new.groups)}
    for name in ("_first_by_time", "_first_by_position"):
        index = getattr(session, name, None)
        if isinstance(index, dict):
            setattr(new, name, {k: same.get(id(g), g) for k, g in index.items()})
    return new
