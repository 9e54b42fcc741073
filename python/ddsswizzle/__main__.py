"""python -m ddsswizzle: the ddsswizzle tool's command line over the package, for those who installed it
with pip alone. The same words, messages and exit statuses as the tool:

    python -m ddsswizzle swiz|unswiz FILE [ps3|x360]
    python -m ddsswizzle info FILE [ps3|x360]
    python -m ddsswizzle --help | -h | --version

Everything goes to standard output, each message beginning with a newline and the run ending with one more;
a file that cannot be opened or written is also named on standard error with the system's reason.
"""
from __future__ import annotations

import errno
import os
import stat
import sys
from typing import List, Optional, Tuple

from . import _native, convert_file_status

BANNER = ("\nPS3 & Xbox360 swizzling tool\nIf any problem, contact the ddsswizzle issue tracker\n"
          "\nUsage: *.exe unswiz/swiz *.dds [ps3/x360]")
HELP = (
    "\n"
    "\n  ddsswizzle swiz FILE [ps3|x360]    converts a linear (desktop) texture to console layout, in place"
    "\n  ddsswizzle unswiz FILE [ps3|x360]  converts a console-layout texture back to linear layout"
    "\n  ddsswizzle info FILE [ps3|x360]    tells what the header describes and whether the file would"
    "\n                                     convert, changing nothing (exit status 0: it would)"
    "\n  ddsswizzle --help | -h | --version"
    "\n"
    "\nA platform word beginning with x360 selects the Xbox 360; ps3, in any letter case, or none the PS3."
    "\nAny other platform word is refused with WRONG PLATFORM, the file untouched."
    "\nExit status: 0 when the file was rewritten, 1 otherwise, 255 for too few arguments.")
CANNOT_OPEN, CANNOT_WRITE, NOT_CONFIRMED = 7, 8, 10
HEADER_WITH_EXTENSION = 148


def platform_console(word: Optional[str]) -> Optional[int]:
    """0 for the PS3, 1 for the Xbox 360, None for a word that is neither."""
    if word is None or (word.isascii() and word.lower() == "ps3"):
        return 0
    return 1 if word.startswith("x360") else None


def refusal(status: int, reason: str) -> str:
    text = _native.status_message(status)
    return f"{text}: {reason}" if reason else text


def system_error(path: str, error: int) -> str:
    return f"ddsswizzle: {path}: {os.strerror(error)}\n"


def open_target(path: str) -> Tuple[str, int, os.stat_result]:
    """The file itself (symbolic links resolved), opened for reading: (its path, descriptor, facts). Only a
    regular file will do: a folder fails with EISDIR, anything else with EINVAL."""
    target = os.path.realpath(path)
    descriptor = os.open(target, os.O_RDONLY | getattr(os, "O_NONBLOCK", 0) | getattr(os, "O_BINARY", 0))
    facts = os.fstat(descriptor)
    if not stat.S_ISREG(facts.st_mode):
        os.close(descriptor)
        error = errno.EISDIR if stat.S_ISDIR(facts.st_mode) else errno.EINVAL
        raise OSError(error, os.strerror(error), path)
    return target, descriptor, facts


def rewritable(target: str, facts: os.stat_result) -> Tuple[int, int]:
    """(status, errno) of what a rewrite would meet first: a file this user may not write (CANNOT_OPEN), a
    folder that would refuse the new file (CANNOT_WRITE), or nothing (0)."""
    effective = os.access in os.supports_effective_ids
    if not os.access(target, os.W_OK, effective_ids=effective):
        return CANNOT_OPEN, errno.EACCES
    folder = os.path.dirname(target)
    if not os.access(folder, os.W_OK | os.X_OK, effective_ids=effective):
        return CANNOT_WRITE, errno.EACCES
    user = os.geteuid() if hasattr(os, "geteuid") else 0
    folder_facts = os.stat(folder)
    if folder_facts.st_mode & stat.S_ISVTX and user not in (0, facts.st_uid, folder_facts.st_uid):
        return CANNOT_WRITE, errno.EPERM
    return 0, 0


def describe(path: str, console: int) -> Tuple[str, str, bool]:
    """What `info` prints of the file on standard output and on standard error, and whether either direction
    would convert it."""
    try:
        target, descriptor, facts = open_target(path)
        with os.fdopen(descriptor, "rb") as file:
            start = file.read(HEADER_WITH_EXTENSION)
    except OSError as error:
        return "\n" + _native.status_message(CANNOT_OPEN), system_error(path, error.errno or errno.EIO), False
    access, access_error = rewritable(target, facts)
    length = facts.st_size
    status, reason, format, width, height, depth, levels, cube, volume, offset = _native.read_dds(start)
    text = ""
    if format != 0:
        text += f"\nFormat: {_native.format_name(format) or 'no DXGI format'} (DXGI {format})"
    if status == 0 or reason > 5:
        kind = "cube map" if cube else "volume" if volume else "2D texture"
        sides = f"{width & 0xFFFFFFFF} x {height & 0xFFFFFFFF}" + (f" x {depth & 0xFFFFFFFF}" if volume else "")
        text += f"\nTexture: {kind}, {sides} pixels, {levels} level{'' if levels == 1 else 's'}"
        text += f"\nPayload: {length - offset} bytes from byte {offset}"
    if status != 0:
        return text + "\n" + refusal(status, _native.reason_text(reason)), "", False
    try:
        linear, image = _native.sizes(console, format, width, height, depth, levels, bool(cube))
        text += (f"\n{'Xbox 360' if console else 'PS3'}: {linear} bytes of linear levels, {image} bytes in console"
                 " layout")
        if console == 1 and length - offset == image and image != linear:
            text += ("\nWarning: the payload is exactly as long as the console image; the file looks converted"
                     " already")
    except Exception:  # noqa: BLE001 (a refusal, which the checks below report)
        pass
    converts = False
    for direction, word in enumerate(("swiz", "unswiz")):
        status, reason, converted = _native.check_dds(start, length, direction, console)
        if access == CANNOT_OPEN:
            text += f"\n{word}: {refusal(CANNOT_OPEN, os.strerror(access_error))}"
        elif status != 0:
            text += f"\n{word}: {refusal(status, _native.reason_text(reason))}"
        elif access != 0:
            text += f"\n{word}: {refusal(access, os.strerror(access_error))}"
        else:
            text += f"\n{word}: converts, the file becomes {converted} bytes"
            converts = True
    return text, "", converts


def run(arguments: List[str]) -> Tuple[str, str, int]:
    """What the tool prints for the arguments on standard output and on standard error, and its exit
    status."""
    first = arguments[0] if arguments else ""
    if first in ("--help", "-h"):
        return BANNER + HELP + "\n", "", 0
    if first == "--version":
        return f"\nddsswizzle {_native.version}\n", "", 0
    if len(arguments) < 2:
        return BANNER + "\n", "", 255
    if first not in ("swiz", "unswiz", "info"):
        return "\nWRONG MODE\n\n", "", 1
    console = platform_console(arguments[2] if len(arguments) > 2 else None)
    if console is None:
        return "\nWRONG PLATFORM\n\n", "", 1
    path = arguments[1]
    if first == "info":
        text, errors, converts = describe(path, console)
        return text + "\n", errors, 0 if converts else 1
    status, _, error = convert_file_status(path, 0 if first == "swiz" else 1, console)
    if status == 0:
        return "\n", "", 0
    errors = system_error(path, error) if status in (CANNOT_OPEN, CANNOT_WRITE, NOT_CONFIRMED) else ""
    return "\n" + _native.status_message(status) + "\n", errors, 1


def main(arguments: Optional[List[str]] = None) -> int:
    """Runs the command line on the arguments (sys.argv[1:] by default); returns the exit status."""
    text, errors, status = run(sys.argv[1:] if arguments is None else arguments)
    sys.stderr.write(errors)
    sys.stderr.flush()
    sys.stdout.write(text)
    sys.stdout.flush()
    return status


if __name__ == "__main__":
    sys.exit(main())
