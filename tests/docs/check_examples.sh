#!/usr/bin/env bash
# Runs every example of the script author's pages (docs/*.md) against the built module,
# in the order of the pages, and compares each result with the one the page gives:
#   ```sh   ksinst-call <export> <args>      followed by  # -> <result>
#   ```nsis System::Call '...' ... .r0        followed by  ; -> <result>
# The ksinst-call lines run one by one through tools/ksinst-call; the System::Call lines
# are gathered into one NSIS installer, built with makensis and run silently. Each set
# runs in a fresh prefix where the sample product was just installed. "a handle" as a
# result means any value but 0 and -1. Examples of exports this build lacks are skipped.
#
#   check_examples.sh <build-dir> <state-dir> <docs-dir>
set -uo pipefail
build=$(cd "${1:?build dir}" && pwd)
state=$(mkdir -p "${2:?state dir}" && cd "$2" && pwd)
docs=$(cd "${3:?docs dir}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
winetest="$here/../wine/winetest.sh"
pages="configuration per-user agent shortcuts downloader restart-analysis folders removal"
module="$build/bin/KSInst.dll"
exports=$(i686-w64-mingw32-objdump -p "$module" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
exported() { grep -qw "$1" <<<"$exports"; }

# Pairs "<kind>\t<page>\t<line>\t<expected>" in page order.
examples=$(for page in $pages; do
    awk -v page="$page" '
        /^```sh/ { kind = "sh"; next } /^```nsis/ { kind = "nsis"; next } /^```/ { kind = ""; next }
        kind == "sh" && /^ksinst-call / { line = $0; next }
        kind == "sh" && /^# -> / && line != "" { print "sh\t" page "\t" line "\t" substr($0, 6); line = ""; next }
        kind == "nsis" && /^System::Call / { line = $0; next }
        kind == "nsis" && /^; -> / && line != "" { print "nsis\t" page "\t" line "\t" substr($0, 6); line = ""; next }
    ' "$docs/$page.md"
done)

failures=0; checks=0; skipped=0
verdict() {    # verdict <page> <line> <got> <expected>
    checks=$((checks + 1))
    local good=0
    if [ "$4" == "a handle" ]; then
        case "$3" in ""|0|-1|"0 (0x00000000)"|"-1 (0xFFFFFFFF)") ;; *) good=1 ;; esac
    elif [ "$3" == "$4" ]; then good=1; fi
    if [ $good -eq 1 ]; then echo "ok    $1: $2"; else failures=$((failures + 1)); echo "FAIL  $1: $2"; echo "        got [$3], the page says [$4]"; fi
}
export_of() {    # the export a line calls
    case "$1" in
    ksinst-call*) eval "set -- $1"; shift; [ "$1" == --dll ] && shift 2; echo "$1" ;;
    *) sed -n 's/.*::\([A-Za-z]*\)(.*/\1/p' <<<"$1" ;;
    esac
}
fresh_product() {
    "$winetest" start "$state" >/dev/null || exit 1
    timeout 120 "$winetest" run "$state" "$build/installer/sample-setup-1.0.exe" /S >/dev/null 2>&1 ||
        { echo "FAIL  the sample product did not install"; exit 1; }
}
trap '"$winetest" stop "$state" >/dev/null 2>&1' EXIT

echo "== ksinst-call examples"
fresh_product
while IFS=$'\t' read -r kind page line expected; do
    [ "$kind" == sh ] || continue
    name=$(export_of "$line")
    if ! exported "$name"; then skipped=$((skipped + 1)); echo "skip  $page: $line (not in this build)"; continue; fi
    eval "set -- ${line#ksinst-call }"
    got=$(timeout 60 "$winetest" run "$state" "$build/bin/ksinst-call.exe" "$@" 2>&1 | tr -d '\r' | head -n 1)
    verdict "$page" "$line" "$got" "$expected"
done <<<"$examples"
"$winetest" stop "$state" >/dev/null 2>&1

echo "== NSIS examples"
fresh_product
nsi="$state/examples.nsi"
{
    echo 'Unicode false'
    echo "OutFile \"$state/examples.exe\""
    echo 'InstallDir "$PROGRAMFILES\Sample"'
    echo 'RequestExecutionLevel admin'
    echo 'Section'
    echo '  SetShellVarContext all'
    echo '  InitPluginsDir'
    echo '  CopyFiles /SILENT "$INSTDIR\KSInst.dll" "$PLUGINSDIR"'
    echo '  CopyFiles /SILENT "$INSTDIR\KSInst.cfg" "$PLUGINSDIR"'
    echo '  FileOpen $9 "C:\docs-examples.txt" w'
    while IFS=$'\t' read -r kind page line expected; do
        [ "$kind" == nsis ] && exported "$(export_of "$line")" || continue
        echo '  StrCpy $0 "(no result)"'
        echo "  $line"
        echo '  FileWrite $9 "$0$\r$\n"'
    done <<<"$examples"
    echo '  FileClose $9'
    echo 'SectionEnd'
} > "$nsi"
if ! makensis -V2 -WX "$nsi" >"$state/makensis.log" 2>&1; then
    cat "$state/makensis.log"; echo "FAIL  the NSIS examples do not build"; exit 1
fi
timeout 120 "$winetest" run "$state" "$state/examples.exe" /S >/dev/null 2>&1
results="$state/prefix/drive_c/docs-examples.txt"
n=0
while IFS=$'\t' read -r kind page line expected; do
    [ "$kind" == nsis ] || continue
    if ! exported "$(export_of "$line")"; then skipped=$((skipped + 1)); echo "skip  $page: $line (not in this build)"; continue; fi
    n=$((n + 1))
    got=$(tr -d '\r' < "$results" 2>/dev/null | sed -n "${n}p")
    verdict "$page" "$line" "$got" "$expected"
done <<<"$examples"

echo
echo "documentation examples: $checks checked, $failures failed, $skipped skipped (not in this build)"
[ "$failures" -eq 0 ] && [ "$checks" -gt 0 ]
