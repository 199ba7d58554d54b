"""The 16 value/error pairs of a scan's analysis, under the session file's keys, with units, and
the keys of the opt-in analyses (ion density fit, two temperatures) when they ran."""

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

# The opt-in analyses' keys by group, (value key, error key or None, unit), in the program's
# order. A file or report has a group's keys only when its analysis ran (settings
# ionDensityMethod = 1, twoTemperature = true).
EXTRA_GROUPS = (
    (("Ni_fit", "Ni_fit_error", "m^-3"), ("ionExponent", "ionExponent_error", "1"), ("ionRegime", None, "1")),
    (("Te_cold", "Te_cold_error", "eV"), ("Te_hot", "Te_hot_error", "eV"),
     ("hot_fraction", "hot_fraction_error", "1"), ("twoT_flag", None, "1")),
)
_GROUP_KEYS = tuple(tuple(k for v, e, _ in g for k in (v, e) if k) for g in EXTRA_GROUPS)
#: The 12 keys of the opt-in analyses, in the program's order.
EXTRA_KEYS = tuple(k for g in _GROUP_KEYS for k in g)
#: Unit of every opt-in key.
EXTRA_UNITS = {k: u for g in EXTRA_GROUPS for v, e, u in g for k in (v, e) if k}
_UNITS = {**RESULT_UNITS, **EXTRA_UNITS}
_ERROR_OF = {v: e for v, e, _ in PAIRS + tuple(q for g in EXTRA_GROUPS for q in g) if e}
_VALUE_KEYS = VALUE_KEYS + tuple(v for g in EXTRA_GROUPS for v, _, _ in g)

Quantity = namedtuple("Quantity", "value error unit")


class Results(Mapping):
    """The 32 result numbers of one scan by key, then the opt-in analyses' keys of the groups
    the scan has (EXTRA_KEYS; a group's keys all or none, as the program reads them);
    not-a-number where there is no value.

    ``results["kTe"]``, ``results.error("kTe")``, ``results.unit("kTe")`` and
    ``results.quantity("kTe")`` (value, error and unit together); ``results.get("Ni_fit")`` is
    None for a scan without the ion density fit."""

    __slots__ = ("_values",)

    def __init__(self, values=None):
        values = values or {}
        self._values = {k: math.nan for k in RESULT_KEYS}
        for g in _GROUP_KEYS:
            if any(k in values for k in g):
                self._values.update((k, math.nan) for k in g)
        for k, v in values.items():
            if k in self._values:
                self._values[k] = math.nan if v is None else float(v)

    def __getitem__(self, key):
        return self._values[key]

    def __iter__(self):
        return iter(self._values)

    def __len__(self):
        return len(self._values)

    def error(self, key):
        """The error of a value key."""
        return self._values[_ERROR_OF[key]]

    @staticmethod
    def unit(key):
        return _UNITS[key]

    def quantity(self, key):
        return Quantity(self._values[key], self.error(key) if key in _ERROR_OF else math.nan, _UNITS[key])

    def __repr__(self):
        shown = ", ".join(f"{k}={self._values[k]:g}" for k in _VALUE_KEYS
                          if not math.isnan(self._values.get(k, math.nan)))
        return f"Results({shown})"
