// ddsswizzle: texture data converted between the linear layout of a desktop
// texture and the swizzled or tiled layout the graphics hardware of the PS3
// and the Xbox 360 reads; whole surfaces (every level, every face of a cube
// map, volumes, the Xbox 360's packed mip tail) between caller-owned buffers,
// or whole DDS files in memory or on the disk.
//
// C99. Nothing here throws or keeps state, and nothing allocates but the
// rewrite of a file (ddsswizzle_convert_file): every function may be called
// from any number of threads at once. Each returns a status; the
// statuses a texture can be refused with carry the messages of the
// ddsswizzle tool (ddsswizzle_status_message), and a refusal names its
// reason when asked (ddsswizzle_reason_text). A buffer is never partly
// written: a conversion either writes all of its result or nothing.
//
// Formats are DXGI_FORMAT numbers (71 BC1_UNORM, 77 BC3_UNORM, 87
// B8G8R8A8_UNORM ...). The linear layout is the one a DDS file stores: face
// after face, each with its levels from the largest, every level
// max(1, width >> level) x max(1, height >> level) pixels in whole 4 x 4
// blocks for compressed formats.
//
// Link with -lddsswizzle (pkg-config ddsswizzle), or in CMake
// find_package(ddsswizzle) and the target ddsswizzle::ddsswizzle. A program
// linking the static library on Windows defines DDSSWIZZLE_STATIC first (the
// CMake target ddsswizzle::ddsswizzle_static does so).
#ifndef DDSSWIZZLE_H
#define DDSSWIZZLE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(DDSSWIZZLE_STATIC)
#if defined(DDSSWIZZLE_BUILDING)
#define DDSSWIZZLE_API __declspec(dllexport)
#else
#define DDSSWIZZLE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define DDSSWIZZLE_API __attribute__((visibility("default")))
#else
#define DDSSWIZZLE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef enum ddsswizzle_status {
    DDSSWIZZLE_OK = 0,
    DDSSWIZZLE_NOT_A_DDS_TEXTURE = 1,  // "Not a DDS texture"
    DDSSWIZZLE_UNKNOWN_FORMAT = 2,  // "Unknown format"
    DDSSWIZZLE_UNSUPPORTED_TEXTURE_TYPE = 3,  // "Unsupported texture type"
    DDSSWIZZLE_UNSUPPORTED_SIZE = 4,  // "Unsupported size"
    DDSSWIZZLE_TRUNCATED_DATA = 5,  // "Texture data is truncated"
    DDSSWIZZLE_INVALID_ARGUMENT = 6,  // "Invalid argument": a call the caller got wrong
    // Statuses of ddsswizzle_convert_file alone; with each, errno holds the
    // system's error number (see there).
    DDSSWIZZLE_CANNOT_OPEN_FILE = 7,  // "Cannot open file"
    DDSSWIZZLE_CANNOT_WRITE_FILE = 8,  // "Cannot write file"
    DDSSWIZZLE_OUT_OF_MEMORY = 9,  // "Out of memory"
    DDSSWIZZLE_NOT_CONFIRMED_ON_DISK = 10,  // "Converted, not confirmed on disk"
    DDSSWIZZLE_NOT_A_TEXTURE_CONTAINER = 11  // "Not a texture container": no GTF or XPR2 structure
} ddsswizzle_status;

// Why a texture or a call was refused; each reason belongs to one status.
typedef enum ddsswizzle_reason {
    DDSSWIZZLE_REASON_NONE = 0,
    DDSSWIZZLE_REASON_SHORT_FILE = 1,  // not a DDS texture
    DDSSWIZZLE_REASON_NO_SIGNATURE = 2,
    DDSSWIZZLE_REASON_SHORT_EXTENDED_HEADER = 3,
    DDSSWIZZLE_REASON_FORMAT_NOT_RECOGNISED = 4,  // unknown format
    DDSSWIZZLE_REASON_FORMAT_NOT_ON_CONSOLE = 5,
    DDSSWIZZLE_REASON_TEXTURE_ARRAY = 6,  // unsupported texture type
    DDSSWIZZLE_REASON_PARTIAL_CUBE_MAP = 7,
    DDSSWIZZLE_REASON_CUBE_MAP_AND_VOLUME = 8,
    DDSSWIZZLE_REASON_VOLUME_NOT_ON_CONSOLE = 9,
    DDSSWIZZLE_REASON_SIDE_NOT_POSITIVE = 10,  // unsupported size
    DDSSWIZZLE_REASON_WIDTH_NOT_POWER_OF_TWO = 11,
    DDSSWIZZLE_REASON_HEIGHT_NOT_POWER_OF_TWO = 12,
    DDSSWIZZLE_REASON_DEPTH_NOT_POWER_OF_TWO = 13,
    DDSSWIZZLE_REASON_SIDE_ABOVE_LIMIT = 14,
    DDSSWIZZLE_REASON_LEVEL_COUNT_OUT_OF_RANGE = 15,
    DDSSWIZZLE_REASON_LEVEL_TOO_LARGE = 16,
    DDSSWIZZLE_REASON_DATA_SHORT = 17,  // truncated data
    DDSSWIZZLE_REASON_NULL_POINTER = 18,  // invalid argument
    DDSSWIZZLE_REASON_UNKNOWN_CONSOLE_OR_DIRECTION = 19,
    DDSSWIZZLE_REASON_RESULT_TOO_SMALL = 20,
    DDSSWIZZLE_REASON_BUFFERS_OVERLAP = 21,
    DDSSWIZZLE_REASON_NO_SUCH_LEVEL = 22,
    DDSSWIZZLE_REASON_HEADER_NOT_GIVEN = 23,
    DDSSWIZZLE_REASON_FILE_NOT_OPENED = 24,  // cannot open file
    DDSSWIZZLE_REASON_FILE_NOT_READ = 25,
    DDSSWIZZLE_REASON_FILE_NOT_REPLACED = 26,  // cannot write file
    DDSSWIZZLE_REASON_NO_MEMORY_FOR_FILE = 27,  // out of memory
    DDSSWIZZLE_REASON_FOLDER_NOT_FLUSHED = 28,  // converted, not confirmed on disk
    DDSSWIZZLE_REASON_CONTAINER_SHORT_FILE = 29,  // not a texture container
    DDSSWIZZLE_REASON_CONTAINER_NO_ENTRIES = 30,
    DDSSWIZZLE_REASON_CONTAINER_TABLE_PAST_END = 31,
    DDSSWIZZLE_REASON_CONTAINER_RANGE_OUTSIDE = 32,
    DDSSWIZZLE_REASON_CONTAINER_TEXTURES_OVERLAP = 33,
    DDSSWIZZLE_REASON_CONTAINER_ENTRY_STRIDE = 34,
    DDSSWIZZLE_REASON_CONTAINER_NAME_OUTSIDE = 35,
    DDSSWIZZLE_REASON_CONTAINER_BLOCKS_PAST_END = 36,  // truncated data
    DDSSWIZZLE_REASON_DESCRIPTOR_PAGES_OUTSIDE = 37,
    DDSSWIZZLE_REASON_DESCRIPTOR_CUBE_STRIDE = 38,
    DDSSWIZZLE_REASON_DESCRIPTOR_FORMAT = 39,  // unknown format
    DDSSWIZZLE_REASON_DESCRIPTOR_SWIZZLE = 40,
    DDSSWIZZLE_REASON_DESCRIPTOR_TEXTURE_TYPE = 41,  // unsupported texture type
    DDSSWIZZLE_REASON_DESCRIPTOR_LINEAR_MIPS = 42,
    DDSSWIZZLE_REASON_DESCRIPTOR_TAIL_PAGES = 43,
    DDSSWIZZLE_REASON_DESCRIPTOR_AREAS_OVERLAP = 44,
    DDSSWIZZLE_REASON_DESCRIPTOR_PITCH = 45,  // unsupported size
    DDSSWIZZLE_REASON_DESCRIPTOR_MIP_MIN_LEVEL = 46,
    DDSSWIZZLE_REASON_REPLACEMENT_FORMAT = 47,  // unknown format
    DDSSWIZZLE_REASON_REPLACEMENT_TYPE = 48,  // unsupported texture type
    DDSSWIZZLE_REASON_REPLACEMENT_SIDES = 49,  // unsupported size
    DDSSWIZZLE_REASON_REPLACEMENT_LEVELS = 50,
    DDSSWIZZLE_REASON_NO_SUCH_TEXTURE = 51,  // invalid argument
    DDSSWIZZLE_REASON_NOT_A_TEXTURE_ENTRY = 52
} ddsswizzle_reason;

typedef enum ddsswizzle_console { DDSSWIZZLE_PS3 = 0, DDSSWIZZLE_X360 = 1 } ddsswizzle_console;

// SWIZZLE reads the linear layout and writes the console's; UNSWIZZLE the
// other way.
typedef enum ddsswizzle_direction { DDSSWIZZLE_SWIZZLE = 0, DDSSWIZZLE_UNSWIZZLE = 1 } ddsswizzle_direction;

typedef struct ddsswizzle_surface {
    uint32_t format;  // DXGI_FORMAT number
    int32_t width;  // level 0, in pixels
    int32_t height;
    int32_t depth;  // 1; above 1, a volume of that many slices
    int32_t levels;  // mip levels, 1 or more
    int32_t cube;  // nonzero: a cube map, six faces
} ddsswizzle_surface;

// One level of one face: its size, and where its bytes are in the linear
// layout and in the console's. On the PS3 every level keeps its place. On
// the Xbox 360 the console place is the slice of the region the level is
// drawn in, 4 KiB aligned; the levels of the packed mip tail share one.
typedef struct ddsswizzle_placement {
    int32_t level;
    int32_t face;
    int32_t width;  // pixels
    int32_t height;
    int32_t depth;
    uint64_t linear_offset;
    uint64_t linear_length;
    uint64_t console_offset;
    uint64_t console_length;
} ddsswizzle_placement;

// What a DDS header describes.
typedef struct ddsswizzle_dds {
    ddsswizzle_surface surface;
    int32_t volume;  // nonzero when the header says volume (a depth of 1 included)
    uint32_t payload_offset;  // 128, or 148 with the DX10 extension
} ddsswizzle_dds;

// "1.2.0"
DDSSWIZZLE_API const char* ddsswizzle_version(void);

// The tool's message for a status ("Unknown format"), and a sentence for a
// reason; "" for a value not listed above.
DDSSWIZZLE_API const char* ddsswizzle_status_message(ddsswizzle_status status);
DDSSWIZZLE_API const char* ddsswizzle_reason_text(ddsswizzle_reason reason);

// The DXGI name without its DXGI_FORMAT_ prefix ("BC3_UNORM"); "" for a
// number DXGI does not define.
DDSSWIZZLE_API const char* ddsswizzle_format_name(uint32_t format);

// The number of a name (length bytes, no terminator needed), matched
// exactly. Returns 1 and sets *format when found, else 0.
DDSSWIZZLE_API int ddsswizzle_format_number(const char* name, size_t length, uint32_t* format);

// Whether the console can convert the surface, in the order the tool checks:
// format, texture type, sizes. reason may be NULL.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_check(const ddsswizzle_surface* surface, ddsswizzle_console console,
                                                  ddsswizzle_reason* reason);

// The bytes of the surface in the linear layout and in the console's (either
// pointer may be NULL).
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_sizes(const ddsswizzle_surface* surface, ddsswizzle_console console,
                                                  uint64_t* linear_size, uint64_t* console_size);

// Where a level (0 to levels - 1) of a face (0, or 0 to 5 for a cube map)
// is.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_place(const ddsswizzle_surface* surface, ddsswizzle_console console,
                                                  int32_t level, int32_t face, ddsswizzle_placement* placement);

// Converts a whole surface from source into result. source holds at least
// the input size (SWIZZLE: the linear size, UNSWIZZLE: the console size;
// bytes beyond it are not read), result at least the output size, of which
// exactly that many bytes are written. The buffers must not overlap.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_convert(const ddsswizzle_surface* surface, ddsswizzle_console console,
                                                    ddsswizzle_direction direction, const void* source,
                                                    size_t source_size, void* result, size_t result_size);

// Reads a DDS header as the tool does (the same recognition table, the same
// refusals of what is no texture): size bytes of the file, all of it or at
// least its first 148. Whether a console can hold the surface is for
// ddsswizzle_check. reason may be NULL.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_read_dds(const void* data, size_t size, ddsswizzle_dds* dds,
                                                     ddsswizzle_reason* reason);

// Writes the DDS header (128 bytes, or 148 with the DX10 extension) that
// describes the surface, for a payload in the linear layout to follow: what
// ddsswizzle_read_dds reads back as this surface. legacy nonzero: a legacy
// header where DDS readers expect one (FourCC DXT1, DXT3, DXT5, ATI1 for
// BC4_UNORM, ATI2 for BC5_UNORM; Direct3D's numbers for the three float
// formats; the RGB, luminance or alpha masks of A8R8G8B8, X8R8G8B8,
// A8B8G8R8, R5G6B5, A1R5G5B5, A4R4G4B4, L8, A8L8, L16 and A8), the DX10
// extension otherwise; legacy 0: always the DX10 extension. 148 bytes always
// suffice; *written is set to the header's length. Refused: a format
// ddsswizzle has no storage for (unknown format); a cube map that is a volume
// (unsupported texture type); a side or depth zero or negative, no level or
// more than the longest side allows, a level 0 whose row (or, compressed,
// whole size) is 2 GiB or more (unsupported size); a buffer too small or a
// null pointer (invalid argument). A surface no console converts (sides not
// powers of two, compressed volumes ...) still gets its header.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_dds_header(const ddsswizzle_surface* surface, int legacy,
                                                       void* buffer, size_t size, size_t* written);

// Checks a DDS file of file_size bytes, of which file_start holds the first
// start_size (all of it, or at least the first 148), as the tool checks it
// before converting, and gives the length the converted file will have. Any
// out pointer may be NULL.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_check_dds(const void* file_start, size_t start_size, uint64_t file_size,
                                                      ddsswizzle_console console, ddsswizzle_direction direction,
                                                      uint64_t* converted_size, ddsswizzle_reason* reason);

// Converts a whole DDS file held in memory into result, which holds at least
// the converted size (ddsswizzle_check_dds); exactly that many bytes are
// written, the same bytes the tool writes to the file. The buffers must not
// overlap.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_convert_dds(const void* file, size_t file_size, void* result,
                                                        size_t result_size, ddsswizzle_console console,
                                                        ddsswizzle_direction direction);

// Converts the DDS file at path in place, as the ddsswizzle tool does, with
// the same checks and statuses as ddsswizzle_convert_dds and four of its own
// (path: UTF-8 on Windows, the file system's bytes elsewhere). The new
// contents go to a temporary file beside the file, which is flushed to the
// disk and renamed over it, and then the folder is flushed, so that the path
// names the old file or the whole new one even after a power cut. The
// permission bits are kept, and the owner where the caller may give it; a
// symbolic link is followed and stays a link; another hard link to the file
// keeps the old contents. The file must be a regular file the caller may
// read and write.
//
// Every status but NOT_CONFIRMED_ON_DISK leaves the file untouched and
// nothing beside it; NOT_CONFIRMED_ON_DISK means the file is converted and
// renamed into place, but its folder could not be flushed (convert it no
// more). On CANNOT_OPEN_FILE, CANNOT_WRITE_FILE, OUT_OF_MEMORY and
// NOT_CONFIRMED_ON_DISK, errno holds the system's error number on return
// (ENOENT, EACCES, EISDIR, ENOSPC ...; EINVAL for a pipe or a device, ENOMEM
// for memory; on Windows the C runtime's errno values for the system's
// errors). Otherwise errno is left as it was. reason may be NULL. A file
// that grows while it is read is refused as CANNOT_OPEN_FILE (errno EAGAIN),
// one that shrinks as TRUNCATED_DATA. Allocates the file's size (the file as
// read) and a staging area of at most 8 MiB, freed before it returns: the
// converted file is made a few MiB at a time while a second thread, started
// and ended within the call, writes the pieces before.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_convert_file(const char* path, ddsswizzle_console console,
                                                         ddsswizzle_direction direction, ddsswizzle_reason* reason);

#ifdef _WIN32
// The same with a UTF-16 path.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_convert_file_w(const wchar_t* path, ddsswizzle_console console,
                                                           ddsswizzle_direction direction, ddsswizzle_reason* reason);
#endif
// ---------------------------------------------------------------------------
// Console texture descriptors and the containers that hold them.
//
// A PS3 texture is described by its 24-byte GCM texture descriptor
// (CellGcmTexture, big-endian), an Xbox 360 texture by its 24-byte texture
// fetch constant (six big-endian dwords). The PS3 SDK writes textures into
// GTF files (a table of records, each a descriptor and the texture's bytes),
// the Xbox 360 SDK into XPR2 files (a table of resources; a texture's
// resource is a 52-byte header holding the fetch constant, its data in the
// file's data block). Containers are read from bytes held in memory, all
// of them: every offset and count is checked against them before anything
// is read, and nothing is read past them.
//
// The layout a descriptor gives is not the tool's PS3 layout of DDS files:
// the PS3 reads DXT blocks in plain row order, 32-bit pixels as big-endian
// 0xAARRGGBB words, and rows `pitch` bytes apart when the descriptor's LN
// bit is set; the Xbox 360 layout follows the fetch constant's base and mip
// pages, byte order and packed-tail bit.
// ---------------------------------------------------------------------------

// Where the bytes of a descriptor's texture are, from the start of the data
// its offsets count from (PS3: the texture's own bytes; Xbox 360: the data
// block its base and mip pages count from).
typedef struct ddsswizzle_descriptor_layout {
    ddsswizzle_console console;
    uint32_t console_format;  // PS3: the GCM format byte as stored (LN 0x20, UN 0x40 included); Xbox 360: the GPU format
    int32_t swizzled;  // nonzero: PS3 Morton order, Xbox 360 tiled; 0: rows of blocks
    // Bytes between rows of blocks where rows are linear (PS3 with LN, Xbox
    // 360 linear); level 0's pitch in blocks where the Xbox 360 tiles; 0
    // where rows are packed or in Morton order.
    uint32_t pitch;
    uint32_t byte_order;  // the swap the console image carries: 0 none, 1 8in16, 2 8in32, 3 16in32
    int32_t packed_tail;  // nonzero: the small Xbox 360 levels share a packed tail
    uint64_t level0_offset;  // where level 0 starts
    uint64_t mips_offset;  // where level 1 starts (on the Xbox 360, the mip pages)
    uint64_t face_stride;  // PS3: from one cube face's chain to the next; Xbox 360: one face's slice of level 0
    uint64_t end;  // one past the last byte of the texture
} ddsswizzle_descriptor_layout;

// Reads a 24-byte descriptor (descriptor_size must be 24) of a texture whose
// data is data_size bytes: the surface (format, sides, levels, cube map; a
// PS3 volume has its depth) and the layout. Refused, as a DDS file would
// be, when the format, texture type or sizes are none this library converts
// or when a level lies outside the data. surface, layout and reason may be
// NULL.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_read_descriptor(const void* descriptor, size_t descriptor_size,
                                                            ddsswizzle_console console, uint64_t data_size,
                                                            ddsswizzle_surface* surface,
                                                            ddsswizzle_descriptor_layout* layout,
                                                            ddsswizzle_reason* reason);

// Converts a texture laid out as its descriptor says. SWIZZLE: source holds
// the linear levels (ddsswizzle_sizes gives their length for the surface),
// result the console data (result_size is its length, which the descriptor's
// offsets count in): the texture's bytes are written, padding zero, and
// every other byte of result is left as it was. UNSWIZZLE: source holds the
// console data (source_size its length), result receives the linear levels.
// The buffers must not overlap. reason may be NULL.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_convert_descriptor(const void* descriptor, size_t descriptor_size,
                                                               ddsswizzle_console console,
                                                               ddsswizzle_direction direction, const void* source,
                                                               size_t source_size, void* result, size_t result_size,
                                                               ddsswizzle_reason* reason);

// One entry of a container.
typedef struct ddsswizzle_texture_entry {
    uint32_t index;
    ddsswizzle_console console;  // PS3 for a GTF file, Xbox 360 for an XPR2 file
    int32_t is_texture;  // 0: an XPR2 resource that is no texture (vertex buffer, shader, user data ...)
    uint32_t type;  // XPR2: the FourCC as a big-endian number ('TX2D' 0x54583244); GTF: 0
    uint32_t id;  // GTF: the record's id; XPR2: the index
    uint64_t name_offset;  // XPR2: the name's bytes in the file (no terminator); GTF: 0, 0
    uint64_t name_length;
    uint64_t descriptor_offset;  // the 24 descriptor bytes in the file
    uint64_t record_offset;  // GTF: the texture's bytes; XPR2: the resource's (a texture's 52-byte header)
    uint64_t record_size;
    uint64_t data_offset;  // what the descriptor's offsets count from: GTF the texture, XPR2 the data block
    uint64_t data_size;
    // Whether the texture converts: DDSSWIZZLE_OK, or the status and reason
    // it is refused with; surface, layout and areas are set only when it does.
    ddsswizzle_status status;
    ddsswizzle_reason reason;
    ddsswizzle_surface surface;
    ddsswizzle_descriptor_layout layout;
    uint64_t area_offset[2];  // the bytes of the file its data fills (the second empty on the PS3 and without mips)
    uint64_t area_length[2];
} ddsswizzle_texture_entry;

// Reads a GTF or XPR2 file held in memory (size bytes, all of it): its
// console and the number of its entries. DDSSWIZZLE_NOT_A_TEXTURE_CONTAINER
// (or DDSSWIZZLE_TRUNCATED_DATA for an XPR2 whose blocks run past the end)
// when its structure is broken: too short, a table or a record outside the
// file, an XPR2 entry table not of 16-byte entries, two textures sharing
// bytes. console, count and reason may be NULL.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_container_count(const void* data, size_t size,
                                                            ddsswizzle_console* console, uint32_t* count,
                                                            ddsswizzle_reason* reason);

// Entry index (0 to count - 1) of a container. The status is the
// container's (as ddsswizzle_container_count) or an invalid argument; the
// entry's own verdict is in entry->status and entry->reason.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_container_texture(const void* data, size_t size, uint32_t index,
                                                              ddsswizzle_texture_entry* entry,
                                                              ddsswizzle_reason* reason);

// Texture index of a container as a whole DDS file: its header (a legacy
// header where one names the format, else DX10), then the linear levels.
// Called with result NULL and result_size 0 it only sets *written to the
// file's length; otherwise result must hold that many bytes (else an invalid
// argument, *written set all the same) and must not overlap data. A refused
// call writes nothing. written and reason may be NULL.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_extract(const void* data, size_t size, uint32_t index, void* result,
                                                    size_t result_size, size_t* written, ddsswizzle_reason* reason);

// A new image of the container in result, exactly as long as the container,
// with texture index holding the texture of the DDS file dds (dds_size
// bytes) converted to that texture's layout; every other byte is copied
// (the texture's padding is zero). The DDS texture must have the texture's
// format (or one stored alike: typeless, unorm, srgb ...), texture type and
// sides, and at least its levels; extra levels are left out. Anything else
// is refused with a reason saying what differs. The size query and the
// buffer rules are those of ddsswizzle_extract; result overlaps neither
// input.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_replace(const void* data, size_t size, uint32_t index, const void* dds,
                                                    size_t dds_size, void* result, size_t result_size,
                                                    size_t* written, ddsswizzle_reason* reason);

// Replaces texture index of the GTF or XPR2 file at container_path, in
// place, by the texture of the DDS file at dds_path, as ddsswizzle_replace
// does in memory: the container is read whole, the new image written
// through the durable rewrite of ddsswizzle_convert_file (a temporary file
// flushed and renamed over it, the folder flushed), with its statuses,
// errno and guarantees. Paths as there. CANNOT_OPEN_FILE with the reason
// DDSSWIZZLE_REASON_FILE_NOT_READ is the DDS file's (missing, unreadable or
// a read failed), with DDSSWIZZLE_REASON_FILE_NOT_OPENED the container's;
// every other file status is the container's. Allocates the container's size twice and the DDS
// file's once, freed before it returns. reason may be NULL.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_replace_file(const char* container_path, uint32_t index,
                                                         const char* dds_path, ddsswizzle_reason* reason);

#ifdef _WIN32
// The same with UTF-16 paths.
DDSSWIZZLE_API ddsswizzle_status ddsswizzle_replace_file_w(const wchar_t* container_path, uint32_t index,
                                                           const wchar_t* dds_path, ddsswizzle_reason* reason);
#endif

#ifdef __cplusplus
}
#endif

#endif  // DDSSWIZZLE_H
