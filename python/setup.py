"""Wheel build: bundles libqovlib.so into the package.

The library comes from QOVLIB_BUILD_LIBRARY, else from the repository's
build tree (../build/linux/libqovlib.so, as `make build` leaves it). The
wheel is tagged py3-none-<platform>: no Python extension, but a native
library for one platform.
"""
import os
import shutil
from pathlib import Path

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py
from wheel.bdist_wheel import bdist_wheel

HERE = Path(__file__).resolve().parent
DEFAULT_LIBRARY = HERE.parent / "build" / "linux" / "libqovlib.so"


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


class LibraryDistribution(Distribution):
    # A platform wheel (the library is native code), installed to platlib.
    def has_ext_modules(self):
        return True


class PlatformWheel(bdist_wheel):
    def get_tag(self):
        _, _, platform = super().get_tag()
        return "py3", "none", platform


setup(distclass=LibraryDistribution, cmdclass={"build_py": BuildPyWithLibrary, "bdist_wheel": PlatformWheel})
