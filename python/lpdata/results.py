"""The 16 value/error pairs of a scan's analysis, under the session file's keys, with units."""

import math
from collections import namedtuple
from collections.abc import Mapping

# (value key, error key, unit) in the record's order; "1" marks a pure number.
PAIRS = (
    ("Vpmax", "Vpmax_error", "V"),
    ("Vp", "Vp_error", "V"),
    ("Vf", "Vf_error", "V"),
    ("kTe", "kTe_error", "eV"),
    ("Je", "Je_error", "A/m^2"),
    ("Ne", "Ne_error", "m^-3"),
    ("Jp", "Jp_error", "A/m^2"),
    ("Ni", "Ni_error", "m^-3"),
    ("Vsat", "Vsat_error", "V"),
    ("Ldebye", "Ldebye_error", "m"),
    ("eedf_Ne", "eedf_Ne_error", "m^-3"),
    ("eedf_AvgEnergy", "eedf_AvgEnergy_error", "eV"),
    ("eedf_kTe", "eedf_kTe_error", "eV"),
    ("isat", "isat_err", "A"),
    ("machnumber", "machnumber_err", "1"),
    ("vdrift", "vdrift_err", "m/s"),
)

#: The 32 keys, value before error, in the record's order.
RESULT_KEYS = tuple(k for v, e, _ in PAIRS for k in (v, e))
#: The 16 value keys.
VALUE_KEYS = tuple(v for v, _, _ in PAIRS)
#: Unit of every key (an error has its value's unit).
RESULT_UNITS = {k: u for v, e, u in PAIRS for k in (v, e)}
_ERROR_OF = {v: e for v, e, _ in PAIRS}

Quantity = namedtuple("Quantity", "value error unit")


class Results(Mapping):
    """The 32 result numbers of one scan by key; not-a-number where there is no value.

    ``results["kTe"]``, ``results.error("kTe")``, ``results.unit("kTe")`` and
    ``results.quantity("kTe")`` (value, error and unit together)."""

    __slots__ = ("_values",)

    def __init__(self, values=None):
        self._values = {k: math.nan for k in RESULT_KEYS}
        if values:
            for k, v in values.items():
                if k in self._values:
                    self._values[k] = math.nan if v is None else float(v)

    def __getitem__(self, key):
        return self._values[key]

    def __iter__(self):
        return iter(RESULT_KEYS)

    def __len__(self):
        return len(RESULT_KEYS)

    def error(self, key):
        """The error of a value key."""
        return self._values[_ERROR_OF[key]]

    @staticmethod
    def unit(key):
        return RESULT_UNITS[key]

    def quantity(self, key):
        return Quantity(self._values[key], self.error(key), RESULT_UNITS[key])

    def __repr__(self):
        shown = ", ".join(f"{k}={self._values[k]:g}" for k in VALUE_KEYS if not math.isnan(self._values[k]))
        return f"Results({shown})"
