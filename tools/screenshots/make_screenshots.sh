#!/usr/bin/env bash
# Makes the pictures of docs/uninstall.md: the uninstaller's progress dialog and finish
# boxes, in English and Japanese, taken from the Xvfb display of a sealed Wine prefix.
#
#   tools/screenshots/make_screenshots.sh [build-dir]
#
# Needs xwd (x11-apps), ImageMagick and a Japanese font (fonts-ipafont-gothic); as root
# it installs whichever is missing. `make test` does not need them.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
out="$root/docs/screenshots"
winetest="$root/tests/wine/winetest.sh"
state="$build/screenshots-wine"

need=()
command -v xwd >/dev/null || need+=(x11-apps)
[ -x /usr/bin/convert ] || need+=(imagemagick)
fc-list 2>/dev/null | grep -qi "IPAGothic" || need+=(fonts-ipafont-gothic)
if [ ${#need[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "screenshots: missing ${need[*]}; install them as root" >&2
        exit 1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null ||
        { apt-get update -q >/dev/null 2>&1 || true
          DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null; }
fi

[ -f "$build/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target ksinst-screens -j 2 >/dev/null

"$winetest" start "$state" >/dev/null
trap '"$winetest" stop "$state" >/dev/null 2>&1 || true' EXIT
display=$(cat "$state/display")
mkdir -p "$out"

# shoot <locale or empty> <what> <picture name>
shoot() {
    local locale=$1 what=$2 name=$3 report="$state/$3.txt" line="" margin=16
    rm -f "$report"
    KSINST_LOCALE=$locale "$winetest" run "$state" "$build/bin/ksinst-screens.exe" "$what" >"$report" 2>/dev/null &
    local pid=$!
    for _ in $(seq 1 300); do
        line=$(grep -m1 '^ready' "$report" 2>/dev/null | tr -d '\r' || true)
        [ -n "$line" ] && break
        sleep 0.1
    done
    if [ -z "$line" ]; then
        echo "screenshots: $what did not show its window" >&2
        wait "$pid" || true
        return 1
    fi
    read -r _ left top right bottom <<<"$line"
    local x=$((left - margin)) y=$((top - margin)) w=$((right - left + 2 * margin)) h=$((bottom - top + 2 * margin))
    ((x < 0)) && x=0
    ((y < 0)) && y=0
    DISPLAY=$display xwd -root -silent | convert xwd:- -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"
    wait "$pid"
    echo "screenshots: $out/$name.png"
}

shoot "" progress progress-en
shoot "" finish finish-en
shoot "" restart restart-en
shoot ja_JP.UTF-8 progress progress-ja
shoot ja_JP.UTF-8 finish finish-ja
shoot ja_JP.UTF-8 restart restart-ja
