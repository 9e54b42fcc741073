#!/bin/sh
# Runs a Windows program under 64-bit Wine; the test runner of the Windows
# cross-build (CMAKE_CROSSCOMPILING_EMULATOR in cmake/mingw-w64.cmake).
#
#   wine-run.sh PREFIX_DIR PROGRAM.exe [ARGUMENTS...]
#
# PREFIX_DIR is the Wine prefix, build-mingw/wineprefix: everything Wine
# writes stays in the build folder. The first run creates it (a few seconds,
# 700 MB: Wine copies its DLLs into it); creation is serialised with flock, so
# tests started in parallel on a fresh build folder do not race on it.
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

ready="$prefix/.wine-run-ready"
if [ ! -f "$ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
    if [ ! -f "$ready" ]; then
        # Only the 64-bit half of Wine is installed; its complaints about the
        # missing 32-bit parts are expected and hidden.
        "$WINE" wineboot --init >/dev/null 2>&1 || {
            echo "wine-run.sh: could not create the Wine prefix $prefix" >&2
            exit 125
        }
        : >"$ready"
    fi
    flock -u 9
    exec 9>&-
fi

exec "$WINE" "$@"
