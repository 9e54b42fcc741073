#!/usr/bin/env python3
"""Converts many DDS files with ddsswizzle.convert_dds, several at a time.

    batch_convert.py swiz|unswiz [--console ps3|x360] [--jobs N] PATH...

Each PATH is a DDS file, or a folder whose .dds files (in its subfolders too)
are all converted. The conversions run in a thread pool: ddsswizzle releases
the GIL while it converts, so N threads keep N cores busy. A file is replaced
only when it converted, through a temporary file beside it and a rename;
every file that did not convert is listed at the end with the ddsswizzle
tool's message, and the exit status is 1. A second run would convert the
converted files once more, which is no undo: give it only the failed ones
(--verbose lists the converted ones too).
"""
import argparse
import os
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import ddsswizzle


def replace_file(path, data):
    """Writes data to a new file beside path, then renames it over path."""
    with tempfile.NamedTemporaryFile(dir=path.parent, prefix=".convert-", delete=False) as temporary:
        try:
            temporary.write(data)
            temporary.flush()
            os.fsync(temporary.fileno())
            temporary.close()
            os.replace(temporary.name, path)
        except BaseException:
            os.unlink(temporary.name)
            raise


def convert_file(path, mode, console):
    """None when the file was converted, else why not."""
    try:
        replace_file(path, ddsswizzle.convert_dds(path.read_bytes(), mode, console))
        return None
    except ddsswizzle.Error as error:
        return str(error)
    except OSError as error:
        return f"{error.strerror or error}"


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
