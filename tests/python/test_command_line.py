"""Files on disk: python -m ddsswizzle against the ddsswizzle tool (DDSSWIZZLE_EXECUTABLE), the same arguments in
two copies of one folder giving the same output, standard error, exit status and files; convert_file's rewrite
and its failures."""
import errno
import os
import subprocess
import sys

import pytest

import ddsswizzle as dz
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


def test_convert_file_rewrites_in_place_keeping_the_mode(tmp_path):
    path = tmp_path / "a.dds"
    path.write_bytes(FOLDER["a.dds"])
    path.chmod(0o604)
    assert dz.convert_file(path, "swiz", "x360") is None
    assert dz.convert_file(os.fsencode(path), "unswiz", "x360") is None
    assert path.read_bytes() == FOLDER["a.dds"] and path.stat().st_mode & 0o777 == 0o604
    dz.convert_file(str(path), "swiz")
    assert path.read_bytes() == dz.convert_dds(FOLDER["a.dds"], "swiz") and os.listdir(tmp_path) == ["a.dds"]


# Each failure: the path (given the folder), the exception, its errno (None: a refusal).
FILE_FAILURES = {
    "missing": (lambda folder: folder / "nothing.dds", FileNotFoundError, errno.ENOENT),
    "folder": (lambda folder: folder, IsADirectoryError, errno.EISDIR),
    "device": (lambda folder: "/dev/null", OSError, errno.EINVAL),
    "truncated": (lambda folder: folder / "short.dds", dz.TruncatedData, None),
    "no layout": (lambda folder: folder / "bc5.dds", dz.UnknownFormat, None),
}


@pytest.mark.parametrize("name", FILE_FAILURES)
def test_convert_file_failures_leave_the_file(tmp_path, name):
    for file_name, data in FOLDER.items():
        (tmp_path / file_name).write_bytes(data)
    make_path, kind, number = FILE_FAILURES[name]
    path = make_path(tmp_path)
    before = {entry.name: (entry.read_bytes(), entry.stat().st_mtime_ns) for entry in tmp_path.iterdir()}
    error = pytest.raises(kind, dz.convert_file, path, "swiz").value
    assert {entry.name: (entry.read_bytes(), entry.stat().st_mtime_ns) for entry in tmp_path.iterdir()} == before
    assert number is None or (error.errno, error.strerror, error.filename) == (number, os.strerror(number), str(path))

