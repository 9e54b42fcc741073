"""Texture data converted between the linear layout of a desktop DDS texture and the swizzled or tiled
layout of the PS3 and the Xbox 360.

Whole DDS files in memory (convert_dds) or on disk (convert_file, the tool's crash-safe rewrite), raw
payloads cut out of anything (swizzle, unswizzle), the sizes and the place of every level, and DDS headers
read (read_dds) and written (dds_header, write_dds). A texture a console cannot hold is refused with a
subclass of Error whose message is the ddsswizzle tool's; a wrong argument raises TypeError or ValueError
naming it. The GIL is released while a conversion runs.

A surface is given by keyword: console ('ps3' or 'x360'), format (a DXGI number, or a name such as
'BC3_UNORM', 'dxgi_format_bc3_unorm' or 'DXT5'), width, height, depth=1 (above 1: a volume), levels=1,
cube=False (True: six faces) and array_size=1 (what read_dds says of a texture array, which no console
holds).
"""
from __future__ import annotations

import difflib
import os
import struct
from typing import TYPE_CHECKING, Dict, List, NamedTuple, Optional, Tuple, TypeVar, Union, overload

from . import _native

if TYPE_CHECKING:
    from typing import TypedDict

    from _typeshed import ReadableBuffer, WriteableBuffer

    _Out = TypeVar("_Out", bound=WriteableBuffer)
else:
    from typing import TypedDict

    _Out = TypeVar("_Out")

__version__: str = _native.version
__all__ = [
    "Error", "NotADdsTexture", "UnknownFormat", "UnsupportedTextureType", "UnsupportedSize", "TruncatedData",
    "NotConfirmedOnDisk", "Surface", "Placement", "DdsHeader", "FORMATS", "format_name", "format_number",
    "check", "linear_size", "console_size", "layout", "swizzle", "unswizzle", "convert_dds", "read_dds",
    "dds_header", "write_dds", "convert_file",
]


class Error(Exception):
    """A texture refused. str() is the tool's message and the reason ("Unknown format: this console has no
    layout for the format"); `message` is the tool's message alone, `reason` why (or None)."""

    message: str
    reason: Optional[str]

    def __init__(self, message: str, reason: Optional[str] = None) -> None:
        super().__init__(message, reason)
        self.message = message
        self.reason = reason

    def __str__(self) -> str:
        return f"{self.message}: {self.reason}" if self.reason else self.message


class NotADdsTexture(Error):
    """Not a DDS texture: too short, no "DDS " signature with the header size 124, or a DX10 FourCC in a
    file that ends before its extension."""


class UnknownFormat(Error):
    """Unknown format: a pixel format no DXGI format stands for, or one the console has no layout for."""


class UnsupportedTextureType(Error):
    """Unsupported texture type: a texture array, a cube map without all six faces, or a volume the
    console does not store."""


class UnsupportedSize(Error):
    """Unsupported size: a side zero or negative, not a power of two where the layout needs one, too
    large, or a level count the sides do not allow."""


class TruncatedData(Error):
    """Texture data is truncated: fewer bytes than the surface needs."""


class NotConfirmedOnDisk(Error, OSError):
    """Converted, not confirmed on disk: convert_file put the converted file in place, but the flush of
    its folder failed, so the rename may not survive a power cut. Both an Error (the tool's message;
    `reason` the system's) and an OSError (errno, strerror, filename): the file is converted, so do not
    convert it again; check the disk instead."""

    def __init__(self, errno: int, strerror: str, filename: str) -> None:
        OSError.__init__(self, errno, strerror, filename)
        self.message = _native.status_message(10)
        self.reason = strerror

    def __str__(self) -> str:
        return Error.__str__(self)


_native.set_errors((NotADdsTexture, UnknownFormat, UnsupportedTextureType, UnsupportedSize, TruncatedData))


class _SurfaceBase(TypedDict):
    format: Union[int, str]
    width: int
    height: int


class Surface(_SurfaceBase, total=False):
    """A surface as keyword arguments (console aside): what read_dds gives, ready for
    swizzle(payload, console=..., **surface)."""

    depth: int
    levels: int
    cube: bool
    array_size: int


class Placement(NamedTuple):
    """One level of one face: its size in pixels, and where its bytes are in the linear layout and in the
    console's. On the Xbox 360 the levels of the packed mip tail share one console slice."""

    level: int
    face: int
    width: int
    height: int
    depth: int
    linear_offset: int
    linear_length: int
    console_offset: int
    console_length: int


class DdsHeader(NamedTuple):
    """What a DDS header describes: the surface (format as its DXGI number) and where the payload starts
    (128, or 148 with the DX10 extension). format_name is the format's DXGI name."""

    surface: Surface
    payload_offset: int

    @property
    def format_name(self) -> str:
        """The DXGI name of the surface's format, without the DXGI_FORMAT_ prefix."""
        return format_name(int(self.surface["format"]))


# Argument checks. Messages name the argument and show a value only when it is short: never a buffer.

_CONSOLES = {"ps3": 0, "x360": 1}
_MODES = {"swiz": 0, "unswiz": 1}
_INT32 = (-(1 << 31), (1 << 31) - 1)
_UINT32 = (1 << 32) - 1


def _kind(value: object) -> str:
    return type(value).__name__[:60]


def _shown(value: object) -> str:
    text = repr(value)
    return text if len(text) <= 40 else text[:37] + "..."


def _word(value: object, name: str, words: Dict[str, int]) -> int:
    if not isinstance(value, str):
        raise TypeError(f"{name} must be a str, not {_kind(value)}")
    found = words.get(value)
    if found is None:
        choices = " or ".join(repr(word) for word in words)
        raise ValueError(f"{name} must be {choices}, not {_shown(value)}")
    return found


def _integer(value: object, name: str, low: int, high: int) -> int:
    if isinstance(value, bool) or not hasattr(type(value), "__index__"):
        raise TypeError(f"{name} must be an int, not {_kind(value)}")
    number = value.__index__()  # type: ignore[attr-defined]
    if not low <= number <= high:
        raise ValueError(f"{name} must be from {low} to {high}, not {_shown(number)}")
    return int(number)


def _flag(value: object, name: str) -> bool:
    if type(value) is bool:
        return value
    if isinstance(value, int) and value in (0, 1):
        return bool(value)
    raise TypeError(f"{name} must be a bool, not {_kind(value)}")


def _format(value: object) -> int:
    if type(value) is int and 0 <= value <= _UINT32:
        return value
    if isinstance(value, str):
        return format_number(value)
    if isinstance(value, bool) or not hasattr(type(value), "__index__"):
        raise TypeError(f"format must be an int or a str, not {_kind(value)}")
    return _integer(value, "format", 0, _UINT32)


def _surface(console: object, format: object, width: object, height: object, depth: object, levels: object,
             cube: object, array_size: object) -> Tuple[int, int, int, int, int, int, bool]:
    """The surface's arguments checked, as the native calls take them; an array refused as a conversion
    of its file would be."""
    c = _CONSOLES.get(console) if type(console) is str else None
    if c is None:
        c = _word(console, "console", _CONSOLES)
    f = _FORMAT_NUMBERS.get(format) if type(format) is str else None
    if f is None:
        f = _format(format)
    low, high = _INT32
    if type(width) is not int or not low <= width <= high:
        width = _integer(width, "width", low, high)
    if type(height) is not int or not low <= height <= high:
        height = _integer(height, "height", low, high)
    if type(depth) is not int or not low <= depth <= high:
        depth = _integer(depth, "depth", low, high)
    if type(levels) is not int or not low <= levels <= high:
        levels = _integer(levels, "levels", low, high)
    if type(cube) is not bool:
        cube = _flag(cube, "cube")
    if array_size != 1:
        _refuse_array(f, _integer(array_size, "array_size", 0, _UINT32))
    return c, f, width, height, depth, levels, cube


def _refuse_array(format: int, array_size: int) -> None:
    """A texture array is refused as its DX10 file is: a format outside the recognition table first."""
    if array_size == 1:
        return
    if format not in _CONVERTED:
        raise UnknownFormat(_native.status_message(2), _native.reason_text(4))
    raise UnsupportedTextureType(_native.status_message(3), _native.reason_text(6))


# Formats: DXGI names without the prefix, any letter case, and the legacy names of the DDS world.

_ALIASES = {
    "DXT1": "BC1_UNORM", "DXT2": "BC2_UNORM", "DXT3": "BC2_UNORM", "DXT4": "BC3_UNORM", "DXT5": "BC3_UNORM",
    "BC1": "BC1_UNORM", "BC2": "BC2_UNORM", "BC3": "BC3_UNORM", "BC4": "BC4_UNORM", "BC5": "BC5_UNORM",
    "ATI1": "BC4_UNORM", "ATI2": "BC5_UNORM", "A8R8G8B8": "B8G8R8A8_UNORM", "X8R8G8B8": "B8G8R8X8_UNORM",
    "A8B8G8R8": "R8G8B8A8_UNORM", "R5G6B5": "B5G6R5_UNORM", "A1R5G5B5": "B5G5R5A1_UNORM",
    "A4R4G4B4": "B4G4R4A4_UNORM", "L8": "R8_UNORM", "A8L8": "R8G8_UNORM", "A8": "A8_UNORM", "L16": "R16_UNORM",
    "A16B16G16R16F": "R16G16B16A16_FLOAT", "A32B32G32R32F": "R32G32B32A32_FLOAT", "R32F": "R32_FLOAT",
}
_PREFIX = "DXGI_FORMAT_"
_NAMES = {number: _native.format_name(number) for number in range(256)}
_NAMES = {number: name for number, name in _NAMES.items() if name}
# Every spelling looked up so far, first the DXGI and legacy names as written here.
_FORMAT_NUMBERS: Dict[str, int] = {name: number for number, name in _NAMES.items()}
_FORMAT_NUMBERS.update({alias: _FORMAT_NUMBERS[name] for alias, name in _ALIASES.items()})
_KNOWN = sorted(_FORMAT_NUMBERS)


def _converts(number: int, console: int) -> bool:
    try:
        _native.check(console, number, 64, 64, 1, 1, False)
    except UnknownFormat:
        return False
    return True


FORMATS: Dict[str, int] = {name: number for number, name in sorted(_NAMES.items())
                           if _converts(number, 0) or _converts(number, 1)}
"""Every format either console converts, DXGI name (without the prefix) to number."""
_CONVERTED = frozenset(FORMATS.values())


def format_number(name: str) -> int:
    """The DXGI number of a format name: a DXGI name with or without the DXGI_FORMAT_ prefix, in any
    letter case ('BC3_UNORM', 'dxgi_format_bc3_unorm'), or a legacy name ('DXT5', 'A8R8G8B8', 'L8' ...).
    An unknown name raises ValueError with up to three close matches."""
    if not isinstance(name, str):
        raise TypeError(f"format name must be a str, not {_kind(name)}")
    number = _FORMAT_NUMBERS.get(name)
    if number is not None:
        return number
    key = name.strip().upper()
    if key.startswith(_PREFIX):
        key = key[len(_PREFIX):]
    number = _FORMAT_NUMBERS.get(key)
    if number is None:
        close = difflib.get_close_matches(key[:60], _KNOWN, n=3)
        hint = f" (did you mean {', '.join(close)}?)" if close else ""
        raise ValueError(f"no format is named {_shown(name)}{hint}")
    if len(_FORMAT_NUMBERS) < 4096:
        _FORMAT_NUMBERS[name] = number
    return number


def format_name(number: int) -> str:
    """The DXGI name of a format number, without the DXGI_FORMAT_ prefix (77: 'BC3_UNORM'); ValueError for
    a number DXGI does not define."""
    number = _integer(number, "number", 0, _UINT32)
    name = _NAMES.get(number)
    if name is None:
        raise ValueError(f"no DXGI format has the number {number}")
    return name


# The library's calls.


def check(*, console: str, format: Union[int, str], width: int, height: int, depth: int = 1, levels: int = 1,
          cube: bool = False, array_size: int = 1) -> None:
    """None when the console can convert the surface; else raises the refusal a conversion would give
    (UnknownFormat, UnsupportedTextureType, UnsupportedSize), with its reason."""
    _native.check(*_surface(console, format, width, height, depth, levels, cube, array_size))


def linear_size(*, console: str, format: Union[int, str], width: int, height: int, depth: int = 1,
                levels: int = 1, cube: bool = False, array_size: int = 1) -> int:
    """Bytes of the surface in the linear layout (a DDS file's payload)."""
    return int(_native.sizes(*_surface(console, format, width, height, depth, levels, cube, array_size))[0])


def console_size(*, console: str, format: Union[int, str], width: int, height: int, depth: int = 1,
                 levels: int = 1, cube: bool = False, array_size: int = 1) -> int:
    """Bytes of the surface in the console's layout."""
    return int(_native.sizes(*_surface(console, format, width, height, depth, levels, cube, array_size))[1])


def layout(*, console: str, format: Union[int, str], width: int, height: int, depth: int = 1, levels: int = 1,
           cube: bool = False, array_size: int = 1) -> List[Placement]:
    """One Placement per level of each face, face after face as the linear layout stores them."""
    entries = _native.layout(*_surface(console, format, width, height, depth, levels, cube, array_size))
    return [Placement(*entry) for entry in entries]


@overload
def swizzle(payload: ReadableBuffer, *, console: str, format: Union[int, str], width: int, height: int,
            depth: int = ..., levels: int = ..., cube: bool = ..., array_size: int = ..., out: None = ...) -> bytes:
    ...


@overload
def swizzle(payload: ReadableBuffer, *, console: str, format: Union[int, str], width: int, height: int,
            depth: int = ..., levels: int = ..., cube: bool = ..., array_size: int = ..., out: _Out) -> _Out:
    ...


def swizzle(payload: ReadableBuffer, *, console: str, format: Union[int, str], width: int, height: int,
            depth: int = 1, levels: int = 1, cube: bool = False, array_size: int = 1,
            out: Optional[WriteableBuffer] = None) -> object:
    """A raw linear payload (a DDS file's, without header) converted to the console's layout: a new bytes
    object, or with out (a writable buffer of exactly the output size) written there and out returned.
    The payload must hold at least the linear size; bytes after it are not read."""
    return _native.convert(0, payload, *_surface(console, format, width, height, depth, levels, cube, array_size),
                           out)


@overload
def unswizzle(payload: ReadableBuffer, *, console: str, format: Union[int, str], width: int, height: int,
              depth: int = ..., levels: int = ..., cube: bool = ..., array_size: int = ...,
              out: None = ...) -> bytes:
    ...


@overload
def unswizzle(payload: ReadableBuffer, *, console: str, format: Union[int, str], width: int, height: int,
              depth: int = ..., levels: int = ..., cube: bool = ..., array_size: int = ..., out: _Out) -> _Out:
    ...


def unswizzle(payload: ReadableBuffer, *, console: str, format: Union[int, str], width: int, height: int,
              depth: int = 1, levels: int = 1, cube: bool = False, array_size: int = 1,
              out: Optional[WriteableBuffer] = None) -> object:
    """A raw console payload converted back to the linear layout: a new bytes object, or with out (a
    writable buffer of exactly the output size) written there and out returned. The payload must hold at
    least the console size; bytes after it are not read."""
    return _native.convert(1, payload, *_surface(console, format, width, height, depth, levels, cube, array_size),
                           out)


def convert_dds(data: ReadableBuffer, mode: str, console: str = "ps3") -> bytes:
    """A whole DDS file in memory converted, mode 'swiz' (linear to console) or 'unswiz': the bytes the
    ddsswizzle tool would write to the file."""
    direction = _word(mode, "mode", _MODES)
    target = _word(console, "console", _CONSOLES)
    result: bytes = _native.convert_dds(data, direction, target)
    return result


# read_dds: the library reads the header as the tool does; what it refuses but a description can still
# say (a format no console converts, a texture array) is completed from the DX10 extension here.

_DX10 = struct.Struct("<5I")  # DXGI format, resource dimension, misc flag, array size, misc flags 2
_DIMENSION_3D = 4
_FLAT_DIMENSIONS = (2, 3)  # 1D, 2D
_MISC_CUBE = 0x4


def read_dds(data: ReadableBuffer) -> DdsHeader:
    """The surface a DDS header describes and where its payload starts, as DdsHeader(surface,
    payload_offset); surface is ready for swizzle(payload, console=..., **surface) and check(). Every
    well-formed header is described, formats no console converts and texture arrays (array_size) too.
    Raises NotADdsTexture for what is no DDS texture, UnknownFormat for a pixel format no DXGI format
    stands for, and UnsupportedTextureType for a cube map without all six faces or a header that says
    both cube map and volume, which no surface describes."""
    status, reason, format, width, height, depth, levels, cube, _, offset = _native.read_dds(data)
    array_size = 1
    unknown_dx10 = status == 2 and reason == 4 and offset == 148
    if unknown_dx10 or (status == 3 and reason == 6):
        view = memoryview(data).cast("B")
        format, dimension, misc, array_size, _ = _DX10.unpack_from(view, 128)
        if format not in _NAMES:
            raise UnknownFormat(_native.status_message(2), _native.reason_text(4))
        if dimension not in (*_FLAT_DIMENSIONS, _DIMENSION_3D):  # a buffer, or no resource at all
            raise UnsupportedTextureType(_native.status_message(3), _native.reason_text(6))
        cube = bool(misc & _MISC_CUBE)
        if cube and dimension == _DIMENSION_3D:
            raise UnsupportedTextureType(_native.status_message(3), _native.reason_text(8))
        depth = min(struct.unpack_from("<I", view, 24)[0], _INT32[1]) if dimension == _DIMENSION_3D else 1
    elif status != 0:
        raise _ERRORS[status](_native.status_message(status), _native.reason_text(reason) or None)
    surface: Surface = {"format": format, "width": width, "height": height, "depth": depth, "levels": levels,
                        "cube": bool(cube), "array_size": array_size}
    return DdsHeader(surface, offset)


_ERRORS = (Error, NotADdsTexture, UnknownFormat, UnsupportedTextureType, UnsupportedSize, TruncatedData)


def dds_header(*, format: Union[int, str], width: int, height: int, depth: int = 1, levels: int = 1,
               cube: bool = False, array_size: int = 1, legacy: bool = True) -> bytes:
    """The header of a DDS file holding the surface: 128 bytes in the legacy form DDS readers expect where
    the format has one (DXT1 to DXT5, ATI1, ATI2, the RGB masks of the pixel formats, the float formats'
    numbers), else or with legacy=False 148 bytes with the DX10 extension. read_dds gives the surface
    back. A surface no console can convert may still be written, as long as its format is one of FORMATS
    and its sides, levels and kind are sound; array_size must be 1."""
    _, f, width, height, depth, levels, cube = _surface("ps3", format, width, height, depth, levels, cube,
                                                        array_size)
    if type(legacy) is not bool:
        legacy = _flag(legacy, "legacy")
    return _native.dds_header(f, width, height, depth, levels, cube, legacy)


def write_dds(payload: ReadableBuffer, *, format: Union[int, str], width: int, height: int, depth: int = 1,
              levels: int = 1, cube: bool = False, array_size: int = 1, legacy: bool = True) -> bytes:
    """A whole DDS file: dds_header(...) of the surface, then the payload, which must be exactly the
    surface's linear size (ValueError saying both lengths otherwise)."""
    header = dds_header(format=format, width=width, height=height, depth=depth, levels=levels, cube=cube,
                        array_size=array_size, legacy=legacy)
    view = _bytes_view(payload, "payload")
    size = _linear_size(header)
    if view.nbytes != size:
        raise ValueError(f"payload must be exactly the linear size, {size} bytes, not {view.nbytes}")
    return b"".join((header, view))


def _bytes_view(data: ReadableBuffer, name: str) -> memoryview:
    try:
        return memoryview(data).cast("B")
    except TypeError:
        raise TypeError(f"{name} must be a bytes-like object, not {_kind(data)}") from None


# Bytes of one element (a pixel, or a 4 x 4 block) and its side, by format: asked of the library once, on
# a console that stores the format, for the surfaces write_dds takes that no console converts.
_ELEMENTS: Dict[int, Tuple[int, int]] = {}


def _element(format: int) -> Tuple[int, int]:
    if format not in _ELEMENTS:
        console = 0 if _converts(format, 0) else 1
        one, four = (int(_native.sizes(console, format, side, side, 1, 1, False)[0]) for side in (1, 4))
        _ELEMENTS[format] = (one, 4 if four == one else 1)
    return _ELEMENTS[format]


def _linear_size(header: bytes) -> int:
    """The linear size of the surface a written header describes: face after face, each level
    max(1, side >> level) in whole elements."""
    surface = read_dds(header).surface
    size, side = _element(int(surface["format"]))
    width, height, depth = surface["width"], surface["height"], surface.get("depth", 1)
    level_sizes = (-(-max(1, width >> level) // side) * -(-max(1, height >> level) // side) * max(1, depth >> level)
                   for level in range(surface.get("levels", 1)))
    return sum(level_sizes) * size * (6 if surface.get("cube") else 1)


_PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def convert_file_status(path: _PathLike, direction: int, console: int) -> Tuple[int, int, int]:
    """The library's in-place rewrite of a file: (status, reason, errno)."""
    try:
        encoded = os.fsencode(path)
    except TypeError:
        raise TypeError(f"path must be a str or an os.PathLike, not {_kind(path)}") from None
    if b"\0" in encoded:
        raise ValueError("path must not contain a NUL character")
    return _native.convert_file(encoded, direction, console)


def convert_file(path: _PathLike, mode: str, console: str = "ps3") -> None:
    """Converts a DDS file in place as the ddsswizzle tool does, through a temporary file beside it, flushed
    and renamed over it, with the permission bits and owner kept (mode 'swiz' or 'unswiz'). A refused
    texture raises its Error subclass and leaves the file untouched; so does a system failure, as OSError
    with the system's errno and reason and the path (MemoryError when out of memory). NotConfirmedOnDisk
    (an Error and an OSError) means the file was converted, but the flush of its folder failed."""
    direction = _word(mode, "mode", _MODES)
    target = _word(console, "console", _CONSOLES)
    status, reason, error = convert_file_status(path, direction, target)
    if status == 0:
        return
    if status < len(_ERRORS):
        raise _ERRORS[status](_native.status_message(status), _native.reason_text(reason) or None)
    name = os.fsdecode(path)
    if status == _OUT_OF_MEMORY:
        raise MemoryError(f"{_native.status_message(status)}: {name}")
    if status == _NOT_CONFIRMED:
        raise NotConfirmedOnDisk(error, os.strerror(error), name)
    if status in _SYSTEM_FAILURES:
        raise OSError(error, os.strerror(error) if error else _native.status_message(status), name)
    raise ValueError(f"{_native.status_message(status)}: {_native.reason_text(reason)}")


_SYSTEM_FAILURES = (7, 8)  # cannot open, cannot write
_OUT_OF_MEMORY = 9
_NOT_CONFIRMED = 10
