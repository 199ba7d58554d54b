"""lpdata.analyse and Session.reanalyse are the program's own analysis: lpanalyse's numbers to
the bit on the examples and on synthetic curves across probe modes, the noise-robust mode and
the opt-in analyses; the program's refusals; threads; and a clear word without the module."""

import concurrent.futures
import math
import os
import struct
import subprocess
import sys
import unittest

import numpy as np

import support
from support import lpdata
from lpdata import textvalues as tv

LPSYNTH = os.path.join(os.path.dirname(support.LPANALYSE), "lpsynth")
EXAMPLES = os.path.join(support.SOURCE, "examples")
LISTS = ("energy", "EEDF", "EEDF_error", "EEDF_low_error")


def identical(a, b):
    """Equal to the bit (sign of zero included), or both not-a-number."""
    if math.isnan(a) or math.isnan(b):
        return math.isnan(a) and math.isnan(b)
    return struct.pack("<d", a) == struct.pack("<d", b)


def synth_curves():
    """lpsynth's single-probe curves over a spread of plasmas, sweeps and noise (seeded), and
    curves with white noise for the noise-robust mode."""
    folder = os.path.join(support.WORK, "synth")
    os.makedirs(folder, exist_ok=True)
    plain, white = [], []
    for i in range(100):
        kte, ne = (0.8, 1.5, 3, 5, 9)[i % 5], (3e14, 1e16, 2e17)[i // 5 % 3]
        args = ["--kte", kte, "--ne", ne, "--vp", (-2, 5, 12)[i % 3], "--ion-mass", (1, 4, 40, 131)[i % 4],
                "--points", (150, 250, 400, 333)[i // 3 % 4], "--sweeps", 2 + i % 5,
                "--noise", (0, 0.003, 0.01, 0.03)[i // 7 % 4], "--vnoise", (0, 0.002)[i // 11 % 2], "--seed", 100 + i]
        path = os.path.join(folder, f"plain{i}.csv")
        support.run(LPSYNTH, *args, "-o", path)
        plain.append(path)
    for i in range(40):
        path = os.path.join(folder, f"white{i}.csv")
        support.run(LPSYNTH, "--kte", (1.5, 3, 6)[i % 3], "--ne", (5e15, 1e16, 5e16)[i // 3 % 3], "--sweeps", 4,
                    "--white-noise", (0.002, 0.01, 0.02)[i % 3], "--seed", 500 + i, "-o", path)
        white.append(path)
    return plain, white


def double_curves():
    """Double- and Mach-probe characteristics (two tips, unequal saturation currents for the
    Mach probe, residual sheath slopes), seeded noise, written so that they read back exactly."""
    folder = os.path.join(support.WORK, "double")
    os.makedirs(folder, exist_ok=True)
    rng = np.random.default_rng(34)
    paths = []
    for i in range(30):
        kte, v0, ia = (1, 2.5, 4, 7)[i % 4], (-1.5, 0, 2)[i % 3], 1e-4 * (1 + i % 5)
        ib = ia * (1, 1.3, 2.718281828459045, 0.6)[i // 4 % 4]
        V = np.linspace(-40, 40, (120, 201, 300)[i % 3])
        x = np.exp(-(V - v0) / kte)
        I = ia * (1 - x) / (1 + ia / ib * x) + (1e-7 * (i % 4)) * V
        sweeps = 3 + i % 3
        stdI = np.full(len(V), ia * (0.002, 0.01, 0.03)[i % 3])
        stdV = np.full(len(V), 0.003)
        I = I + rng.normal(0, 1, len(V)) * stdI / math.sqrt(sweeps)
        path = os.path.join(folder, f"double{i}.csv")
        with open(path, "w") as f:
            f.write("voltage,current,std_voltage,std_current\n")
            for row in zip(V, I, stdV, stdI):
                f.write(",".join(repr(float(x)) for x in row) + "\n")
        paths.append(path)
    return paths


def settings_of(options):
    """analyse's keywords for lpanalyse's options."""
    kw = {}
    for flag, value in zip(options, list(options[1:]) + [None]):
        if flag == "--set":
            name, text = value.split("=", 1)
            kw[name] = text
        elif flag == "--mode":
            kw["probe"] = value
        elif flag == "--robust":
            kw["robust"] = True
        elif flag == "--sweeps":
            kw["sweeps"] = int(value)
    return kw


class Identity(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        assert lpdata.engine.available(), "the compiled module (LPDATA_ENGINE) is not there"
        cls.plain, cls.white = synth_curves()
        cls.double = double_curves()

    def compare(self, where, message, results, eepf, theirs, differences):
        error, values, lists = theirs
        if message != error:
            differences.append(f"{where}: message {message!r} != {error!r}")
        if list(results) != list(values):
            differences.append(f"{where}: keys {list(results)} != {list(values)}")
        for k in values:
            if not identical(results.get(k, math.nan), values[k]):
                differences.append(f"{where} {k}: {results.get(k)!r} != {values[k]!r}")
        for k in LISTS:
            mine, their = [float(x) for x in getattr(eepf, k)], lists.get(k, [])
            if len(mine) != len(their) or not all(map(identical, mine, their)):
                differences.append(f"{where} EEPF {k} differs")

    def test_curves_equal_lpanalyse(self):
        opt_ins = ("--set", "ionDensityMethod=1", "--set", "twoTemperature=1")
        other = ("--set", "ionmass=4", "--set", "nDerivativePoints=5", "--set", "startCrop=4", "--set", "endCrop=2",
                 "--set", "probe_resistance=10", "--set", "bUse2ndDerivativeZeroVp=true", "--set", "VsatFactor=0.7",
                 "--set", "probe_radius=0.0003", "--set", "pressure=0.01")
        examples = [os.path.join(EXAMPLES, n) for n in ("iv_argon_3eV.csv", "iv_argon_3eV_noisy.csv")]
        cases = {  # name: files, lpanalyse's options
            "examples": (examples, ()),
            "examples, noise-robust": (examples, ("--robust",)),
            "single probes": (self.plain, ()),
            "single probes with reference": (self.plain[::2], ("--mode", "reference")),
            "spherical probes": (self.plain[1::2], ("--mode", "spherical")),
            "opt-in analyses": (self.plain[:40], opt_ins),
            "other settings, 4 sweeps": (self.plain[40:70], other + ("--sweeps", "4")),
            "white noise": (self.white, ()),
            "white noise, noise-robust": (self.white, ("--robust",)),
            "white noise, noise-robust, opt-in analyses": (self.white[::2], ("--robust",) + opt_ins),
            "double probes": (self.double, ("--mode", "double")),
            "Mach probes": (self.double, ("--mode", "mach", "--set", "kfactor=1.1")),
            "single-probe curves as double probes": (self.plain[::5], ("--mode", "3")),
        }
        analysed = failed = 0
        for name, (files, options) in cases.items():
            with self.subTest(name):
                report = support.lpanalyse_reports(files, *options)
                kw = settings_of(options)
                differences = []
                for path in files:
                    c = support.iv_columns(path)
                    sweeps = {} if "sweeps" in kw else {"sweeps": support.stated_sweeps(path)}
                    r = lpdata.analyse(c["voltage"], c["current"], c["std_voltage"], c["std_current"], **kw, **sweeps)
                    self.assertIsInstance(r, lpdata.Results)
                    self.compare(f"{name}: {path}", r.message, r, r.eepf, report[(path, 0, 0)], differences)
                    analysed += 1
                    failed += bool(r.message)
                self.assertEqual(differences[:5], [])
        self.assertGreaterEqual(analysed, 300)
        self.assertLess(failed, analysed // 3)  # the families are analysable, not a run of failures

    def test_sessions_equal_lpanalyse(self):
        spatial = support.made_session("spatial", 3, 2, 150)
        cases = (  # session file, lpanalyse's options
            (support.EXAMPLE, ()),
            (support.EXAMPLE, ("--set", "ionmass=4", "--set", "startCrop=3")),
            (support.EXAMPLE, ("--robust", "--mode", "spherical")),
            (spatial, ("--set", "twoTemperature=1", "--set", "ionDensityMethod=1")),
            (support.made_session("spatial", 2, 2, 150, options=support.OPT_INS), ()),
            (support.made_session("timed", 2, 2, 120), ("--set", "correctDC=1", "--set", "offsetCurrent=1e-6")),
            (support.made_session("spatial", 2, 2, 150, options=("--mode", "3")), ()),
            (support.made_session("spatial", 2, 2, 150, options=("--mode", "5")), ("--set", "kfactor=2")),
            (spatial, ("--mode", "mach")),
        )
        for path, options in cases:
            with self.subTest(file=os.path.basename(path), options=options):
                report = support.lpanalyse_reports([path], *options)
                session = lpdata.load(path)
                before = [dict(s.results) for s in session.scans()]
                new = session.reanalyse(**settings_of(options))
                differences = []
                for g, group in enumerate(new.groups):
                    for i, scan in enumerate(group.scans):
                        self.compare(f"scan {g}/{i}", scan.error, scan.results, scan.eepf, report[(path, g, i)],
                                     differences)
                self.assertEqual(differences[:5], [])
                self.assertEqual(len(report), len(new))
                # The session read stays as it was.
                self.assertTrue(all(map(lambda a, b: all(identical(a[k], b[k]) for k in a),
                                        before, (dict(s.results) for s in session.scans()))))
                if "--mode" in options:
                    mode = options[options.index("--mode") + 1]
                    self.assertEqual(new.probe_mode, {"spherical": 4, "mach": 5}[mode])
        # The settings in force travel with the new session, and its curves are the new ones.
        helium = lpdata.load(support.EXAMPLE).reanalyse(ionmass=4, startCrop=3)
        self.assertEqual((helium.analysis_settings["ionmass"], helium.analysis_settings["startCrop"]), (4.0, 3))
        scan = helium.groups[0].scans[0]
        self.assertEqual(len(scan.V), len(lpdata.load(support.EXAMPLE).groups[0].scans[0].V) - 3)
        np.testing.assert_array_equal(scan.dIdV, lpdata.derivative(scan.V, scan.I, 3)[1])

    def test_refusals_give_the_programs_reasons(self):
        c = support.iv_columns(os.path.join(EXAMPLES, "iv_argon_3eV.csv"))
        V, I = c["voltage"], c["current"]
        for name, value, text in (("bogus", 1, "1"), ("probe_radius", -1, "-1"), ("nDerivativePoints", "abc", "abc"),
                                  ("correctDC", "maybe", "maybe"), ("gas_temperature", 0.0, "0.0")):
            with self.subTest(name):
                refused = subprocess.run([support.LPANALYSE, "--set", f"{name}={text}", os.path.join(EXAMPLES,
                                          "iv_argon_3eV.csv")], capture_output=True, text=True)
                self.assertEqual(refused.returncode, 2)
                reason = refused.stderr.strip().removeprefix("lpanalyse: --set ")
                for call in (lambda: lpdata.analyse(V, I, **{name: value}),
                             lambda: lpdata.load(support.EXAMPLE).reanalyse(**{name: value}),
                             lambda: lpdata.reanalyse_files([support.EXAMPLE], client=object(), **{name: value})):
                    with self.assertRaises(ValueError) as e:
                        call()
                    self.assertEqual(str(e.exception), reason)
        refused = subprocess.run([support.LPANALYSE, "--mode", "triple", os.path.join(EXAMPLES, "iv_argon_3eV.csv")],
                                 capture_output=True, text=True)
        with self.assertRaises(ValueError) as e:
            lpdata.analyse(V, I, probe="triple")
        self.assertEqual(str(e.exception).removeprefix("probe: "), refused.stderr.strip().removeprefix(
            "lpanalyse: --mode: "))
        nan = list(I)
        nan[5] = math.nan
        for why, call in (("finite", lambda: lpdata.analyse(V, nan)),
                          ("same length", lambda: lpdata.analyse(V, I[:-1])),
                          ("same length", lambda: lpdata.analyse(V, I, stdI=c["std_current"][:10])),
                          ("at least 2", lambda: lpdata.analyse(V, I, stdI=c["std_current"], sweeps=1)),
                          ("one-dimensional", lambda: lpdata.analyse(V, [I], stdI=c["std_current"]))):
            with self.subTest(why):
                with self.assertRaises(ValueError) as e:
                    call()
                self.assertIn(why, str(e.exception))
        # A curve the analysis cannot take is no exception: the message says why.
        r = lpdata.analyse([1.0, 0.0, 2.0, 3.0, 4.0], [0.0, 1.0, 2.0, 3.0, 4.0])
        self.assertEqual(r.message, "IV scan data must have ascending voltages.")
        self.assertFalse(r.ok)
        self.assertTrue(math.isnan(r["kTe"]))
        self.assertEqual(lpdata.analyse([], []).message, "No Data")
        self.assertIn("ionmass", lpdata.setting_names())

    def test_threads_give_the_serial_results(self):
        curves = [support.iv_columns(p) for p in self.plain[:24] + self.white[:8]]

        def run(c):
            r = lpdata.analyse(c["voltage"], c["current"], c["std_voltage"], c["std_current"], robust=True)
            return [r[k] for k in r] + list(r.eepf.EEDF)

        serial = [run(c) for c in curves]
        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            parallel = list(pool.map(run, curves))
        self.assertTrue(all(map(lambda a, b: len(a) == len(b) and all(map(identical, a, b)), serial, parallel)))
        # Many curves at once: one per row.
        rows = lpdata.analyse(np.array([c["voltage"] for c in curves[:3]]), np.array([c["current"] for c in curves[:3]]),
                              stdI=np.array([c["std_current"] for c in curves[:3]]))
        self.assertEqual([r["kTe"] for r in rows],
                         [lpdata.analyse(c["voltage"], c["current"], stdI=c["std_current"])["kTe"] for c in curves[:3]])
        # A session on one thread and on several.
        session = lpdata.load(support.made_session("resolved", 1, 12, 200))
        one, three = session.reanalyse(threads=1), session.reanalyse(threads=3)
        self.assertTrue(all(identical(a.results[k], b.results[k]) for a, b in zip(one.scans(), three.scans())
                            for k in a.results))

    def test_without_the_module_reading_works_and_analyse_says_what_is_missing(self):
        env = {k: v for k, v in os.environ.items() if k != "LPDATA_ENGINE"}
        script = ("import sys; sys.path.insert(0, sys.argv[1]); import lpdata\n"
                  "print(len(lpdata.load(sys.argv[2])), lpdata.engine.available())\n"
                  "try:\n    lpdata.analyse([0.0, 1.0], [0.0, 1.0])\nexcept ImportError as e:\n    print(e)\n")
        p = support.run(sys.executable, "-c", script, os.path.join(support.SOURCE, "python"), support.EXAMPLE, env=env)
        first, message = p.stdout.split("\n", 1)
        self.assertEqual(first, f"{len(lpdata.load(support.EXAMPLE))} False")
        self.assertIn("lpdata._engine", message)
        self.assertIn("Reading session files works without it", message)


class NumberTexts(unittest.TestCase):
    """The compiled vec reader gives what numpy and the piece-by-piece reader give, to the bit;
    what it cannot read whole is left to them."""

    PLAIN = ("1.5", "-2.25e-07", "0", "-0", "0.0", "-0e5", ".5", "5.", "-.5E3", "1E+5", "1e-5", "0.1",
             "123456789012345678901234567890", "1e308", "1.7976931348623157e308", "2.2250738585072014e-308",
             "9007199254740993", "1.00000000000000011102230246251565404236316680908203125",
             "1.00000000000000011102230246251565404236316680908203126", "000123", "1e0000000000000000000005")
    # Never read whole by the compiled reader: overflow (the program reads 0), words, signs,
    # blanks, empty or broken pieces.
    HOSTILE = ("1e309", "-1e400", "1.8e308", "nan", "NaN", "inf", "-inf", "Infinity", "+1.5", "+-1", "--1",
               " 1.5", "1.5 ", "1e", "e5", ".", "-", "1.2.3", "0x1p3", "1_000", "1,5", "\uff11", "1\u00e9")
    # Read whole or not: the values must agree either way.
    EDGE = ("1e-400", "4.9e-324", "2.2250738585072011e-308", "1e-320", "-1e-330")

    def setUp(self):
        from lpdata import _numbers
        self.numbers = _numbers
        self.read = _numbers._compiled()
        self.assertTrue(self.read, "the compiled module has no vec reader")

    def check_same(self, texts):
        compiled = self.numbers.vectors(texts)
        fallback = self.numbers.numpy_vectors(texts)
        self.assertEqual(len(compiled), len(texts))
        for text, a, b in zip(texts, compiled, fallback):
            self.assertEqual(a.dtype, np.float64)
            self.assertEqual(a.tobytes(), b.tobytes(), text[:80])
            self.assertEqual(a.tobytes(), tv.vector(text if isinstance(text, str) else text.decode()).tobytes(),
                             text[:80])

    def test_pieces_read_alike(self):
        def text(pieces):
            return ";" + ";".join(pieces) + ";"

        plain = [text([p]) for p in self.PLAIN] + [text(self.PLAIN)]
        hostile = [text(["1", p, "2"]) for p in self.HOSTILE]
        odd_texts = [";", ";;", "", "1;2", ";1;2", "1;2;", ";1;;2;", ";1;\n", "1.5,2", ";1;2; ", "\t;1;"]
        edge = [text([p]) for p in self.EDGE]
        for kind in (str, str.encode):
            whole, left = ([kind(t) for t in group if kind is str or t.isascii()]
                           for group in (plain, hostile + odd_texts))
            with self.subTest(kind.__name__):
                self.assertEqual([g is not None for g in self.read(whole, ";")], [True] * len(whole))
                self.assertEqual([g is None for g in self.read(left, ";")], [True] * len(left))
                self.check_same(whole + left + [kind(t) for t in edge])
        with self.assertRaises(TypeError):
            self.read([1.5], ";")

    def test_random_numbers_read_alike(self):
        rng = np.random.default_rng(2026)
        bits = rng.integers(0, 2**63, size=20000, dtype=np.uint64) | (rng.integers(0, 2, 20000, dtype=np.uint64) << 63)
        values = bits.view(np.float64)
        values = values[np.isfinite(values)]
        formats = (repr, lambda v: f"{v:.6g}", lambda v: f"{v:.17g}", lambda v: f"{v:.3e}", lambda v: f"{v:.25e}")
        pieces = [formats[i % len(formats)](float(v)) for i, v in enumerate(values)]
        # Long digit strings with exponents around both ends of the range.
        digits = rng.integers(0, 10, size=(4000, 40))
        exps = rng.integers(-345, 330, size=4000)
        pieces += [f"{'-' if e % 2 else ''}{d[0]}.{''.join(map(str, d[1:]))}e{e}" for d, e in zip(digits, exps)]
        pieces = [p for p in pieces if p not in ("nan", "-nan", "inf", "-inf")]
        texts = [";" + ";".join(pieces[k:k + 97]) + ";" for k in range(0, len(pieces), 97)]
        self.check_same(texts)
        self.check_same([t.encode() for t in texts])
        # Plain, in-range numbers (reprs of normal doubles) are read whole.
        normal = [repr(float(v)) for v in values if np.isfinite(v) and abs(v) >= 2.2250738585072014e-308]
        self.assertIsNotNone(self.read([";" + ";".join(normal) + ";"], ";")[0])

    def test_sessions_read_alike(self):
        paths = (support.EXAMPLE, support.made_session("spatial", 2, 2, 150, options=support.OPT_INS),
                 support.made_session("spatial", 2, 2, 150, options=("--mode", "3")))
        for path in paths:
            with self.subTest(path):
                compiled = support.session_fields(lpdata.load(path))
                try:
                    self.numbers._reader = False
                    fallback = support.session_fields(lpdata.load(path))
                finally:
                    self.numbers._reader = None
                self.assertEqual(compiled, fallback)


if __name__ == "__main__":
    unittest.main()
