// In-place conversion of files on disk: the rewrite, and every way it can be
// refused or fail with the file left exactly as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "support/files.h"
#include "support/processes.h"
#include "support/texture_builder.h"
#include "texture/texture_file.h"

namespace ddsswizzle {
namespace {

namespace fs = std::filesystem;
using testing::dxt_fields;
using testing::make_header;
using testing::make_texture;
using testing::read_file;
using testing::rgba_fields;
using testing::ScratchFolder;
using testing::stored_payload_size;
using testing::write_file;

std::vector<std::byte> sample_texture() {
    return make_texture(rgba_fields(32, 64, 32, 7), stored_payload_size(64, 32, 7, 4, false), 77);
}

std::vector<std::byte> expected_conversion(const std::vector<std::byte>& file, Direction direction) {
    std::vector<std::byte> converted(file.size());
    EXPECT_EQ(convert_texture_image(file, converted, direction), ConversionStatus::converted);
    return converted;
}

TEST(ConvertTextureFile, RewritesInPlaceAndRoundTrips) {
    ScratchFolder folder;
    const fs::path path = folder / "texture.dds";
    const std::vector<std::byte> original = make_texture(dxt_fields("DXT5", 512, 512, 10),
                                                         stored_payload_size(512, 512, 10, 16, true), 5);
    write_file(path, original);
    ASSERT_EQ(convert_texture_file(path, Direction::swizzle), ConversionStatus::converted);
    const std::vector<std::byte> swizzled = read_file(path);
    EXPECT_EQ(swizzled, expected_conversion(original, Direction::swizzle));
    EXPECT_NE(swizzled, original);
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + 128, swizzled.begin()));
    ASSERT_EQ(convert_texture_file(path, Direction::unswizzle), ConversionStatus::converted);
    EXPECT_EQ(read_file(path), original);
    EXPECT_EQ(folder.entries(), std::vector<fs::path>{"texture.dds"});
}

TEST(ConvertTextureFile, RefusedFilesAreLeftUntouched) {
    struct Case {
        std::vector<std::byte> bytes;
        ConversionStatus expected;
        const char* what;
    };
    std::vector<std::byte> no_signature = sample_texture();
    no_signature[0] = std::byte{'X'};
    std::vector<std::byte> short_header = make_header(rgba_fields(32, 4, 4, 1));
    short_header.resize(127);
    const Case cases[] = {
        {{}, ConversionStatus::not_a_texture, "empty file"},
        {short_header, ConversionStatus::not_a_texture, "127 bytes"},
        {no_signature, ConversionStatus::not_a_texture, "no signature"},
        {make_texture({16, 16, 1, {}, 0x40, 24}, 768), ConversionStatus::unknown_format, "24-bit RGB"},
        {make_texture(rgba_fields(32, 12, 16, 1), 768), ConversionStatus::unsupported_size, "side not a power of two"},
        {make_texture(rgba_fields(32, -16, 16, 1), 1024), ConversionStatus::unsupported_size, "negative width"},
        {make_texture(rgba_fields(32, 65536, 65536, 1), 1024), ConversionStatus::unsupported_size, "huge sides"},
        {make_texture(rgba_fields(32, 16, 16, 5), 1023), ConversionStatus::truncated, "header claims more data"},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        const fs::path path = folder / "texture.dds";
        write_file(path, c.bytes);
        for (const Direction direction : {Direction::swizzle, Direction::unswizzle}) {
            EXPECT_EQ(convert_texture_file(path, direction), c.expected) << c.what;
            EXPECT_EQ(read_file(path), c.bytes) << c.what;
            EXPECT_EQ(folder.entries(), std::vector<fs::path>{"texture.dds"}) << c.what;
        }
    }
}

TEST(ConvertTextureFile, MissingFileOrFolderCannotBeOpened) {
    ScratchFolder folder;
    EXPECT_EQ(convert_texture_file(folder / "missing.dds", Direction::swizzle), ConversionStatus::cannot_open);
    EXPECT_EQ(convert_texture_file(folder.path(), Direction::swizzle), ConversionStatus::cannot_open);
    EXPECT_TRUE(folder.entries().empty());
}

#ifndef _WIN32

TEST(ConvertTextureFile, SymbolicLinkStaysALinkAndItsTargetIsConverted) {
    ScratchFolder folder;
    fs::create_directory(folder / "real");
    const fs::path target = folder / "real" / "texture.dds";
    const fs::path link = folder / "link.dds";
    const std::vector<std::byte> original = sample_texture();
    write_file(target, original);
    fs::create_symlink(fs::path("real") / "texture.dds", link);
    ASSERT_EQ(convert_texture_file(link, Direction::swizzle), ConversionStatus::converted);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_EQ(fs::read_symlink(link), fs::path("real") / "texture.dds");
    EXPECT_EQ(read_file(target), expected_conversion(original, Direction::swizzle));
    EXPECT_EQ(fs::directory_iterator(folder / "real")->path().filename(), "texture.dds");
}

TEST(ConvertTextureFile, PermissionBitsAreKept) {
    for (const fs::perms mode : {fs::perms(0640), fs::perms(0604), fs::perms(0755)}) {
        ScratchFolder folder;
        const fs::path path = folder / "texture.dds";
        write_file(path, sample_texture());
        fs::permissions(path, mode);
        ASSERT_EQ(convert_texture_file(path, Direction::swizzle), ConversionStatus::converted);
        EXPECT_EQ(fs::status(path).permissions(), mode);
    }
}

// Runs a conversion as an unprivileged user in a child; returns its status.
int convert_unprivileged(const fs::path& path) {
    return testing::run_in_child(testing::drop_privileges, [&] {
        return static_cast<int>(convert_texture_file(path, Direction::swizzle));
    });
}

void open_up_for_unprivileged_user(const ScratchFolder& folder) {
    // The scratch folder is readable by everybody but writable only by its owner.
    fs::permissions(folder.path(), fs::perms(0755));
    fs::permissions(folder.path().parent_path(), fs::perms::others_exec, fs::perm_options::add);
}

TEST(ConvertTextureFile, FileTheUserMayNotWriteIsRefused) {
    ScratchFolder folder;
    open_up_for_unprivileged_user(folder);
    const fs::path path = folder / "texture.dds";
    const std::vector<std::byte> original = sample_texture();
    write_file(path, original);
    fs::permissions(path, fs::perms(0444));
    if (testing::running_as_root()) fs::permissions(path, fs::perms(0644));  // owned by root: not ours to write
    EXPECT_EQ(convert_unprivileged(path), static_cast<int>(ConversionStatus::cannot_open));
    EXPECT_EQ(read_file(path), original);
    EXPECT_EQ(folder.entries(), std::vector<fs::path>{"texture.dds"});
}

TEST(ConvertTextureFile, FolderWhereNoFileCanBeCreatedIsReportedAndUntouched) {
    ScratchFolder folder;
    open_up_for_unprivileged_user(folder);
    const fs::path path = folder / "texture.dds";
    const std::vector<std::byte> original = sample_texture();
    write_file(path, original);
    if (testing::running_as_root()) {
        ASSERT_EQ(::chown(path.c_str(), testing::unprivileged_user, testing::unprivileged_group), 0);
    } else {
        fs::permissions(folder.path(), fs::perms(0555));
    }
    EXPECT_EQ(convert_unprivileged(path), static_cast<int>(ConversionStatus::cannot_write));
    EXPECT_EQ(read_file(path), original);
    EXPECT_EQ(folder.entries(), std::vector<fs::path>{"texture.dds"});
}

TEST(ConvertTextureFile, WriteFailureLeavesOriginalAndNoTemporaryFile) {
    ScratchFolder folder;
    const fs::path path = folder / "texture.dds";
    const std::vector<std::byte> original = sample_texture();
    write_file(path, original);
    // A file-size limit below the texture's size, with SIGXFSZ ignored, makes
    // the write fail with EFBIG part way through.
    const int status = testing::run_in_child(
        [] { return std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && testing::limit_resource(RLIMIT_FSIZE, 4096); },
        [&] { return static_cast<int>(convert_texture_file(path, Direction::swizzle)); });
    EXPECT_EQ(status, static_cast<int>(ConversionStatus::cannot_write));
    EXPECT_EQ(read_file(path), original);
    EXPECT_EQ(folder.entries(), std::vector<fs::path>{"texture.dds"});
}

#if defined(__SANITIZE_ADDRESS__)
#define DDSSWIZZLE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DDSSWIZZLE_ADDRESS_SANITIZER 1
#endif
#endif

TEST(ConvertTextureFile, AllocationFailureIsReportedAndUntouched) {
#ifdef DDSSWIZZLE_ADDRESS_SANITIZER
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit this test sets";
#else
    ScratchFolder folder;
    const fs::path path = folder / "texture.dds";
    // A sparse 6 GiB file: a valid 16 x 16 texture with a very long payload.
    write_file(path, make_texture(rgba_fields(32, 16, 16, 1), 1024));
    fs::resize_file(path, std::uint64_t{6} << 30U);
    const auto before = fs::last_write_time(path);
    const int status = testing::run_in_child(
        [] { return testing::limit_resource(RLIMIT_AS, std::uint64_t{4} << 30U); },
        [&] { return static_cast<int>(convert_texture_file(path, Direction::swizzle)); });
    EXPECT_EQ(status, static_cast<int>(ConversionStatus::out_of_memory));
    EXPECT_EQ(fs::file_size(path), std::uint64_t{6} << 30U);
    EXPECT_EQ(fs::last_write_time(path), before);
    EXPECT_EQ(folder.entries(), std::vector<fs::path>{"texture.dds"});
#endif
}

#else  // _WIN32

// The same tests on Windows. A read-only file is refused there too; the
// others need what only POSIX systems have and say so.

TEST(ConvertTextureFile, SymbolicLinkStaysALinkAndItsTargetIsConverted) {
    GTEST_SKIP() << "the MinGW C++ library neither creates nor reads symbolic links on Windows (function not "
                    "supported), and creating one through the Windows API needs administrator rights or "
                    "Developer Mode; a link given to the tool is followed like any other path form, through "
                    "the file's final path name";
}

TEST(ConvertTextureFile, PermissionBitsAreKept) {
    GTEST_SKIP() << "Windows files have no POSIX permission bits: the new file takes the access rules its "
                    "folder passes on, as any file saved there does";
}

// Windows protects a file from writing with its read-only attribute, which
// holds for every user, administrators included.
TEST(ConvertTextureFile, FileTheUserMayNotWriteIsRefused) {
    ScratchFolder folder;
    const fs::path path = folder / "texture.dds";
    const std::vector<std::byte> original = sample_texture();
    write_file(path, original);
    ASSERT_NE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY), 0);
    EXPECT_EQ(convert_texture_file(path, Direction::swizzle), ConversionStatus::cannot_open);
    EXPECT_NE(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0U);
    // Cleared again, or the scratch folder could not be removed.
    EXPECT_NE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL), 0);
    EXPECT_EQ(read_file(path), original);
    EXPECT_EQ(folder.entries(), std::vector<fs::path>{"texture.dds"});
}

TEST(ConvertTextureFile, FolderWhereNoFileCanBeCreatedIsReportedAndUntouched) {
    GTEST_SKIP() << "needs a folder this user may not create files in, made with POSIX permission bits or "
                    "chown and a child process that gives up root (fork, setuid); a read-only attribute on a "
                    "Windows folder does not stop files being created in it";
}

TEST(ConvertTextureFile, WriteFailureLeavesOriginalAndNoTemporaryFile) {
    GTEST_SKIP() << "needs a forked child with a file-size limit (setrlimit RLIMIT_FSIZE) to make a write fail "
                    "part way; Windows has neither. A failed rename on Windows is checked by "
                    "ConvertTextureFile.FileOpenInAnotherProgram";
}

TEST(ConvertTextureFile, AllocationFailureIsReportedAndUntouched) {
    GTEST_SKIP() << "needs a forked child with an address-space limit (setrlimit RLIMIT_AS); Windows has "
                    "neither fork nor setrlimit";
}

#endif  // _WIN32

// A file name with Cyrillic letters and spaces, in a folder named the same
// way, and a texture holding CR, LF and 0x1A bytes in its header and payload:
// the name must reach the file system intact and no byte may be translated.
TEST(ConvertTextureFile, CyrillicNameWithSpacesConvertsAndRestoresByteForByte) {
    ScratchFolder folder;
    const fs::path subfolder = folder / u8"папка с пробелами";
    fs::create_directory(subfolder);
    const fs::path path = subfolder / u8"текстура 1.dds";
    std::vector<std::byte> original = sample_texture();
    testing::add_text_control_bytes(original);
    write_file(path, original);
    ASSERT_EQ(convert_texture_file(path, Direction::swizzle), ConversionStatus::converted);
    EXPECT_EQ(read_file(path), expected_conversion(original, Direction::swizzle));
    EXPECT_EQ(ScratchFolder::entries_of(subfolder), std::vector<fs::path>{u8"текстура 1.dds"});
    ASSERT_EQ(convert_texture_file(path, Direction::unswizzle), ConversionStatus::converted);
    EXPECT_EQ(read_file(path), original);
    EXPECT_EQ(ScratchFolder::entries_of(subfolder), std::vector<fs::path>{u8"текстура 1.dds"});
}

// Makes a folder the working folder while the object lives.
class WorkingFolder {
public:
    explicit WorkingFolder(const fs::path& folder) : previous_(fs::current_path()) { fs::current_path(folder); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;
    ~WorkingFolder() {
        std::error_code ignored;
        fs::current_path(previous_, ignored);
    }

private:
    fs::path previous_;
};

// However the path names the file, the file itself is converted and keeps
// its name (the temporary file is renamed onto the file's real name, not
// onto the spelling given), and nothing is left beside it.
TEST(ConvertTextureFile, EveryFormOfThePathConvertsTheSameFile) {
    ScratchFolder folder;
    const fs::path subfolder = fs::absolute(folder / u8"папка с пробелами").make_preferred();
    fs::create_directory(subfolder);
    const fs::path name = u8"текстура 1.dds";
    const fs::path path = subfolder / name;
    const std::vector<std::byte> original = sample_texture();
    write_file(path, original);
    const std::vector<std::byte> swizzled = expected_conversion(original, Direction::swizzle);
    const WorkingFolder inside(subfolder);

    std::vector<std::pair<fs::path, const char*>> forms = {
        {path, "absolute"},
        {name, "relative"},
        {fs::path(".") / name, "relative through ."},
        {fs::path("..") / u8"папка с пробелами" / name, "relative through .."},
        {fs::path(u8"../папка с пробелами/текстура 1.dds"), "forward slashes"},
    };
#ifdef _WIN32
    forms.emplace_back(path.root_directory() / path.relative_path(), "root-relative, on the current drive");
    forms.emplace_back(fs::path(L"\\\\?\\" + path.wstring()), "long-path prefix \\\\?\\");
    forms.emplace_back(subfolder / u8"ТЕКСТУРА 1.DDS", "other letter case");
    std::wstring short_path(MAX_PATH, L'\0');
    const DWORD length = ::GetShortPathNameW(path.c_str(), short_path.data(), MAX_PATH);
    short_path.resize(length < MAX_PATH ? length : 0);
    if (!short_path.empty() && fs::path(short_path).filename() != name) {
        forms.emplace_back(fs::path(short_path), "short 8.3 name");
    }
#endif
    for (const auto& [form, what] : forms) {
        const ConversionStatus status = convert_texture_file(form, Direction::swizzle);
        EXPECT_EQ(status, ConversionStatus::converted) << what;
        if (status != ConversionStatus::converted) continue;
        EXPECT_EQ(read_file(path), swizzled) << what;
        EXPECT_EQ(ScratchFolder::entries_of(subfolder), std::vector<fs::path>{name}) << what;
        EXPECT_EQ(convert_texture_file(form, Direction::unswizzle), ConversionStatus::converted) << what;
        EXPECT_EQ(read_file(path), original) << what;
        EXPECT_EQ(ScratchFolder::entries_of(subfolder), std::vector<fs::path>{name}) << what;
    }
}

// Another program has the texture open for reading, as an image viewer
// might. POSIX lets the new file take the name all the same, and the reader
// keeps the old contents (which also shows the file was replaced, not
// overwritten). Windows does not replace a file that is open without delete
// sharing (how the C runtime opens files), so the tool reports it and leaves
// the file and its folder as they were.
TEST(ConvertTextureFile, FileOpenInAnotherProgram) {
    ScratchFolder folder;
    const fs::path path = folder / "texture.dds";
    const std::vector<std::byte> original = sample_texture();
    write_file(path, original);
    std::ifstream reader(path, std::ios::binary);
    ASSERT_TRUE(reader.is_open());
#ifdef _WIN32
    EXPECT_EQ(convert_texture_file(path, Direction::swizzle), ConversionStatus::cannot_write);
    reader.close();
    EXPECT_EQ(read_file(path), original);
#else
    EXPECT_EQ(convert_texture_file(path, Direction::swizzle), ConversionStatus::converted);
    const std::vector<char> seen((std::istreambuf_iterator<char>(reader)), std::istreambuf_iterator<char>());
    ASSERT_EQ(seen.size(), original.size());
    EXPECT_TRUE(std::equal(seen.begin(), seen.end(), original.begin(),
                           [](char a, std::byte b) { return static_cast<std::byte>(a) == b; }));
    EXPECT_EQ(read_file(path), expected_conversion(original, Direction::swizzle));
#endif
    EXPECT_EQ(folder.entries(), std::vector<fs::path>{"texture.dds"});
}

}  // namespace
}  // namespace ddsswizzle

namespace ddsswizzle {
namespace {

TEST(SampleTexture, SwizzlesToMortonOrderAndBack) {
    testing::ScratchFolder folder;
    const std::filesystem::path path = folder / "gradient64.dds";
    const std::vector<std::byte> original = testing::read_file(DDSSWIZZLE_SAMPLE);
    ASSERT_EQ(original.size(), 128U + 4U * (4096 + 1024 + 256 + 64 + 16 + 4 + 1));
    testing::write_file(path, original);
    ASSERT_EQ(convert_texture_file(path, Direction::swizzle), ConversionStatus::converted);
    const std::vector<std::byte> swizzled = testing::read_file(path);
    // Top level, 64 x 64: pixel (2, 0) goes to Morton position 4, pixel (0, 1) to 2.
    auto pixel = [](const std::vector<std::byte>& file, std::size_t index) {
        return std::vector<std::byte>(file.begin() + 128 + 4 * index, file.begin() + 128 + 4 * index + 4);
    };
    EXPECT_EQ(pixel(swizzled, 4), pixel(original, 2));
    EXPECT_EQ(pixel(swizzled, 2), pixel(original, 64));
    ASSERT_EQ(convert_texture_file(path, Direction::unswizzle), ConversionStatus::converted);
    EXPECT_EQ(testing::read_file(path), original);
}

}  // namespace
}  // namespace ddsswizzle
