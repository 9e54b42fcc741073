"""The Python module ddsswizzle: every file of the fuzzers' corpus and the sample, whole, against the
ddsswizzle tool (DDSSWIZZLE_EXECUTABLE) on the same bytes, and its payload and layout against the whole file;
buffers of every kind; every way to fail."""
import glob
import os
import random
import subprocess

import numpy as np
import pytest

import ddsswizzle as dz

TOOL = os.environ["DDSSWIZZLE_EXECUTABLE"]
ROOT = os.path.join(os.path.dirname(__file__), "..", "..")
FILES = {}
for path in sorted(glob.glob(os.path.join(ROOT, "fuzz", "corpus", "*"))) + [os.path.join(ROOT, "samples", "gradient64.dds")]:
    with open(path, "rb") as f:
        FILES[os.path.basename(path)] = f.read()

# What swiz says of some of them on the PS3 and on the Xbox 360 (None: converted), a message of each kind.
UNKNOWN, TYPE, SIZE, SHORT = "Unknown format", "Unsupported texture type", "Unsupported size", "Texture data is truncated"
VERDICTS = {
    "refused-header-size-field.dds": ("Not a DDS texture", "Not a DDS texture"),
    "refused-rgb24.dds": (UNKNOWN, UNKNOWN),
    "bc5-ati2-64x32-6-levels-x360.dds": (UNKNOWN, None),
    "fp16-rgba-16x8-3-levels.dds": (None, UNKNOWN),
    "dx10-volume-r8-16x4x2.dds": (None, TYPE),
    "refused-side-not-power-of-two.dds": (SIZE, None),
    "refused-truncated.dds": (SHORT, SHORT),
    "cube-dxt1-32x32-6-levels.dds": (None, None),
}


def both(tmp_path, data, mode, console):
    """The module's outcome (exit status, what the tool prints, file after), checked against the tool's."""
    path = tmp_path / "texture.dds"
    path.write_bytes(data)
    tool = subprocess.run([TOOL, mode, str(path), console], capture_output=True, text=True, check=False)
    try:
        mine = (0, "\n", dz.convert_dds(bytearray(data), mode, console))
    except dz.Error as error:
        mine = (1, f"\n{error.message}\n", data)
    assert (tool.returncode, tool.stdout, path.read_bytes()) == mine
    return mine


@pytest.mark.parametrize("console", ["ps3", "x360"])
@pytest.mark.parametrize("name", FILES)
def test_files_and_payloads_convert_as_the_tool_does(tmp_path, name, console):
    data = FILES[name]
    both(tmp_path, data, "unswiz", console)
    status, printed, swizzled = both(tmp_path, data, "swiz", console)
    # check() refuses a readable header's surface as the conversion does, but for the length of its data and
    # a volume of depth 0, which as a surface is no volume.
    try:
        checked = dz.check(console=console, **dz.read_dds(data).surface)
    except dz.Error as error:
        checked = f"\n{error.message}\n"
    assert (checked or "\n") == printed or printed == f"\n{SHORT}\n" or name == "refused-volume.dds"
    assert name not in VERDICTS or (printed.strip() or None) == VERDICTS[name][console == "x360"]
    if status == 0:
        assert both(tmp_path, swizzled, "unswiz", console) == (0, "\n", data)
        surface, offset = dz.read_dds(data)
        assert dz.check(console=console, **surface) is None
        linear, image = dz.linear_size(console=console, **surface), dz.console_size(console=console, **surface)
        # The payload alone, with bytes after it that are not read (a PS3 file may end after the last level its
        # walks count; the surface needs every level).
        if len(data) - offset >= linear:
            payload = dz.swizzle(data[offset:offset + linear] + b"more", console=console, **surface)
            assert payload == swizzled[offset:offset + image] and len(payload) == image
            assert dz.unswizzle(memoryview(payload), console=console, **surface) == data[offset:offset + linear]
        # Each face's levels in order, one after another in the linear layout, in their place on the PS3; on the
        # Xbox 360 the faces of a level one after another.
        entries, faces = dz.layout(console=console, **surface), 6 if surface["cube"] else 1
        assert [(e.face, e.level) for e in entries] == [(f, l) for f in range(faces) for l in range(surface["levels"])]
        assert [e.linear_offset for e in entries] == [sum(e.linear_length for e in entries[:k]) for k in range(len(entries))]
        for e in entries:
            assert (e.width, e.height, e.depth) == tuple(max(1, surface[k] >> e.level) for k in ("width", "height", "depth"))
            assert e.console_offset + e.console_length <= image and (
                console == "x360" or (e.console_offset, e.console_length) == (e.linear_offset, e.linear_length))
            assert console == "ps3" or e.console_offset == entries[e.level].console_offset + e.face * e.console_length
        assert entries[-1].linear_offset + entries[-1].linear_length == linear


DXT5 = dict(console="x360", format=77, width=64, height=64, levels=7)
OUTS = {"bytearray": bytearray, "memoryview": lambda n: memoryview(bytearray(n)),
        "numpy": lambda n: np.zeros((n // 16, 4), np.uint32)}


def test_adjacent_buffers_do_not_overlap():
    # Source and result side by side in one buffer, either first.
    shared = bytearray(range(128))
    expected = dz.swizzle(shared[:64], **SMALL)
    assert dz.swizzle(memoryview(shared)[:64], **SMALL, out=memoryview(shared)[64:]) == expected
    assert dz.unswizzle(memoryview(shared)[64:], **SMALL, out=memoryview(shared)[:64]) == shared[:64] == bytes(range(64))


@pytest.mark.parametrize("make", OUTS.values(), ids=OUTS)
@pytest.mark.parametrize("function, size", [(dz.swizzle, dz.linear_size), (dz.unswizzle, dz.console_size)])
def test_out_takes_any_writable_buffer(make, function, size):
    source = np.frombuffer(random.Random(1).randbytes(size(**DXT5)), np.uint32).reshape(-1, 4)
    expected = function(source.tobytes(), **DXT5)
    out = make(len(expected))
    assert function(source, **DXT5, out=out) is out and bytes(out) == expected


SMALL = dict(console="ps3", format=87, width=4, height=4)
SHARED = bytearray(128)
# A caller's mistake raises ValueError, here with the start of its text (the argument mistakes of
# test_package.py hold the others: out not writable, mode, console, format, huge sides);
# a refusal its Error, with the tool's message and the reason.
FAILURES = {
    "out size": (lambda: dz.swizzle(bytes(64), **SMALL, out=SHARED), ValueError, None),
    "not contiguous": (lambda: dz.swizzle(memoryview(SHARED)[::2], **SMALL), ValueError, None),
    "overlap": (lambda: dz.unswizzle(memoryview(SHARED)[:64], **SMALL, out=memoryview(SHARED)[63:127]), ValueError,
                "Invalid argument: the source and the result overlap"),
    "overlap before": (lambda: dz.swizzle(memoryview(SHARED)[63:127], **SMALL, out=memoryview(SHARED)[:64]),
                       ValueError, "Invalid argument: the source and the result overlap"),
    "short file": (lambda: dz.read_dds(b"DDS "), dz.NotADdsTexture,
                   ("Not a DDS texture", "the file is shorter than the 128-byte DDS header")),
    "bc5 on ps3": (lambda: dz.swizzle(bytes(64), **{**SMALL, "format": 83}), dz.UnknownFormat,
                   (UNKNOWN, "this console has no layout for the format")),
    "volume on x360": (lambda: dz.convert_dds(FILES["dx10-volume-r8-16x4x2.dds"], "swiz", "x360"), dz.UnsupportedTextureType,
                       (TYPE, "this console stores no volume of this format; the PS3 stores volumes of pixels only, the Xbox 360 none")),
    "width 6": (lambda: dz.layout(**{**SMALL, "width": 6}), dz.UnsupportedSize,
                (SIZE, "the width is not a power of two, which Morton order needs")),
    "negative height": (lambda: dz.swizzle(bytes(64), **{**SMALL, "height": -4}), dz.UnsupportedSize,
                        (SIZE, "a side is zero or negative")),
    "array": (lambda: dz.check(**SMALL, array_size=2), dz.UnsupportedTextureType,
              (TYPE, "a texture array, or a DX10 resource dimension that is no 1D, 2D or 3D texture")),
    "array of bc7": (lambda: dz.check(**{**SMALL, "format": "bc7_unorm"}, array_size=6), dz.UnknownFormat,
                     (UNKNOWN, "the header's pixel format matches no row of the recognition table")),
    "short data": (lambda: dz.unswizzle(bytes(63), **SMALL), dz.TruncatedData,
                   (SHORT, "the data is shorter than the texture it should hold")),
}


def raised(call):
    """The exception the call raises, without its traceback (whose frames would hold the buffers passed)."""
    try:
        call()
    except Exception as error:  # noqa: BLE001 (any exception is the result)
        error.__traceback__ = None
        return error
    raise AssertionError("nothing raised")


@pytest.mark.parametrize("name", FAILURES)
def test_failures_raise_their_exception(name):
    call, kind, refusal = FAILURES[name]
    error = raised(call)
    assert type(error) is kind
    if not isinstance(refusal, tuple):
        assert not isinstance(error, dz.Error) and str(error).startswith(refusal or "")
    else:
        assert (error.message, error.reason) == refusal and error.args == refusal
        assert str(error) == ": ".join(refusal)
    SHARED.append(0)  # no export of the buffer is left behind, or a bytearray could never grow again
    del SHARED[-1]
