#!/usr/bin/env bash
# The sample product's life under Wine, as a person using it would see it: its NSIS
# installer (examples/installer/sample.nsi) installs it silently, a newer version is
# installed over it, and the uninstall command registered in the list of installed
# programs removes it. After each step the demo prints what changed, and it ends with a
# summary: every step, what it changed, and whether that is the expected result. It exits
# non-zero when an expected result is missing; a step whose export this build of the module
# lacks is one of them.
#
#   examples/demo.sh [build-dir]     (make demo builds what it needs first)
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
winetest="$here/../tests/wine/winetest.sh"
state="$build/wine-demo"
prefix="$state/prefix"
drive="$prefix/drive_c"
product="$drive/Program Files/Sample"
module="$build/bin/KSInst.dll"
inst='C:\Program Files\Sample'
sys='C:\windows\system32'
uninstkey='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\SampleAgent'
productkey='HKLM\SOFTWARE\Velm\VLUpdate\SampleAgent'
sharedkey='HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs'
clsidkey='HKCR\CLSID\{6B5D1B9E-2C4A-4F4E-9B7A-0D3C5E7F9A11}\InprocServer32'
runkey='Software\Microsoft\Windows\CurrentVersion\Run'
desktop_lnk="$drive/users/Public/Desktop/Sample Browser.lnk"
group="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Sample Support Agent"

for f in "$build/installer/sample-setup-1.0.exe" "$build/installer/sample-setup-1.1.exe" "$module" \
         "$build/bin/sample_boxanswer.exe"; do
    [ -f "$f" ] || { echo "demo: missing $f (make demo builds it)"; exit 1; }
done
. "$here/installer/reg_helpers.sh"

"$winetest" start "$state" >/dev/null || exit 1
trap '"$winetest" stop "$state" >/dev/null 2>&1 || true' EXIT

regshow() { wcmd reg query "$1" 2>/dev/null | sed -e '/^$/d' -e 's/^/    /'; }

# The summary: one line per expected result.
summary=()
missing=0
verdict() {    # verdict <step> <what> <actual> <expected>
    if [ "$3" == "$4" ]; then summary+=("$(printf '%-9s %-44s expected' "$1" "$2")")
    else summary+=("$(printf '%-9s %-44s NOT AS EXPECTED: [%s]' "$1" "$2" "$3")"); missing=$((missing + 1)); fi
}
unavailable() {
    summary+=("$(printf '%-9s %-44s NOT AS EXPECTED: not available in this build' "$1" "$2")")
    missing=$((missing + 1))
}
heading() { echo; echo "=== $*"; }

# Every level reaches the module's log in this demo (the default keeps errors only).
wcmd reg add 'HKCU\SOFTWARE\Velm\VLUpdate\KSInstLog' /v 'ERRORS_ONLY=' /t REG_DWORD /d 0 /f >/dev/null

show_installation() {
    echo "--- Setup.log: the exports the installer called and their results"
    tr -d '\r' < "$product/Setup.log" | grep -E '^(step|restart|installation)' | sed 's/^/    /'
    echo "--- KSCommon.cfg (configuration values set by the installer)"
    tr -d '\r' < "$product/KSCommon.cfg" | sed -n '/^\[General\]/,/^\[\]/p' | sed 's/^/    /'
    echo "--- per-user registry values, every user (HKEY_USERS)"
    local user
    for user in $(wcmd reg query HKU | grep -i '^HKEY_USERS\\' ); do
        echo "    $user\\Software\\Velm\\Sample"
        regshow "$user\\Software\\Velm\\Sample" | grep REG_ | sed 's/^/    /'
    done
    echo "--- Run key (start with Windows)"
    regshow "HKCU\\$runkey" | grep REG_ || echo "    (no value)"
    echo "--- shortcuts, read back (target inside each .lnk)"
    local l
    for l in "$desktop_lnk" "$group"/*.lnk; do
        [ -f "$l" ] || continue
        echo "    ${l#$drive/} -> $(strings "$l" | grep -m1 -i 'sample.*\.exe')"
    done
    echo "--- downloader and its counts"
    echo "    registered: $(regdefault "$clsidkey")"
    regshow "$sharedkey" | grep -i 'sample' || echo "    (no shared-library counts)"
    echo "--- list of installed programs"
    regshow "$uninstkey" | grep REG_
}

# 1. Install
heading "1. Install version 1.0 silently (sample-setup-1.0.exe /S)"
timeout 120 "$winetest" run "$state" "$build/installer/sample-setup-1.0.exe" /S >/dev/null 2>&1
rc=$?
for _ in $(seq 1 50); do [ -e "$product/SampleAgent.exe.starts" ] && break; sleep 0.1; done
show_installation
verdict install "installer exit code" "$rc" "0"
verdict install "uninstall command registered" "$(regval "$uninstkey" UninstallString)" "rundll32.exe \"$inst\\KSInst.dll\",ExUninstall"
verdict install "configuration: General\\Path" "$(tr -d '\r' < "$product/KSCommon.cfg" | grep -c "^ Path = C:\\\\Program Files\\\\Sample$")" "1"
verdict install "per-user value InstallDir" "$(regval 'HKCU\Software\Velm\Sample' InstallDir)" "$inst"
verdict install "downloader registered in system32" "$(regdefault "$clsidkey")" "$sys\\SampleDown.dll"
verdict install "downloader count" "$(regval "$sharedkey" "$sys\\SampleDown.dll")" "0x1"
verdict install "shared component count" "$(regval "$sharedkey" "$inst\\SampleShared.dll")" "0x1"
for e in KSWCreateShortcuts KSWCreateStartMenu KSWAgentAtStartup KSWRunAgent KSWRun; do
    exported "$e" || { unavailable install "$e"; continue; }
    case $e in
    KSWCreateShortcuts) verdict install "desktop shortcut" "$([ -f "$desktop_lnk" ] && echo yes)" "yes" ;;
    KSWCreateStartMenu) verdict install "Start-menu group" "$(ls "$group" 2>/dev/null | tr '\n' ' ')" "Sample Agent.lnk Sample Browser.lnk " ;;
    KSWAgentAtStartup) verdict install "Run value" "$(regval "HKCU\\$runkey" SampleAgent)" "\"$inst\\SampleAgent.exe\" /startup" ;;
    KSWRunAgent) verdict install "agent started" "$(tr -d '\r' < "$product/SampleAgent.exe.starts" 2>/dev/null | tail -n 1 | cut -d' ' -f1)" "/install" ;;
    KSWRun) verdict install "browser run, waited for, guard held" "$(tr -d '\r' < "$product/SampleBrowser.exe.starts" 2>/dev/null)" "/register [guard held]" ;;
    esac
done

# 2. Upgrade
heading "2. Install version 1.1 over it (the older one removed through DllRegisterServer)"
if exported DllRegisterServer; then
    timeout 120 "$winetest" run "$state" "$build/installer/sample-setup-1.1.exe" /S >/dev/null 2>&1
    rc=$?
    show_installation
    verdict upgrade "installer exit code" "$rc" "0"
    verdict upgrade "DllRegisterServer result" "$(step_result DllRegisterServer)" "0"
    verdict upgrade "DisplayVersion" "$(regval "$uninstkey" DisplayVersion)" "1.1"
    verdict upgrade "configuration: General\\Version" "$(tr -d '\r' < "$product/KSCommon.cfg" | grep -c '^ Version = 1.1$')" "1"
    verdict upgrade "downloader count (old one released)" "$(regval "$sharedkey" "$sys\\SampleDown.dll")" "0x1"
    verdict upgrade "shared component count (old one released)" "$(regval "$sharedkey" "$inst\\SampleShared.dll")" "0x1"
else
    echo "not available in this build (no DllRegisterServer export)"
    unavailable upgrade "removal of the older version"
fi

# 3. Uninstall
heading "3. Uninstall as the list of installed programs does"
if exported ExUninstall; then
    command=$(regval "$uninstkey" UninstallString)
    echo "> $command"
    uninstall_as_listed "$command" 120
    echo "--- message boxes, as answered"
    tr -d '\r' < "$drive/boxes.log" 2>/dev/null | sed 's/^/    /'
    pending=$(wcmd reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations | grep -c REG_MULTI_SZ)
    echo "--- restart (pending deletions carried out)"
    wcmd wineboot -r >/dev/null
    echo "--- what is left"
    echo "    product folder: $([ -e "$product" ] && ls -A "$product" | tr '\n' ' ' || echo '(gone)')"
    echo "    uninstall entry: $(wcmd reg query "$uninstkey" >/dev/null 2>&1 && echo present || echo '(gone)')"
    echo "    Run value: $(regval "HKCU\\$runkey" SampleAgent)"
    echo "    downloader: $(ls "$drive/windows/system32/SampleDown.dll" 2>/dev/null || echo '(gone)')"
    echo "--- KSInst.log"
    tr -d '\r' < "$drive/users/root/Temp/KSInst.log" 2>/dev/null | tail -n 40 | sed 's/^/    /'
    verdict uninstall "confirmation answered, finish shown" "$(grep -ciE 'uninstalled successfully|restart' "$drive/boxes.log" 2>/dev/null)" "1"
    verdict uninstall "product folder removed" "$([ -e "$product" ] && echo present || echo gone)" "gone"
    verdict uninstall "uninstall entry removed" "$(regval "$uninstkey" UninstallString)" ""
    verdict uninstall "product record removed" "$(regval "$productkey" CfgPath)" ""
    verdict uninstall "Run value removed" "$(regval "HKCU\\$runkey" SampleAgent)" ""
    verdict uninstall "desktop shortcut removed" "$([ -e "$desktop_lnk" ] && echo present || echo gone)" "gone"
    verdict uninstall "Start-menu group removed" "$([ -e "$group" ] && echo present || echo gone)" "gone"
    verdict uninstall "downloader removed" "$([ -e "$drive/windows/system32/SampleDown.dll" ] && echo present || echo gone)" "gone"
    verdict uninstall "shared counts released" "$(regshow "$sharedkey" | grep -ci sample)" "0"
    echo "    (pending operations before the restart: $pending)"
else
    echo "not available in this build (no ExUninstall export)"
    unavailable uninstall "removal through the registered command"
fi

heading "Summary"
printf '%s\n' "${summary[@]}"
echo
if [ "$missing" -eq 0 ]; then echo "demo: every result as expected"; else echo "demo: $missing result(s) not as expected"; fi
[ "$missing" -eq 0 ]
