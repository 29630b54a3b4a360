#!/usr/bin/env bash
# Runs every benchmark of the build under Wine, in a prefix of its own.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
winetest="$here/../tests/wine/winetest.sh"
state="$build/wine-bench"
"$winetest" start "$state" >/dev/null
trap '"$winetest" stop "$state" >/dev/null 2>&1 || true' EXIT
status=0
for exe in "$build"/bin/bench_*.exe; do
    [ -e "$exe" ] || continue
    echo "== $(basename "$exe" .exe)"
    "$winetest" run "$state" "$exe" || status=1
done
exit $status
