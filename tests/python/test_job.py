"""A session measured by a batch job on the simulated unit: lpdata reads what lpanalyse reports."""

import os
import shutil
import unittest

import support


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
        for name, scans in (("example-time-averaged.ldf", 1), ("example-time-resolved.ldf", 8)):
            session = support.assert_agrees_with_lpanalyse(self, os.path.join(support.WORK, name))
            self.assertEqual(len(session), scans)
            self.assertEqual(session.probe_mode, 1)


if __name__ == "__main__":
    unittest.main()
