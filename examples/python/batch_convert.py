#!/usr/bin/env python3
"""Converts many DDS files in place with ddsswizzle.convert_file, several at a time.

    batch_convert.py swiz|unswiz [--console ps3|x360] [--jobs N] PATH...

Each PATH is a DDS file, or a folder whose .dds files (in its subfolders too)
are all converted. The conversions run in a thread pool: ddsswizzle releases
the GIL while it converts, so N threads keep N cores busy. Each file is
rewritten as the ddsswizzle tool rewrites it (a temporary file beside it,
flushed, renamed over it; permission bits and owner kept), only when it
converts; every file that did not convert is listed at the end with the
reason, and the exit status is 1. A second run would convert the converted
files once more, which is no undo: give it only the failed ones (--verbose
lists the converted ones too).
"""
import argparse
import os
import sys
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import ddsswizzle


def convert_file(path, mode, console):
    """None when the file was converted, else why not."""
    try:
        ddsswizzle.convert_file(path, mode, console)
        return None
    except ddsswizzle.NotConfirmedOnDisk as error:
        return f"{error} (the file is converted: do not convert it again)"
    except ddsswizzle.Error as error:
        return str(error)
    except OSError as error:
        return error.strerror or str(error)
    except MemoryError:
        return "Out of memory"


def texture_files(paths):
    for path in map(Path, paths):
        if path.is_dir():
            yield from sorted(p for p in path.rglob("*") if p.suffix.lower() == ".dds" and p.is_file())
        else:
            yield path


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("mode", choices=["swiz", "unswiz"])
    parser.add_argument("paths", nargs="+", metavar="PATH")
    parser.add_argument("--console", choices=["ps3", "x360"], default="ps3")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--verbose", action="store_true", help="print every converted file")
    args = parser.parse_args()

    files = list(texture_files(args.paths))
    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        outcomes = list(pool.map(lambda path: convert_file(path, args.mode, args.console), files))
    failures = [(path, why) for path, why in zip(files, outcomes) if why is not None]
    if args.verbose:
        for path, why in zip(files, outcomes):
            if why is None:
                print(f"converted: {path}")
    for path, why in failures:
        print(f"failed: {path}: {why}")
    print(f"{len(files) - len(failures)} of {len(files)} files converted")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
