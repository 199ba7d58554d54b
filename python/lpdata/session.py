"""Session files (".ldf", XML layout version 3) read into objects with numpy arrays.

The reader follows the program's own: the same elements in the same order, lenient
numbers, and the same reasons when a file is refused. A file that ends early (a journal
written as the run goes, or a run cut off) is read up to its last complete scan."""

import codecs
import datetime as _dt
import itertools
import math
import re
from functools import cached_property
from xml.parsers import expat

import numpy as np

from . import _numbers
from . import textvalues as tv
from .results import EXTRA_KEYS, RESULT_KEYS, Results

CURRENT_VERSION = 3
#: The position a file holds for a scan measured outside a spatial run without a linear
#: drive: a marker, not a place (a spatial run's drive may stand at 666 mm).
NO_DRIVE_POSITION = 666.0
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

    @property
    def place(self):
        """The position as a place (mm): not-a-number where the file holds the "no drive"
        marker (``position`` keeps what the file holds)."""
        if self.position == NO_DRIVE_POSITION and self.scan_type != 1:
            return math.nan
        return self.position
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
        """One row per scan: group, index, position (mm; not-a-number for the "no drive"
        marker), time (s), resolved_time (us), the 32 result keys and the opt-in analyses'
        keys any scan has (EXTRA_KEYS order), all not-a-number where there is no value.
        ``pandas.DataFrame`` takes it as it is; ``to_pandas()`` adds units and errors."""
        present = set().union(*(s.results for s in self.scans()))
        keys = RESULT_KEYS + tuple(k for k in EXTRA_KEYS if k in present)
        rows = []
        for gi, g in enumerate(self.groups):
            for si, s in enumerate(g.scans):
                row = {"group": gi, "index": si, "position": s.place, "time": s.temporal_position,
                       "resolved_time": s.resolved_time}
                row.update((k, s.results.get(k, math.nan)) for k in keys)
                rows.append(row)
        return rows

    def to_pandas(self):
        """The results table as a pandas DataFrame with the analysis error text of each scan
        as the column "error" (empty where the analysis succeeded) and the unit of every
        other column in ``df.attrs["units"]``."""
        from . import tables
        return tables.to_pandas(self)

    def to_xarray(self):
        """The results as an xarray Dataset over the session's natural dimensions
        (position, time, resolved_time, or scan), one variable per result key with its
        error as a companion variable, ``units`` on every variable and coordinate."""
        from . import tables
        return tables.to_xarray(self)

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
#
# The document is parsed as it is read, a block at a time, and the number vectors are
# gathered and parsed in bulk (several hundred at once): a file is never held whole,
# neither as bytes nor as parsed events.

_START, _END, _TEXT, _STOP = range(4)
_BLOCK = 1 << 20       # bytes read and parsed at a time
_BATCH = 1 << 20       # characters of vec text gathered before they are parsed


class _Reader:
    """A pull reader over the document's events, with the program's reader's moves, so
    that a refused file stops at the same element and line. Events come from the parser
    one block of the file at a time."""

    def __init__(self, blocks, encoding=None, count_lines=True):
        self.events = []
        self._count_lines = count_lines
        self.pos = 0
        self.error = None       # the reason once reading failed
        self.cut = False        # the document ended early
        self.token = (_STOP, "", None, 1)
        self.stop_reason = None  # None: the document is complete
        self._stop_line = None
        self._lines = 1
        self._blocks = blocks
        self._done = False
        ev = self.events
        p = self._parser = expat.ParserCreate(encoding)
        p.buffer_text = True
        p.buffer_size = 1 << 20

        def start(name, attrs):
            if name == "scanData":  # where it starts: a scan parsed ahead may stand there
                ev.append((_START, name, attrs, p.CurrentLineNumber, p.CurrentByteIndex))
            else:
                ev.append((_START, name, attrs, p.CurrentLineNumber))

        def end(name):
            ev.append((_END, name, None, p.CurrentLineNumber))

        def text(t):
            # Layout between elements is never read: dropped at once.
            if ev and ev[-1][0] == _END and t.isspace():
                return
            ev.append((_TEXT, t, None, p.CurrentLineNumber))

        p.StartElementHandler, p.EndElementHandler, p.CharacterDataHandler = start, end, text

    def _feed(self):
        """Parses blocks until there are events; False at the end of the document."""
        ev = self.events
        ev.clear()
        self.pos = 0
        while not ev and not self._done:
            block = next(self._blocks, None)
            try:
                if block is None:
                    self._done = True
                    try:
                        self._parser.Parse(b"", True)
                    except expat.ExpatError:
                        self.cut = True
                        self.stop_reason = "Premature end of document."
                else:
                    if self._count_lines:
                        self._lines += block.count(b"\n")
                    self._parser.Parse(block, False)
            except expat.ExpatError as e:  # damaged inside
                self._done = True
                self.stop_reason = expat.ErrorString(e.code).capitalize() + "."
                self._stop_line = e.lineno
        return bool(ev)

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
        if self.pos >= len(self.events) and not self._feed():
            self.token = (_STOP, "", None, self._stop_line or self._lines)
            if self.stop_reason is not None:
                self.error = self.stop_reason
            return False
        self.token = self.events[self.pos]
        self.pos += 1
        return True

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
        return parts[0] if len(parts) == 1 else "".join(parts)

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
        """The texts of the vec children by label."""
        out = {}
        while self.next_start():
            if self.name == "vec" and "label" in self.attrs:
                label = self.attrs["label"]
                text = self.read_text()
                if self.error is not None:
                    return None
                out[label] = text
            else:
                self.skip_element()
        return None if self.error is not None else out

    def stop_text(self):
        where = f" at element <{self.name}>" if self.name else ""
        why = self.error if self.error is not None else "unexpected element or class."
        return f"Reading stopped{where} on line {self.token[3]}: {why}"


class _Batch:
    """Vec texts gathered for parsing together; the scans read meanwhile are finished once
    their numbers are there."""

    def __init__(self):
        self.texts, self.size, self.arrays, self.finish = [], 0, None, []

    def add(self, vectors):
        """Handles (indices) for a dict of vec texts by label."""
        out = {}
        for label, text in vectors.items():
            out[label] = len(self.texts)
            self.texts.append(text)
            self.size += len(text)
        return out

    def get(self, handle):
        return np.empty(0) if handle is None else self.arrays[handle]

    def parse(self):
        self.arrays = _numbers.vectors(self.texts)
        self.texts = None
        for f in self.finish:
            f(self)
        self.arrays = self.finish = None


def _shortest(*arrays):
    n = min(len(a) for a in arrays)
    return [a if len(a) == n else a[:n] for a in arrays]


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


def _scan_of(status, ion, results):
    """A scan with its status, ion-current reading and results; its vectors come later."""
    s = Scan(3)
    _status(status, s)
    s.ion_current = (float(ion[1]) if len(ion) > 1 else 0.0, float(ion[0]) if len(ion) else 0.0)
    known = [k for k in results if k in _KNOWN_KEYS]
    texts = [results[k] for k in known]
    # The results' numbers parsed together where each is one plain piece, else one by one.
    joined = ";" + ";".join(texts) + ";"
    values = _numbers.vectors([joined])[0].tolist() if joined.count(";") == len(texts) + 1 else ()
    if len(values) == len(texts):
        values = [math.nan if v != v else v for v in values]  # "no value" is math.nan, as read singly
    else:
        values = [tv.number(t) for t in texts]
    s.results = Results(dict(zip(known, values)))
    return s


class _Parts:
    """A scan's vec texts by element, as read: (duration, {label: text}) of each trace,
    the accumulation count and the vector elements' texts by label."""

    __slots__ = ("init", "init_derivative", "dc", "count", "raw", "corrected", "double_probe", "eepf")


def _register(s, parts, k, batch):
    """Hands the scan's vec texts to the batch, which fills in its arrays when parsed."""
    s._k = k
    trace = lambda t: (t[0], batch.add(t[1]))  # noqa: E731
    init, init_derivative = trace(parts.init), trace(parts.init_derivative)
    dc = [trace(t) for t in parts.dc]
    raw, corrected, eepf = batch.add(parts.raw), batch.add(parts.corrected), batch.add(parts.eepf)
    double_probe = None if parts.double_probe is None else batch.add(parts.double_probe)
    count = parts.count

    def made_trace(t, b, first, second):
        i, v = _shortest(b.get(t[1].get(first)), b.get(t[1].get(second)))
        return Trace(v, i, t[0])

    def curve(vectors, b):
        return Curve(*_shortest(*(b.get(vectors.get(key)) for key in ("V", "I", "stdV", "stdI"))))

    def finish(b):
        s.init_scan = made_trace(init, b, "I", "V")
        s.init_scan_derivative = made_trace(init_derivative, b, "dIdV", "V")
        s.dc_init_scans = [made_trace(t, b, "I", "V") for t in dc]
        sums = [b.get(raw.get(key)) for key in ("sumV", "sumI", "sumVsq", "sumIsq")]
        n = count
        # Sums of fewer than one sweep, or of unequal lengths, mean nothing: they stay empty.
        if not (1 <= n <= 2**31 - 1) or len({len(x) for x in sums}) != 1:
            sums, n = [np.empty(0) for _ in range(4)], 0
        s.raw = RawSums(*sums, n)
        s.corrected = curve(corrected, b)
        s.double_probe = None if double_probe is None else curve(double_probe, b)
        s.eepf = Eepf(*_shortest(*(b.get(eepf.get(key)) for key in ("energy", "EEDF", "EEDF_error",
                                                                      "EEDF_low_error"))))
    batch.finish.append(finish)


def _trace_texts(r):
    duration = tv.number(r.attrs.get("duration", ""))
    vectors = r.read_vectors()
    return None if vectors is None else (duration, vectors)


def _scan(r):
    """Reads one scanData: (scan, its parts), or None where the program's reader stops."""
    p = _Parts()
    if not r.next_element("Status"):
        return None
    status = r.read_map()
    if status is None:
        return None
    if not r.next_element("vec") or r.attrs.get("label") != "ionCurrent":
        return None
    ion = tv.vector(r.read_text())
    if r.error is not None or not r.next_element("trace", "initScanData"):
        return None
    p.init = _trace_texts(r)
    if p.init is None or not r.next_element("trace", "initScanDerivativeData"):
        return None
    p.init_derivative = _trace_texts(r)
    if p.init_derivative is None or not r.next_element("dcInitScanData"):
        return None
    p.dc = []
    while r.next_start():
        if r.name != "trace":
            r.skip_element()
            continue
        t = _trace_texts(r)
        if t is None:
            return None
        p.dc.append(t)
    if r.error is not None or not r.next_element("accumulatedTraces", "rawData"):
        return None
    p.count = tv.integer(r.attrs.get("accumulations", ""))
    p.raw = r.read_vectors()
    if p.raw is None or not r.next_element("data", "correctedData"):
        return None
    p.corrected = r.read_vectors()
    if p.corrected is None or not r.next_start():
        return None
    p.double_probe = None
    if r.name == "data" and r.attrs.get("class") == "correctedDoubleProbeData":
        p.double_probe = r.read_vectors()
        if p.double_probe is None or not r.next_start():
            return None
    if r.name != "eedf_data" or r.attrs.get("class") != "eedfResult":
        return None
    p.eepf = r.read_vectors()
    if p.eepf is None or not r.next_element("results"):
        return None
    results = r.read_map()
    if results is None:
        return None
    if r.next_start() or r.error is not None:  # nothing may follow the results
        return None
    return _scan_of(status, ion, results), p


# ---- scans as the program writes them ----------------------------------------------
#
# Nearly every scanData element is exactly as the program writes it: the same elements
# in the same order, plain text. Such an element is matched whole by one expression and
# taken out of the document before the XML parser sees it; a placeholder stands in its
# place. Where the reader meets a placeholder as a scan it takes the
# scan parsed ahead. Anything else goes through the parser as it is, and a file where a
# placeholder lands anywhere but as a scan is read again without this.

_W = rb"[ \t\r\n]*"
_NAME = rb"[A-Za-z_][A-Za-z0-9_.\-]*"
_TEXT_CHARS = rb"[\t\n\x20-\x25\x27-\x3b\x3d\x3f-\xff]*"      # no markup, no carriage return
_VEC_CHARS = rb"[0-9.eE+\-;]*"    # plain numbers: parsed in bulk without further checks
_ATTR = rb"[\x20\x21\x23-\x25\x27-\x3b\x3d-\x7e]*"
_VECS = rb'(?:' + _W + rb'<vec label="' + _ATTR + rb'">' + _VEC_CHARS + rb'</vec>)*'


def _items(group):
    return rb"(?:" + _W + rb"<(?P<" + group + rb">" + _NAME + rb")>" + _TEXT_CHARS + rb"</(?P=" + group + rb")>)*"


def _vec(label, group):
    return _W + rb'<vec label="' + label + rb'">(?P<' + group + rb">" + _VEC_CHARS + rb")</vec>"


def _vecs(group, *labels):
    return b"".join(_vec(label, group + b"_" + label) for label in labels)


_CORRECTED = (b"I", b"V", b"stdI", b"stdV")
_EEPF = (b"EEDF", b"EEDF_error", b"EEDF_low_error", b"energy")
_SUMS = (b"sumI", b"sumIsq", b"sumV", b"sumVsq")
_CANONICAL_SCAN = re.compile(
    rb"<scanData>" + _W + rb"<Status>(?P<status>" + _items(b"s") + rb")" + _W + rb"</Status>"
    + _vec(b"ionCurrent", b"ion")
    + _W + rb'<trace class="initScanData" duration="(?P<d1>' + _ATTR + rb')">' + _vecs(b"init", b"I", b"V")
    + _W + rb"</trace>"
    + _W + rb'<trace class="initScanDerivativeData" duration="(?P<d2>' + _ATTR + rb')">'
    + _vecs(b"der", b"V", b"dIdV") + _W + rb"</trace>"
    + _W + rb'(?:<dcInitScanData traces="' + _ATTR + rb'"/>|<dcInitScanData traces="' + _ATTR + rb'">(?P<dc>(?:'
    + _W + rb'<trace duration="' + _ATTR + rb'" index="' + _ATTR + rb'">' + _VECS + _W + rb"</trace>)*)" + _W
    + rb"</dcInitScanData>)"
    + _W + rb'<accumulatedTraces accumulations="(?P<count>' + _ATTR + rb')" class="rawData">'
    + _vecs(b"raw", *_SUMS) + _W + rb"</accumulatedTraces>"
    + _W + rb'<data class="correctedData">' + _vecs(b"cor", *_CORRECTED) + _W + rb"</data>"
    + rb"(?P<double>" + _W + rb'<data class="correctedDoubleProbeData">' + _vecs(b"dp", *_CORRECTED) + _W
    + rb"</data>)?"
    + _W + rb'<eedf_data class="eedfResult">' + _vecs(b"eepf", *_EEPF) + _W + rb"</eedf_data>"
    + _W + rb"<results>(?P<results>" + _items(b"r") + rb")" + _W + rb"</results>"
    + _W + rb"</scanData>")
_ITEM = re.compile(rb"<(" + _NAME + rb")>(" + _TEXT_CHARS + rb")</\1>")
_VEC = re.compile(rb'<vec label="(' + _ATTR + rb')">(' + _VEC_CHARS + rb")</vec>")
_DC_TRACE = re.compile(rb'<trace duration="(' + _ATTR + rb')" index="' + _ATTR + rb'">(' + _VECS + rb")" + _W
                       + rb"</trace>")


def _text_map(body):
    out = {}
    for key, value in _ITEM.findall(body):
        text = value.decode("utf-8")  # a byte sequence that is not UTF-8 raises: the parser decides
        if "\ufffe" in text or "\uffff" in text:
            raise ValueError("not a character of XML")
        out[key.decode("ascii")] = text
    return out


def _vec_texts(body):
    return {label.decode("ascii"): text for label, text in _VEC.findall(body)}


def _group_texts(m, group, labels):
    return {label.decode("ascii"): m[group + "_" + label.decode("ascii")] for label in labels}


def _canonical_scan(data):
    """(scan, parts) of a scanData element written as the program writes it, or None."""
    m = _CANONICAL_SCAN.fullmatch(data)
    if m is None:
        return None
    try:
        status, results = _text_map(m["status"]), _text_map(m["results"])
    except ValueError:
        return None
    p = _Parts()
    p.init = (tv.number(m["d1"].decode("ascii")), {"I": m["init_I"], "V": m["init_V"]})
    p.init_derivative = (tv.number(m["d2"].decode("ascii")), {"V": m["der_V"], "dIdV": m["der_dIdV"]})
    p.dc = [(tv.number(d.decode("ascii")), _vec_texts(v)) for d, v in _DC_TRACE.findall(m["dc"] or b"")]
    p.count = tv.integer(m["count"].decode("ascii"))
    p.raw = _group_texts(m, "raw", _SUMS)
    p.corrected = _group_texts(m, "cor", _CORRECTED)
    p.eepf = _group_texts(m, "eepf", _EEPF)
    p.double_probe = None if m["double"] is None else _group_texts(m, "dp", _CORRECTED)
    return _scan_of(status, tv.vector(m["ion"].decode("ascii")), results), p


class _Canonical:
    """The document's blocks with the scans written as the program writes them taken out
    (parsed at once) and placeholders in their place; `take` gives the scan parsed at a
    placeholder's byte offset."""

    _OPEN, _CLOSE = b"<scanData>", b"</scanData>"
    # Lines are not counted here: a file this reading refuses is read again as it is.
    _STAND_IN = b"<scanData/>"

    def __init__(self, blocks):
        self._blocks = blocks
        self.ahead = {}     # byte offset of a placeholder in the blocks passed on -> (scan, parts)

    def take(self, offset):
        return self.ahead.pop(offset, None)

    def blocks(self):
        buf, passed = b"", 0
        for block in itertools.chain(self._blocks, [None]):
            last = block is None
            buf = buf + block if not last else buf
            out, pos = [], 0
            while True:
                start = buf.find(self._OPEN, pos)
                end = buf.find(self._CLOSE, start) if start >= 0 else -1
                if end < 0:
                    break
                end += len(self._CLOSE)
                scan = _canonical_scan(buf[start:end])
                if scan is not None:
                    out.append(buf[pos:start])
                    passed += start - pos
                    self.ahead[passed] = scan
                    out.append(self._STAND_IN)
                    passed += len(self._STAND_IN)
                    pos = end
                else:
                    out.append(buf[pos:end])
                    passed += end - pos
                    pos = end
            # Keep what may begin a scan still to come (or the whole of one not yet ended,
            # up to a bound: beyond it the parser reads it as it is).
            if last:
                keep = len(buf)
            elif start >= 0 and len(buf) - start <= 4 * _BLOCK:
                keep = start
            else:
                keep = max(pos, len(buf) - len(self._OPEN) + 1)
            out.append(buf[pos:keep])
            passed += keep - pos
            buf = buf[keep:]
            piece = b"".join(out)
            if piece:
                yield piece


def _version3(r, session, canonical):
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
    eV, resolution = _numbers.vectors([table.get("eV", ";"), table.get("resolution", ";")])
    session.header = header
    session.device_id = header.get("deviceID", "")
    session.comment = header.get("comment", "")
    session.config_text, session.analysis_settings_text = config, settings
    session.config = tv.typed_map(config, tv.CONFIG_TYPES)
    session.analysis_settings = tv.typed_map(settings, tv.SETTINGS_TYPES)
    session.eepf_table = EepfTable(*_shortest(eV, resolution))
    k = session.analysis_settings.get("nDerivativePoints", 3)

    batch, scans = _Batch(), []
    while r.next_start():
        if r.name != "scanData":
            return False
        got = canonical.take(r.token[4]) if canonical is not None else None
        if got is not None:
            r.skip_element()  # the placeholder's end
        else:
            got = _scan(r)
            if got is None:
                if r.cut and r.error is not None:  # the file ends inside this scan
                    break
                return False
        _register(*got, k, batch)
        scans.append(got[0])
        if batch.size >= _BATCH:
            batch.parse()
            for s in scans:
                session.add_scan(s)
            batch, scans = _Batch(), []
    if r.error is not None and not r.cut:
        return False
    batch.parse()
    for s in scans:
        session.add_scan(s)
    session.complete = not r.cut
    while r.read_next():  # only the end may follow the root
        pass
    return r.error is None or r.cut


# ---- encodings -------------------------------------------------------------------
#
# The program reads every encoding its text codecs know. The parser here knows UTF-8,
# UTF-16, ISO-8859-1 and US-ASCII itself; a file in another encoding is decoded with
# Python's codec of that name (or of the program's name for it) and parsed as UTF-8.

_NATIVE = frozenset(("utf-8", "utf-16", "iso-8859-1", "us-ascii"))
# The program's names that Python does not know, or knows for a narrower table.
_PROGRAM_NAMES = {
    **dict.fromkeys(("ms874", "windows-874", "x-windows-874", "ibm-874", "ibm-9066"), "cp874"),
    **dict.fromkeys(("shift_jis", "sjis", "x-sjis", "ms_kanji", "csshiftjis", "windows-31j", "cswindows31j",
                     "windows-932", "x-ms-cp932", "ms932", "pck", "ibm-943", "ibm-943c", "cp943c"), "cp932"),
    **dict.fromkeys(("ms949", "windows-949", "ks_c_5601-1987", "ks_c_5601-1989", "ksc_5601", "korean",
                     "cskSC56011987", "iso-ir-149", "x-ksc5601"), "cp949"),
    **dict.fromkeys(("ms936", "windows-936", "cp936"), "gbk"),
    **dict.fromkeys(("ms950", "windows-950", "x-windows-950"), "cp950"),
}
_DECLARATION = re.compile(
    rb"\A(?:\xef\xbb\xbf)?<\?xml[ \t\r\n][^>]*?\bencoding[ \t\r\n]*=[ \t\r\n]*([\"'])([A-Za-z][A-Za-z0-9._\-:]*)\1")


def _codec(name):
    """Python's codec for an encoding name as the program takes it, or None."""
    low = name.lower()
    if low in _NATIVE:
        return ""
    candidates = [_PROGRAM_NAMES.get(low, low)]
    numbered = re.fullmatch(r"(?:ibm|cp|windows)[-_]?0*(\d+)", low)
    if numbered:
        candidates.append("cp" + numbered.group(1))
    for c in candidates:
        try:
            return codecs.lookup(c).name
        except LookupError:
            pass
    return None


def _parser_blocks(blocks, path):
    """(blocks, encoding for the parser, whether the blocks are UTF-8): the document's
    blocks in an encoding the parser knows."""
    blocks = iter(blocks)
    first = next(blocks, b"")
    whole = itertools.chain([first], blocks)
    declared = None
    if first.startswith((b"\x00\x00\xfe\xff", b"\xff\xfe\x00\x00")):
        codec = "utf-32"
    elif first.startswith((b"\xfe\xff", b"\xff\xfe")):
        codec = ""  # UTF-16, which the parser reads itself
    else:
        m = _DECLARATION.match(first)
        declared = m.group(2).decode("ascii").lower() if m else "utf-8"
        codec = _codec(declared)
    if codec is None:  # the program too refuses an encoding it does not know this way
        raise SessionFileError("The file is not a session file.", path)
    if not codec:
        return whole, None, declared == "utf-8"
    decoder = codecs.getincrementaldecoder(codec)(errors="replace")

    def transcoded():
        for b in whole:
            yield decoder.decode(b).encode("utf-8")
        yield decoder.decode(b"", True).encode("utf-8")
    return transcoded(), "UTF-8", True


def _parse(blocks, encoding, path, canonical):
    r = _Reader(canonical.blocks() if canonical is not None else blocks, encoding, canonical is None)
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
    if not _version3(r, session, canonical):
        raise SessionFileError(r.stop_text(), path)
    return session


def _read(make_blocks, path, again=True):
    """The session of the document whose blocks `make_blocks()` gives (once more, should
    the scans taken out ahead not all have been met as scans; a source that cannot be
    read `again`, a pipe, is read the plain way at once)."""
    blocks, encoding, utf8 = _parser_blocks(make_blocks(), path)
    if utf8 and again:
        canonical = _Canonical(blocks)
        try:
            session = _parse(blocks, encoding, path, canonical)
            if not canonical.ahead:
                return session
        except SessionFileError:
            pass  # read again as it is, for the program's exact reason
        blocks, encoding, _ = _parser_blocks(make_blocks(), path)
    return _parse(blocks, encoding, path, None)


def _without_end_zeros(blocks):
    """The blocks without the zeros a power cut may leave at the very end."""
    held = b""
    for b in blocks:
        b = held + b if held else b
        kept = b.rstrip(b"\0")
        held = b[len(kept):]
        if kept:
            yield kept


def read(data, path=None):
    """A session from the bytes of a session file; raises SessionFileError as the program
    refuses files: not a session file, a version other than 3, or a damaged file."""
    data = bytes(data)
    return _read(lambda: _without_end_zeros(data[i:i + _BLOCK] for i in range(0, len(data), _BLOCK)), path)


def load(path):
    """Reads a session file (or a journal, or a file cut off, up to its last complete
    scan), a block at a time."""
    with open(path, "rb") as f:
        def blocks():
            if f.seekable():
                f.seek(0)
            return _without_end_zeros(iter(lambda: f.read(_BLOCK), b""))
        return _read(blocks, str(path), f.seekable())
