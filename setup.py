"""The build step of `python3 -m pip install .` (metadata in pyproject.toml).

Builds the shared library with CMake (release, tests and tools off) in a
temporary folder and copies it into the package, where the package looks
for it first: the installed package needs no environment variable. Every
folder the build writes is temporary, so the source tree stays as it was.
"""

import atexit
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py

ROOT = Path(__file__).resolve().parent


def cmake_project_version() -> str:
    """The version of project() in CMakeLists.txt: the library's."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*TcpModbus\s+VERSION\s+(\d+\.\d+\.\d+)", text)
    if match is None:
        raise RuntimeError("CMakeLists.txt: no project(TcpModbus VERSION x.y.z)")
    return match.group(1)


def installed_library(stage: Path) -> Path:
    """The library of `cmake --install` in stage, by the name the package
    loads (python/tcpmodbus/_library.py)."""
    if sys.platform == "win32":
        return stage / "bin" / "tcpmodbus.dll"
    if sys.platform == "darwin":
        return stage / "lib" / "libtcpmodbus.1.dylib"
    return stage / "lib" / "libtcpmodbus.so.1"


def run(*command: object) -> None:
    print("running", " ".join(str(part) for part in command), flush=True)
    subprocess.run([str(part) for part in command], check=True)


class BuildPyWithLibrary(build_py):
    """The package's modules, then the library built beside them."""

    def run(self) -> None:
        super().run()
        if shutil.which("cmake") is None:
            raise RuntimeError("cmake not found: the library is built with CMake 3.16 or later")
        version = cmake_project_version()
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        with tempfile.TemporaryDirectory(prefix="tcpmodbus-cmake-") as work:
            build, stage = Path(work, "build"), Path(work, "stage")
            run("cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                "-DTCPMODBUS_BUILD_TESTS=OFF", "-DTCPMODBUS_BUILD_TOOLS=OFF",
                "-DCMAKE_INSTALL_LIBDIR=lib")
            run("cmake", "--build", build, "--config", "Release", "--target", "tcpmodbus",
                "--parallel", jobs)
            run("cmake", "--install", build, "--config", "Release", "--prefix", stage,
                "--component", "runtime", "--strip")
            built = _cache_value(build / "CMakeCache.txt", "CMAKE_PROJECT_VERSION")
            if built != version:
                raise RuntimeError(f"the library built is {built}, the package {version}")
            target = Path(self.build_lib, "tcpmodbus", installed_library(stage).name)
            # copyfile follows the .so.1 link to the file itself.
            shutil.copyfile(installed_library(stage), target)
            os.chmod(target, 0o755)


def _cache_value(cache: Path, name: str) -> str:
    for line in cache.read_text(encoding="utf-8").splitlines():
        if line.startswith(f"{name}:"):
            return line.split("=", 1)[1]
    return ""


commands = {"build_py": BuildPyWithLibrary}
try:
    from wheel.bdist_wheel import bdist_wheel

    class BdistWheelForPlatform(bdist_wheel):
        """A wheel for this platform (it holds the library), for every
        Python 3 (the package loads it through ctypes, never as an
        extension module)."""

        def finalize_options(self) -> None:
            super().finalize_options()
            self.root_is_pure = False

        def get_tag(self) -> "tuple[str, str, str]":
            _, _, platform = super().get_tag()
            return "py3", "none", platform

    commands["bdist_wheel"] = BdistWheelForPlatform
except ImportError:  # no wheel package: a build that makes no wheel
    pass

# setuptools' own folders (build/, *.egg-info) would land in the source
# tree; they go to a temporary folder of this run instead.
_scratch = tempfile.mkdtemp(prefix="tcpmodbus-setuptools-")
atexit.register(shutil.rmtree, _scratch, ignore_errors=True)

setup(
    version=cmake_project_version(),
    cmdclass=commands,
    options={
        "build": {"build_base": os.path.join(_scratch, "build")},
        "egg_info": {"egg_base": _scratch},
    },
)
