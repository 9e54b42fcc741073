"""Builds the Python module ddsswizzle with setuptools and pybind11.

The module (python/*.cpp) is compiled together with the whole library
(src/layout, src/texture, src/file, src/api), so that the installed module needs
nothing else. The version is the one of the project() line of
CMakeLists.txt, the same the CMake build gives the library.

    python3 -m pip install --no-build-isolation .
"""
import re
import sys
from pathlib import Path

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup

ROOT = Path(__file__).resolve().parent


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*ddsswizzle\s+VERSION\s+([0-9.]+)", text)
    if match is None:
        raise SystemExit("setup.py: no version in the project() line of CMakeLists.txt")
    return match.group(1)


def sources():
    # Paths relative to this folder, as setuptools wants them. The file layer
    # has one source for POSIX systems and one for Windows.
    folders = ["python", "src/layout", "src/texture", "src/file", "src/api"]
    other_system = "_posix.cpp" if sys.platform == "win32" else "_windows.cpp"
    return sorted(str(path.relative_to(ROOT)) for folder in folders for path in (ROOT / folder).glob("*.cpp")
                  if not path.name.endswith(other_system))


VERSION = project_version()

# setup.cfg sends the build and the egg-info there, which must exist first.
(ROOT / "build-python").mkdir(exist_ok=True)

# Two compile jobs unless DDSSWIZZLE_BUILD_JOBS says otherwise.
ParallelCompile("DDSSWIZZLE_BUILD_JOBS", default=2).install()

setup(
    version=VERSION,
    ext_modules=[
        Pybind11Extension(
            "ddsswizzle",
            sources(),
            include_dirs=["src", "include"],
            # DDSSWIZZLE_STATIC: the library's functions are linked in, not
            # imported from a DLL (it matters on Windows only).
            define_macros=[("DDSSWIZZLE_VERSION_TEXT", f'"{VERSION}"'), ("DDSSWIZZLE_STATIC", None)],
            cxx_std=20,
        )
    ],
    cmdclass={"build_ext": build_ext},
    # One extension module and no Python packages: without this, setuptools
    # would take the folders under src/ for packages of a src layout.
    packages=[],
    py_modules=[],
    zip_safe=False,
)
