#!/usr/bin/env bash
# Places kstest_wow64_<x>.txt from the host in both system folders of a 64-bit test
# prefix (tests/uninstall/wow64_test.cpp): "native" in the native system folder
# (drive_c/windows/system32), "wow64" in the 32-bit one (drive_c/windows/syswow64).
set -euo pipefail
windows="${1:?usage: wow64_files.sh <state-dir>}/prefix/drive_c/windows"
[ -d "$windows/syswow64" ] || { echo "wow64_files: no 64-bit test prefix in $1" >&2; exit 1; }
for x in a b c d view; do
    echo native > "$windows/system32/kstest_wow64_$x.txt"
    echo wow64 > "$windows/syswow64/kstest_wow64_$x.txt"
done
