"""DDS headers written by the package: every format, both header kinds, 2D, cube and volume, read back by
read_dds and by the tool's info (DDSSWIZZLE_EXECUTABLE); write_dds's payload check; Pillow decoding them."""
import io
import struct
import subprocess

import pytest

import ddsswizzle as dz
from test_ddsswizzle import TOOL

SHAPES = {"2D": dict(width=64, height=32, levels=7), "cube": dict(width=32, height=32, levels=6, cube=True),
          "volume": dict(width=8, height=8, depth=4, levels=4)}


def console_takes(console, surface):
    try:
        return dz.check(console=console, **surface) is None
    except dz.Error:
        return False


@pytest.mark.parametrize("legacy", [True, False], ids=["legacy", "dx10"])
@pytest.mark.parametrize("shape", SHAPES)
@pytest.mark.parametrize("name", dz.FORMATS)
def test_headers_read_back(tmp_path, name, shape, legacy):
    surface = {"format": dz.FORMATS[name], "depth": 1, "cube": False, "array_size": 1, **SHAPES[shape]}
    header = dz.dds_header(**surface, legacy=legacy)
    assert dz.read_dds(header) == (surface, len(header)) and (legacy or len(header) == 148)
    # write_dds takes the linear size of a console that converts the surface.
    for console in ("ps3", "x360"):
        if console_takes(console, surface):
            size = dz.linear_size(console=console, **surface)
            assert dz.write_dds(bytes(size), **surface, legacy=legacy) == header + bytes(size)
    path = tmp_path / "texture.dds"
    path.write_bytes(header + bytes(64))
    described = subprocess.run([TOOL, "info", str(path)], capture_output=True, text=True, check=False).stdout
    kind = {"2D": "2D texture", "cube": "cube map", "volume": "volume"}[shape]
    assert f"\nFormat: {name} (DXGI {surface['format']})\nTexture: {kind}, " in described


def test_legacy_headers_where_readers_expect_them():
    four_ccs = {"DXT1": b"DXT1", "DXT3": b"DXT3", "DXT5": b"DXT5", "BC4_UNORM": b"ATI1", "BC5_UNORM": b"ATI2",
                "A16B16G16R16F": struct.pack("<I", 113), "R32F": struct.pack("<I", 114),
                "A32B32G32R32F": struct.pack("<I", 116), "R8G8B8A8_SNORM": b"DX10"}
    for name, four_cc in four_ccs.items():
        header = dz.dds_header(format=name, width=4, height=4)
        assert header[84:88] == four_cc, name
    # The RGB masks: bit count, red, green, blue, alpha.
    masks = {"A8R8G8B8": (32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), "X8R8G8B8": (32, 0xFF0000, 0xFF00, 0xFF, 0),
             "R5G6B5": (16, 0xF800, 0x7E0, 0x1F, 0), "A1R5G5B5": (16, 0x7C00, 0x3E0, 0x1F, 0x8000),
             "L8": (8, 0xFF, 0, 0, 0), "A8L8": (16, 0xFF, 0, 0, 0xFF00), "L16": (16, 0xFFFF, 0, 0, 0),
             "A8": (8, 0, 0, 0, 0xFF)}
    for name, fields in masks.items():
        assert struct.unpack_from("<5I", dz.dds_header(format=name, width=4, height=4), 88) == fields, name


def test_write_dds_takes_exactly_the_linear_size():
    surface = dict(format="DXT1", width=16, height=8, levels=2)
    payload = bytes(range(80))
    assert dz.write_dds(payload, **surface) == dz.dds_header(**surface) + payload
    for wrong in (79, 81):
        with pytest.raises(ValueError, match=f"80 bytes, not {wrong}"):
            dz.write_dds(bytes(wrong), **surface)


@pytest.mark.parametrize("surface, kind", [
    (dict(format="BC7_UNORM"), dz.UnknownFormat), (dict(width=0), dz.UnsupportedSize),
    (dict(levels=4), dz.UnsupportedSize), (dict(depth=2, cube=True), dz.UnsupportedTextureType),
    (dict(array_size=2), dz.UnsupportedTextureType)])
def test_headers_refused(surface, kind):
    with pytest.raises(kind):
        dz.dds_header(**{"format": 71, "width": 4, "height": 4, **surface})


RED, BLUE, GREEN = 0xF800, 0x001F, 0x07E0
# Surfaces whose pixels are known: the payload, and the RGBA bytes Pillow should give.
PICTURES = {
    "DXT1": (struct.pack("<HHI", RED, BLUE, 0) + struct.pack("<HHI", RED, BLUE, 0x55555555), 8, 4,
             b"".join((b"\xff\0\0\xff" * 4 + b"\0\0\xff\xff" * 4) for _ in range(4))),
    "DXT5": (struct.pack("<BB6x", 0x80, 0) + struct.pack("<HHI", GREEN, 0, 0), 4, 4, b"\0\xff\0\x80" * 16),
    "A8R8G8B8": (bytes(range(32)), 4, 2, b"".join(bytes((b[2], b[1], b[0], b[3])) for b in
                                                 (bytes(range(i, i + 4)) for i in range(0, 32, 4)))),
}


@pytest.mark.parametrize("name", PICTURES)
def test_pillow_decodes_written_files(name):
    image = pytest.importorskip("PIL.Image")
    payload, width, height, expected = PICTURES[name]
    with image.open(io.BytesIO(dz.write_dds(payload, format=name, width=width, height=height))) as picture:
        assert picture.size == (width, height) and picture.convert("RGBA").tobytes() == expected
