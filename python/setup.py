"""Wheel build: bundles libqovlib.so into the package.

The library comes from QOVLIB_BUILD_LIBRARY, else from the repository's
build tree (../build/linux/libqovlib.so, as `make build` leaves it). The
wheel is tagged py3-none-<platform>: no Python extension, but a native
library for one platform.
"""
import os
import re
import shutil
from pathlib import Path

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py
from wheel.bdist_wheel import bdist_wheel

HERE = Path(__file__).resolve().parent
DEFAULT_LIBRARY = HERE.parent / "build" / "linux" / "libqovlib.so"


def library_version() -> str:
    """The library's version, from project(VERSION) of the top CMakeLists.txt (its one home)."""
    text = (HERE.parent / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*qovlib\s+VERSION\s+([0-9][0-9.]*)", text)
    if not match:
        raise SystemExit("no project(qovlib VERSION ...) in the top CMakeLists.txt")
    return match.group(1)


class BuildPyWithLibrary(build_py):
    def run(self):
        super().run()
        source = Path(os.environ.get("QOVLIB_BUILD_LIBRARY") or DEFAULT_LIBRARY)
        if not source.is_file():
            raise SystemExit(f"{source} does not exist: run `make build` first or set QOVLIB_BUILD_LIBRARY")
        # The real file behind libqovlib.so -> libqovlib.so.2 -> ..., under the
        # name the package's loader looks for first.
        target = Path(self.build_lib) / "qovlib" / "libqovlib.so"
        shutil.copyfile(source.resolve(), target)
        os.chmod(target, 0o755)
        # The version as the library writes it ("2.03"; the wheel's name normalises it).
        (Path(self.build_lib) / "qovlib" / "_version.py").write_text(
            f'version = "{library_version()}"\n', encoding="utf-8")


class LibraryDistribution(Distribution):
    # A platform wheel (the library is native code), installed to platlib.
    def has_ext_modules(self):
        return True


class PlatformWheel(bdist_wheel):
    def get_tag(self):
        _, _, platform = super().get_tag()
        return "py3", "none", platform


setup(version=library_version(), distclass=LibraryDistribution, cmdclass={"build_py": BuildPyWithLibrary, "bdist_wheel": PlatformWheel})
