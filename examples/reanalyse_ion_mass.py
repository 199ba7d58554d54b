#!/usr/bin/env python3
"""Re-analyses a session with another ion mass and plots the new kTe against the one stored,
and the new ion density against the stored one, scan by scan, with their errors.

    python3 examples/reanalyse_ion_mass.py examples/example-session.ldf helium.png --ionmass 4

Notebook-style: each "# %%" cell runs by itself in Jupyter or VS Code. Needs lpdata with its
compiled module (pip install ./python, or the Debian package) and matplotlib."""

# %% The session as measured (argon, 40 u, in the example) and the same re-analysed.
import argparse
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

try:
    import lpdata
except ImportError:  # run from a checkout without installing the package
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
    import lpdata

p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
p.add_argument("session", nargs="?", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                         "example-session.ldf"))
p.add_argument("png", nargs="?", default="reanalysed.png")
p.add_argument("--ionmass", type=float, default=4.0, help="ion mass of the re-analysis (amu; default 4)")
a = p.parse_args()

try:
    old = lpdata.load(a.session)
    new = old.reanalyse(ionmass=a.ionmass)  # every scan, all cores; `old` stays as stored
except (OSError, ImportError, ValueError) as e:  # a missing module, a refused setting or file
    sys.exit(f"reanalyse_ion_mass: {e}")

# %% The results side by side: stored (six digits, as the file keeps them) and new.
def column(session, key):
    return (np.array([s.results[key] for s in session.scans()]),
            np.array([s.results.error(key) for s in session.scans()]))


kte_old, kte_old_err = column(old, "kTe")
kte_new, kte_new_err = column(new, "kTe")
ni_old, _ = column(old, "Ni")
ni_new, ni_new_err = column(new, "Ni")
was = old.analysis_settings.get("ionmass")
print(f"{len(new)} scans re-analysed with an ion mass of {a.ionmass:g} u (stored: {was:g} u)")
print(f"kTe new/stored: median {np.nanmedian(kte_new / kte_old):.4f}; "
      f"Ni new/stored: median {np.nanmedian(ni_new / ni_old):.3f}")

# %% Old against new: kTe hardly moves with the ion mass, the ion density does.
fig, (left, right) = plt.subplots(1, 2, figsize=(11, 4.8))
left.errorbar(kte_old, kte_new, xerr=kte_old_err, yerr=kte_new_err, fmt="o", ms=4, capsize=2)
lo, hi = np.nanmin([kte_old, kte_new]), np.nanmax([kte_old, kte_new])
left.plot([lo, hi], [lo, hi], "k--", lw=1, label="new = stored")
left.set_xlabel(f"kTe stored, {was:g} u (eV)")
left.set_ylabel(f"kTe re-analysed, {a.ionmass:g} u (eV)")
left.legend()
left.set_title("Electron temperature")
scan = np.arange(len(new))
right.errorbar(scan, ni_new / ni_old, yerr=ni_new_err / ni_old, fmt="s", ms=4, capsize=2)
right.axhline(np.sqrt(a.ionmass / was), color="k", ls="--", lw=1, label="sqrt(m_new / m_stored)")
right.ticklabel_format(axis="y", useOffset=False)
right.set_xlabel("Scan")
right.set_ylabel("Ni re-analysed / stored")
right.legend()
right.set_title("Ion density")
fig.suptitle(os.path.basename(a.session))
fig.tight_layout()
fig.savefig(a.png, dpi=100)
print(f"written {a.png}")
