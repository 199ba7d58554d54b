"""Number texts of session files, read as the program reads them: a text that is not a
number gives 0; typed configuration and analysis-settings maps."""

import math
import re

import numpy as np

_PIECE = re.compile(
    r"-?(?:(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?|inf(?:inity)?|nan(?:\([0-9A-Za-z_]*\))?)",
    re.IGNORECASE)
_PLAIN = re.compile(r"[0-9eE.+\-;,]*")
_INTEGER = re.compile(r"[+-]?[0-9]+")


def number(text):
    """One number; anything that is not a number (or out of range) gives 0."""
    p = text.strip(" \t\n\r")
    if p.startswith("+"):
        p = p[1:]
        if p.startswith("-"):
            return 0.0
    if not _PIECE.fullmatch(p):
        return 0.0
    low = p.lower()
    if "nan" in low:
        return math.nan
    if "inf" in low:
        return -math.inf if p.startswith("-") else math.inf
    v = float(p)
    return 0.0 if math.isinf(v) else v


def vector(text):
    """A vec text: ";1.5;2;" (the first character is the separator) or "1.5,2" (older files);
    empty pieces are dropped."""
    t = text.strip()
    if not t:
        return np.empty(0)
    sep = "," if t[0] in "0123456789-+." else t[0]
    pieces = [p for p in t.split(sep) if p]
    if _PLAIN.fullmatch(t):
        try:
            values = np.array([float(p) for p in pieces], dtype=np.float64)
            if not np.isinf(values).any():
                return values
        except ValueError:
            pass
    return np.array([number(p) for p in pieces], dtype=np.float64)


def integer(text):
    t = text.strip()
    if _INTEGER.fullmatch(t):
        return int(t)
    v = number(t)
    return int(v) if math.isfinite(v) and abs(v) < 9.0e18 else 0


def boolean(text):
    t = text.strip()
    return t.lower() == "true" or integer(t) != 0


_RUNS = ("ionCurrentScanRunParam", "initScanRunParam", "dcCScanRunParam", "dataScanRunParam")
_CONFIG_BOOL = (
    "useDoubleProbe useReferenceProbe syncParam_bUseSyncScan syncParam_averaging spatParam_bUseSpatScan "
    "useSmartScan useAutoCMRange useExtTrigger useExtTriggerRisingEdge ionCurrentDisable initScanDisable "
    "dcCScanDisable cleanProbeParam_autoClean ionCurrentUseBestCurrentRange initScanOptimiseForEEDF "
    "icParam_bUseIcScan spatParam_useRetract timedParam_bUseTimedScan").split()
_CONFIG_INT = (
    "probeMode userChosenCMRange cleanProbeParam_duration cleanProbeParam_period cleanProbeParam_relaxTime "
    "initScanDerivativePoints dcCScanSteps dcCScanSweeps dataScanThrowScans dataScanRunScans").split() + [
    f"{r}_{f}" for r in _RUNS for f in ("firstStepDelay", "nextStepDelay", "avgPerStep", "traceAverage")]
_CONFIG_FLOAT = (
    "syncParam_start syncParam_duration syncParam_resolution spatParam_start spatParam_step spatParam_end "
    "voltageIdle extTriggerDelay cleanProbeParam_voltage cleanProbeParam_power offsetCurrent autoCRMargin "
    "ionCurrentScalingFactor initScanLargeVoltageStep initScanSmallVoltageStep initScanDerivativeDrop "
    "initScanIonCurrentDrop initScanMaxVoltage icParam_duration icParam_voltage spatParam_retractPosition "
    "timedParam_start timedParam_step timedParam_end").split() + [
    f"{r}_{f}" for r in _RUNS for f in ("integrationTime", "voltageStart", "voltageStep", "voltageEnd")]

#: Type of every configuration key the program knows.
CONFIG_TYPES = {**{k: bool for k in _CONFIG_BOOL}, **{k: int for k in _CONFIG_INT},
                **{k: float for k in _CONFIG_FLOAT}}
#: Type of every analysis-settings key the program knows.
SETTINGS_TYPES = {
    **{k: bool for k in ("correctDC", "bUseUserVp", "bUse2ndDerivativeZeroVp", "noiseRobust", "twoTemperature",
                         "statisticalErrors")},
    **{k: int for k in ("nDerivativePoints", "startCrop", "endCrop", "ionDensityMethod")},
    **{k: float for k in ("ionmass", "probe_radius", "probe_holder", "probe_length", "probe_resistance",
                          "gas_temperature", "pressure", "sigmaN", "sigmaEn", "offsetCurrent", "setVp",
                          "VsatFactor", "electronReflectVoltage", "kfactor")},
}
_CONVERT = {bool: boolean, int: integer, float: number}


def typed_map(texts, types):
    """Known keys by their type; unknown keys as int, float or text, whichever reads."""
    out = {}
    for key, text in texts.items():
        kind = types.get(key)
        if kind is not None:
            out[key] = _CONVERT[kind](text)
        elif _INTEGER.fullmatch(text.strip()):
            out[key] = int(text)
        elif _PIECE.fullmatch(text.strip().lstrip("+")):
            out[key] = number(text)
        else:
            out[key] = text
    return out
