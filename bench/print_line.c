/* The start-up floor: a C program that prints one line and exits. A usage
   run of ddsswizzle (no arguments) is timed against it by bench/many_files.sh. */
#include <stdio.h>

int main(void) {
    return puts("ddsswizzle_print_line") == EOF ? 1 : 0;
}
