"""lpdata's build step: the compiled module (lpdata._engine, the program's own analysis) is built
with the project's CMake build from the sources this package sits in (or LP_SOURCE_DIR).
Without them, or without a compiler, CMake, Qt 5 or pybind11, the package installs without the
module: session files read as before, and lpdata.analyse says what is missing (the reason is
kept in lpdata/ENGINE-NOT-BUILT.txt)."""

import glob
import os
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

NOTE = "ENGINE-NOT-BUILT.txt"
HERE = os.path.dirname(os.path.abspath(__file__))


class NotBuilt(Exception):
    pass


def project_sources():
    for d in (os.environ.get("LP_SOURCE_DIR"), os.path.dirname(HERE)):
        if d and os.path.isfile(os.path.join(d, "CMakeLists.txt")) and os.path.isfile(
                os.path.join(d, "python", "engine", "module.cpp")):
            return os.path.abspath(d)
    return None


def run(args, what):
    p = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if p.returncode != 0:
        tail = "\n".join(p.stdout.strip().splitlines()[-15:])
        raise NotBuilt(f"{what} failed:\n{tail}")
    return p.stdout


class BuildEngine(build_ext):
    """Runs the project's CMake build for the module's target and copies the module in."""

    def run(self):
        for ext in self.extensions:
            target = self.get_ext_fullpath(ext.name)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            note = os.path.join(os.path.dirname(target), NOTE)
            try:
                shutil.copyfile(self.cmake_build(), target)
                if os.path.exists(note):
                    os.remove(note)
            except NotBuilt as e:
                if os.path.exists(target):
                    os.remove(target)
                with open(note, "w", encoding="utf-8") as f:
                    f.write(f"The compiled module was not built: {e}\n")
                print(f"lpdata: the compiled module was not built ({e}); lpdata reads session files, "
                      "lpdata.analyse will say what is missing", file=sys.stderr)

    def cmake_build(self):
        src = project_sources()
        if src is None:
            raise NotBuilt("the project's sources are not beside the package (set LP_SOURCE_DIR to them)")
        if shutil.which("cmake") is None:
            raise NotBuilt("cmake is not installed")
        build = os.path.join(os.path.abspath(self.build_temp), "engine")
        args = ["cmake", "-S", src, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DLP_BUILD_GUI=OFF",
                "-DLP_BUILD_TESTS=OFF", f"-DLP_PYTHON={sys.executable}"]
        if shutil.which("ccache") and not os.environ.get("CMAKE_CXX_COMPILER_LAUNCHER"):
            args += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
        out = run(args, "configuring the project (cmake)")
        left_out = [line.strip() for line in out.splitlines() if "compiled module is left out" in line]
        if left_out:
            raise NotBuilt(left_out[0])
        run(["cmake", "--build", build, "--target", "lpdata_engine", "-j", str(os.cpu_count() or 1)],
            "building the module (cmake --build)")
        found = glob.glob(os.path.join(build, "python", "lpdata", "_engine*"))
        if not found:
            raise NotBuilt("the build made no module")
        return found[0]


setup(ext_modules=[Extension("lpdata._engine", sources=[])], cmdclass={"build_ext": BuildEngine})
