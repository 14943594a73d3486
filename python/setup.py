"""Builds and installs the Python module talvane with pip, from this source
tree and with no network:

    python3 -m venv --system-site-packages env && env/bin/pip install ./python

The build backend is the setuptools of the system (Debian: python3-setuptools,
python3-wheel), which pip takes from the environment because the package
names no build requirements to download; setuptools runs CMake on the whole
project and builds only the module's targets, so the compilers, pybind11-dev,
python3-dev and NumPy that scripts/install-deps installs are what it needs.
Set CMAKE_BUILD_PARALLEL_LEVEL for more than two compile jobs.
"""

import os
import pathlib
import shutil
import subprocess
import sys
import sysconfig

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent


def project_version():
    for line in (ROOT / "CMakeLists.txt").read_text().splitlines():
        line = line.strip()
        if line.startswith("project(") and "VERSION" in line:
            return line.split("VERSION", 1)[1].split()[0].rstrip(")")
    return "0"


class CMakeBuild(build_ext):
    """Builds the two extension modules with the project's CMake, for the
    Python that runs pip."""

    def run(self):
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        build.mkdir(parents=True, exist_ok=True)
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DTALVANE_PYTHON=ON", "-DBUILD_TESTING=OFF", f"-DPython3_EXECUTABLE={sys.executable}"]
        if shutil.which("ccache"):
            configure += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
        subprocess.run(configure, check=True)
        env = dict(os.environ)
        env.setdefault("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "--build", str(build), "--target", "talvane_python"], check=True, env=env)
        suffix = sysconfig.get_config_var("EXT_SUFFIX")
        for ext in self.extensions:
            built = build / "python" / "talvane" / (ext.name.rsplit(".", 1)[1] + suffix)
            if not built.exists():
                raise RuntimeError(f"CMake built no {built}: is the module turned off, or pybind11 missing?")
            target = pathlib.Path(self.get_ext_fullpath(ext.name))
            target.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(built, target)


setup(
    name="talvane",
    version=project_version(),
    description="Evolving strategies in a spatial population: the Talvane engine from Python",
    packages=["talvane"],
    package_dir={"talvane": "talvane"},
    ext_modules=[Extension("talvane._talvane", sources=[]), Extension("talvane._picture", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    python_requires=">=3.9",
    install_requires=["numpy"],
    zip_safe=False,
)
