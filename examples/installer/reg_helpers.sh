# Shell helpers shared by the demo and the installer test, sourced after they set
# $module (KSInst.dll), $winetest, $state (the prefix's state folder) and $product (the
# installed product folder on the Linux side).

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
