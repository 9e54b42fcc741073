# Toolchain file for the Windows executable: cross-compiles for 64-bit
# Windows with Debian's MinGW-w64 (POSIX threads flavour) and runs the test
# programs under Wine, so that ctest checks the Windows build on Linux.
#
#   cmake --workflow --preset mingw        # configure, build, test in build-mingw/
#
# Debian packages: g++-mingw-w64-x86-64-posix wine64 (and googletest for the
# GoogleTest sources the tests are built from).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DDSSWIZZLE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${DDSSWIZZLE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DDSSWIZZLE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${DDSSWIZZLE_MINGW_TRIPLE}-windres)

# Headers and libraries come only from the MinGW sysroot, programs only from
# the host.
set(CMAKE_FIND_ROOT_PATH /usr/${DDSSWIZZLE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained ddsswizzle.exe: the C++ runtime, libgcc and winpthread
# are linked in, so the program needs only DLLs every Windows has.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs (gtest_discover_tests, add_test with a target) run under Wine.
# The wrapper keeps the Wine prefix inside the build folder, never in $HOME;
# the second list element is that prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${CMAKE_BINARY_DIR}/wineprefix")
