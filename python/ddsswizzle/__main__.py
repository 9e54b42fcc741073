"""python -m ddsswizzle: the ddsswizzle tool's command line over the package, for those who installed it
with pip alone. The same words, messages and exit statuses as the tool:

    python -m ddsswizzle swiz|unswiz FILE [ps3|x360]
    python -m ddsswizzle info FILE [ps3|x360]
    python -m ddsswizzle list FILE | extract FILE [FOLDER] | replace FILE INDEX DDSFILE
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

from . import Error, _native, convert_file_status

BANNER = ("\nPS3 & Xbox360 swizzling tool\nIf any problem, contact the ddsswizzle issue tracker\n"
          "\nUsage: *.exe unswiz/swiz *.dds [ps3/x360]")
HELP = (
    "\n"
    "\n  ddsswizzle swiz FILE [ps3|x360]    converts a linear (desktop) texture to console layout, in place"
    "\n  ddsswizzle unswiz FILE [ps3|x360]  converts a console-layout texture back to linear layout"
    "\n  ddsswizzle info FILE [ps3|x360]    tells what the header describes and whether the file would"
    "\n                                     convert, changing nothing (exit status 0: it would)"
    "\n  ddsswizzle list FILE               lists the textures of a PS3 GTF or Xbox 360 XPR2 container:"
    "\n                                     index, name or id, format, sides, levels, 2D or cube, layout,"
    "\n                                     and whether each converts or why not"
    "\n  ddsswizzle extract FILE [FOLDER]   writes every texture that converts as a DDS file STEM.INDEX.dds"
    "\n                                     into FOLDER or beside FILE; an existing file is never replaced"
    "\n  ddsswizzle replace FILE INDEX DDSFILE"
    "\n                                     puts the DDS file's texture in place of texture INDEX, in place"
    "\n  ddsswizzle --help | -h | --version"
    "\n"
    "\nA platform word beginning with x360 selects the Xbox 360; ps3, in any letter case, or none the PS3."
    "\nAny other platform word is refused with WRONG PLATFORM, the file untouched."
    "\nThe container words take no platform word: the container says which console it is for."
    "\nExit status: 0 when the file was rewritten (list: read; extract: every texture written),"
    "\n1 otherwise, 255 for too few arguments.")
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
        text += "\n" + refusal(status, _native.reason_text(reason))
        if status == 1:
            text += container_line(path)
        return text, "", False
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


# The container words.

CONTAINER_KINDS = ("\nPS3 GTF container, ", "\nXbox 360 XPR2 container, ")
FILE_NOT_READ = 25
Entry = Tuple[int, int, bool, int, Optional[bytes], int, int, Optional[Tuple[int, int, int, int, int, bool]],
              Optional[Tuple[int, bool, int, int, bool, int, int, int, int]], Optional[bytes]]


def read_whole(path: str) -> Tuple[Optional[bytes], str, str]:
    """The file's bytes, or what the tool prints when it cannot be read."""
    try:
        _, descriptor, _ = open_target(path)
        with os.fdopen(descriptor, "rb") as file:
            return file.read(), "", ""
    except OSError as error:
        return None, "\n" + _native.status_message(CANNOT_OPEN), system_error(path, error.errno or errno.EIO)


def container_entries(data: bytes) -> Tuple[Optional[List[Entry]], str]:
    try:
        return _native.container_entries(data), ""
    except (Error, ValueError) as error:
        return None, f"\n{error}"


def entries_heading(entries: List[Entry]) -> str:
    count = len(entries)
    return CONTAINER_KINDS[entries[0][1]] + f"{count} {'entry' if count == 1 else 'entries'}"


def container_line(path: str) -> str:
    """For info on a file that is no DDS texture: the container it is, if it is one."""
    data, _, _ = read_whole(path)
    entries = container_entries(data)[0] if data is not None else None
    return entries_heading(entries) + "; ddsswizzle list, extract and replace read it" if entries else ""


def entry_line(entry: Entry) -> str:
    index, console, is_texture, id, name, status, reason, surface, layout, _ = entry
    label = name.decode("latin-1") if console == 1 and name else f"id {id}"
    line = f"\n{index}  {label}  "
    if not is_texture:
        return line + "no texture"
    if surface is None or layout is None:
        return line + refusal(status, _native.reason_text(reason))
    format, width, height, depth, levels, cube = surface
    line += f"{_native.format_name(format)}  {width} x {height}" + (f" x {depth}" if depth > 1 else "")
    line += f"  {levels} level{'' if levels == 1 else 's'}" + ("  cube" if cube else "  volume" if depth > 1 else "  2D")
    _, swizzled, pitch, _, packed, _, _, _, _ = layout
    if console == 0:
        words = "swizzled" if swizzled else f"linear, pitch {pitch}" if pitch else "linear"
    else:
        words = ("tiled, packed tail" if packed else "tiled") if swizzled else "linear"
    return line + "  " + words + "  converts"


def create_new(path: str, contents: bytes) -> int:
    """Writes a new file, never one that exists, flushed to the disk: 0, or the system's error number (the
    file removed again if it was made)."""
    try:
        descriptor = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_BINARY", 0), 0o666)
    except OSError as error:
        return error.errno or errno.EIO
    try:
        with os.fdopen(descriptor, "wb") as file:
            file.write(contents)
            file.flush()
            os.fsync(file.fileno())
        return 0
    except OSError as error:
        os.unlink(path)
        return error.errno or errno.EIO


def container_word(word: str, arguments: List[str]) -> Tuple[str, str, int]:
    path = arguments[1]
    if word == "replace":
        if len(arguments) < 4:
            return BANNER + "\n", "", 255
        index = arguments[2]
        if not (index.isascii() and index.isdigit() and int(index) < 1 << 32):
            return "\nWRONG INDEX\n\n", "", 1
        status, reason, error = _native.replace_file(os.fsencode(path), int(index), os.fsencode(arguments[3]))
        if status == 0:
            return "\n", "", 0
        if status in (CANNOT_OPEN, CANNOT_WRITE, 9, NOT_CONFIRMED):
            named = arguments[3] if reason == FILE_NOT_READ else path
            return "\n" + _native.status_message(status) + "\n", system_error(named, error), 1
        return "\n" + refusal(status, _native.reason_text(reason)) + "\n", "", 1
    data, text, errors = read_whole(path)
    entries, refused = container_entries(data) if data is not None else (None, "")
    if data is None or entries is None:
        return text + refused + "\n", errors, 1
    if word == "list":
        return entries_heading(entries) + "".join(entry_line(entry) for entry in entries) + "\n", "", 0
    folder = arguments[2] if len(arguments) > 2 else os.path.dirname(path)
    stem = os.path.splitext(os.path.basename(path))[0]
    every = True
    for entry in entries:
        index = entry[0]
        if not entry[2]:
            continue
        try:
            dds = _native.container_call(data, index, None)
        except (Error, ValueError) as error:
            text, every = text + f"\n{index}: {error}", False
            continue
        name = f"{stem}.{index}.dds"
        target = os.path.join(folder, name)
        error_number = create_new(target, dds)
        if error_number == 0:
            text += f"\n{index}: wrote {name}"
            continue
        failure = "File exists" if error_number == errno.EEXIST else _native.status_message(CANNOT_WRITE)
        text, errors, every = text + f"\n{index}: {failure}", errors + system_error(target, error_number), False
    return text + "\n", errors, 0 if every else 1


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
    if first in ("list", "extract", "replace"):
        return container_word(first, arguments)
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
