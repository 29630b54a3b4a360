#!/usr/bin/env bash
# Installs what the build and the tests need and is missing: the MinGW-w64 i686
# cross compiler (posix threads), 32-bit Wine and the 64-bit Wine beside it (the
# WOW64 tests run the 32-bit module in a 64-bit prefix), Xvfb, CMake, GoogleTest's sources and
# the locale sources the Japanese test runs are built from, and NSIS (makensis with its
# x86 ANSI plug-ins) for the sample product's installer.
# Does nothing when everything is present.
#
#   scripts/setup.sh [demo]    "demo": only what `make demo` needs (no 64-bit Wine, no
#                              Japanese locale), so a fresh machine shows the demo sooner
set -euo pipefail
profile=${1:-all}

have_demo() {
    command -v i686-w64-mingw32-g++-posix >/dev/null &&
    command -v i686-w64-mingw32-g++-win32 >/dev/null &&
    command -v i686-w64-mingw32-windres >/dev/null &&
    command -v wine >/dev/null &&
    { [ -x /usr/lib/wine/wineserver32 ] || dpkg -s wine32:i386 >/dev/null 2>&1; } &&
    command -v Xvfb >/dev/null &&
    command -v cmake >/dev/null &&
    [ -f /usr/src/googletest/CMakeLists.txt ] &&
    command -v makensis >/dev/null && [ -d /usr/share/nsis/Plugins/x86-ansi ]
}

have_all() {
    have_demo &&
    { [ -x /usr/lib/wine/wine64 ] || dpkg -s wine64 >/dev/null 2>&1; } &&
    command -v localedef >/dev/null && [ -f /usr/share/i18n/locales/ja_JP ]
}

pkgs="wine wine32:i386 g++-mingw-w64-i686 xvfb cmake googletest nsis"
if [ "$profile" = demo ]; then
    have_demo && exit 0
    have=have_demo
else
    have_all && exit 0
    have=have_all
    pkgs="$pkgs wine64 locales"
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing tools and not root; install as root: $pkgs" >&2
    exit 1
fi

echo "setup: installing $pkgs (once per machine)"
export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
# A lagging security index for i386 is only a warning; the main suite's versions
# keep both architectures of the multi-arch libraries at the same version.
apt-get update -q || true
apt-get install -y -q -t bookworm --no-install-recommends $pkgs ||
    apt-get install -y -q --no-install-recommends $pkgs

$have || { echo "setup: tools still missing after install" >&2; exit 1; }
