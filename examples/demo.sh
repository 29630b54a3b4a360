#!/usr/bin/env bash
# Runs KSInst.dll under Wine the way an installation script does: each step calls one
# export through ksinst-call.exe, then the log the module wrote is shown.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
winetest="$here/../tests/wine/winetest.sh"
state="$build/wine-demo"
prefix="$state/prefix"

"$winetest" start "$state" >/dev/null
trap '"$winetest" stop "$state" >/dev/null 2>&1 || true' EXIT

call() {
    echo "> ksinst-call $*"
    "$winetest" run "$state" "$build/bin/ksinst-call.exe" "$@"
}
wine_reg() { WINEPREFIX="$prefix" WINEDEBUG=-all wine reg "$@" >/dev/null 2>&1; }

# Every level reaches the log for this demo (the default keeps errors only).
wine_reg add 'HKCU\SOFTWARE\Velm\VLUpdate\KSInstLog' /v 'ERRORS_ONLY=' /t REG_DWORD /d 0 /f

call DllUnregisterServer

echo
echo "== KSInst.log (C:\\users\\root\\Temp)"
cat "$prefix/drive_c/users/root/Temp/KSInst.log" | tr -d '\r'
echo
