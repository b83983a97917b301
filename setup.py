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

import setuptools
from setuptools import setup
from setuptools.command.build_py import build_py

ROOT = Path(__file__).resolve().parent
# The first that reads the metadata of pyproject.toml's [project]; an older
# one builds a package named UNKNOWN without a word.
LEAST_SETUPTOOLS = (61, 0)
# The pip steps that need a wheel command: the metadata (setuptools' dist_info
# asks bdist_wheel for the wheel's names) and the wheel itself.
WHEEL_STEPS = {"dist_info", "bdist_wheel"}


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


def wheel_command() -> "type | None":
    """setuptools' own bdist_wheel (setuptools 70.1 and later), else the
    wheel package's; None where neither is installed."""
    try:
        from setuptools.command.bdist_wheel import bdist_wheel
    except ImportError:
        try:
            from wheel.bdist_wheel import bdist_wheel
        except ImportError:
            return None
    return bdist_wheel


def stop_without_tools(bdist_wheel: "type | None") -> None:
    """Stops with what is missing and how to get it, before anything is
    built, where setuptools would fail late or with "invalid command"."""
    found = tuple(int(part) for part in re.findall(r"\d+", setuptools.__version__)[:2])
    if found < LEAST_SETUPTOOLS:
        sys.exit(f"setup.py: tcpmodbus needs setuptools 61 or later (this Python has {setuptools.__version__}): python3 -m pip install --upgrade setuptools, or with Debian's python3: apt-get install python3-setuptools")  # noqa: E501
    if bdist_wheel is None and WHEEL_STEPS.intersection(sys.argv[1:]):
        sys.exit(f"setup.py: pip builds a wheel, and setuptools {setuptools.__version__} has no wheel command of its own (70.1 and later have): install the wheel package where pip runs: python3 -m pip install wheel, or with Debian's python3: apt-get install python3-wheel (a virtual environment sees it when made with --system-site-packages)")  # noqa: E501


bdist_wheel = wheel_command()
stop_without_tools(bdist_wheel)
commands = {"build_py": BuildPyWithLibrary}
if bdist_wheel is not None:

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
