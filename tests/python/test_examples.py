"""The Python examples (DDSSWIZZLE_EXAMPLES) on a container made for them and files of the corpus."""
import os
import random
import subprocess
import sys

import ddsswizzle as dz
from test_ddsswizzle import FILES


def run(script, *args):
    done = subprocess.run([sys.executable, os.path.join(os.environ["DDSSWIZZLE_EXAMPLES"], script), *map(str, args)],
                          capture_output=True, text=True, check=False)
    return done.returncode, done.stdout


def test_convert_from_container(tmp_path):
    # The Xbox 360 image of the table's surface bc3-512 at offset 100 of a container: out and back in.
    bc3 = dict(console="x360", format=77, width=512, height=512, levels=10)
    linear = random.Random(1).randbytes(dz.linear_size(**bc3))
    image = dz.swizzle(linear, **bc3)
    container, original = tmp_path / "level.pak", b"head" * 25 + image + b"tail"
    container.write_bytes(original)
    surface = ["--console", "x360", "--surface", "bc3-512"]
    assert run("convert_from_container.py", "unswiz", container, 100, *surface) == (0, "")
    assert container.read_bytes() == original[:100] + linear + original[100 + len(linear):]
    assert run("convert_from_container.py", "swiz", container, "0x64", *surface) == (0, "")
    assert container.read_bytes() == original
    refused = run("convert_from_container.py", "swiz", container, 100, "--format", 87, "--width", 48, "--height", 32)
    assert refused[0] == 1 and "Unsupported size" in refused[1] and container.read_bytes() == original


def test_batch_convert(tmp_path):
    names = ["rgba32-64x64-7-levels.dds", "cube-dxt1-32x32-6-levels.dds", "refused-truncated.dds"]
    (tmp_path / "sub").mkdir()
    paths = [tmp_path / "a.dds", tmp_path / "sub" / "b.DDS", tmp_path / "d.dds"]
    for name, path in zip(names, paths):
        path.write_bytes(FILES[name])
        path.chmod(0o640)
    expected = (f"failed: {paths[2]}: Texture data is truncated: the data is shorter than the texture it should hold\n"
                "2 of 3 files converted\n")
    assert run("batch_convert.py", "swiz", tmp_path, "--jobs", 2) == (1, expected)
    for name, path in zip(names, paths):
        assert path.read_bytes() == (FILES[name] if name == names[2] else dz.convert_dds(FILES[name], "swiz"))
        assert path.stat().st_mode & 0o777 == 0o640
