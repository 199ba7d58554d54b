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
        # The build step builds the compiled module with the project's CMake build from the sources.
        env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "LPDATA_ENGINE")}
        support.run(python, "-m", "pip", "install", "--no-index", "--no-build-isolation", "--quiet", package,
                    cwd=support.WORK, env=dict(env, LP_SOURCE_DIR=support.SOURCE))
        where = support.run(python, "-c", "import lpdata; print(lpdata.__file__)", env=env, cwd=support.WORK)
        self.assertIn(env_dir, where.stdout)
        curve = os.path.join(support.SOURCE, "examples", "iv_argon_3eV.csv")
        analysed = support.run(python, "-c", "import sys, lpdata, support\n"
                               "c = support.iv_columns(sys.argv[1])\n"
                               "r = lpdata.analyse(c['voltage'], c['current'], c['std_voltage'], c['std_current'],\n"
                               "                  sweeps=support.stated_sweeps(sys.argv[1]))\n"
                               "print(lpdata._engine.__file__, repr(r['kTe']), repr(r.error('kTe')))",
                               curve, env=dict(env, PYTHONPATH=os.path.dirname(__file__)), cwd=support.WORK)
        module, kte, error = analysed.stdout.split()
        self.assertTrue(module.startswith(env_dir), module)
        self.assertEqual((float(kte), float(error)), tuple(support.lpanalyse_reports([curve])[(curve, 0, 0)][1][k]
                                                           for k in ("kTe", "kTe_error")))
        png = os.path.join(support.WORK, "reanalysed.png")
        support.run(python, os.path.join(support.SOURCE, "examples", "reanalyse_ion_mass.py"), support.EXAMPLE, png,
                    "--ionmass", "4", env=env, cwd=support.WORK)
        with open(png, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")

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

    def test_without_the_sources_the_package_reads_and_says_what_is_missing(self):
        env_dir = os.path.join(support.WORK, "venv-bare")
        support.run(sys.executable, "-m", "venv", "--system-site-packages", env_dir)
        python = os.path.join(env_dir, "bin", "python")
        package = shutil.copytree(os.path.join(support.SOURCE, "python"), os.path.join(support.WORK, "python-bare"),
                                  ignore=shutil.ignore_patterns("build", "*.egg-info", "__pycache__"))
        env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "LPDATA_ENGINE", "LP_SOURCE_DIR")}
        support.run(python, "-m", "pip", "install", "--no-index", "--no-build-isolation", "--quiet", package,
                    cwd=support.WORK, env=env)
        p = subprocess.run([python, "-c", "import sys, lpdata\nprint(len(lpdata.load(sys.argv[1])))\n"
                            "lpdata.analyse([0.0, 1.0], [0.0, 1.0])", support.EXAMPLE],
                           env=env, cwd=support.WORK, capture_output=True, text=True)
        self.assertEqual(p.stdout.strip(), str(len(support.lpdata.load(support.EXAMPLE))))
        self.assertIn("ImportError: lpdata.analyse and Session.reanalyse need lpdata's compiled module", p.stderr)
        self.assertIn("the project's sources are not beside the package", p.stderr)


if __name__ == "__main__":
    unittest.main()
