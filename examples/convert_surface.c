// Example of the C interface: a texture cut out of a game container and
// turned from the console's layout into the linear layout of a DDS file.
//
// convert_surface ps3|x360 CONTAINER OFFSET FORMAT WIDTH HEIGHT LEVELS OUTPUT
// convert_surface x360 textures.bin 8192 BC3_UNORM 256 256 9 linear.bin
//
// A real tool reads where the texture starts and what it is from the
// container's own header; here they are arguments. OUTPUT receives the linear
// bytes: the payload of a DDS file, levels from the largest.
#include <ddsswizzle/ddsswizzle.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int fail(const char* what) {
    fprintf(stderr, "convert_surface: %s\n", what);
    return 1;
}

int main(int argc, char** argv) {
    ddsswizzle_surface surface = {0, 0, 0, 1, 1, 0};
    ddsswizzle_console console;
    ddsswizzle_status status;
    uint64_t linear_size = 0, console_size = 0;
    unsigned char *payload, *linear;
    size_t payload_size = 0, written;
    long offset;
    FILE* file;

    if (argc != 9) return fail("usage: convert_surface ps3|x360 CONTAINER OFFSET FORMAT WIDTH HEIGHT LEVELS OUTPUT");
    console = strcmp(argv[1], "ps3") == 0 ? DDSSWIZZLE_PS3 : DDSSWIZZLE_X360;
    offset = strtol(argv[3], NULL, 10);
    if (!ddsswizzle_format_number(argv[4], strlen(argv[4]), &surface.format)) return fail("no DXGI format has that name");
    surface.width = atoi(argv[5]);
    surface.height = atoi(argv[6]);
    surface.levels = atoi(argv[7]);

    // The sizes first: how many bytes the texture takes in the container
    // (console_size) and how many its linear form needs. A surface the
    // console cannot hold is refused here, with the tool's message.
    status = ddsswizzle_sizes(&surface, console, &linear_size, &console_size);
    if (status != DDSSWIZZLE_OK) return fail(ddsswizzle_status_message(status));

    // The buffers are ours; the library only reads the one and writes the
    // other. (A real tool checks that the sizes fit its memory.)
    payload = malloc((size_t)console_size);
    linear = malloc((size_t)linear_size);
    if (payload == NULL || linear == NULL) return fail("out of memory");

    // The payload: console_size bytes at the offset, or as many as the
    // container still has there. (fseek takes a long, which is 32 bits on
    // Windows: past 2 GiB use _fseeki64 there, fseeko elsewhere.)
    file = fopen(argv[2], "rb");
    if (file == NULL) return fail("cannot open the container");
    if (fseek(file, offset, SEEK_SET) == 0) payload_size = fread(payload, 1, (size_t)console_size, file);
    fclose(file);

    // A payload cut short is refused ("Texture data is truncated"), and
    // nothing is written to linear.
    status = ddsswizzle_convert(&surface, console, DDSSWIZZLE_UNSWIZZLE, payload, payload_size, linear,
                                (size_t)linear_size);
    if (status != DDSSWIZZLE_OK) return fail(ddsswizzle_status_message(status));

    file = fopen(argv[8], "wb");
    if (file == NULL) return fail("cannot create the output");
    written = fwrite(linear, 1, (size_t)linear_size, file);
    if (fclose(file) != 0 || written != linear_size) return fail("cannot write the output");
    printf("%llu bytes of the container at %ld -> %llu linear bytes\n", (unsigned long long)console_size, offset,
           (unsigned long long)linear_size);
    free(payload);
    free(linear);
    return 0;
}
