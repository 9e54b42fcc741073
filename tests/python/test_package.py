"""The package ddsswizzle as scripts meet it: format names, argument mistakes, headers read, signatures and
types (mypy --strict over the README's Python examples)."""
import inspect
import os
import re
import shutil
import struct
import subprocess

import pytest

import ddsswizzle as dz

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")

# Spellings and the DXGI number they name.
NAMES = {
    "BC3_UNORM": 77, "bc3_unorm": 77, "DXGI_FORMAT_BC3_UNORM": 77, "dxgi_format_Bc1_Unorm_Srgb": 72,
    "BC7_UNORM": 98, "DXT1": 71, "dxt2": 74, "DXT3": 74, "DXT4": 77, "DXT5": 77, "BC1": 71, "BC2": 74, "BC3": 77,
    "BC4": 80, "bc5": 83, "ATI1": 80, "ATI2": 83, "A8R8G8B8": 87, "X8R8G8B8": 88, "A8B8G8R8": 28, "R5G6B5": 85,
    "A1R5G5B5": 86, "A4R4G4B4": 115, "L8": 61, "A8L8": 49, "A8": 65, "L16": 56, "A16B16G16R16F": 10,
    "A32B32G32R32F": 2, "r32f": 41, "DXGI_FORMAT_DXT1": 71, "420_OPAQUE": 106, "v408": 132,
}
# The formats either console converts: 2, 10, 27-32, 41, 48-53, 56-65, 70-88, 90-93 and 115.
CONVERTED = {2, 10, 41, 115, *range(27, 33), *range(48, 54), *range(56, 66), *range(70, 89), *range(90, 94)}


@pytest.mark.parametrize("name", NAMES)
def test_format_names_and_aliases(name):
    assert dz.format_number(name) == NAMES[name]


def test_formats_table():
    assert set(dz.FORMATS.values()) == CONVERTED and all(dz.format_name(dz.FORMATS[n]) == n for n in dz.FORMATS)


BIG = bytes([0xAB]) * 100_000
SURFACE = dict(console="ps3", format=71, width=64, height=64)
# Each mistake, the exception and the argument its message names.
MISTAKES = {
    "width float": (lambda: dz.swizzle(BIG, **{**SURFACE, "width": 4.0}), TypeError, "width must be an int, not float"),
    "console missing": (lambda: dz.swizzle(BIG, format=71, width=4, height=4), TypeError, "'console'"),
    "console number": (lambda: dz.unswizzle(BIG, **{**SURFACE, "console": 3}), TypeError, "console must be a str"),
    "console word": (lambda: dz.check(**{**SURFACE, "console": "xbox"}), ValueError, "console must be 'ps3' or 'x360'"),
    "format float": (lambda: dz.layout(**{**SURFACE, "format": 7.1}), TypeError, "format must be an int or a str"),
    "format negative": (lambda: dz.layout(**{**SURFACE, "format": -71}), ValueError, "format must be from 0"),
    "format name": (lambda: dz.swizzle(BIG, **{**SURFACE, "format": "dxgi_format_DTX1"}), ValueError,
                    "no format is named 'dxgi_format_DTX1' (did you mean DXT1"),
    "height huge": (lambda: dz.linear_size(**{**SURFACE, "height": 1 << 31}), ValueError, "height must be from"),
    "depth str": (lambda: dz.console_size(**{**SURFACE, "depth": "1"}), TypeError, "depth must be an int, not str"),
    "levels None": (lambda: dz.check(**{**SURFACE, "levels": None}), TypeError, "levels must be an int"),
    "cube str": (lambda: dz.check(**SURFACE, cube="yes"), TypeError, "cube must be a bool"),
    "array_size": (lambda: dz.check(**SURFACE, array_size=-1), ValueError, "array_size must be from 0"),
    "misspelt keyword": (lambda: dz.swizzle(BIG, **SURFACE, widht=4), TypeError, "'widht'"),
    "positional": (lambda: dz.swizzle(BIG, "ps3", 71, 64, 64), TypeError, "positional argument"),
    "payload list": (lambda: dz.swizzle(list(BIG), **SURFACE), TypeError, "payload must be a bytes-like object"),
    "out bytes": (lambda: dz.swizzle(BIG, **SURFACE, out=bytes(2048)), TypeError, "out must be a writable buffer"),
    "out size": (lambda: dz.swizzle(BIG, **SURFACE, out=bytearray(BIG)), ValueError, "out must be exactly 2048"),
    "mode word": (lambda: dz.convert_dds(BIG, "swizzle"), ValueError, "mode must be 'swiz' or 'unswiz'"),
    "mode number": (lambda: dz.convert_dds(BIG, 1), TypeError, "mode must be a str"),
    "console case": (lambda: dz.convert_dds(BIG, "swiz", "X360"), ValueError, "console must be"),
    "data str": (lambda: dz.read_dds(BIG.decode("latin-1")), TypeError, "data must be a bytes-like object"),
    "name number": (lambda: dz.format_number(77), TypeError, "format name must be a str"),
    "number str": (lambda: dz.format_name("77"), TypeError, "number must be an int"),
    "number undefined": (lambda: dz.format_name(500), ValueError, "no DXGI format has the number 500"),
    "path number": (lambda: dz.convert_file(3, "swiz"), TypeError, "path must be a str or an os.PathLike, not int"),
    "path with NUL": (lambda: dz.convert_file("a\0.dds", "swiz"), ValueError, "path must not contain a NUL"),
    "legacy str": (lambda: dz.dds_header(format=71, width=4, height=4, legacy="no"), TypeError, "legacy must be a bool"),
    "header payload": (lambda: dz.write_dds(3, format=71, width=4, height=4), TypeError, "payload must be a bytes-like"),
    "header length": (lambda: dz.write_dds(BIG, format=71, width=4, height=4), ValueError,
                      "payload must be exactly the linear size, 8 bytes, not 100000"),
}


@pytest.mark.parametrize("name", MISTAKES)
def test_argument_mistakes_say_which_argument(name):
    call, kind, words = MISTAKES[name]
    error = pytest.raises(kind, call).value
    assert type(error) is kind and words in str(error) and len(str(error)) <= 300


def header(four_cc=b"DX10", dxgi=0, dimension=3, misc=0, array_size=1, caps2=0, depth=0, flags_low=0x04,
           bit_count=0):
    """A DDS header of 64 x 32 pixels, 3 levels: legacy (the FourCC, the pixel format's low flags and bit
    count), or DX10 with its extension."""
    data = bytearray(128)
    struct.pack_into("<4s7I", data, 0, b"DDS ", 124, 0x2100F | (0x800000 if depth else 0), 32, 64, 0, depth, 3)
    struct.pack_into("<2I4sI", data, 76, 32, flags_low, four_cc, bit_count)
    struct.pack_into("<I", data, 112, caps2)
    if four_cc == b"DX10":
        data += struct.pack("<5I", dxgi, dimension, misc, array_size, 0)
    return bytes(data)


def described(format, depth=1, cube=False, array_size=1):
    return dict(format=format, width=64, height=32, depth=depth, levels=3, cube=cube, array_size=array_size)


# Each header: what read_dds says (a surface, or the refusal), then check's refusal on the PS3 (headers
# check takes: test_headers.py).
UNSUPPORTED = dz.UnsupportedTextureType
HEADERS = {
    "bc6h volume": (header(dxgi=95, dimension=4, depth=8), described(95, depth=8), dz.UnknownFormat),
    "rgba array": (header(dxgi=28, array_size=4), described(28, array_size=4), UNSUPPORTED),
    "bc1 cube array": (header(dxgi=71, misc=4, array_size=2), described(71, cube=True, array_size=2), UNSUPPORTED),
    "bc7 texture 1D": (header(dxgi=98, dimension=2), described(98), dz.UnknownFormat),
    "rgb24": (header(b"\0\0\0\0", flags_low=0x40, bit_count=24), dz.UnknownFormat, None),
    "buffer of bc7": (header(dxgi=98, dimension=1), UNSUPPORTED, None),
    "partial cube": (header(b"DXT1", caps2=0x0600), UNSUPPORTED, None),
    "no signature": (b"DDS!" + header()[4:], dz.NotADdsTexture, None),
    "short extension": (header()[:140], dz.NotADdsTexture, None),
}


@pytest.mark.parametrize("name", HEADERS)
def test_read_dds_describes_every_texture_header(name):
    data, expected, refusal = HEADERS[name]
    if isinstance(expected, type):
        pytest.raises(expected, dz.read_dds, data)
        return
    surface, offset = found = dz.read_dds(memoryview(data))
    assert surface == expected and offset == len(data) and found.format_name == dz.format_name(expected["format"])
    pytest.raises(refusal, dz.check, console="ps3", **surface)


def test_signatures_and_docstrings():
    for thing in map(dz.__dict__.get, dz.__all__):
        assert "__doc__" in vars(thing) if inspect.isclass(thing) else not callable(thing) or (
            thing.__doc__ and inspect.signature(thing).parameters), thing
    assert list(inspect.signature(dz.convert_dds).parameters) == ["data", "mode", "console"]
    assert os.path.exists(os.path.join(os.path.dirname(dz.__file__), "py.typed"))


MYPY = shutil.which("mypy", path="/usr/bin") or shutil.which("mypy")


@pytest.mark.skipif(MYPY is None, reason="mypy is not installed (Debian: apt-get install mypy)")
def test_readme_python_examples_pass_mypy_strict(tmp_path):
    # Every ```python block of the README as it is when the test runs. The package comes from MYPYPATH alone,
    # so that its own errors are reported too (on PYTHONPATH it would count as installed, its errors unsaid);
    # mypy loads nothing of it, so no sanitizer runtime is preloaded (sanitize preset).
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        blocks = re.findall(r"^```python\n(.*?)^```", f.read(), re.S | re.M)
    for number, block in enumerate(blocks):
        (tmp_path / f"readme_example_{number}.py").write_text(block, encoding="utf-8")
    environment = {key: value for key, value in os.environ.items() if key not in ("LD_PRELOAD", "PYTHONPATH")}
    environment["MYPYPATH"] = os.path.dirname(os.path.dirname(dz.__file__))
    command = [MYPY, "--strict", "--no-incremental", "--cache-dir", os.devnull, *map(str, tmp_path.iterdir())]
    done = subprocess.run(command, capture_output=True, text=True, env=environment, check=False)
    assert blocks and done.returncode == 0, done.stdout + done.stderr
