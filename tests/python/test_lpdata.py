"""lpdata against the program: values, refusals, cut-off files and lpanalyse's JSON."""

import math
import os
import subprocess
import sys
import unittest

import numpy as np

import support
from support import lpdata


def example_bytes():
    with open(support.EXAMPLE, "rb") as f:
        return f.read()


def first_scan(data):
    at = data.index(b"<scanData>")
    return data[at:data.index(b"</scanData>", at) + len(b"</scanData>")]


def nth(data, needle, n):
    at = -1
    for _ in range(n):
        at = data.index(needle, at + 1)
    return at


class Agreement(unittest.TestCase):
    def test_values_equal_lpanalyse(self):
        cases = {  # path, result keys per scan
            "example (time-resolved, measured)": (support.EXAMPLE, 32),
            "spatial": (support.made_session("spatial", 3, 2, 150), 32),
            "timed": (support.made_session("timed", 2, 2, 120), 32),
            "ion density fit and two temperatures": (
                support.made_session("spatial", 2, 2, 150, options=support.OPT_INS), 44),
            "double probe": (support.made_session("spatial", 2, 2, 150, options=("--mode", "3")), 32),
        }
        for name, (path, keys) in cases.items():
            with self.subTest(name):
                session = support.assert_agrees_with_lpanalyse(self, path)
                self.assertGreater(len(session), 1)
                self.assertEqual({len(s.results) for s in session.scans()}, {keys})
                self.assertEqual({s.double_probe is not None for s in session.scans()}, {session.probe_mode == 3})

    def test_tables_equal_lpanalyse(self):
        cases = {  # session file, dimensions of its dataset
            "time-resolved (measured)": (support.EXAMPLE, {"resolved_time": 19}),
            "spatial": (support.made_session("spatial", 3, 2, 150), {"position": 3, "scan": 2}),
            "timed": (support.made_session("timed", 2, 2, 120), {"time": 2, "scan": 2}),
            "time-resolved, repeated": (support.made_session("resolved", 2, 3, 120), {"cycle": 2, "resolved_time": 3}),
            "opt-in analyses": (support.made_session("spatial", 2, 2, 150, options=support.OPT_INS),
                                {"position": 2, "scan": 2}),
        }
        for name, (path, dims) in cases.items():
            with self.subTest(name):
                _, ds = support.assert_tables_agree_with_lpanalyse(self, path, support.program_units())
                self.assertEqual(dict(ds.sizes), dims)
        ds = lpdata.load(support.made_session("spatial", 3, 2, 150)).to_xarray()
        self.assertEqual(list(ds.position.values), [0.0, 5.0, 10.0])
        self.assertEqual(ds.Ne.sel(position=5).dims, ("scan",))
        self.assertEqual((ds.kTe_error.attrs["error_of"], ds.kTe.attrs["error"]), ("kTe", "kTe_error"))
        # A session without scans (a journal cut after its table): empty tables, not scalars.
        empty = lpdata.read(example_bytes()[:nth(example_bytes(), b"<scanData>", 1)])
        self.assertEqual(len(empty), 0)
        self.assertEqual(dict(empty.to_xarray().sizes), {"scan": 0})
        df = empty.to_pandas()
        self.assertEqual((len(df), list(df.columns)[:6]),
                         (0, ["group", "index", "position", "time", "resolved_time", "error"]))
        self.assertEqual(df.attrs["units"]["kTe"], "eV")

    def test_pandas_and_xarray_are_needed_only_for_their_tables(self):
        code = ("import sys; sys.modules['pandas'] = sys.modules['xarray'] = None\n"
                "import lpdata\n"
                "s = lpdata.load(sys.argv[1])\n"
                "print(len(s.results_table()), s.groups[0].scans[0].dIdV.size)\n"
                "try:\n    s.to_xarray()\nexcept ImportError as e:\n    print('ImportError', e.name)\n")
        out = support.run(sys.executable, "-c", code, support.EXAMPLE,
                          env=dict(os.environ, PYTHONPATH=os.path.join(support.SOURCE, "python"))).stdout.split()
        self.assertEqual(out, ["19", str(len(lpdata.load(support.EXAMPLE).groups[0].scans[0].dIdV)), "ImportError",
                               "xarray"])

    def test_a_pipe_is_read_as_it_comes(self):
        data = example_bytes()
        code = "import sys, lpdata; s = lpdata.load('/dev/stdin'); print(len(s), s.complete)"
        env = dict(os.environ, PYTHONPATH=os.path.join(support.SOURCE, "python"))
        for name, content, out in (("whole", data, "19 True"),
                                   ("cut, zeros after", data[:nth(data, b"<scanData>", 4)] + b"\0" * 5000, "3 False")):
            with self.subTest(name):
                p = subprocess.run([sys.executable, "-c", code], input=content, capture_output=True, env=env)
                self.assertEqual((p.returncode, p.stdout.decode().strip()), (0, out), p.stderr.decode())

    def test_the_no_drive_marker_is_no_place(self):
        data = example_bytes()
        cases = {  # scan type and position written, position given
            "time-resolved without a drive": (b"2", b"666", math.nan),
            "timed without a drive": (b"0", b"666", math.nan),
            "spatial at 666 mm": (b"1", b"666", 666.0),
            "time-resolved at 12.5 mm": (b"2", b"12.5", 12.5),
        }
        for name, (kind, position, place) in cases.items():
            with self.subTest(name):
                content = data.replace(b"<position>0</position>", b"<position>" + position + b"</position>").replace(
                    b"<scan_type>2</scan_type>", b"<scan_type>" + kind + b"</scan_type>")
                path = os.path.join(support.WORK, "marker.ldf")
                with open(path, "wb") as f:
                    f.write(content)
                s = lpdata.load(path)
                self.assertEqual({sc.position for sc in s.scans()}, {float(position)})  # as the file holds it
                self.assertTrue(all(support.same(r["position"], place) for r in s.results_table()))
                self.assertTrue(all(support.same(p, place) for p in s.to_pandas()["position"]))
                support.assert_tables_agree_with_lpanalyse(self, path, support.program_units())

    def test_groups_traces_and_typed_maps(self):
        s = lpdata.load(support.made_session("spatial", 3, 2, 150))
        self.assertEqual([g.position for g in s.groups], [0.0, 5.0, 10.0])
        self.assertEqual([len(g) for g in s.groups], [2, 2, 2])
        self.assertIs(s.config["spatParam_bUseSpatScan"], True)
        self.assertIs(type(s.config["dataScanRunScans"]), int)
        self.assertIs(type(s.analysis_settings["probe_radius"]), float)
        self.assertEqual(s.analysis_settings["nDerivativePoints"], 3)
        scan = s.groups[1].scans[1]
        self.assertEqual(scan.raw.count, 3)
        self.assertEqual(len(scan.raw), 150)
        # The corrected curve is the mean of the sums (six digits in the file).
        np.testing.assert_allclose(scan.V, scan.raw.mean_voltage(), rtol=1e-5)
        np.testing.assert_allclose(scan.I, scan.raw.mean_current(), rtol=1e-5, atol=1e-12)
        self.assertEqual(len(scan.dIdV), 150 - 6)
        self.assertEqual(len(scan.d2IdV2), 150 - 12)
        self.assertEqual(scan.results.unit("Ne"), "m^-3")
        self.assertEqual(scan.results.quantity("kTe").error, scan.results["kTe_error"])
        rows = s.results_table()
        self.assertEqual(len(rows), 6)
        self.assertEqual(list(rows[3])[:5], ["group", "index", "position", "time", "resolved_time"])
        self.assertEqual((rows[3]["group"], rows[3]["index"], rows[3]["position"]), (1, 1, 5.0))
        self.assertEqual(rows[3]["kTe_error"], scan.results.error("kTe"))
        self.assertIsNone(scan.results.get("Ni_fit"))
        # The opt-in analyses' keys come by group, all or none, as the program reads them.
        r = lpdata.Results({"Ni_fit": 2e16, "Ni_fit_error": 1e15, "Te_hot": None, "unknown": 1})
        self.assertEqual(tuple(r), lpdata.RESULT_KEYS + lpdata.EXTRA_KEYS)
        self.assertEqual((r["Ni_fit"], r.error("Ni_fit"), r.unit("Ni_fit")), (2e16, 1e15, "m^-3"))
        self.assertTrue(math.isnan(r["ionRegime"]) and math.isnan(r["Te_hot"]))
        self.assertEqual(r.quantity("Te_hot").unit, "eV")
        self.assertEqual(len(lpdata.Results({"Te_cold": 1.0})), 39)

    def test_scans_are_grouped_as_the_program_groups_them(self):
        s = lpdata.Session()
        nan = float("nan")
        for kind, position, time in ((1, 1.0, 0), (1, 2.0, 0), (1, 1.0, 0), (1, -0.0, 0), (1, 0.0, 0),
                                     (1, nan, 0), (1, nan, 0), (0, 5.0, 3.0), (0, 6.0, 3.0), (2, 9.0, 9.0)):
            scan = lpdata.Scan(3)
            scan.scan_type, scan.position, scan.temporal_position = kind, position, time
            s.add_scan(scan)
        self.assertEqual([len(g) for g in s.groups], [3, 1, 2, 1, 1, 2])

    def test_refusals_give_the_programs_reasons(self):
        data = example_bytes()
        third = nth(data, b"<results>", 3)
        cases = {
            "not a session file": b'<?xml version="1.0"?>\n<measuredData sensor="Langmuir probe" version="3"/>\n',
            "other XML": b"<?xml version=\"1.0\"?>\n<settings/>\n",
            "newer version": data.replace(b'version="3"', b'version="4"', 1),
            "version text": data.replace(b'version="3"', b'version="3b"', 1),
            "misnamed element": data[:third] + b"<result>" + data[third + 9:].replace(
                b"</results>", b"</result>", 1),
            "cut in the settings": data[:nth(data, b"</settings>", 1)],
            "a whole scan inside the results": data[:third + 9] + first_scan(data) + data[third + 9:],
        }
        for name, content in cases.items():
            with self.subTest(name):
                path = os.path.join(support.WORK, "refused.ldf")
                with open(path, "wb") as f:
                    f.write(content)
                with self.assertRaises(lpdata.SessionFileError) as caught:
                    lpdata.load(path)
                program = support.run(support.LPANALYSE, path, ok=(2,)).stderr.strip()
                self.assertEqual(f"lpanalyse: {path}: {caught.exception.reason}", program)

    def test_encodings_the_program_reads(self):
        data = example_bytes()
        whole = lpdata.read(data)
        comment = b"<comment>Pulsed argon discharge of the simulated unit, 4 sweeps per time point</comment>"
        cases = {  # declared name, Python's codec for the comment, the comment
            "Thai (MS874)": ("MS874", "cp874", "\u0e1e\u0e25\u0e32\u0e2a\u0e21\u0e32 argon"),
            "Thai (windows-874)": ("windows-874", "cp874", "\u0e1e\u0e25\u0e32\u0e2a\u0e21\u0e32"),
            "Korean (CP949)": ("CP949", "cp949", "\ud50c\ub77c\uc988\ub9c8 argon"),
            "Japanese (Shift_JIS)": ("Shift_JIS", "cp932", "\u30d7\u30e9\u30ba\u30de argon"),
            "Western (windows-1252)": ("windows-1252", "cp1252", "Plasma \u00e0 \u00b5s"),
        }
        for name, (declared, codec, text) in cases.items():
            with self.subTest(name):
                content = data.replace(b'encoding="UTF-8"', f'encoding="{declared}"'.encode(), 1).replace(
                    comment, b"<comment>" + text.encode(codec) + b"</comment>", 1)
                path = os.path.join(support.WORK, "encoded.ldf")
                with open(path, "wb") as f:
                    f.write(content)
                s = lpdata.load(path)
                self.assertEqual(s.comment, text)
                self.assertEqual(s.results_table(), whole.results_table())
                self.assertEqual(len(s), len(whole))
                np.testing.assert_array_equal(s.groups[0].scans[-1].I, whole.groups[0].scans[-1].I)
                support.run(support.LPANALYSE, path, ok=(0, 1))  # the program reads it too
        # An encoding the program does not know either: refused with its reason, no LookupError.
        path = os.path.join(support.WORK, "unknown-encoding.ldf")
        with open(path, "wb") as f:
            f.write(data.replace(b'encoding="UTF-8"', b'encoding="x-no-such-encoding"', 1))
        with self.assertRaises(lpdata.SessionFileError) as caught:
            lpdata.load(path)
        program = support.run(support.LPANALYSE, path, ok=(2,)).stderr.strip()
        self.assertEqual(f"lpanalyse: {path}: {caught.exception.reason}", program)

    def test_scans_read_whole_equal_scans_read_element_by_element(self):
        # Scans as the program writes them are matched whole; in a file declared ISO-8859-1
        # (ASCII here) every element goes through the XML parser: both give the same.

        dc = (b'<dcInitScanData traces="2">\n'
              b'            <trace duration="0.5" index="0">\n'
              b'                <vec label="I">;1e-06;2.5e-06;</vec>\n'
              b'                <vec label="V">;-1;1;</vec>\n'
              b'            </trace>\n'
              b'            <trace duration="0.25" index="1">\n'
              b'                <vec label="I">;3e-06;</vec>\n'
              b'                <vec label="V">;2;</vec>\n'
              b'            </trace>\n'
              b'        </dcInitScanData>')
        with_dc = os.path.join(support.WORK, "dc-traces.ldf")
        with open(with_dc, "wb") as f:
            f.write(example_bytes().replace(b'<dcInitScanData traces="0"/>', dc))
        for path in (support.EXAMPLE, support.made_session("spatial", 2, 2, 150, options=support.OPT_INS),
                     support.made_session("spatial", 2, 2, 150, options=("--mode", "3")), with_dc):
            with self.subTest(path):
                with open(path, "rb") as f:
                    data = f.read()
                latin = data.replace(b'encoding="UTF-8"', b'encoding="ISO-8859-1"', 1)
                self.assertNotEqual(latin, data)
                self.assertEqual(support.session_fields(lpdata.read(data)), support.session_fields(lpdata.read(latin)))
        traces = lpdata.load(with_dc).groups[0].scans[3].dc_init_scans
        self.assertEqual([(t.duration, list(t.V), list(t.I)) for t in traces],
                         [(0.5, [-1.0, 1.0], [1e-06, 2.5e-06]), (0.25, [2.0], [3e-06])])

    def test_scan_text_outside_scans_is_not_taken_for_a_scan(self):
        data = example_bytes()
        whole = lpdata.read(data)
        scan = first_scan(data)
        second = nth(data, b"<scanData>", 2)
        cases = {
            "in a comment between scans": data[:second] + b"<!-- " + scan + b" -->\n    " + data[second:],
            "in a comment's CDATA": data.replace(
                b"<comment>", b"<comment><![CDATA[" + scan + b"]]>", 1),
        }
        for name, content in cases.items():
            with self.subTest(name):
                s = lpdata.read(content)
                self.assertEqual(s.results_table(), whole.results_table())
                np.testing.assert_array_equal(s.groups[0].scans[1].raw.sumI, whole.groups[0].scans[1].raw.sumI)
                if "CDATA" in name:
                    self.assertEqual(s.comment, scan.decode() + whole.comment)

    def test_syntax_damage_is_refused_not_cut(self):
        data = example_bytes()
        at = nth(data, b"</vec>", 40)
        with self.assertRaises(lpdata.SessionFileError) as caught:
            lpdata.read(data[:at] + b"</vex>" + data[at + 6:])
        self.assertTrue(caught.exception.reason.startswith("Reading stopped"), caught.exception.reason)

    def test_cut_off_file_reads_up_to_its_last_complete_scan(self):
        data = example_bytes()
        whole = lpdata.read(data)
        self.assertTrue(whole.complete)
        cuts = {
            "inside scan 6": (nth(data, b"<scanData>", 6) + 500, 5),
            "between scans, zeros of a power cut after": (nth(data, b"<scanData>", 4), 3),
            "after the table": (nth(data, b"<scanData>", 1), 0),
        }
        for name, (at, scans) in cuts.items():
            with self.subTest(name):
                content = data[:at] + (b"\0" * 4096 if "zeros" in name else b"")
                cut = lpdata.read(content)
                self.assertFalse(cut.complete)
                self.assertEqual(len(cut), scans)
                self.assertEqual(cut.results_table(), [r for r in whole.results_table() if r["index"] < scans]
                                 if scans else [])

    def test_lpanalyse_json_gives_the_same_results(self):
        for options in ((), support.OPT_INS):
            with self.subTest(options=options):
                path = support.made_session("spatial", 3, 2, 150, options=options)
                json_text = support.run(support.LPANALYSE, "--eepf", path).stdout
                entries = lpdata.read_analysis(json_text)
                report = support.lpanalyse_report(path)
                session = lpdata.load(path)
                self.assertEqual(len(entries), len(report))
                for e in entries:
                    error, values, lists = report[(e.group, e.index)]
                    self.assertEqual(e.file, path)
                    self.assertEqual(e.error, error)
                    self.assertIsInstance(e.results, lpdata.Results)
                    self.assertEqual(list(e.results), list(values))
                    for k in values:
                        self.assertTrue(support.same(e.results[k], values[k]), (e.group, e.index, k))
                    np.testing.assert_array_equal(e.eepf.EEDF, lists["EEDF"])
                    scan = session.groups[e.group].scans[e.index]
                    self.assertEqual((e.position, e.time, e.resolved_time),
                                     (scan.place, scan.temporal_position, scan.resolved_time))
                self.assertTrue(math.isnan(entries[0].results["machnumber"]))
                self.assertEqual(sorted({e.position for e in entries}), [0.0, 5.0, 10.0])
                self.assertEqual(len(entries[0].results), 44 if options else 32)
        text_input = os.path.join(support.SOURCE, "examples", "iv_argon_3eV.csv")
        entry, = lpdata.read_analysis(support.run(support.LPANALYSE, text_input, ok=(0, 1)).stdout)
        self.assertEqual((entry.position, entry.time, entry.resolved_time), (None, None, None))

if __name__ == "__main__":
    unittest.main()
