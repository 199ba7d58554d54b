"""Number vectors of session files, parsed in bulk: by the compiled module where it is there
(lpdata._engine.read_vectors, correctly rounded like the program, the interpreter lock released),
else with numpy; texts either cannot read whole go the numpy way, then piece by piece.

A vec text is ";" followed by each number and a ";" after it. numpy parses a text of
plain decimal numbers in one call (a "0" after the last separator shows whether it read to
the end); any other text, or one where numpy found an infinity (an overflow the program
reads as 0), is read piece by piece as the program reads it."""

import warnings

import numpy as np

from . import textvalues as tv

_DIGITS = b"0123456789.eE+-"
_SEPARATORS = b";" * 65536


def _plain(b):
    """The count of separators of a text of plain decimal numbers, else 0."""
    seps = b.translate(None, _DIGITS)
    n = len(seps)
    return n if seps == _SEPARATORS[:n] and n < len(_SEPARATORS) else 0


_reader = None


def _compiled():
    """The compiled reader, or False where the module is not there (looked for once)."""
    global _reader
    if _reader is None:
        from . import engine  # noqa: PLC0415  (engine imports session, which imports this)
        module = engine._load()
        _reader = getattr(module, "read_vectors", None) or False
    return _reader


def vectors(texts):
    """Each vec text as a float64 array, as the program reads it. A text is str, or bytes
    that hold number characters (digits, ".", "e", "E", "+", "-") and ";" only."""
    read = _compiled()
    if not read:
        return numpy_vectors(texts)
    out = read(texts, ";")
    left = [k for k, v in enumerate(out) if v is None]
    if left:
        for k, v in zip(left, numpy_vectors([texts[k] for k in left])):
            out[k] = v
    return out


def numpy_vectors(texts):
    """vectors() without the compiled module."""
    out = []
    with warnings.catch_warnings():
        # numpy warns where it stops early; the count below tells that.
        warnings.simplefilter("ignore", DeprecationWarning)
        for t in texts:
            if isinstance(t, bytes):
                b, n = t, t.count(b";")
            else:
                b = t.encode("ascii") if t.isascii() else b""
                n = _plain(b)
            if n > 1 and b[0] == 59 and b[-1] == 59:
                v = np.fromstring(b[1:] + b"0", sep=";")
                if v.size == n:
                    out.append(v[:-1])
                    continue
            out.append(None if n == 1 and len(b) == 1 else tv.vector(t.decode("ascii") if isinstance(t, bytes) else t))
    # An infinity is an overflow, which the program reads as 0: such texts are read singly.
    found = [v for v in out if v is not None and v.size]
    if found and np.isinf(np.concatenate(found)).any():
        out = [v if v is None or not np.isinf(v).any() else tv.vector(t.decode("ascii") if isinstance(t, bytes) else t)
               for v, t in zip(out, texts)]
    return [np.empty(0) if v is None else v for v in out]
