"""The Python examples (DDSSWIZZLE_EXAMPLES) on a container and DDS files made for them."""
import os
import subprocess
import sys

import ddsswizzle as dz
from test_ddsswizzle import FILES, dds


def run(script, *args):
    done = subprocess.run([sys.executable, os.path.join(os.environ["DDSSWIZZLE_EXAMPLES"], script), *map(str, args)],
                          capture_output=True, text=True, check=False)
    return done.returncode, done.stdout


def test_convert_from_container(tmp_path):
    # The Xbox 360 image of the example's surface bc3-512 at offset 100 of a container.
    linear = dds(77, 512, 512, levels=10)[148:]
    image = dz.swizzle(linear, console="x360", format=77, width=512, height=512, levels=10)
    container, original = tmp_path / "level.pak", b"head" * 25 + image + b"tail"
    container.write_bytes(original)

    def convert(mode, offset, *args):
        return run("convert_from_container.py", mode, container, offset, *args)

    explicit = ["--format", "BC3_UNORM", "--width", 512, "--height", 512, "--levels", 10]
    assert convert("unswiz", 100, "--console", "x360", *explicit) == (0, "")
    assert container.read_bytes() == original[:100] + linear + original[100 + len(linear):]
    assert convert("swiz", "0x64", "--console", "x360", "--surface", "bc3-512") == (0, "")
    assert convert("unswiz", 100, "--console", "x360", "--surface", "bc3-512", "--out", tmp_path / "out") == (0, "")
    assert (tmp_path / "out").read_bytes() == linear and container.read_bytes() == original
    assert convert("swiz", 100, "--format", 87, "--width", 48, "--height", 32) == (
        1, f"{container}: Unsupported size (the width is not a power of two, which Morton order needs)\n")
    assert container.read_bytes() == original


def test_batch_convert(tmp_path):
    names = ["bgra32 legacy", "dxt5 cube legacy", "bgra32 48 x 32", "truncated"]
    paths = [tmp_path / "a.dds", tmp_path / "sub" / "b.DDS", tmp_path / "sub" / "c.dds", tmp_path / "d.dds"]
    (tmp_path / "sub").mkdir()
    for name, path in zip(names, paths):
        path.write_bytes(FILES[name][0])
    printed = [f"failed: {paths[3]}: Texture data is truncated", f"failed: {paths[2]}: Unsupported size",
               "2 of 4 files converted"]
    assert run("batch_convert.py", "swiz", tmp_path, "--jobs", 2) == (1, "\n".join(printed) + "\n")
    for name, path in zip(names, paths):
        data = FILES[name][0]
        assert path.read_bytes() == (dz.convert_dds(data, "swiz") if FILES[name][1] is None else data)
