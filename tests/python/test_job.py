"""Sessions measured by a batch job on the simulated unit: lpdata reads what lpanalyse reports,
and its tables give what lpanalyse gives, the "no drive" marker as not-a-number."""

import math
import os
import shutil
import unittest

import support
from support import lpdata


class JobSession(unittest.TestCase):
    def test_job_measured_session_agrees_with_lpanalyse(self):
        job = os.path.join(support.WORK, "example-job.txt")
        shutil.copy(os.path.join(support.SOURCE, "examples", "example-job.txt"), job)
        with open(os.path.join(support.SOURCE, "examples", "pulsed-plasma.conf")) as f:
            world = f.read() + "\nspeed=0\n"
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", LPSIM_CONFIG=world,
                   XDG_CONFIG_HOME=os.path.join(support.WORK, "config"),
                   XDG_DATA_HOME=os.path.join(support.WORK, "data"))
        support.run(os.environ["LPMEASURE"], "--job", job, "--probe-mode", "reference", env=env, timeout=240)
        # The example writes its time-averaged and its time-resolved session apart.
        for name, scans, dims in (("example-time-averaged.ldf", 1, {}),
                                  ("example-time-resolved.ldf", 8, {"resolved_time": 8})):
            with self.subTest(name):
                path = os.path.join(support.WORK, name)
                session = support.assert_agrees_with_lpanalyse(self, path)
                self.assertEqual(len(session), scans)
                self.assertEqual(session.probe_mode, 1)
                _, ds = support.assert_tables_agree_with_lpanalyse(self, path, support.program_units())
                self.assertEqual(dict(ds.sizes), dims)
                # The unit has no linear drive: the file holds the marker, the tables no place.
                self.assertEqual({s.position for s in session.scans()}, {lpdata.NO_DRIVE_POSITION})
                self.assertTrue(all(math.isnan(p) for p in session.to_pandas()["position"]))
                self.assertTrue(all(math.isnan(p) for p in ds.position.values.flat))


if __name__ == "__main__":
    unittest.main()
