#!/usr/bin/env bash
# Runs KSInst.dll under Wine the way an installation script does: the sample product
# is copied into the prefix, each step calls one export through ksinst-call.exe, and
# the log the module wrote is shown at the end.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
winetest="$here/../tests/wine/winetest.sh"
state="$build/wine-demo"
prefix="$state/prefix"
product='C:\Program Files\Sample'
product_unix="$prefix/drive_c/Program Files/Sample"

"$winetest" start "$state" >/dev/null
trap '"$winetest" stop "$state" >/dev/null 2>&1 || true' EXIT

step() { echo; echo "== $*"; }
call() {
    echo "> ksinst-call $*"
    "$winetest" run "$state" "$build/bin/ksinst-call.exe" "$@"
}
wine_cmd() { WINEPREFIX="$prefix" WINEDEBUG=-all wine "$@" 2>/dev/null | tr -d '\r'; }
show() { echo "--- $1"; tr -d '\r' < "$product_unix/$1"; }

mkdir -p "$product_unix"
cp -r "$here/sample-product/." "$product_unix/"
rm -f "$product_unix/README.md"
# Every level reaches the log in this demo (the default keeps errors only).
wine_cmd reg add 'HKCU\SOFTWARE\Velm\VLUpdate\KSInstLog' /v 'ERRORS_ONLY=' /t REG_DWORD /d 0 /f >/dev/null

step "Is this system one the product supports? (Windows 2000 to 6.x: 0x3C0000)"
call KSWIsCompatibleWithOS 0x3C0000

step "Read and change the product configuration"
call KSWGetParamString "$product\\KSCommon.cfg" General AppTitle @null
call KSWGetParamString "$product\\KSCommon.cfg" 'General\Install' Group @null
call KSWSetParamString "$product\\KSCommon.cfg" 'General\Install' Shortcut 1
call KSWImportConfigFile "$product\\KSCommon.cfg" "$product\\upgrade.cfg" General
show KSCommon.cfg

step "Per-user registry value for every user profile"
call KSWAddRegStringToAllUsers 'Software\Velm\Sample' InstallDir "$product" 0
wine_cmd reg query 'HKCU\Software\Velm\Sample'

step "Folder clean-up"
call KSWGetDirContent "$product\\logs" 0 @null
call KSWDelDir "$product\\logs\\*.log" 0
call KSWGetDirContent "$product\\logs" 0 @null
ls "$product_unix/logs"

step "Self-unregistration answers without removing anything"
call DllUnregisterServer

step "KSInst.log of the last call (C:\\users\\root\\Temp)"
tr -d '\r' < "$prefix/drive_c/users/root/Temp/KSInst.log"
echo
