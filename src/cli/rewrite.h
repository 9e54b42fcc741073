// The in-place conversion of one texture file: read, checked and converted
// by the library, then replaced on the disk by the crash-safe rewrite.
#pragma once

#include <filesystem>
#include <string>

#include "ddsswizzle/ddsswizzle.hpp"

namespace ddsswizzle::tool {

// What happened to the file. Every outcome but converted and not_confirmed
// leaves it as it was; not_confirmed leaves it converted.
enum class Outcome {
    converted,
    refused,        // the library refused the texture (see the status)
    cannot_open,    // missing, unreadable, or not writable by this user
    cannot_write,   // the rewrite failed; the original is still in place
    out_of_memory,  // the buffers could not be allocated
    not_confirmed,  // converted and renamed into place, but the folder could not be flushed to the disk
};

struct FileConversion {
    Outcome outcome = Outcome::converted;
    Status refusal = Status::ok;
};

// Converts the texture file at path in place. The new contents go to a
// temporary file beside the target which then replaces it, so the file is
// either fully converted or left exactly as it was. A symbolic link is
// followed and stays a link; the target's permission bits are kept.
FileConversion convert_texture_file(const std::filesystem::path& path, Direction direction, Console console);

// What the tool prints for it: nothing when the file was rewritten.
std::string message_for(const FileConversion& conversion);

}  // namespace ddsswizzle::tool
