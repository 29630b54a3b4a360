#!/usr/bin/env bash
# Runs test programs under Wine in a prefix of their own, sealed off from the host.
#
#   winetest.sh start <state-dir>              fresh prefix, Xvfb and a persistent wineserver
#   winetest.sh run <state-dir> <exe> [args]   runs a Windows program from C:\ksinst\bin
#   winetest.sh wine <state-dir> <cmd> [args]  runs a program of the prefix itself (reg,
#                                              rundll32, a path on C:) from C:\
#   winetest.sh stop <state-dir>               stops the server and Xvfb, removes the prefix
#
# Environment for `run`: KSINST_WINVER (win98, winxp, ...) reports that Windows version
# to this program only; KSINST_LOCALE (ja_JP.UTF-8) runs it with that locale;
# KSINST_RUN_AS names the copy of the program (default: its own name).
# Environment for `start`: KSINST_WINEARCH=win64 makes a 64-bit prefix (the module and
# the test programs then run under WOW64); the state folder remembers it. Default win32.
# The module deletes folder trees: the prefix has no Z: drive and no link into the
# Linux home, and `run` refuses to start when either is there.
set -euo pipefail

cmd=${1:?usage: winetest.sh start|run|wine|stop <state-dir> ...}
state=$(mkdir -p "${2:?state dir}" && cd "$2" && pwd)
shift 2

# Every prefix states its architecture: with the 64-bit Wine installed, a prefix made
# without WINEARCH would be a 64-bit one.
if [ "$cmd" = start ]; then
    arch=${KSINST_WINEARCH:-win32}
else
    arch=$(cat "$state/arch" 2>/dev/null || echo win32)
fi
case "$arch" in win32|win64) ;; *) echo "winetest: unknown architecture $arch" >&2; exit 2 ;; esac
export WINEARCH=$arch
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
# KSINST_TEMPLATE: a template prefix made by another state folder, copied instead.
template="${KSINST_TEMPLATE:-$state/template}"
prefix="$state/prefix"
export WINEPREFIX="$prefix"

# Links below drive_c that leave prefix $1 (Wine links the profile's folders, Templates
# deep in AppData among them, to the Linux home); the tests' own links stay inside.
outside_links() {
    local p=$1 l
    find "$p/drive_c" -type l -print0 | while IFS= read -r -d '' l; do
        case "$(readlink -f "$l")" in "$p"/*) ;; *) printf '%s\0' "$l" ;; esac
    done
}

seal() {
    local p=$1 l
    rm -f "$p/dosdevices/z:"
    outside_links "$p" | while IFS= read -r -d '' l; do rm -f "$l"; mkdir -p "$l"; done
}

sealed() {
    [ ! -e "$prefix/dosdevices/z:" ] || return 1
    [ -z "$(outside_links "$prefix" | tr -d '\0')" ] || return 1
    local l
    for l in "$prefix"/dosdevices/*; do
        case "$(readlink -f "$l")" in "$prefix"/*|/dev/*) ;; *) return 1 ;; esac
    done
}

# The architecture Wine recorded when it made prefix $1.
prefix_arch() {
    sed -n 's/^#arch=//p' "$1/system.reg" 2>/dev/null | head -n 1
}

make_template() {
    # One template per build folder; every run copies it (much faster than wineboot).
    # A template of the other architecture is never replaced: it may be another state
    # folder's (KSINST_TEMPLATE).
    if [ -f "$template/.ksinst-ready" ]; then
        [ "$(prefix_arch "$template")" = "$arch" ] && return 0
        echo "winetest: $template is a $(prefix_arch "$template") prefix, not $arch" >&2
        return 1
    fi
    rm -rf "$template"
    WINEPREFIX="$template" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$template" wineserver -w
    seal "$template"
    # Frames drawn by Wine itself: windows close at once and can be hit-tested.
    WINEPREFIX="$template" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    WINEPREFIX="$template" wineserver -w
    touch "$template/.ksinst-ready"
}

# Wine names files on the Linux side in the character set of the host locale: without
# that locale, a program run in it cannot create a file whose name leaves ASCII. A
# locale the host lacks is compiled into the state folder, where glibc finds it
# through LOCPATH; nothing is installed on the host.
use_locale() {
    local name=$1 dir="$state/locale"
    [ "$(LC_ALL=$name locale charmap 2>/dev/null)" != "ANSI_X3.4-1968" ] && return 0
    if [ ! -d "$dir/$name" ]; then
        local tmp="$dir/.build$$"
        mkdir -p "$tmp"
        localedef -i "${name%%.*}" -f "${name#*.}" "$tmp/$name" >/dev/null 2>&1 || true
        mv -T "$tmp/$name" "$dir/$name" 2>/dev/null || true
        rm -rf "$tmp"
    fi
    [ -d "$dir/$name" ] && export LOCPATH="$dir"
    return 0
}

case "$cmd" in
start)
    "$0" stop "$state" >/dev/null 2>&1 || true
    echo "$arch" > "$state/arch"
    make_template
    cp -a "$template" "$prefix"
    seal "$prefix"
    sealed || { echo "winetest: prefix not sealed" >&2; exit 1; }
    [ "$(prefix_arch "$prefix")" = "$arch" ] || { echo "winetest: prefix is not $arch" >&2; exit 1; }
    mkdir -p "$prefix/drive_c/ksinst/bin"
    # Xvfb takes a free display itself (its lock file is made exclusively) and writes
    # its number once it is ready: runs started at once never share a display, which
    # the first one to stop would take away from the other.
    rm -f "$state/display.number"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display.number" >/dev/null 2>&1 &
    echo $! > "$state/xvfb.pid"
    for _ in $(seq 1 100); do
        grep -q '^[0-9][0-9]*$' "$state/display.number" 2>/dev/null && break
        sleep 0.1
    done
    display=$(head -n 1 "$state/display.number")
    [ -n "$display" ] || { echo "winetest: Xvfb did not start" >&2; exit 1; }
    echo ":$display" > "$state/display"
    # One server for the whole run: every cold start would carry out pending
    # delete-at-restart operations, as a reboot does.
    wineserver -p </dev/null >/dev/null 2>&1
    DISPLAY=":$display" wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
    echo "winetest: prefix $prefix on display :$display"
    ;;
run)
    exe=${1:?exe}; shift
    sealed || { echo "winetest: prefix missing or not sealed; refusing to run" >&2; exit 1; }
    bin="$prefix/drive_c/ksinst/bin"
    name=${KSINST_RUN_AS:-$(basename "$exe")}
    # Every program of the build sits beside the module, as it does on a real install.
    # A copy is replaced by rename, never rewritten, so a running program keeps its file.
    place() {
        local target="$bin/$2"
        cmp -s "$1" "$target" 2>/dev/null && return 0
        cp -f "$1" "$target.tmp$$" && mv -f "$target.tmp$$" "$target"
    }
    place "$exe" "$name"
    for f in "$(dirname "$exe")"/*.dll "$(dirname "$exe")"/*.exe; do
        [ -e "$f" ] && [ "$(basename "$f")" != "$name" ] && place "$f" "$(basename "$f")"
    done
    if [ -n "${KSINST_WINVER:-}" ]; then
        wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$name" /v Version /d "$KSINST_WINVER" /f >/dev/null 2>&1
    fi
    export DISPLAY=$(cat "$state/display" 2>/dev/null || echo :99)
    cd "$prefix/drive_c"
    if [ -n "${KSINST_LOCALE:-}" ]; then use_locale "$KSINST_LOCALE"; export LC_ALL=$KSINST_LOCALE; fi
    exec wine "C:\\ksinst\\bin\\$name" "$@"
    ;;
wine)
    sealed || { echo "winetest: prefix missing or not sealed; refusing to run" >&2; exit 1; }
    export DISPLAY=$(cat "$state/display" 2>/dev/null || echo :99)
    cd "$prefix/drive_c"
    exec wine "$@"
    ;;
stop)
    if [ -d "$prefix" ]; then wineserver -k 2>/dev/null || true; fi
    if [ -f "$state/xvfb.pid" ]; then kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true; rm -f "$state/xvfb.pid"; fi
    rm -rf "$prefix"
    ;;
*)
    echo "usage: winetest.sh start|run|wine|stop <state-dir> ..." >&2; exit 2 ;;
esac
