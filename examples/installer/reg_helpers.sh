# Shell helpers of the demo (examples/demo.sh), sourced after it sets
# $module (KSInst.dll), $winetest, $state (the prefix's state folder), $product (the
# installed product folder on the Linux side), $drive (the prefix's C: drive) and $build.

# Whether the module exports a name (its export table is read once).
exported() {
    [ -n "${module_exports:-}" ] ||
        module_exports=$(i686-w64-mingw32-objdump -p "$module" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
    grep -qw "$1" <<<"$module_exports"
}
# A program of the prefix (reg, rundll32, cmd, wineboot), its output without CRs.
wcmd() { timeout 60 "$winetest" wine "$state" "$@" 2>/dev/null | tr -d '\r'; }
# The data of one registry value as reg.exe prints it ("" when missing).
regval() {
    wcmd reg query "$1" /v "$2" | awk -v name="$2" '
        { line = $0; sub(/^    /, "", line)
          if (index(line, name "    ") == 1) { rest = substr(line, length(name) + 5)
              sub(/^[A-Z_]+    /, "", rest); print rest } }'
}
# The key's default value.
regdefault() { wcmd reg query "$1" /ve | awk '/\(Default\)|<NO NAME>/ { sub(/^ *[^ ]+ *[^ ]+ +REG_[A-Z_]+ +/, ""); print }'; }
# The result the installer logged for one export ("step <export> = <result>" in Setup.log).
step_result() { tr -d '\r' < "$product/Setup.log" 2>/dev/null | sed -n "s/^step $1 = //p" | tail -n 1; }
# Runs the uninstall command exactly as stored ($1), through the command interpreter, with
# its boxes answered as a person would (Yes to the question, OK to the finish box) for at
# most $2 seconds; the boxes' texts are left in $drive/boxes.log. Returns the first
# phase's status (124 when it did not end in time).
uninstall_as_listed() {
    local command=$1 bound=$2 answerer status
    printf '@%s\r\n' "$command" > "$drive/uninstall-sample.bat"
    rm -f "$drive/boxes.log" "$drive/boxes.stop"
    timeout $((bound + 30)) "$winetest" run "$state" "$build/bin/sample_boxanswer.exe" 'C:\boxes.log' 'C:\boxes.stop' \
        $((bound * 1000)) >/dev/null 2>&1 &
    answerer=$!
    timeout "$bound" "$winetest" wine "$state" cmd /c 'C:\uninstall-sample.bat' >/dev/null 2>&1
    status=$?
    # The running-temp phase ends with its finish box or the restart question.
    for _ in $(seq 1 600); do
        grep -qiE 'uninstalled|restart|failed' "$drive/boxes.log" 2>/dev/null && break
        sleep 0.1
    done
    sleep 1
    touch "$drive/boxes.stop"
    wait "$answerer" 2>/dev/null
    return $status
}
