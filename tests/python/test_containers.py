"""Containers in Python: a GTF (a DXT1 texture, plain rows of blocks, and an A8R8G8B8 one in Morton order,
its words big-endian) and an XPR2 (a linear DXT1 texture with 8in16 byte order, and a resource that is no
texture), built here from the containers' rules; read, extracted, put back, and converted by descriptor."""
import random
import struct

import pytest

import ddsswizzle as dz


def linear_bytes(size, seed):
    return random.Random(seed).randbytes(size)


DXT_GTF = linear_bytes(128, 1)  # 16 x 16 DXT1: 4 x 4 blocks of 8 bytes
ARGB = linear_bytes(16, 2)  # 2 x 2 B8G8R8A8: Morton order is row order at 2 x 2
DXT_XPR = linear_bytes(2 * 16 * 8, 3)  # 64 x 8 DXT1: 2 rows of 16 blocks


def gcm(format, width, height):
    # format, levels, dimension, cube map, remap, width, height, depth, pitch, offset
    return struct.pack(">BBBBIHHHHII", format, 1, 2, 0, 0xAAE4, width, height, 1, 0, 0, 0)[:24]


def build_gtf():
    """Header, two 36-byte records, each texture on a 128-byte boundary."""
    textures = [(gcm(0x86, 16, 16), DXT_GTF),
                (gcm(0x85, 2, 2), b"".join(ARGB[i:i + 4][::-1] for i in range(0, 16, 4)))]
    records, data = b"", b""
    for index, (descriptor, payload) in enumerate(textures):
        data = data.ljust(-(-len(data) // 128) * 128, b"\0")
        records += struct.pack(">III", index, 0x80 + len(data), len(payload)) + descriptor
        data += payload
    return struct.pack(">III", 0x02020000, len(data), 2) + records.ljust(0x80 - 12, b"\0") + data


def build_xpr2():
    """Entries (from byte 12), names, 52-byte headers in a 2048-byte block, then one 4 KiB data page."""
    block = bytearray(2048)
    block[0:36] = struct.pack(">I4sIII4sIII", 2, b"TX2D", 64, 52, 40, b"USER", 116, 52, 45)
    block[40:50] = b"tex0\0user\0"
    # Tiling off, pitch 4 (32 blocks), base page 0 with 8in16 byte order, DXT1, 64 x 8, DXT swizzle, 1 level, 2D.
    fetch = struct.pack(">IIIIII", 4 << 22 | 2, 1 << 6 | 0x12, 7 << 13 | 63, 0x688 << 1, 0, 1 << 9)
    block[64:116] = struct.pack(">II12xII", 3, 1, 0xFFFF0000, 0xFFFF0000) + fetch
    block[116:168] = bytes((k * 7 + 1) % 256 for k in range(52))
    rows = b"".join(DXT_XPR[y * 128:(y + 1) * 128].ljust(256, b"\0") for y in range(2)).ljust(4096, b"\0")
    swapped = b"".join(rows[i:i + 2][::-1] for i in range(0, len(rows), 2))
    return b"XPR2" + struct.pack(">II", 2048, 4096) + bytes(block) + swapped


GTF, XPR2 = build_gtf(), build_xpr2()

# container, index, console, name, surface, swizzled, the linear levels, where the descriptor's offsets count
# from, and the console bytes of the texture there.
ROWS = [
    (GTF, 0, "ps3", None, dict(format=71, width=16, height=16, levels=1), False, DXT_GTF, 0x80, DXT_GTF),
    (GTF, 1, "ps3", None, dict(format=87, width=2, height=2, levels=1), True, ARGB, 0x100, GTF[0x100:]),
    (XPR2, 0, "x360", "tex0", dict(format=71, width=64, height=8, levels=1), False, DXT_XPR, 12 + 2048, XPR2[2060:2572]),
]


@pytest.mark.parametrize("data, index, console, name, surface, swizzled, linear, start, stored", ROWS,
                         ids=["GTF DXT1", "GTF A8R8G8B8", "XPR2 linear DXT1"])
def test_read_extract_replace_and_descriptors(data, index, console, name, surface, swizzled, linear, start, stored):
    entry = dz.read_container(bytearray(data))[index]
    assert (entry.index, entry.console, entry.name, entry.surface, entry.converts, entry.reason) == \
        (index, console, name, dict(surface, depth=1, cube=False, array_size=1), True, None)
    assert entry.layout.swizzled == swizzled
    dds = dz.extract(data, index)
    assert dds[-len(linear):] == linear and dz.read_dds(dds).surface == entry.surface
    assert dz.replace(memoryview(data), index, dds) == data
    assert dz.from_descriptor(entry.descriptor, console) == (entry.surface, entry.layout)
    # By descriptor alone: the stored bytes to the linear levels, and back into a copy of the data block.
    assert dz.convert_descriptor(data[start:], entry.descriptor, console, "unswiz") == linear
    assert dz.convert_descriptor(linear, entry.descriptor, console, "swiz")[:len(stored)] == stored
    block = bytearray(b"\xEE" * (len(data) - start))
    assert dz.convert_descriptor(linear, entry.descriptor, console, "swiz", out=block) is block
    assert block[:len(stored)].replace(b"\0", b"") == stored.replace(b"\0", b"")


def test_refusals():
    entries = dz.read_container(XPR2)
    assert (entries[1].name, entries[1].converts, entries[1].surface) == ("user", False, None)
    assert entries[1].reason == "Invalid argument: the entry is an XPR2 resource that is no texture"
    with pytest.raises(dz.NotATextureContainer, match="Not a texture container: the file is shorter"):
        dz.read_container(b"XPR")
    with pytest.raises(dz.TruncatedData, match="blocks run past the end"):
        dz.extract(XPR2[:-1], 0)
    with pytest.raises(ValueError, match="no entry of the container has that index"):
        dz.extract(GTF, 2)
    with pytest.raises(ValueError, match="is no texture"):
        dz.extract(XPR2, 1)
    with pytest.raises(dz.UnknownFormat, match="not stored as the container texture's"):
        dz.replace(GTF, 1, dz.extract(GTF, 0))
    with pytest.raises(ValueError, match="index must be from 0"):
        dz.extract(GTF, -1)
    with pytest.raises(TypeError, match="dds must be a bytes-like object"):
        dz.replace(GTF, 0, "x")
    with pytest.raises(ValueError, match="descriptor must be exactly 24 bytes, not 23"):
        dz.from_descriptor(bytes(23), "ps3")
    with pytest.raises(ValueError, match="console must be"):
        dz.from_descriptor(bytes(24), "xbox")
    descriptor = dz.read_container(GTF)[0].descriptor
    with pytest.raises(dz.UnsupportedSize, match="a side is zero"):
        dz.from_descriptor(descriptor[:8] + bytes(2) + descriptor[10:], "ps3")
    with pytest.raises(dz.TruncatedData):  # the data given holds 127 of the texture's 128 bytes
        dz.convert_descriptor(GTF[0x80:0xFF], descriptor, "ps3", "unswiz")
    with pytest.raises(ValueError, match="out must be exactly the linear size, 128 bytes, not 8"):
        dz.convert_descriptor(GTF[0x80:], descriptor, "ps3", "unswiz", out=bytearray(8))
    with pytest.raises(ValueError, match="mode must be"):
        dz.convert_descriptor(DXT_GTF, descriptor, "ps3", "swizzle")
