"""The Python package egm_shielding, built by this project's own CMake.

The extension egm_shielding._core is the CMake target egm_python_core of the
whole project, configured and built in a temporary folder of its own (never
a build folder of the source tree) for the interpreter that runs this build,
and copied into the package. Extra CMake arguments come from the environment
variable CMAKE_ARGS (for example -DCMAKE_CXX_COMPILER_LAUNCHER=ccache), the
number of jobs from CMAKE_BUILD_PARALLEL_LEVEL (default: one per core).

    pip install . --no-build-isolation       # into the active environment
    python3 -m build --no-isolation          # dist/*.whl for other machines
"""

import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    """The version in the top CMakeLists.txt's project(), the one the module's
    egm_shielding.__version__ reports."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"project\(\s*egm_shielding\s+VERSION\s+([0-9]+\.[0-9]+\.[0-9]+)", text)
    if not found:
        raise RuntimeError(f"{ROOT / 'CMakeLists.txt'}: no project(egm_shielding VERSION x.y.z)")
    return found.group(1)


class CMakeBuild(build_ext):
    """build_ext that builds egm_python_core with CMake instead of compiling
    sources itself."""

    def build_extension(self, ext):
        target = Path(self.get_ext_fullpath(ext.name)).resolve()
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        with tempfile.TemporaryDirectory(prefix="egm-python-build-") as build:
            # Only the library and the module: the tools, tests and benchmark
            # need packages a Python build does not; a missing part of the
            # module stops the configuration instead of being skipped.
            configure = ["cmake", "-S", str(ROOT), "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                         f"-DPython3_EXECUTABLE={sys.executable}", "-DEGM_BUILD_PYTHON=ON",
                         "-DEGM_BUILD_TOOLS=OFF", "-DEGM_BUILD_TESTS=OFF", "-DEGM_BUILD_BENCH=OFF",
                         "-DEGM_REQUIRE_ALL=ON"] + shlex.split(os.environ.get("CMAKE_ARGS", ""))
            subprocess.run(configure, check=True)
            subprocess.run(["cmake", "--build", build, "--target", "egm_python_core", "--parallel", jobs],
                           check=True)
            built = Path(build, "python", "egm_shielding", target.name)
            if not built.is_file():
                raise RuntimeError(f"{built}: not built (the module's name does not match this interpreter's)")
            target.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(built, target)


setup(version=project_version(), package_dir={"": "python"}, packages=["egm_shielding"],
      ext_modules=[Extension("egm_shielding._core", sources=[])], cmdclass={"build_ext": CMakeBuild})
