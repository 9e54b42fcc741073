// The C interface of ddsswizzle.h, compiled as C99: a 4 x 4 surface both
// ways on the Xbox 360, sizes, placements, a DDS header written and checked,
// every argument refusal and every status with its message. Built twice, against the shared and the
// static library, so that both export what the header declares.
#include <ddsswizzle/ddsswizzle.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>

static int failures = 0;
#define CHECK(condition) \
    ((condition) ? (void)0 : (void)(fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition), ++failures))

int main(void) {
    const ddsswizzle_surface pixels = {87, 4, 4, 1, 1, 0}, chain = {87, 4, 4, 1, 3, 0}, long_chain = {87, 4, 4, 1, 127, 0};
    unsigned char linear[64], console[4096], back[64], buffer[128], before[128], file[128 + 64] = {0};
    uint64_t linear_size = 0, console_size = 0, converted = 0;
    size_t written = 0;
    ddsswizzle_placement place, unplaced;
    ddsswizzle_reason reason = DDSSWIZZLE_REASON_NONE;
    uint32_t number = 0;
    unsigned i;

    // The 4 x 4 surface keeps its size on the PS3 and fills a 4 KiB tile on
    // the Xbox 360, and comes back byte for byte. (Where its pixels go is
    // checked through this interface by the examples' test, and for every
    // layout by the other tests.)
    for (i = 0; i < sizeof linear; ++i) linear[i] = (unsigned char)(i + 1);
    CHECK(ddsswizzle_sizes(&pixels, DDSSWIZZLE_PS3, &linear_size, &console_size) == DDSSWIZZLE_OK && linear_size == 64 &&
          console_size == 64);
    CHECK(ddsswizzle_sizes(&pixels, DDSSWIZZLE_X360, NULL, &console_size) == DDSSWIZZLE_OK && console_size == 4096);
    CHECK(ddsswizzle_convert(&pixels, DDSSWIZZLE_X360, DDSSWIZZLE_SWIZZLE, linear, 64, console, 4096) == DDSSWIZZLE_OK);
    CHECK(ddsswizzle_convert(&pixels, DDSSWIZZLE_X360, DDSSWIZZLE_UNSWIZZLE, console, 4096, back, 64) == DDSSWIZZLE_OK);
    CHECK(memcmp(back, linear, 64) == 0 && memcmp(console, linear, 64) != 0);

    // On the PS3 levels keep their place: the 1 x 1 level 2 after 64 + 16.
    CHECK(ddsswizzle_place(&chain, DDSSWIZZLE_PS3, 2, 0, &place) == DDSSWIZZLE_OK);
    CHECK(place.width == 1 && place.linear_offset == 80 && place.linear_length == 4 && place.console_offset == 80);
    // A DDS header may give more levels than the sides allow; each is one
    // more 1 x 1 pixel: level 40 follows the 84 bytes of levels 0 to 2 and
    // 37 such levels.
    CHECK(ddsswizzle_place(&long_chain, DDSSWIZZLE_PS3, 40, 0, &place) == DDSSWIZZLE_OK);
    CHECK(place.linear_offset == 84 + 37 * 4 && place.linear_length == 4 && place.console_offset == place.linear_offset);

    // Argument refusals write nothing (bytes all different, so that any
    // permutation of them written over the overlap would show).
    for (i = 0; i < sizeof buffer; ++i) buffer[i] = before[i] = (unsigned char)(7 * i + 1);
    CHECK(ddsswizzle_convert(NULL, DDSSWIZZLE_PS3, DDSSWIZZLE_SWIZZLE, linear, 64, buffer, 64) == DDSSWIZZLE_INVALID_ARGUMENT);
    CHECK(ddsswizzle_convert(&pixels, DDSSWIZZLE_PS3, DDSSWIZZLE_SWIZZLE, NULL, 64, buffer, 64) == DDSSWIZZLE_INVALID_ARGUMENT);
    CHECK(ddsswizzle_convert(&pixels, DDSSWIZZLE_PS3, DDSSWIZZLE_SWIZZLE, linear, 64, NULL, 64) == DDSSWIZZLE_INVALID_ARGUMENT);
    CHECK(ddsswizzle_convert(&pixels, DDSSWIZZLE_PS3, DDSSWIZZLE_SWIZZLE, linear, 64, buffer, 63) == DDSSWIZZLE_INVALID_ARGUMENT);
    CHECK(ddsswizzle_convert(&pixels, DDSSWIZZLE_PS3, DDSSWIZZLE_SWIZZLE, buffer, 64, buffer + 32, 64) == DDSSWIZZLE_INVALID_ARGUMENT);
    CHECK(ddsswizzle_convert(&pixels, (ddsswizzle_console)2, DDSSWIZZLE_SWIZZLE, linear, 64, buffer, 64) == DDSSWIZZLE_INVALID_ARGUMENT);
    CHECK(ddsswizzle_convert(&pixels, DDSSWIZZLE_PS3, (ddsswizzle_direction)2, linear, 64, buffer, 64) == DDSSWIZZLE_INVALID_ARGUMENT);
    CHECK(memcmp(buffer, before, sizeof buffer) == 0);
    CHECK(ddsswizzle_check(&pixels, (ddsswizzle_console)-1, &reason) == DDSSWIZZLE_INVALID_ARGUMENT);
    CHECK(reason == DDSSWIZZLE_REASON_UNKNOWN_CONSOLE_OR_DIRECTION);
    CHECK(ddsswizzle_place(&chain, DDSSWIZZLE_PS3, 3, 0, &place) == DDSSWIZZLE_INVALID_ARGUMENT);
    CHECK(ddsswizzle_place(&chain, DDSSWIZZLE_PS3, 0, 1, &place) == DDSSWIZZLE_INVALID_ARGUMENT);
    // A surface the console refuses has no placement.
    {
        const ddsswizzle_surface narrow = {87, 6, 4, 1, 1, 0};
        memset(&place, 0xA5, sizeof place);
        unplaced = place;
        CHECK(ddsswizzle_place(&narrow, DDSSWIZZLE_PS3, 0, 0, &place) == DDSSWIZZLE_UNSUPPORTED_SIZE);
        CHECK(memcmp(&place, &unplaced, sizeof place) == 0);
    }
    // A DDS file's size query needs its first 148 bytes; its conversion a
    // result as long as the query said.
    CHECK(ddsswizzle_check_dds(buffer, 147, 4096, DDSSWIZZLE_PS3, DDSSWIZZLE_SWIZZLE, NULL, &reason) ==
              DDSSWIZZLE_INVALID_ARGUMENT && reason == DDSSWIZZLE_REASON_HEADER_NOT_GIVEN);
    CHECK(ddsswizzle_check_dds(NULL, 148, 4096, DDSSWIZZLE_PS3, DDSSWIZZLE_SWIZZLE, NULL, &reason) == DDSSWIZZLE_INVALID_ARGUMENT);
    // A file the header writer makes is checked as any other; an unknown
    // console or direction alone refuses the call.
    CHECK(ddsswizzle_dds_header(NULL, 1, file, 148, &written) == DDSSWIZZLE_INVALID_ARGUMENT && written == 0);
    CHECK(ddsswizzle_dds_header(&pixels, 1, NULL, 148, &written) == DDSSWIZZLE_INVALID_ARGUMENT &&
          ddsswizzle_dds_header(&pixels, 1, file, 148, NULL) == DDSSWIZZLE_INVALID_ARGUMENT);
    CHECK(ddsswizzle_dds_header(&pixels, 1, file, sizeof file, &written) == DDSSWIZZLE_OK && written == 128);
    CHECK(ddsswizzle_check_dds(file, sizeof file, sizeof file, DDSSWIZZLE_X360, DDSSWIZZLE_SWIZZLE, &converted, NULL) ==
              DDSSWIZZLE_OK && converted == 128 + 4096);
    CHECK(ddsswizzle_check_dds(file, sizeof file, sizeof file, (ddsswizzle_console)2, DDSSWIZZLE_SWIZZLE, NULL, &reason) ==
              DDSSWIZZLE_INVALID_ARGUMENT && reason == DDSSWIZZLE_REASON_UNKNOWN_CONSOLE_OR_DIRECTION);
    CHECK(ddsswizzle_check_dds(file, sizeof file, sizeof file, DDSSWIZZLE_PS3, (ddsswizzle_direction)2, NULL, &reason) ==
              DDSSWIZZLE_INVALID_ARGUMENT && reason == DDSSWIZZLE_REASON_UNKNOWN_CONSOLE_OR_DIRECTION);

    // A refusal of each status, and its message.
    {
        const ddsswizzle_surface unknown = {9999, 4, 4, 1, 1, 0}, cube_volume = {87, 4, 4, 2, 1, 1}, flat = {87, 4, 4, 0, 1, 0};
        ddsswizzle_dds dds;
        const struct { ddsswizzle_status got, want; const char* message; } refusals[] = {
            {ddsswizzle_read_dds("DDS ", 4, &dds, NULL), DDSSWIZZLE_NOT_A_DDS_TEXTURE, "Not a DDS texture"},
            {ddsswizzle_check(&unknown, DDSSWIZZLE_PS3, NULL), DDSSWIZZLE_UNKNOWN_FORMAT, "Unknown format"},
            {ddsswizzle_check(&cube_volume, DDSSWIZZLE_PS3, NULL), DDSSWIZZLE_UNSUPPORTED_TEXTURE_TYPE, "Unsupported texture type"},
            {ddsswizzle_check(&flat, DDSSWIZZLE_PS3, NULL), DDSSWIZZLE_UNSUPPORTED_SIZE, "Unsupported size"},  // depth 0
            {ddsswizzle_convert(&pixels, DDSSWIZZLE_PS3, DDSSWIZZLE_SWIZZLE, linear, 63, back, 64), DDSSWIZZLE_TRUNCATED_DATA, "Texture data is truncated"},
            {ddsswizzle_sizes(NULL, DDSSWIZZLE_PS3, NULL, NULL), DDSSWIZZLE_INVALID_ARGUMENT, "Invalid argument"},
            {ddsswizzle_read_dds(NULL, 1, &dds, NULL), DDSSWIZZLE_INVALID_ARGUMENT, "Invalid argument"},
            {ddsswizzle_convert_file(NULL, DDSSWIZZLE_PS3, DDSSWIZZLE_SWIZZLE, NULL), DDSSWIZZLE_INVALID_ARGUMENT, "Invalid argument"},
            {ddsswizzle_convert_file("no such folder/t.dds", DDSSWIZZLE_PS3, DDSSWIZZLE_SWIZZLE, &reason), DDSSWIZZLE_CANNOT_OPEN_FILE,
             "Cannot open file"},
        };
        CHECK(errno == ENOENT && reason == DDSSWIZZLE_REASON_FILE_NOT_OPENED);
        for (i = 0; i < sizeof refusals / sizeof refusals[0]; ++i) {
            CHECK(refusals[i].got == refusals[i].want);
            CHECK(strcmp(ddsswizzle_status_message(refusals[i].want), refusals[i].message) == 0);
        }
        CHECK(strcmp(ddsswizzle_status_message(DDSSWIZZLE_NOT_CONFIRMED_ON_DISK), "Converted, not confirmed on disk") == 0);
        CHECK(strcmp(ddsswizzle_status_message((ddsswizzle_status)11), "") == 0);
    }

    // Format names and numbers.
    CHECK(strcmp(ddsswizzle_format_name(77), "BC3_UNORM") == 0 && strcmp(ddsswizzle_format_name(5000), "") == 0);
    CHECK(strcmp(ddsswizzle_format_name(130), "P208") == 0 && strcmp(ddsswizzle_format_name(133), "") == 0);
    CHECK(ddsswizzle_format_number("B8G8R8A8_UNORM", 14, &number) == 1 && number == 87);
    CHECK(ddsswizzle_format_number("BC3_UNORMX", 10, &number) == 0 && number == 87);
    CHECK(ddsswizzle_format_number(NULL, 9, &number) == 0 && ddsswizzle_format_number("BC3_UNORM", 9, NULL) == 0);
    for (i = 0; i < 140; ++i)
        if (*ddsswizzle_format_name(i) != '\0')
            CHECK(ddsswizzle_format_number(ddsswizzle_format_name(i), strlen(ddsswizzle_format_name(i)), &number) == 1 && number == i);
    CHECK(strcmp(ddsswizzle_version(), DDSSWIZZLE_EXPECTED_VERSION) == 0);

    printf("c_api_test: %s\n", failures == 0 ? "all checks passed" : "FAILED");
    return failures == 0 ? 0 : 1;
}
