"""The Python module ddsswizzle: whole files against the ddsswizzle tool (DDSSWIZZLE_EXECUTABLE) on
the same bytes, payloads and their layout against whole files, sizes against a count of their own, every
way to fail."""
import glob
import os
import random
import struct
import subprocess

import numpy as np
import pytest

import ddsswizzle as dz

TOOL = os.environ["DDSSWIZZLE_EXECUTABLE"]

# Bytes per 4 x 4 block of the block formats, per pixel of the others.
BLOCK = {71: 8, 77: 16, 83: 16}
PIXEL = {87: 4, 86: 2, 61: 1, 28: 4, 10: 8}


def linear_bytes(format, width, height, levels=1, depth=1, cube=False, **_):
    """The linear size counted level by level, apart from the library."""
    sides = [[max(1, side >> level) for side in (width, height, depth)] for level in range(levels)]
    return (6 if cube else 1) * sum(-(-w // 4) * -(-h // 4) * BLOCK[format] if format in BLOCK
                                    else w * h * d * PIXEL[format] for w, h, d in sides)


# Legacy pixel formats: format flags, FourCC, bit count.
LEGACY = {71: (0x4, b"DXT1", 0), 77: (0x4, b"DXT5", 0), 87: (0x41, b"", 32), 86: (0x41, b"", 16)}


def dds(format, width, height, levels=1, depth=1, cube=False, legacy=False, magic=b"DDS ", cut=0):
    """A DDS file with a random payload of the linear size, less cut bytes."""
    head = bytearray(128)
    struct.pack_into("<4s4I", head, 0, magic, 124, 0x1007 | (0x800000 if depth > 1 else 0), height, width)
    struct.pack_into("<2I", head, 24, depth, levels)
    struct.pack_into("<I4sI", head, 80, *(LEGACY[format] if legacy else (0x4, b"DX10", 0)))
    struct.pack_into("<I", head, 112, (0xFE00 if cube else 0) | (0x200000 if depth > 1 else 0))
    if not legacy:
        head += struct.pack("<5I", format, 4 if depth > 1 else 3, 4 if cube else 0, 1, 0)
    length = linear_bytes(format, width, height, levels, depth, cube) - cut
    return bytes(head) + random.Random(length).randbytes(length)


# Each file, and what swiz says of it on the PS3 and on the Xbox 360 (None: converted).
UNKNOWN, TYPE, SIZE = "Unknown format", "Unsupported texture type", "Unsupported size"
SHORT = "Texture data is truncated"
FILES = {
    "bgra32 legacy": (dds(87, 64, 32, levels=7, legacy=True), None, None),
    "16-bit legacy": (dds(86, 32, 32, levels=6, legacy=True), None, None),
    "dxt1 legacy": (dds(71, 128, 64, levels=3, legacy=True), None, None),
    "dxt5 cube legacy": (dds(77, 32, 32, levels=6, cube=True, legacy=True), None, None),
    "rgba16f cube": (dds(10, 16, 16, levels=5, cube=True), None, UNKNOWN),
    "r8 volume": (dds(61, 16, 8, levels=4, depth=4), None, TYPE),
    "bc5": (dds(83, 64, 64), UNKNOWN, None),
    "bgra32 48 x 32": (dds(87, 48, 32, legacy=True), SIZE, None),
    "not dds": (dds(87, 8, 8, magic=b"DDS!"), "Not a DDS texture", "Not a DDS texture"),
    "truncated": (dds(87, 64, 64, levels=7, legacy=True, cut=1), SHORT, SHORT),
}
# Then every file of the fuzzers' corpus and the sample: whatever the tool says of them, the module says too.
ANY = object()
ROOT = os.path.join(os.path.dirname(__file__), "..", "..")
for path in sorted(glob.glob(os.path.join(ROOT, "fuzz", "corpus", "*"))) + [os.path.join(ROOT, "samples", "gradient64.dds")]:
    with open(path, "rb") as f:
        FILES[os.path.basename(path)] = (f.read(), ANY, ANY)


def both(tmp_path, data, mode, console):
    """The module's outcome (exit status, what the tool prints, file after), checked against the tool's."""
    path = tmp_path / "texture.dds"
    path.write_bytes(data)
    tool = subprocess.run([TOOL, mode, str(path), console], capture_output=True, text=True, check=False)
    try:
        mine = (0, "\n", dz.convert_dds(bytearray(data), mode, console))
    except dz.Error as error:
        mine = (1, f"\n{error}\n", data)
    assert (tool.returncode, tool.stdout, path.read_bytes()) == mine
    return mine


@pytest.mark.parametrize("console", ["ps3", "x360"])
@pytest.mark.parametrize("name", FILES)
def test_files_and_payloads_convert_as_the_tool_does(tmp_path, name, console):
    data, expected = FILES[name][0], FILES[name][1 if console == "ps3" else 2]
    both(tmp_path, data, "unswiz", console)
    status, printed, swizzled = both(tmp_path, data, "swiz", console)
    if expected is ANY:
        return
    assert (printed.strip() or None) == expected
    if status == 0:
        assert both(tmp_path, swizzled, "unswiz", console) == (0, "\n", data)
        surface, offset = dz.read_dds(data)
        # The payload alone, with bytes after it that are not read.
        payload = dz.swizzle(data[offset:] + b"more", console=console, **surface)
        assert payload == swizzled[offset:] and len(payload) == dz.console_size(console=console, **surface)
        assert dz.unswizzle(memoryview(payload), console=console, **surface) == data[offset:]
        assert dz.linear_size(console=console, **surface) == len(data) - offset == linear_bytes(**surface)
        # Each face's levels in order, one after another in the linear layout, in their place on the PS3.
        entries, faces = dz.layout(console=console, **surface), 6 if surface["cube"] else 1
        assert [(e.face, e.level) for e in entries] == [(f, l) for f in range(faces) for l in range(surface["levels"])]
        assert [e.linear_offset for e in entries] == [sum(e.linear_length for e in entries[:k]) for k in range(len(entries))]
        for e in entries:
            assert (e.width, e.height, e.depth) == tuple(max(1, surface[k] >> e.level) for k in ("width", "height", "depth"))
            assert e.console_offset + e.console_length <= len(payload) and (
                console == "x360" or (e.console_offset, e.console_length) == (e.linear_offset, e.linear_length))


def test_version():
    version = subprocess.run([TOOL, "--version"], capture_output=True, text=True, check=True).stdout
    assert version == f"\nddsswizzle {dz.__version__}\n"


DXT5 = dict(console="x360", format=77, width=64, height=64, levels=7)
OUTS = {"bytearray": bytearray, "memoryview": lambda n: memoryview(bytearray(n)),
        "numpy": lambda n: np.zeros((n // 16, 4), np.uint32)}


@pytest.mark.parametrize("make", OUTS.values(), ids=OUTS)
@pytest.mark.parametrize("function, size", [(dz.swizzle, dz.linear_size), (dz.unswizzle, dz.console_size)])
def test_out_takes_any_writable_buffer(make, function, size):
    source = np.frombuffer(random.Random(1).randbytes(size(**DXT5)), np.uint32).reshape(-1, 4)
    expected = function(source.tobytes(), **DXT5)
    out = make(len(expected))
    assert function(source, **DXT5, out=out) is out and bytes(out) == expected


SMALL = dict(console="ps3", format=87, width=4, height=4)
SHARED = bytearray(128)
# A caller's mistake raises ValueError (a read-only out TypeError, as for readinto); a refusal its Error, whose
# str() is the tool's message.
FAILURES = {
    "read-only out": (lambda: dz.swizzle(bytes(64), **SMALL, out=bytes(64)), TypeError, None),
    "mode word": (lambda: dz.convert_dds(FILES["bgra32 legacy"][0], "swizzle"), ValueError, None),
    "console word": (lambda: dz.convert_dds(FILES["bgra32 legacy"][0], "swiz", "x360s"), ValueError, None),
    "negative size": (lambda: dz.swizzle(bytes(64), **{**SMALL, "height": -4}), ValueError, None),
    "format name": (lambda: dz.linear_size(**{**SMALL, "format": "B8G8R8A8"}), ValueError, None),
    "negative levels": (lambda: dz.layout(**{**SMALL, "levels": -1}), ValueError, None),
    "out size": (lambda: dz.swizzle(bytes(64), **SMALL, out=SHARED), ValueError, None),
    "not contiguous": (lambda: dz.swizzle(memoryview(SHARED)[::2], **SMALL), ValueError, None),
    "overlap": (lambda: dz.unswizzle(memoryview(SHARED)[:64], **SMALL, out=memoryview(SHARED)[32:96]), ValueError, None),
    "short file": (lambda: dz.read_dds(b"DDS "), dz.NotADdsTexture,
                   ("Not a DDS texture", "the file is shorter than the 128-byte DDS header")),
    "bc5 on ps3": (lambda: dz.swizzle(bytes(64), **{**SMALL, "format": 83}), dz.UnknownFormat,
                   (UNKNOWN, "this console has no layout for the format")),
    "volume on x360": (lambda: dz.convert_dds(FILES["r8 volume"][0], "swiz", "x360"), dz.UnsupportedTextureType,
                       (TYPE, "this console stores no volume of this format (the PS3 only volumes of pixels, the Xbox 360 none)")),
    "width 6": (lambda: dz.layout(**{**SMALL, "width": 6}), dz.UnsupportedSize,
                (SIZE, "the width is not a power of two, which Morton order needs")),
    "short data": (lambda: dz.unswizzle(bytes(63), **SMALL), dz.TruncatedData,
                   (SHORT, "the data is shorter than the texture it should hold")),
}


@pytest.mark.parametrize("name", FAILURES)
def test_failures_raise_their_exception(name):
    call, kind, refusal = FAILURES[name]
    with pytest.raises(kind) as caught:
        call()
    if refusal is None:
        assert not isinstance(caught.value, dz.Error)
    else:
        assert not isinstance(caught.value, ValueError) and (str(caught.value), caught.value.reason) == refusal
    SHARED.append(0)  # no export of the buffer is left behind, or a bytearray could never grow again
    del SHARED[-1]
