"""Builds the Python package ddsswizzle with setuptools and pybind11.

The package's Python files (python/ddsswizzle/) go in as they are; its native
part, ddsswizzle._native (python/ddsswizzle_module.cpp), is compiled together
with the whole library (src/layout, src/texture, the file rewrite for this
system, src/api), so that the installed package needs nothing else. The
version is the one of the project() line of CMakeLists.txt, the same the
CMake build gives the library.

    /usr/bin/python3 -m pip install --no-build-isolation .
"""
import re
import sys
from pathlib import Path

try:
    from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
except ImportError:
    raise SystemExit(f"setup.py: pybind11 is missing for {sys.executable}. Build with Debian's /usr/bin/python3, "
                     "or install pybind11 for this interpreter (Debian: apt-get install python3-pybind11).") from None
from setuptools import setup

ROOT = Path(__file__).resolve().parent
# The one of the file rewrite's two system layers compiled here.
OTHER_SYSTEM = "_posix.cpp" if sys.platform == "win32" else "_windows.cpp"


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*ddsswizzle\s+VERSION\s+([0-9.]+)", text)
    if match is None:
        raise SystemExit("setup.py: no version in the project() line of CMakeLists.txt")
    return match.group(1)


def sources():
    # Paths relative to this folder, as setuptools wants them: the binding and
    # every library source but the command-line tool's.
    paths = [ROOT / "python" / "ddsswizzle_module.cpp"]
    for folder in sorted((ROOT / "src").iterdir()):
        if folder.is_dir() and folder.name != "cli":
            paths += (path for path in folder.glob("*.cpp") if not path.name.endswith(OTHER_SYSTEM))
    return sorted(str(path.relative_to(ROOT)) for path in paths)


VERSION = project_version()

# setup.cfg sends the build and the egg-info there, which must exist first.
(ROOT / "build-python").mkdir(exist_ok=True)

# Two compile jobs unless DDSSWIZZLE_BUILD_JOBS says otherwise.
ParallelCompile("DDSSWIZZLE_BUILD_JOBS", default=2).install()

setup(
    version=VERSION,
    ext_modules=[
        Pybind11Extension(
            "ddsswizzle._native",
            sources(),
            include_dirs=["src", "include"],
            # DDSSWIZZLE_STATIC: the library's functions are linked in, not
            # imported from a DLL (it matters on Windows only).
            define_macros=[("DDSSWIZZLE_VERSION_TEXT", f'"{VERSION}"'), ("DDSSWIZZLE_STATIC", None)],
            cxx_std=20,
        )
    ],
    cmdclass={"build_ext": build_ext},
    packages=["ddsswizzle"],
    package_dir={"ddsswizzle": "python/ddsswizzle"},
    package_data={"ddsswizzle": ["py.typed", "*.pyi"]},
    zip_safe=False,
)
