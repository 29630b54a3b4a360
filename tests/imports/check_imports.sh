#!/usr/bin/env bash
# Fails when a program's import table names a system function that Windows 95 or NT 4.0
# lacks, or one that system_imports.txt does not list, and prints each offender.
# ADVAPI32 may not appear at all: the module binds its registry and security functions
# on first use.
#
#   check_imports.sh <system_imports.txt> <program.dll|exe>...
set -euo pipefail
list=${1:?list}; shift
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
status=0
for program in "$@"; do
    [ -f "$program" ] || { echo "imports: $program is missing"; status=1; continue; }
    # "DLL function" for every entry of the import tables .
    if ! "$objdump" -p "$program" |
        awk '/^\tDLL Name: /{dll=$3; next}
             dll != "" && /^\t[0-9a-f]+\t? +[0-9]+ +[^ ]/{print dll, $NF}' |
        awk -v list="$list" -v program="$(basename "$program")" '
            BEGIN {
                while ((getline line < list) > 0) {
                    if (line ~ /^[ \t]*(#|$)/) continue
                    split(line, f, /[ \t]+/)
                    key = toupper(f[1]) " " f[2]
                    first9x[key] = f[3]; firstNT[key] = f[4]
                }
                ok9x["95"] = ok9x["runtime"] = 1
                okNT["3.1"] = okNT["3.5"] = okNT["3.51"] = okNT["4.0"] = okNT["runtime"] = 1
                bad = 0
            }
            {
                key = toupper($1) " " $2
                if (toupper($1) == "ADVAPI32.DLL") {
                    printf "imports: %s imports %s from %s, which is bound on first use\n", program, $2, $1
                    bad = 1
                } else if (!(key in first9x)) {
                    printf "imports: %s imports %s from %s, which is not listed\n", program, $2, $1
                    bad = 1
                } else if (!(first9x[key] in ok9x) || !(firstNT[key] in okNT)) {
                    printf "imports: %s imports %s from %s, first in Windows %s / NT %s\n", program, $2, $1,
                           first9x[key], firstNT[key]
                    bad = 1
                }
                count++
            }
            END {
                if (count == 0) { printf "imports: %s has no import table\n", program; bad = 1 }
                exit bad
            }'; then
        status=1
    else
        echo "imports: $(basename "$program") imports only functions of Windows 95 and NT 4.0"
    fi
done
exit $status
