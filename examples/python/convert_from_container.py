#!/usr/bin/env python3
"""Converts a texture payload inside a game container, in place.

A game container (a level pack, a model file ...) holds each texture's
payload at some offset, without a DDS header, in the console's layout. This
cuts the payload out at OFFSET, converts it with ddsswizzle.unswizzle (console
to linear) or swizzle (linear to console), and writes the result back at
OFFSET; with --out FILE, into a file of its own instead. The surface comes
from the command line or from the table SURFACES below:

    convert_from_container.py unswiz level.pak 0x4000 --console x360 --format BC3_UNORM --width 512 --height 512 --levels 10
    convert_from_container.py swiz level.pak 0x4000 --console x360 --surface bc3-512

The container is rewritten whole through a temporary file beside it and a
rename, so it is either converted or left as it was. On the Xbox 360 the
console image is longer than the linear payload (its levels are padded to
whole tiles): unswiz leaves the rest of the console image's bytes as they
were, and swiz fills them again, so unswiz then swiz gives the container
back (with zeros in the padding).
"""
import argparse
import os
import sys
import tempfile

import ddsswizzle

# Surfaces by name, for containers whose textures come in a few known kinds.
SURFACES = {
    "bc3-512": dict(format="BC3_UNORM", width=512, height=512, levels=10),
    "bc1-256": dict(format="BC1_UNORM", width=256, height=256, levels=9),
    "bgra-256": dict(format="B8G8R8A8_UNORM", width=256, height=256, levels=9),
    "bc1-cube-128": dict(format="BC1_UNORM", width=128, height=128, levels=8, cube=True),
}


def replace_file(path, data):
    """Writes data to a new file beside path, then renames it over path."""
    folder = os.path.dirname(os.path.abspath(path))
    with tempfile.NamedTemporaryFile(dir=folder, prefix=".convert-", delete=False) as temporary:
        try:
            temporary.write(data)
            temporary.flush()
            os.fsync(temporary.fileno())
            temporary.close()
            os.replace(temporary.name, path)
        except BaseException:
            os.unlink(temporary.name)
            raise


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("mode", choices=["swiz", "unswiz"])
    parser.add_argument("container")
    parser.add_argument("offset", type=lambda text: int(text, 0), help="where the payload starts (0x... for hex)")
    parser.add_argument("--console", choices=["ps3", "x360"], default="ps3")
    parser.add_argument("--surface", choices=sorted(SURFACES), help="a surface of the table")
    parser.add_argument("--format", help="DXGI number or name, e.g. 71 or BC1_UNORM")
    parser.add_argument("--width", type=int)
    parser.add_argument("--height", type=int)
    parser.add_argument("--depth", type=int, default=1)
    parser.add_argument("--levels", type=int, default=1)
    parser.add_argument("--cube", action="store_true")
    parser.add_argument("--out", help="write the converted payload to this file, leaving the container alone")
    args = parser.parse_args()

    if args.surface:
        surface = SURFACES[args.surface]
    elif args.format and args.width and args.height:
        surface = dict(format=int(args.format) if args.format.isdigit() else args.format, width=args.width,
                       height=args.height, depth=args.depth, levels=args.levels, cube=args.cube)
    else:
        parser.error("give --surface, or --format, --width and --height")

    with open(args.container, "rb") as handle:
        container = handle.read()
    convert = ddsswizzle.swizzle if args.mode == "swiz" else ddsswizzle.unswizzle
    try:
        # Only the payload's input size is read from the offset on; the
        # textures after it are left alone.
        result = convert(memoryview(container)[args.offset:], console=args.console, **surface)
    except ddsswizzle.Error as error:
        print(f"{args.container}: {error}")
        return 1
    except ValueError as error:
        parser.error(str(error))

    if args.out:
        replace_file(args.out, result)
        return 0
    end = args.offset + len(result)
    if end > len(container):
        print(f"{args.container}: the converted payload ({len(result)} bytes) runs past the end of the file")
        return 1
    replace_file(args.container, container[:args.offset] + result + container[end:])
    return 0


if __name__ == "__main__":
    sys.exit(main())
