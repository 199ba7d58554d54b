"""Number vectors of session files, parsed in bulk with numpy.

A vec text is ";" followed by each number and a ";" after it. numpy parses a text of
plain decimal numbers in one call (a "0" after the last separator shows whether it read to
the end); any other text, or one where numpy found an infinity (an overflow the program
reads as 0), is read piece by piece as the program reads it."""

import warnings

import numpy as np

from . import textvalues as tv

_DIGITS = b"0123456789.eE+-"
_SEPARATORS = b";" * 65536


def vectors(texts):
    """Each vec text (str or bytes) as a float64 array, as the program reads it."""
    out = []
    with warnings.catch_warnings():
        # numpy warns where it stops early; the count below tells that.
        warnings.simplefilter("ignore", DeprecationWarning)
        for t in texts:
            b = t if isinstance(t, bytes) else t.encode("ascii") if t.isascii() else b""
            if len(b) > 1 and b[0] == 59 and b[-1] == 59:
                # Plain decimals between separators: what is left without the number
                # characters is the separators alone, one more than the numbers.
                seps = b.translate(None, _DIGITS)
                n = len(seps)
                if seps == _SEPARATORS[:n] and n < len(_SEPARATORS):
                    v = np.fromstring(b[1:] + b"0", sep=";")
                    if v.size == n and not np.isinf(v).any():
                        out.append(v[:-1])
                        continue
            out.append(tv.vector(t.decode("latin-1") if isinstance(t, bytes) else t))
    return out
