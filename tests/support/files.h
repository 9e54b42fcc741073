// Scratch folders and whole-file reads and writes for the tests.
#pragma once

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

namespace ddsswizzle::testing {

// A fresh folder under the temporary folder, mode 0755 whatever the umask,
// removed with everything in it when the test ends.
class ScratchFolder {
public:
    ScratchFolder() {
        do {
            path_ = std::filesystem::temp_directory_path() / ("ddsswizzle-" + std::to_string(std::random_device{}()));
        } while (!std::filesystem::create_directory(path_));
        std::filesystem::permissions(path_, std::filesystem::perms(0755));
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        clear();
        std::filesystem::remove(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

    // Everything in the folder and its subfolders (links not followed),
    // sorted: what a run may have left behind.
    std::vector<std::filesystem::path> entries() const {
        std::vector<std::filesystem::path> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_)) {
            names.push_back(entry.path().lexically_relative(path_));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Empties the folder, giving back first the write access a test may have
    // taken away (Windows does not remove a read-only file) and the mode.
    void clear() const {
        using std::filesystem::perms;
        std::error_code ignored;
        std::filesystem::permissions(path_, perms(0755), ignored);
        for (const auto& name : entries()) {
            std::filesystem::permissions(path_ / name, perms::owner_write, std::filesystem::perm_options::add, ignored);
        }
        for (const auto& name : entries()) std::filesystem::remove_all(path_ / name, ignored);
    }

private:
    std::filesystem::path path_;
};

inline void write_file(const std::filesystem::path& path, const std::vector<std::byte>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

inline std::vector<std::byte> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::byte> bytes;
    std::transform(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), std::back_inserter(bytes),
                   [](char c) { return static_cast<std::byte>(c); });
    return bytes;
}

}  // namespace ddsswizzle::testing
