// Writing a file that must not exist yet: the extracted textures of a
// container land beside it or in a folder the user names, and a file of
// that name already there is somebody's work, never to be replaced.
#pragma once

#include <cstddef>
#include <span>

#include "file/file_io.h"

namespace ddsswizzle::file {

// Creates path as a new file (the system's exclusive create, so that a file
// made at the same moment by someone else is not replaced either), writes
// contents and flushes them to the disk. ok, or cannot_write with error set
// to the system's error number (EEXIST when the path exists); a file it
// created and could not complete is removed.
FileStatus create_new_file(const PathChar* path, std::span<const std::byte> contents, int& error) noexcept;

}  // namespace ddsswizzle::file
