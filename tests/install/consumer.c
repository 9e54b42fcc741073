// Built against an installed ddsswizzle (find_package or pkg-config): the
// worked 4 x 4 surface of 32-bit pixels swizzled for the PS3, where linear
// pixel 2 lands at Morton position 4 (bytes 16 to 19).
#include <ddsswizzle/ddsswizzle.h>

#include <stdio.h>
#include <string.h>

int main(void) {
    const ddsswizzle_surface surface = {87, 4, 4, 1, 1, 0};
    unsigned char linear[64] = {0}, console[64];
    uint64_t linear_size = 0, console_size = 0;
    ddsswizzle_status status = ddsswizzle_sizes(&surface, DDSSWIZZLE_PS3, &linear_size, &console_size);
    if (status != DDSSWIZZLE_OK || linear_size != 64 || console_size != 64) return 1;
    memcpy(linear + 8, "\x11\x22\x33\x44", 4);
    status = ddsswizzle_convert(&surface, DDSSWIZZLE_PS3, DDSSWIZZLE_SWIZZLE, linear, 64, console, 64);
    if (status != DDSSWIZZLE_OK || memcmp(console + 16, "\x11\x22\x33\x44", 4) != 0 || console[8] != 0) {
        fprintf(stderr, "consumer.c: %s\n", ddsswizzle_status_message(status));
        return 1;
    }
    printf("consumer.c: ddsswizzle %s converts\n", ddsswizzle_version());
    return 0;
}
