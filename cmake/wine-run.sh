#!/bin/sh
# Runs a Windows program under 64-bit Wine; the test runner of the Windows
# cross-build (CMAKE_CROSSCOMPILING_EMULATOR in cmake/mingw-w64.cmake).
#
#   wine-run.sh PREFIX_DIR PROGRAM.exe [ARGUMENTS...]
#
# PREFIX_DIR is the Wine prefix, build-mingw/wineprefix: everything Wine
# writes stays in the build folder. The first run creates it (a few seconds,
# 700 MB: Wine copies its DLLs into it); creation is serialised with flock, so
# tests started in parallel on a fresh build folder do not race on it, and
# tried twice before the run gives up.
set -eu

if [ "$#" -lt 2 ]; then
    echo "usage: $0 PREFIX_DIR PROGRAM.exe [ARGUMENTS...]" >&2
    exit 2
fi

prefix=$1
shift

WINE=${WINE:-/usr/lib/wine/wine64}
WINEPREFIX=$prefix
WINEDEBUG=-all
# Wine turns the Unix arguments and file names into Windows ones with the
# charset of the Unix locale: under LANG=C a UTF-8 name such as
# "текстура 1.dds" arrives mangled. A UTF-8 locale keeps every name intact
# (and gives the same Windows locale, en-US, on every machine).
LC_ALL=C.UTF-8
# No desktop menu entries (winemenubuilder would write them into $HOME) and
# no .NET or HTML engine, which console programs do not need and whose
# installers would only slow down the creation of the prefix.
WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
export WINEPREFIX WINEDEBUG LC_ALL WINEDLLOVERRIDES
# Console programs need no display; keep Wine away from X11 and Wayland.
unset DISPLAY WAYLAND_DISPLAY

# Creates the prefix and waits until Wine has finished writing it: wineboot
# returns while its server still completes the registry. A failed attempt
# starts over from an empty prefix once; if that fails too, Wine's own output
# is shown, so that the reason is in the test log.
create_prefix() {
    rm -rf "$prefix"
    "$WINE" wineboot --init >"$prefix.log" 2>&1 &&
        "${WINESERVER:-/usr/lib/wine/wineserver}" -w >>"$prefix.log" 2>&1 &&
        [ -f "$prefix/system.reg" ]
}

ready="$prefix/.wine-run-ready"
if [ ! -f "$ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
    if [ ! -f "$ready" ]; then
        # Only the 64-bit half of Wine is installed; its complaints about the
        # missing 32-bit parts are expected and kept out of sight unless the
        # prefix cannot be made.
        if ! create_prefix; then
            echo "wine-run.sh: creating the Wine prefix $prefix failed; trying once more" >&2
            if ! create_prefix; then
                echo "wine-run.sh: could not create the Wine prefix $prefix; Wine said:" >&2
                cat "$prefix.log" >&2
                exit 125
            fi
        fi
        : >"$ready"
    fi
    flock -u 9
    exec 9>&-
fi

exec "$WINE" "$@"
