// The command-line driver: every outcome with its exact output and exit
// status, in process and through the real executable.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/driver.h"
#include "cli/messages.h"
#include "support/files.h"
#include "support/texture_builder.h"
#include "support/tool_process.h"
#include "texture/texture_file.h"

namespace ddsswizzle {
namespace {

namespace fs = std::filesystem;
using testing::make_texture;
using testing::read_file;
using testing::rgba_fields;
using testing::ScratchFolder;
using testing::write_file;

const std::string banner =
    "\nPS3 & Xbox360 swizzling tool\nIf any problem, contact the ddsswizzle issue tracker\n"
    "\nUsage: *.exe unswiz/swiz *.dds [ps3/x360]\n";

// Placeholders in a case's arguments, replaced by paths in the scratch folder.
constexpr const char* texture_word = "<texture>";
constexpr const char* missing_word = "<missing>";

struct DriverCase {
    std::vector<std::string> arguments;
    std::string output;
    int status;
    bool changes_file;
    const char* what;
};

const DriverCase driver_cases[] = {
    {{}, banner, -1, false, "no arguments"},
    {{"swiz"}, banner, -1, false, "only a mode word"},
    {{"swiz", texture_word}, "\n", 0, true, "swiz, no platform word: PS3"},
    {{"unswiz", texture_word}, "\n", 0, true, "unswiz"},
    {{"swiz", texture_word, "ps3"}, "\n", 0, true, "ps3"},
    {{"swiz", texture_word, "PS3"}, "\n", 0, true, "any word but x360 selects the PS3"},
    {{"swiz", texture_word, "X360"}, "\n", 0, true, "X360 in capitals is not the Xbox"},
    {{"swiz", texture_word, "x36"}, "\n", 0, true, "shorter than four characters"},
    {{"swiz", texture_word, "ps3", "extra"}, "\n", 0, true, "further arguments ignored"},
    {{"swiz", texture_word, "x360"}, "\nX360 not ready yet...\n", 1, false, "x360"},
    {{"swiz", texture_word, "x3600"}, "\nX360 not ready yet...\n", 1, false, "prefix test"},
    {{"swiz", missing_word, "x360"}, "\nX360 not ready yet...\n", 1, false, "file need not exist"},
    {{"SWIZ", texture_word}, "\nWRONG MODE\n\n", 1, false, "letter case"},
    {{"Swiz", texture_word}, "\nWRONG MODE\n\n", 1, false, "one capital"},
    {{"swizz", texture_word}, "\nWRONG MODE\n\n", 1, false, "too long"},
    {{"unswiz2", texture_word}, "\nWRONG MODE\n\n", 1, false, "too long"},
    {{"swi", texture_word}, "\nWRONG MODE\n\n", 1, false, "too short"},
    {{"", texture_word}, "\nWRONG MODE\n\n", 1, false, "empty"},
    {{"wrong", texture_word, "x360"}, "\nWRONG MODE\n\n", 1, false, "mode tested before platform"},
    {{"swiz", missing_word}, "\nCannot open file\n", 1, false, "missing file"},
};

std::vector<std::byte> driver_texture() { return make_texture(rgba_fields(32, 32, 32, 6), 4 * 1365, 9); }

TEST(RunDriver, EveryOutcome) {
    for (const DriverCase& c : driver_cases) {
        ScratchFolder folder;
        const std::vector<std::byte> original = driver_texture();
        write_file(folder / "t.dds", original);
        std::vector<fs::path> arguments;
        for (const std::string& word : c.arguments) {
            if (word == texture_word) {
                arguments.push_back(folder / "t.dds");
            } else if (word == missing_word) {
                arguments.push_back(folder / "missing.dds");
            } else {
                arguments.emplace_back(word);
            }
        }
        std::string output;
        EXPECT_EQ(run_driver(arguments, output), c.status) << c.what;
        EXPECT_EQ(output, c.output) << c.what;
        EXPECT_EQ(read_file(folder / "t.dds") != original, c.changes_file) << c.what;
        EXPECT_FALSE(fs::exists(folder / "missing.dds")) << c.what;
    }
}

TEST(RunDriver, EveryConversionFailureHasItsMessage) {
    const std::pair<ConversionStatus, std::string_view> cases[] = {
        {ConversionStatus::converted, ""},
        {ConversionStatus::cannot_open, "\nCannot open file"},
        {ConversionStatus::not_a_texture, "\nNot a DDS texture"},
        {ConversionStatus::unknown_format, "\nUnknown format"},
        {ConversionStatus::unsupported_type, "\nUnsupported texture type"},
        {ConversionStatus::unsupported_size, "\nUnsupported size"},
        {ConversionStatus::truncated, "\nTexture data is truncated"},
        {ConversionStatus::cannot_write, "\nCannot write file"},
        {ConversionStatus::out_of_memory, "\nOut of memory"},
    };
    for (const auto& [status, text] : cases) EXPECT_EQ(messages::for_status(status), text);
}

// The real executable, as scripts run it, on every platform.

// How a calling process sees the tool's -1: POSIX passes on only the low 8
// bits of an exit status, Windows the whole 32-bit value.
#ifdef _WIN32
constexpr int usage_status_seen_by_caller = -1;
#else
constexpr int usage_status_seen_by_caller = 255;
#endif

testing::ToolRun run_tool(const std::vector<fs::path>& arguments) {
    return testing::run_tool(DDSSWIZZLE_EXECUTABLE, arguments);
}

TEST(Executable, ExitStatusesAndOutput) {
    ScratchFolder folder;
    const fs::path path = folder / "t.dds";
    const std::vector<std::byte> original = driver_texture();
    write_file(path, original);

    testing::ToolRun run = run_tool({});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.status, usage_status_seen_by_caller);
    EXPECT_EQ(run.output, banner);

    run = run_tool({"swiz"});
    EXPECT_EQ(run.status, usage_status_seen_by_caller);
    EXPECT_EQ(run.output, banner);

    run = run_tool({"swiz", path, "x360"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "\nX360 not ready yet...\n");

    run = run_tool({"Swiz", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "\nWRONG MODE\n\n");

    run = run_tool({"swiz", folder / "missing.dds"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "\nCannot open file\n");
    EXPECT_EQ(read_file(path), original);

    run = run_tool({"swiz", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "\n");
    EXPECT_NE(read_file(path), original);

    run = run_tool({"unswiz", path, "ps3"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "\n");
    EXPECT_EQ(read_file(path), original);
    EXPECT_EQ(folder.entries(), std::vector<fs::path>{"t.dds"});
}

// A file name with Cyrillic letters and spaces, in a folder named the same
// way, and a texture holding CR, LF and 0x1A bytes in its header and payload:
// the name must reach the file system intact and no byte may be translated.
TEST(Executable, ConvertsAndRestoresCyrillicNameWithSpacesByteForByte) {
    ScratchFolder folder;
    const fs::path subfolder = folder / u8"папка с пробелами";
    fs::create_directory(subfolder);
    const fs::path path = subfolder / u8"текстура 1.dds";
    std::vector<std::byte> original = make_texture(rgba_fields(32, 64, 32, 7),
                                                   testing::stored_payload_size(64, 32, 7, 4, false), 31);
    testing::add_text_control_bytes(original);
    write_file(path, original);
    std::vector<std::byte> swizzled(original.size());
    ASSERT_EQ(convert_texture_image(original, swizzled, Direction::swizzle), ConversionStatus::converted);
    ASSERT_NE(swizzled, original);

    testing::ToolRun run = run_tool({"swiz", path});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "\n");
    EXPECT_EQ(read_file(path), swizzled);
    EXPECT_EQ(ScratchFolder::entries_of(subfolder), std::vector<fs::path>{u8"текстура 1.dds"});

    run = run_tool({"unswiz", path, "ps3"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "\n");
    EXPECT_EQ(read_file(path), original);
    EXPECT_EQ(ScratchFolder::entries_of(subfolder), std::vector<fs::path>{u8"текстура 1.dds"});
}

}  // namespace
}  // namespace ddsswizzle
