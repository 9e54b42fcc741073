"""The pip install of the README, checked (CTest python_pip_install).

    check_pip_install.py SOURCE_DIR WORK_DIR

Copies the files the install needs from SOURCE_DIR into WORK_DIR/source (so
that nothing is written into the sources), installs from there with the
README's command into WORK_DIR/site, then imports the module from there in a
new interpreter and converts a surface; the metadata says MIT and carries
the license, the package its type information, and python -m ddsswizzle
runs the command line. --no-index keeps pip away from any
package index, so the test fails if the install ever needs the network;
neither the user's pip settings nor pip's cache take part.
"""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

NEEDED = ["pyproject.toml", "setup.py", "setup.cfg", "CMakeLists.txt", "README.md", "LICENSE", "python", "src",
          "include"]

# Imported from the install alone; a 4 x 4 level of bytes in Morton order
# (PS3), and a round trip through the Xbox 360 tiling.
CHECK = """
import glob, os, sys, ddsswizzle
dist_info, = glob.glob(os.path.join(sys.argv[1], "ddsswizzle-*.dist-info"))
metadata = open(os.path.join(dist_info, "METADATA"), encoding="utf-8").read()
assert "License: MIT" in metadata and "Classifier: License :: OSI Approved :: MIT License" in metadata, metadata
assert os.path.exists(os.path.join(dist_info, "LICENSE")), os.listdir(dist_info)
assert {"py.typed", "_native.pyi"} <= set(os.listdir(os.path.dirname(ddsswizzle.__file__)))
assert ddsswizzle.__file__.startswith(sys.argv[1]), ddsswizzle.__file__
assert ddsswizzle.__version__ == sys.argv[2], ddsswizzle.__version__
linear = bytes(range(16))
assert ddsswizzle.swizzle(linear, console="ps3", format="R8_UNORM", width=4, height=4) == bytes(
    [0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15])
surface = dict(console="x360", format=77, width=64, height=64, levels=7)
linear = bytes(i % 251 for i in range(ddsswizzle.linear_size(**surface)))
assert ddsswizzle.unswizzle(ddsswizzle.swizzle(linear, **surface), **surface) == linear
import subprocess
version = subprocess.run([sys.executable, "-m", "ddsswizzle", "--version"], capture_output=True, text=True).stdout
assert version.split() == ["ddsswizzle", sys.argv[2]], version
print("imported from", ddsswizzle.__file__)
"""


def main(source, work):
    shutil.rmtree(work, ignore_errors=True)
    copy = work / "source"
    for name in NEEDED:
        if (source / name).is_dir():
            shutil.copytree(source / name, copy / name, ignore=shutil.ignore_patterns("__pycache__"))
        else:
            copy.mkdir(parents=True, exist_ok=True)
            shutil.copy2(source / name, copy / name)
    site = work / "site"
    environment = {key: value for key, value in os.environ.items() if not key.startswith("PIP_")}
    environment["PIP_CONFIG_FILE"] = os.devnull
    subprocess.run([sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-index", "--no-cache-dir",
                    "--disable-pip-version-check", "--target", str(site), "."],
                   cwd=copy, env=environment, check=True)
    version = re.search(r"project\(\s*ddsswizzle\s+VERSION\s+([0-9.]+)",
                        (source / "CMakeLists.txt").read_text(encoding="utf-8")).group(1)
    environment["PYTHONPATH"] = str(site)
    subprocess.run([sys.executable, "-c", CHECK, str(site), version], cwd=work, env=environment, check=True)
    shutil.rmtree(work)


if __name__ == "__main__":
    main(Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve())
