"""Session files (".ldf", XML layout version 3) read into objects with numpy arrays.

The reader follows the program's own: the same elements in the same order, lenient
numbers, and the same reasons when a file is refused. A file that ends early (a journal
written as the run goes, or a run cut off) is read up to its last complete scan."""

import datetime as _dt
import math
from functools import cached_property
from xml.parsers import expat

import numpy as np

from . import textvalues as tv
from .results import EXTRA_KEYS, RESULT_KEYS, Results

CURRENT_VERSION = 3
_LAST_DATE_SECS = 253402300799  # 9999-12-31 23:59:59 UTC


class SessionFileError(ValueError):
    """A file the program would refuse; ``reason`` is the program's own text."""

    def __init__(self, reason, path=None):
        super().__init__(f"{path}: {reason}" if path else reason)
        self.reason = reason
        self.path = path


def derivative(x, y, k):
    """The windowed derivative of the program (half-width k): for entry j, centred on
    sample j + k, the slope between the means of the k samples before and the k after,
    and the mean voltage of those 2k samples. Returns (centres, slopes), n - 2k long."""
    x = np.asarray(x, dtype=np.float64)
    y = np.asarray(y, dtype=np.float64)
    m = len(x) - 2 * k
    if k < 1 or len(y) != len(x) or m < 1:
        return np.empty(0), np.empty(0)
    sx_lo, sy_lo, sx_hi, sy_hi = (np.zeros(m) for _ in range(4))
    for t in range(k):  # summed in the program's order, so the values agree to the bit
        sx_lo += x[t:t + m]
        sy_lo += y[t:t + m]
        sx_hi += x[k + 1 + t:k + 1 + t + m]
        sy_hi += y[k + 1 + t:k + 1 + t + m]
    with np.errstate(divide="ignore", invalid="ignore"):
        return (sx_lo + sx_hi) / k * 0.5, (sy_hi - sy_lo) / (sx_hi - sx_lo)


class Trace:
    """A measured trace (initial scan, its derivative, a DC-correction pre-scan): V, the
    current (or dI/dV) as ``I``, and its duration in s."""

    __slots__ = ("V", "I", "duration")

    def __init__(self, V, I, duration):
        self.V, self.I, self.duration = V, I, duration

    def __len__(self):
        return len(self.V)


class Curve:
    """An averaged and corrected IV curve: V (V), I (A) and their deviations stdV, stdI."""

    __slots__ = ("V", "I", "stdV", "stdI")

    def __init__(self, V, I, stdV, stdI):
        self.V, self.I, self.stdV, self.stdI = V, I, stdV, stdI

    def __len__(self):
        return len(self.V)


class RawSums:
    """Running sums of the raw sweeps, per point: sumV, sumI, sumVsq, sumIsq; ``count``
    sweeps. Means and sample deviations as the program computes them."""

    __slots__ = ("sumV", "sumI", "sumVsq", "sumIsq", "count")

    def __init__(self, sumV, sumI, sumVsq, sumIsq, count):
        self.sumV, self.sumI, self.sumVsq, self.sumIsq, self.count = sumV, sumI, sumVsq, sumIsq, count

    def __len__(self):
        return len(self.sumV) if self.count >= 1 else 0

    def mean_voltage(self):
        return self.sumV / self.count

    def mean_current(self):
        return self.sumI / self.count

    def _deviation(self, s, sq):
        n = self.count
        if n < 2:
            return np.zeros(len(s))
        a, b = n * sq, s * s
        with np.errstate(invalid="ignore"):
            return np.where(a > b, np.sqrt(np.maximum(a - b, 0) / (n * (n - 1))), 0.0)

    def voltage_deviation(self):
        return self._deviation(self.sumV, self.sumVsq)

    def current_deviation(self):
        return self._deviation(self.sumI, self.sumIsq)


class Eepf:
    """A scan's EEPF: energy (eV), EEDF (m^-3 eV^-3/2) and its upper and lower errors."""

    __slots__ = ("energy", "EEDF", "EEDF_error", "EEDF_low_error")
    UNITS = {"energy": "eV", "EEDF": "m^-3 eV^-3/2", "EEDF_error": "m^-3 eV^-3/2",
             "EEDF_low_error": "m^-3 eV^-3/2"}

    def __init__(self, energy, EEDF, EEDF_error, EEDF_low_error):
        self.energy, self.EEDF, self.EEDF_error, self.EEDF_low_error = energy, EEDF, EEDF_error, EEDF_low_error

    def __len__(self):
        return len(self.energy)


class EepfTable:
    """The session's EEPF table: energies (eV) and their resolution (V)."""

    __slots__ = ("energy", "resolution")

    def __init__(self, energy, resolution):
        self.energy, self.resolution = energy, resolution

    def __len__(self):
        return len(self.energy)


class Scan:
    """One scan: its status, traces, raw sums, corrected curve (V, I, stdV, stdI, in V and
    A), derivatives, EEPF and results."""

    UNITS = {"position": "mm", "temporal_position": "s", "resolved_time": "us", "V": "V", "I": "A",
             "stdV": "V", "stdI": "A", "dIdV": "A/V", "d2IdV2": "A/V^2"}

    def __init__(self, derivative_points):
        self._k = derivative_points
        self.date = None
        self.scan_type = 0
        self.position = 0.0           # mm
        self.temporal_position = 0.0  # s
        self.resolved_time = 0.0      # us
        self.ion_current = (0.0, 0.0)  # (current A, voltage V) of the reading before the scan
        self.offset_current = 0.0
        self.gain_auto_switch_voltage = 0.0
        self.current_range = 0
        self.d_current_range = 0.0
        self.dc_scan_voltage_start = 0.0
        self.dc_scan_voltage_end = 0.0
        self.plasma_resistance = 0.0
        self.error = ""
        self.measurement_alert = ""  # what the measurement found wrong (a sweep at full scale)
        self.init_scan = self.init_scan_derivative = None
        self.dc_init_scans = []
        self.raw = None
        self.corrected = None
        self.double_probe = None
        self.eepf = None
        self.results = Results()

    time = property(lambda self: self.temporal_position, doc="Time of the frame in a timed run (s).")
    V = property(lambda self: self.corrected.V)
    I = property(lambda self: self.corrected.I)
    stdV = property(lambda self: self.corrected.stdV)
    stdI = property(lambda self: self.corrected.stdI)

    @cached_property
    def _derivatives(self):
        v1, d1 = derivative(self.V, self.I, self._k)
        v2, d2 = derivative(v1, d1, self._k)
        return v1, d1, v2, d2

    dIdV_V = property(lambda self: self._derivatives[0], doc="Centre voltages of dIdV (V).")
    dIdV = property(lambda self: self._derivatives[1], doc="First derivative of the corrected curve (A/V).")
    d2IdV2_V = property(lambda self: self._derivatives[2], doc="Centre voltages of d2IdV2 (V).")
    d2IdV2 = property(lambda self: self._derivatives[3], doc="Second derivative (A/V^2).")

    def __repr__(self):
        return (f"Scan(position={self.position:g}, time={self.temporal_position:g}, "
                f"resolved_time={self.resolved_time:g}, points={len(self.corrected or ())}, {self.results!r})")


class ScanGroup:
    """A frame: the scans at one position (spatial run) or time (timed run)."""

    __slots__ = ("position", "temporal_position", "scans")

    def __init__(self, position, temporal_position):
        self.position, self.temporal_position, self.scans = position, temporal_position, []

    def __len__(self):
        return len(self.scans)

    def __iter__(self):
        return iter(self.scans)


class Session:
    """A whole session file. ``complete`` is False for a file that ended early (read up to
    its last complete scan)."""

    def __init__(self):
        self.path = None
        self.version = CURRENT_VERSION
        self.header = {}
        self.device_id = ""
        self.comment = ""
        self.config = {}
        self.analysis_settings = {}
        self.config_text = {}
        self.analysis_settings_text = {}
        self.eepf_table = EepfTable(np.empty(0), np.empty(0))
        self.groups = []
        self.complete = True
        self._first_by_time, self._first_by_position = {}, {}

    @property
    def probe_mode(self):
        return self.config.get("probeMode", 0)

    def scans(self):
        """Every scan, groups in order, scans in order."""
        for g in self.groups:
            yield from g.scans

    def __len__(self):
        return sum(len(g) for g in self.groups)

    def add_scan(self, scan):
        """Files a scan as the program does: by temporal position (type 0), position
        (type 1) or into the first group (any other type); exact comparisons, so a
        not-a-number matches no group."""
        found = None
        if self.groups:
            if scan.scan_type == 0:
                found = self._first_by_time.get(scan.temporal_position)
            elif scan.scan_type == 1:
                found = self._first_by_position.get(scan.position)
            else:
                found = self.groups[0]
        if found is None:
            found = ScanGroup(scan.position, scan.temporal_position)
            self.groups.append(found)
            for index, key in ((self._first_by_time, found.temporal_position),
                               (self._first_by_position, found.position)):
                if not math.isnan(key):
                    index.setdefault(key, found)  # the first group with that value keeps it
        found.scans.append(scan)

    def results_table(self):
        """One row per scan: group, index, position (mm), time (s), resolved_time (us), the
        32 result keys and the opt-in analyses' keys any scan has (EXTRA_KEYS order), all
        not-a-number where there is no value. ``pandas.DataFrame`` takes it as it is."""
        present = set().union(*(s.results for s in self.scans()))
        keys = RESULT_KEYS + tuple(k for k in EXTRA_KEYS if k in present)
        rows = []
        for gi, g in enumerate(self.groups):
            for si, s in enumerate(g.scans):
                row = {"group": gi, "index": si, "position": s.position, "time": s.temporal_position,
                       "resolved_time": s.resolved_time}
                row.update((k, s.results.get(k, math.nan)) for k in keys)
                rows.append(row)
        return rows

    def reanalyse(self, threads=None, probe=None, robust=False, eepf_table=None, **settings):
        """A copy of the session with every scan re-analysed by the program's own analysis (the
        compiled module), as lpanalyse re-analyses the file: the session's settings with the
        given ones on top (session-file names: ``ionmass=4``, ``startCrop=5``,
        ``noiseRobust=True``, ...), its configuration (``probe`` overrides the probe mode) and
        EEPF table (or ``eepf_table``). Results, error texts, corrected curves and EEPFs are the
        new ones; this session is left as it is. ``threads``: analysis threads (default: all
        cores)."""
        from .engine import reanalyse_session
        return reanalyse_session(self, threads=threads, probe=probe, robust=robust, eepf_table=eepf_table,
                                 **settings)

    def __repr__(self):
        return (f"Session({self.path!r}, device={self.device_id!r}, groups={len(self.groups)}, "
                f"scans={len(self)}{'' if self.complete else ', cut off'})")


# ---- reading ---------------------------------------------------------------------

_START, _END, _TEXT, _STOP = range(4)


class _Cut(Exception):
    """The document ended before its end: the file was cut off."""


class _Reader:
    """A pull reader over the document's events, with the program's reader's moves, so
    that a refused file stops at the same element and line."""

    def __init__(self, data):
        self.events = []
        self.pos = 0
        self.error = None       # the reason once reading failed
        self.cut = False        # the document ended early
        self.token = (_STOP, "", None, 1)
        ev = self.events
        p = expat.ParserCreate()
        p.buffer_text = True
        p.buffer_size = 1 << 20
        p.StartElementHandler = lambda n, a: ev.append((_START, n, a, p.CurrentLineNumber))
        p.EndElementHandler = lambda n: ev.append((_END, n, None, p.CurrentLineNumber))
        p.CharacterDataHandler = lambda t: ev.append((_TEXT, t, None, p.CurrentLineNumber))
        self.stop_line = data.count(b"\n") + 1
        self.stop_reason = None  # None: the document is complete
        try:
            p.Parse(data, False)
        except expat.ExpatError as e:  # damaged inside
            self.stop_reason = expat.ErrorString(e.code).capitalize() + "."
            self.stop_line = e.lineno
            return
        try:
            p.Parse(b"", True)
        except expat.ExpatError:
            self.cut = True
            self.stop_reason = "Premature end of document."

    # Qt-like moves
    @property
    def name(self):
        return self.token[1] if self.token[0] in (_START, _END) else ""

    @property
    def attrs(self):
        return self.token[2] if self.token[0] == _START else {}

    def read_next(self):
        if self.error is not None:
            return False
        if self.pos < len(self.events):
            self.token = self.events[self.pos]
            self.pos += 1
            return True
        self.token = (_STOP, "", None, self.stop_line)
        if self.stop_reason is not None:
            self.error = self.stop_reason
        return False

    def next_start(self):
        while self.read_next():
            if self.token[0] == _END:
                return False
            if self.token[0] == _START:
                return True
        return False

    def next_element(self, name, cls=None):
        if not self.next_start() or self.name != name:
            return False
        return cls is None or self.attrs.get("class") == cls

    def skip_element(self):
        depth = 1
        while depth and self.read_next():
            depth += {_START: 1, _END: -1}.get(self.token[0], 0)

    def read_text(self):
        parts = []
        while self.read_next():
            kind = self.token[0]
            if kind == _TEXT:
                parts.append(self.token[1])
            elif kind == _END:
                break
            else:
                self.error = "Expected character data."
                break
        return "".join(parts)

    def read_map(self):
        out = {}
        while self.next_start():
            key = self.name
            text = self.read_text()
            if self.error is not None:
                return None
            out[key] = text
        return None if self.error is not None else out

    def read_vectors(self):
        out = {}
        while self.next_start():
            if self.name == "vec" and "label" in self.attrs:
                label = self.attrs["label"]
                text = self.read_text()
                if self.error is not None:
                    return None
                out[label] = tv.vector(text)
            else:
                self.skip_element()
        return None if self.error is not None else out

    def stop_text(self):
        where = f" at element <{self.name}>" if self.name else ""
        why = self.error if self.error is not None else "unexpected element or class."
        return f"Reading stopped{where} on line {self.token[3]}: {why}"


def _shortest(*arrays):
    n = min(len(a) for a in arrays)
    return [a[:n] for a in arrays]


def _trace(r, first, second):
    duration = tv.number(r.attrs.get("duration", ""))
    vectors = r.read_vectors()
    if vectors is None:
        return None
    i, v = _shortest(vectors.get(first, np.empty(0)), vectors.get(second, np.empty(0)))
    return Trace(v, i, duration)


def _curve(r):
    vectors = r.read_vectors()
    if vectors is None:
        return None
    e = np.empty(0)
    return Curve(*_shortest(*(vectors.get(k, e) for k in ("V", "I", "stdV", "stdI"))))


def _status(m, s):
    secs = min(max(tv.integer(m.get("date", "")), 0), _LAST_DATE_SECS)
    s.date = _dt.datetime.fromtimestamp(secs, _dt.timezone.utc)
    real = lambda key: tv.number(m.get(key, ""))  # noqa: E731
    s.position = real("position")
    s.resolved_time = real("resolved_time")
    s.offset_current = real("offsetCurrent")
    s.gain_auto_switch_voltage = real("gainAutoSwitchVoltage")
    s.d_current_range = real("dCurrentRange")
    s.dc_scan_voltage_start = real("dcCScanVoltageStart")
    s.dc_scan_voltage_end = real("dcCScanVoltageEnd")
    s.plasma_resistance = real("plasmaResistance")
    s.temporal_position = real("temporal_position")
    s.current_range = min(max(tv.integer(m.get("currentRange", "")), 0), 5)
    if "scan_type" in m:
        s.scan_type = min(max(tv.integer(m["scan_type"]), -2**31), 2**31 - 1)
    else:  # older writers: a resolved time (not-a-number too) marks a time-resolved scan
        s.scan_type = 2 if s.resolved_time != 0.0 else 1
    s.error = m.get("Error", "")
    s.measurement_alert = m.get("measurementAlert", "")


_KNOWN_KEYS = frozenset(RESULT_KEYS + EXTRA_KEYS)


def _scan(r, k):
    s = Scan(k)
    if not r.next_element("Status"):
        return None
    status = r.read_map()
    if status is None:
        return None
    _status(status, s)
    if not r.next_element("vec") or r.attrs.get("label") != "ionCurrent":
        return None
    ion = tv.vector(r.read_text())
    if r.error is not None:
        return None
    s.ion_current = (float(ion[1]) if len(ion) > 1 else 0.0, float(ion[0]) if len(ion) else 0.0)
    if not r.next_element("trace", "initScanData"):
        return None
    s.init_scan = _trace(r, "I", "V")
    if s.init_scan is None or not r.next_element("trace", "initScanDerivativeData"):
        return None
    s.init_scan_derivative = _trace(r, "dIdV", "V")
    if s.init_scan_derivative is None or not r.next_element("dcInitScanData"):
        return None
    while r.next_start():
        if r.name != "trace":
            r.skip_element()
            continue
        t = _trace(r, "I", "V")
        if t is None:
            return None
        s.dc_init_scans.append(t)
    if r.error is not None or not r.next_element("accumulatedTraces", "rawData"):
        return None
    count = tv.integer(r.attrs.get("accumulations", ""))
    vectors = r.read_vectors()
    if vectors is None:
        return None
    e = np.empty(0)
    sums = [vectors.get(k, e) for k in ("sumV", "sumI", "sumVsq", "sumIsq")]
    # Sums of fewer than one sweep, or of unequal lengths, mean nothing: they stay empty.
    if not (1 <= count <= 2**31 - 1) or len({len(x) for x in sums}) != 1:
        sums, count = [e, e, e, e], 0
    s.raw = RawSums(*sums, count)
    if not r.next_element("data", "correctedData"):
        return None
    s.corrected = _curve(r)
    if s.corrected is None or not r.next_start():
        return None
    if r.name == "data" and r.attrs.get("class") == "correctedDoubleProbeData":
        s.double_probe = _curve(r)
        if s.double_probe is None or not r.next_start():
            return None
    if r.name != "eedf_data" or r.attrs.get("class") != "eedfResult":
        return None
    vectors = r.read_vectors()
    if vectors is None:
        return None
    s.eepf = Eepf(*_shortest(*(vectors.get(k, e) for k in ("energy", "EEDF", "EEDF_error", "EEDF_low_error"))))
    if not r.next_element("results"):
        return None
    results = r.read_map()
    if results is None:
        return None
    s.results = Results({k: tv.number(v) for k, v in results.items() if k in _KNOWN_KEYS})
    if r.next_start() or r.error is not None:  # nothing may follow the results
        return None
    return s


def _version3(r, session):
    if not r.next_element("header"):
        return False
    header = r.read_map()
    if header is None or not r.next_element("settings", "configParam"):
        return False
    config = r.read_map()
    if config is None or not r.next_element("settings", "AnalysisSettings"):
        return False
    settings = r.read_map()
    if settings is None:
        return False
    # Older writers kept the current offset with the configuration.
    if "offsetCurrent" not in settings and "offsetCurrent" in config:
        settings["offsetCurrent"] = config["offsetCurrent"]
    if not r.next_element("EEDF_Table", "tableEEDF"):
        return False
    table = r.read_vectors()
    if table is None:
        return False
    session.header = header
    session.device_id = header.get("deviceID", "")
    session.comment = header.get("comment", "")
    session.config_text, session.analysis_settings_text = config, settings
    session.config = tv.typed_map(config, tv.CONFIG_TYPES)
    session.analysis_settings = tv.typed_map(settings, tv.SETTINGS_TYPES)
    session.eepf_table = EepfTable(*_shortest(table.get("eV", np.empty(0)), table.get("resolution", np.empty(0))))
    k = session.analysis_settings.get("nDerivativePoints", 3)

    scans = []
    while r.next_start():
        if r.name != "scanData":
            return False
        s = _scan(r, k)
        if s is None:
            if r.cut and r.error is not None:  # the file ends inside this scan
                break
            return False
        scans.append(s)
    if r.error is not None and not r.cut:
        return False
    session.complete = not r.cut
    for s in scans:
        session.add_scan(s)
    while r.read_next():  # only the end may follow the root
        pass
    return r.error is None or r.cut


def read(data, path=None):
    """A session from the bytes of a session file; raises SessionFileError as the program
    refuses files: not a session file, a version other than 3, or a damaged file."""
    # Blocks of zeros at the end are what a power cut leaves after a journal's last write.
    data = bytes(data).rstrip(b"\0")
    r = _Reader(data)
    if not r.next_start() or r.name != "measuredData" or r.attrs.get("sensor") != "Langmuir Probe":
        raise SessionFileError("The file is not a session file.", path)
    text = r.attrs.get("version", "").strip()
    ok = bool(tv._INTEGER.fullmatch(text)) and -2**31 <= int(text) < 2**31
    version = int(text) if ok else 0
    if version != CURRENT_VERSION:
        raise SessionFileError(
            f"Session file version {version if ok or not text else text} is not supported.", path)
    session = Session()
    session.path = path
    if not _version3(r, session):
        raise SessionFileError(r.stop_text(), path)
    return session


def load(path):
    """Reads a session file (or a journal, or a file cut off, up to its last complete scan)."""
    with open(path, "rb") as f:
        return read(f.read(), str(path))
