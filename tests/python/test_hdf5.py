"""The HDF5 export read back with h5py: every value equals the session's."""

import os
import re
import unittest

import h5py
import numpy as np

import support
from support import lpdata

_KIND = {bool: np.bool_, int: np.integer, float: np.floating}
_TABLE_UNITS = {"group": "1", "index": "1", "position": "mm", "time": "s", "resolved_time": "us"}


def text(v):
    return v.decode() if isinstance(v, bytes) else str(v)


def equal_arrays(a, b):
    return len(a) == len(b) and bool(np.all((np.asarray(a) == np.asarray(b)) | (np.isnan(a) & np.isnan(b))))


class Hdf5Export(unittest.TestCase):
    def check_against_file(self, ldf, h5):
        s = lpdata.load(ldf)
        with h5py.File(h5, "r") as f:
            self.assertEqual(f.attrs["device"], s.device_id)
            self.assertEqual(f.attrs["comment"], s.comment)
            self.assertEqual(f.attrs["file"], os.path.basename(ldf))  # no folders
            first = next(s.scans()).date
            self.assertEqual(f.attrs["date"], first.strftime("%Y-%m-%dT%H:%M:%SZ"))
            self.assertTrue(f.attrs["program_version"])
            for group, values, types in (("config", s.config, lpdata.CONFIG_TYPES),
                                         ("analysis_settings", s.analysis_settings, lpdata.SETTINGS_TYPES)):
                attrs = f[group].attrs
                self.assertEqual(set(attrs), set(values), group)
                # The package knows every key's type; only the opt-in settings may be absent (off).
                self.assertLessEqual(set(values), set(types), group)
                opt_in = {"ionDensityMethod", "twoTemperature", "statisticalErrors"}
                self.assertLessEqual(set(types) - set(values), opt_in, group)
                for k, v in values.items():
                    self.assertIsInstance(attrs[k], _KIND[types[k]], (group, k))
                    self.assertEqual(attrs[k], v, (group, k))
            self.assertTrue(equal_arrays(f["eepf_table/energy"], s.eepf_table.energy))
            self.assertTrue(equal_arrays(f["eepf_table/resolution"], s.eepf_table.resolution))

            scans = f["scans"]
            self.assertEqual(list(scans), [str(g) for g in range(len(s.groups))])
            for g, group in enumerate(s.groups):
                self.assertEqual(scans[str(g)].attrs["position"], group.position)
                self.assertEqual(list(scans[str(g)]), [str(i) for i in range(len(group))])
                for i, scan in enumerate(group.scans):
                    h = scans[f"{g}/{i}"]
                    where = f"{h5} scan {g}/{i}"
                    arrays = {"sumV": scan.raw.sumV, "sumI": scan.raw.sumI, "sumVsq": scan.raw.sumVsq,
                              "sumIsq": scan.raw.sumIsq, "V": scan.V, "I": scan.I, "stdV": scan.stdV,
                              "stdI": scan.stdI, "dIdV": scan.dIdV, "dIdV_V": scan.dIdV_V,
                              "d2IdV2": scan.d2IdV2, "d2IdV2_V": scan.d2IdV2_V, "energy": scan.eepf.energy,
                              "EEDF": scan.eepf.EEDF, "EEDF_error": scan.eepf.EEDF_error,
                              "EEDF_low_error": scan.eepf.EEDF_low_error}
                    if scan.double_probe is not None:
                        arrays.update({"doubleProbe_" + k: getattr(scan.double_probe, k)
                                       for k in ("V", "I", "stdV", "stdI")})
                    self.assertEqual("doubleProbe_I" in h, scan.double_probe is not None, where)
                    for name, values in arrays.items():
                        self.assertTrue(equal_arrays(h[name][()], values), (where, name))
                    self.assertEqual(h.attrs["accumulations"], scan.raw.count, where)
                    self.assertEqual(h.attrs["date"], scan.date.strftime("%Y-%m-%dT%H:%M:%SZ"))
                    self.assertEqual(h.attrs["Error"], scan.error)
                    for attr, value in (("position", scan.position), ("temporal_position", scan.time),
                                        ("resolved_time", scan.resolved_time), ("scan_type", scan.scan_type),
                                        ("ionCurrent", scan.ion_current[0]),
                                        ("plasmaResistance", scan.plasma_resistance)):
                        self.assertEqual(h.attrs[attr], value, (where, attr))
                    units = h.attrs["units"]
                    for k in scan.results:
                        self.assertTrue(support.same(h.attrs[k], scan.results[k]), (where, k))
                        self.assertEqual(text(units[k]), scan.results.unit(k), (where, k))
                    for k in lpdata.EXTRA_KEYS:  # only the opt-in analyses the scan has
                        self.assertEqual(k in h.attrs, k in scan.results, (where, k))
                        self.assertEqual(k in units.dtype.names, k in scan.results, (where, k))

            table = f["results"][()]
            rows = s.results_table()
            self.assertEqual(len(table), len(rows))
            self.assertEqual(list(table.dtype.names), list(rows[0]))
            self.assertEqual(list(f["results"].attrs["units"].dtype.names), list(rows[0]))
            for name in rows[0]:
                self.assertTrue(equal_arrays(table[name], [r[name] for r in rows]), name)
                self.assertEqual(text(f["results"].attrs["units"][name]),
                                 _TABLE_UNITS.get(name) or lpdata.Results.unit(name), name)
            # Every unit once more as UTF-8 text, readable as str.
            units = dict(f["units"].attrs.items())
            for name in list(rows[0]) + list(f["scans/0/0"].attrs["units"].dtype.names):
                self.assertIsInstance(units[name], str, name)
            self.assertEqual({k: units[k] for k in rows[0]}, {k: text(v) for k, v in zip(
                f["results"].attrs["units"].dtype.names, f["results"].attrs["units"])})
            # Every dataset carries its unit.
            missing = []
            f.visititems(lambda n, o: missing.append(n) if isinstance(o, h5py.Dataset)
                         and "units" not in o.attrs else None)
            self.assertEqual(missing, [])

    def test_export_equals_the_session(self):
        cases = {  # (session file, HDF5 file), result keys of the first and the last scan
            "spatial": (support.made_session("spatial", 3, 2, 140, hdf5=True), 32, 32),
            "resolved": (support.made_session("resolved", 1, 5, 140, hdf5=True), 32, 32),
            "double probe": (support.made_session("spatial", 2, 2, 140, hdf5=True, options=("--mode", "3")), 32, 32),
            "ion density fit and two temperatures": (
                support.made_session("spatial", 2, 2, 140, hdf5=True, options=support.OPT_INS), 44, 44),
            "opt-in analyses in some scans": (self.mixed_session(), 39, 37),
            "time-resolved without a drive": (self.no_drive_session(), 32, 32),
        }
        for name, (files, first, last) in cases.items():
            with self.subTest(name):
                self.check_against_file(*files)
                if "without a drive" in name:
                    with h5py.File(files[1], "r") as f:
                        self.assertTrue(np.isnan(f["results"]["position"]).all())
                        self.assertEqual(f["scans/0/0"].attrs["position"], 666)
                s = lpdata.load(files[0])
                self.assertEqual((len(s.groups[0].scans[0].results), len(s.groups[-1].scans[-1].results)),
                                 (first, last))

    @staticmethod
    def mixed_session():
        """The opt-in session with the ion density fit's keys taken out of its first scan and
        the two temperatures' out of its last, exported as the window exports it."""
        ldf, _ = support.made_session("spatial", 2, 2, 140, hdf5=True, options=support.OPT_INS)
        with open(ldf, encoding="utf-8") as f:
            parts = f.read().split("<results>")
        for at, group in ((1, lpdata.EXTRA_GROUPS[0]), (-1, lpdata.EXTRA_GROUPS[1])):
            for key in (k for v, e, _ in group for k in (v, e) if k):
                parts[at] = re.sub(rf"\s*<{key}>[^<]*</{key}>", "", parts[at])
        name = os.path.join(support.WORK, "mixed")
        with open(name + ".ldf", "w", encoding="utf-8") as f:
            f.write("<results>".join(parts))
        support.run(support.LPSESSIONGEN, "--export", name + ".ldf", name + ".h5")
        return name + ".ldf", name + ".h5"

    @staticmethod
    def no_drive_session():
        """A time-resolved session whose scans hold the "no drive" marker as position: not-a-number
        in the results table, 666 as the scan's own attribute (as the file holds it)."""
        ldf, _ = support.made_session("resolved", 1, 5, 140, hdf5=True)
        with open(ldf, encoding="utf-8") as f:
            content = f.read().replace("<position>0</position>", "<position>666</position>")
        name = os.path.join(support.WORK, "no-drive")
        with open(name + ".ldf", "w", encoding="utf-8") as f:
            f.write(content)
        support.run(support.LPSESSIONGEN, "--export", name + ".ldf", name + ".h5")
        return name + ".ldf", name + ".h5"

    def test_lpanalyse_exports_its_analysis(self):
        cases = {"example": (support.EXAMPLE, ()),
                 "double probe": (support.made_session("spatial", 2, 2, 140), ("--mode", "double")),
                 "ion density fit and two temperatures": (support.EXAMPLE, support.OPT_INS)}
        for name, (path, options) in cases.items():
            with self.subTest(name):
                out = os.path.join(support.WORK, "analysed.h5")
                support.run(support.LPANALYSE, "--format", "hdf5", "--output", out, *options, path, ok=(0, 1))
                report = support.lpanalyse_report(path, *options)
                with h5py.File(out, "r") as f:
                    table = f["results"][()]
                    self.assertEqual(len(table), len(report))
                    for row in table:
                        g, i = int(row["group"]), int(row["index"])
                        values = report[(g, i)][1]
                        self.assertEqual(list(table.dtype.names)[5:], list(values))
                        self.assertEqual(len(values), 44 if options == support.OPT_INS else 32)
                        for k in values:
                            self.assertTrue(support.same(float(row[k]), values[k]), k)
                            self.assertTrue(support.same(f[f"scans/{g}/{i}"].attrs[k], values[k]), k)
                    curve = f["scans/0/0"]
                    self.assertEqual("doubleProbe_I" in curve, "--mode" in options)
                    if "--mode" in options:
                        self.assertEqual(curve["doubleProbe_I"].attrs["units"], "A")
                        self.assertEqual(len(curve["doubleProbe_V"]), len(curve["doubleProbe_stdI"]))
        refused = support.run(support.LPANALYSE, "--format", "hdf5", support.EXAMPLE, ok=(2,))
        self.assertIn("--output", refused.stderr)

    def test_a_file_of_1024_scans_opens(self):
        _, h5 = support.made_session("spatial", 32, 32, 100, hdf5=True)
        with h5py.File(h5, "r") as f:
            self.assertEqual(len(f["results"]), 1024)
            self.assertEqual(sum(len(g) for g in f["scans"].values()), 1024)
            self.assertEqual(len(f["scans/31/31/V"]), 100)
        self.assertIn('GROUP "31"', support.run("h5dump", "-H", "-g", "/scans", h5).stdout)


if __name__ == "__main__":
    unittest.main()
