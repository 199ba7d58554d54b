"""The package installs offline with pip and Debian's setuptools, and the example script
plots a session with it."""

import os
import shutil
import subprocess
import sys
import unittest

import support


class Package(unittest.TestCase):
    def test_offline_install_and_example_plot(self):
        env_dir = os.path.join(support.WORK, "venv")
        support.run(sys.executable, "-m", "venv", "--system-site-packages", env_dir)
        python = os.path.join(env_dir, "bin", "python")
        # pip builds in the folder it is given: a copy keeps the sources clean.
        package = shutil.copytree(os.path.join(support.SOURCE, "python"), os.path.join(support.WORK, "python"),
                                  ignore=shutil.ignore_patterns("build", "*.egg-info", "__pycache__"))
        support.run(python, "-m", "pip", "install", "--no-index", "--no-build-isolation", "--quiet", package,
                    cwd=support.WORK)
        env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
        where = support.run(python, "-c", "import lpdata; print(lpdata.__file__)", env=env, cwd=support.WORK)
        self.assertIn(env_dir, where.stdout)

        png = os.path.join(support.WORK, "example.png")
        script = os.path.join(support.SOURCE, "examples", "plot_session.py")
        opt_ins = support.made_session("spatial", 3, 1, 140, options=support.OPT_INS)
        for session, trend in ((support.EXAMPLE, "Ne"), (opt_ins, "Ni_fit"), (opt_ins, "Te_cold")):
            os.remove(png) if os.path.exists(png) else None
            support.run(python, script, session, png, "--trend", trend, env=env, cwd=support.WORK)
            with open(png, "rb") as f:
                self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
            self.assertGreater(os.path.getsize(png), 20000)
        for args, why in (((os.path.join(support.SOURCE, "README.md"), png), "The file is not a session file."),
                          ((support.EXAMPLE, png, "--trend", "Ni_fit"), "has no Ni_fit: switch its analysis on")):
            refused = subprocess.run([python, script, *args], env=env, capture_output=True, text=True)
            self.assertEqual(refused.returncode, 1)
            self.assertIn(why, refused.stderr)


if __name__ == "__main__":
    unittest.main()
