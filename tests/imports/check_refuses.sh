#!/usr/bin/env bash
# The import check refuses the probe program and names each of its three late imports.
#   check_refuses.sh <system_imports.txt> <later_import_probe.exe>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(bash "$here/check_imports.sh" "$1" "$2")
status=$?
echo "$out"
[ $status -ne 0 ] || { echo "check_refuses: the probe was accepted"; exit 1; }
for line in "imports IsDebuggerPresent from KERNEL32.dll, first in Windows 98 / NT 4.0" \
            "imports CreateToolhelp32Snapshot from KERNEL32.dll, first in Windows 95 / NT 2000" \
            "imports RegOpenKeyA from ADVAPI32.dll, which is bound on first use"; do
    grep -qF "$line" <<<"$out" || { echo "check_refuses: not named: $line"; exit 1; }
done
