"""python -m ddsswizzle against the ddsswizzle tool (DDSSWIZZLE_EXECUTABLE): the same arguments in two copies
of one folder give the same output, standard error, exit status and files."""
import os
import subprocess
import sys

import pytest

from test_ddsswizzle import FILES, TOOL

FOLDER = {"a.dds": FILES["dxt5-64x32-7-levels.dds"], "b.dds": FILES["rgba32-64x64-7-levels.dds"],
          "short.dds": FILES["refused-truncated.dds"], "rgb24.dds": FILES["refused-rgb24.dds"],
          "cube.dds": FILES["cube-dxt1-32x32-6-levels.dds"], "bc5.dds": FILES["bc5-ati2-64x32-6-levels-x360.dds"]}
# Argument lists: the mode and platform words, every refusal, info.
ARGUMENTS = [
    [], ["--help"], ["-h"], ["--version"], ["swiz"], ["SWIZ", "a.dds"], ["swizzle", "a.dds", "x360"],
    ["swiz", "a.dds"], ["unswiz", "a.dds", "x360"], ["swiz", "a.dds", "PS3"], ["swiz", "a.dds", "pS3"],
    ["swiz", "a.dds", "x3600"], ["swiz", "a.dds", "X360"], ["swiz", "a.dds", "xbox360"], ["swiz", "a.dds", "360"],
    ["swiz", "a.dds", "0"], ["swiz", "a.dds", "b.dds"], ["swiz", "a.dds", "ps3", "more"], ["swiz", "nothing.dds"],
    ["swiz", "nothing.dds", "x361"], ["unswiz", "sub"], ["swiz", "short.dds"], ["swiz", "rgb24.dds", "x360"],
    ["swiz", "bc5.dds"], ["swiz", "bc5.dds", "x360"], ["info", "a.dds"], ["info", "cube.dds", "x360"],
    ["info", "bc5.dds"], ["info", "short.dds", "x360"], ["info", "rgb24.dds"], ["info", "nothing.dds"],
    ["info", "sub"], ["info", "a.dds", "xbox"],
]


def outcome(folder, command):
    for name, data in FOLDER.items():
        (folder / name).write_bytes(data)
    (folder / "sub").mkdir(exist_ok=True)
    done = subprocess.run(command, cwd=folder, capture_output=True, check=False)
    files = {path.name: path.read_bytes() for path in folder.iterdir() if path.is_file()}
    return done.returncode, done.stdout, done.stderr, files


@pytest.mark.parametrize("arguments", ARGUMENTS, ids=" ".join)
def test_command_line_is_the_tool(tmp_path, arguments):
    (tmp_path / "tool").mkdir()
    (tmp_path / "module").mkdir()
    tool = outcome(tmp_path / "tool", [TOOL, *arguments])
    module = outcome(tmp_path / "module", [sys.executable, "-m", "ddsswizzle", *arguments])
    assert module == tool
