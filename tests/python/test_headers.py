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


def test_write_dds_takes_exactly_the_linear_size():
    surface, payload = dict(format="DXT1", width=16, height=8, levels=2), bytes(range(80))
    assert dz.write_dds(payload, **surface) == dz.dds_header(**surface) + payload
    pytest.raises(ValueError, dz.write_dds, payload[1:], **surface).match("80 bytes, not 79")


RED, BLUE, GREEN = 0xF800, 0x001F, 0x07E0
# Surfaces whose pixels are known: the payload, and the RGBA bytes Pillow should give.
PICTURES = {
    "DXT1": (struct.pack("<HHI", RED, BLUE, 0) + struct.pack("<HHI", RED, BLUE, 0x55555555), 8, 4,
             b"".join((b"\xff\0\0\xff" * 4 + b"\0\0\xff\xff" * 4) for _ in range(4))),
    "DXT5": (struct.pack("<BB6x", 0x80, 0) + struct.pack("<HHI", GREEN, 0, 0), 4, 4, b"\0\xff\0\x80" * 16),
    "A8R8G8B8": (bytes(range(32)), 4, 2, bytes(b for i in range(0, 32, 4) for b in (i + 2, i + 1, i, i + 3))),
}


@pytest.mark.parametrize("name", PICTURES)
def test_pillow_decodes_written_files(name):
    image = pytest.importorskip("PIL.Image")
    payload, width, height, expected = PICTURES[name]
    with image.open(io.BytesIO(dz.write_dds(payload, format=name, width=width, height=height))) as picture:
        assert picture.size == (width, height) and picture.convert("RGBA").tobytes() == expected
