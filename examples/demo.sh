#!/usr/bin/env bash
# The sample product's life under Wine, as a person using it would see it: its NSIS
# installer (examples/installer/sample.nsi) refuses to run while another program of the
# product holds the installer guard, then installs it silently, a newer version is
# installed over it, and the uninstall command registered in the list of installed
# programs removes it. After each step the demo prints what changed, and it ends with a
# summary: every step, what it changed, and whether that is the expected result. It exits
# non-zero when an expected result is missing; a step whose export this build of the module
# lacks is one of them. `make test` runs it too (CTest entry "demo").
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
channels="$drive/ProgramData/Velm/VLUpdate/Kestrel/Channels"

for f in "$build/installer/sample-setup-1.0.exe" "$build/installer/sample-setup-1.1.exe" "$module" \
         "$build/bin/sample_boxanswer.exe" "$build/bin/kshelper.exe"; do
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
# need <step> <export>: whether the module exports what a step needs (if not, a result
# not as expected).
need() { exported "$2" || { echo "not available in this build (no $2 export)"; unavailable "$1" "$2"; return 1; }; }
state_of() { [ -e "$1" ] && echo present || echo gone; }
# The lines of a configuration file matching an extended regex, each ended by "|".
cfg_lines() { tr -d '\r' < "$1" 2>/dev/null | grep -E "$2" | tr '\n' '|'; }
# The target path a shortcut file holds (the shell link keeps it as ANSI text).
link_target() { strings -n 6 "$1" 2>/dev/null | grep -m1 -i '^[A-Z]:\\.*\.exe$'; }
# The "step <export> = <result>" lines of Setup.log, export names only, in order.
steps() { tr -d '\r' < "$product/Setup.log" | sed -n 's/^step \([A-Za-z]*\) = .*/\1/p' | tr '\n' ' '; }
pending() { wcmd reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations; }
# Runs the sample installer of version $1 silently; the agent it starts may write its mark
# after the installer has ended.
run_setup() {
    timeout 120 "$winetest" run "$state" "$build/installer/sample-setup-$1.exe" /S >/dev/null 2>&1
    local rc=$?
    for _ in $(seq 1 50); do [ -e "$product/SampleAgent.exe.starts" ] && break; sleep 0.1; done
    return $rc
}

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
        echo "    ${l#$drive/} -> $(link_target "$l")"
    done
    echo "--- downloader and its counts"
    echo "    registered: $(regdefault "$clsidkey")"
    regshow "$sharedkey" | grep -i 'sample' || echo "    (no shared-library counts)"
    echo "--- list of installed programs"
    regshow "$uninstkey" | grep REG_
}

# 1. Refused
heading "1. Install while another program of the product holds the installer guard"
if need refused KSWAreThereOthers; then
    "$winetest" run "$state" "$build/bin/kshelper.exe" event 'Global\Velm:VLAgent:InstallerEvent' 0 demo_guard_release >/dev/null 2>&1 &
    holder=$!
    sleep 2
    run_setup 1.0
    rc=$?
    kill "$holder" 2>/dev/null
    wait "$holder" 2>/dev/null
    echo "    installer exit code $rc; product folder: $(state_of "$product")"
    verdict refused "installer exit code" "$rc" "2"
    verdict refused "nothing installed" "$(state_of "$product")" "gone"
    verdict refused "its temporary module pending for the restart" "$(pending | grep -q 'KSInst\.dll' && echo pending)" "pending"
fi

# 2. Install
heading "2. Install version 1.0 silently (sample-setup-1.0.exe /S)"
run_setup 1.0
rc=$?
show_installation
verdict install "installer exit code" "$rc" "0"
verdict install "files installed" "$(for f in KSInst.dll KSInst.cfg KSCommon.cfg SampleAgent.exe SampleBrowser.exe SampleShared.dll Setup.log; do [ -f "$product/$f" ] || printf '%s ' "$f"; done)" ""
verdict install "KSInst.dll is the built module" "$(cmp -s "$product/KSInst.dll" "$module" && echo same)" "same"
verdict install "exports called, in order" "$(steps)" "KSWAreThereOthers KSWIsCompatibleWithOS DllRegisterServer KSWSetParamString KSWSetParamString KSWSetParamString KSWGetParamString KSWAddRegStringToAllUsers KSWAddRegDWordToAllUsers KSWCreateShortcuts KSWCreateStartMenu KSWInstallDownloader KSWAgentAtStartup KSWRunAgent KSWRun KSWAnalyzeLog "
r=$(step_result KSWAreThereOthers)
verdict install "installer guard taken" "$([ "$r" != 0 ] && [ "$r" != -1 ] && echo taken)" "taken"
verdict install "system check" "$(step_result KSWIsCompatibleWithOS)" "1"
verdict install "DllRegisterServer on a clean system" "$(step_result DllRegisterServer)" "0"
verdict install "uninstall command registered" "$(regval "$uninstkey" UninstallString)" "rundll32.exe \"$inst\\KSInst.dll\",ExUninstall"
verdict install "uninstall entry name, version" "$(regval "$uninstkey" DisplayName), $(regval "$uninstkey" DisplayVersion)" "Sample Support Agent, 1.0"
verdict install "configuration: General\\Path, Version" "$(cfg_lines "$product/KSCommon.cfg" '^ (Path|Version) = ')" " Path = C:\\Program Files\\Sample| Version = 1.0|"
verdict install "configuration: KSInst.cfg General\\Path" "$(cfg_lines "$product/KSInst.cfg" '^ Path = ')" " Path = C:\\Program Files\\Sample|"
verdict install "configuration read back" "$(step_result KSWGetParamString)" "Sample Support Agent"
verdict install "product record" "$(regval "$productkey" CfgPath)" "$inst\\KSCommon.cfg"
verdict install "per-user values InstallDir, Installed" "$(regval 'HKCU\Software\Velm\Sample' InstallDir), $(regval 'HKCU\Software\Velm\Sample' Installed)" "$inst, 0x1"
verdict install "shared component count" "$(regval "$sharedkey" "$inst\\SampleShared.dll")" "0x1"
verdict install "downloader installed" "$(step_result KSWInstallDownloader), $(state_of "$product/Downloader")" "1, gone"
verdict install "downloader registered in system32" "$(regdefault "$clsidkey")" "$sys\\SampleDown.dll"
verdict install "downloader count" "$(regval "$sharedkey" "$sys\\SampleDown.dll")" "0x1"
verdict install "channel index" "$(state_of "$channels/channels.ini")" "present"
verdict install "desktop shortcut" "$(step_result KSWCreateShortcuts), $(link_target "$desktop_lnk")" "1, $inst\\SampleBrowser.exe"
verdict install "desktop shortcut recorded for removal" "$(cfg_lines "$product/KSCommon.cfg" 'Browser\.lnk = ')" " C:\\users\\Public\\Desktop\\Sample Browser.lnk = |"
verdict install "Start-menu group" "$(step_result KSWCreateStartMenu), $(ls "$group" 2>/dev/null | tr '\n' ' ')" "1, Sample Agent.lnk Sample Browser.lnk "
verdict install "Start-menu agent shortcut" "$(link_target "$group/Sample Agent.lnk")" "$inst\\SampleAgent.exe"
verdict install "Run value" "$(step_result KSWAgentAtStartup), $(regval "HKCU\\$runkey" SampleAgent)" "1, \"$inst\\SampleAgent.exe\" /startup"
verdict install "agent started" "$(tr -d '\r' < "$product/SampleAgent.exe.starts" 2>/dev/null | tail -n 1 | cut -d' ' -f1)" "/install"
verdict install "browser run, waited for, guard held" "$(step_result KSWRun), $(tr -d '\r' < "$product/SampleBrowser.exe.starts" 2>/dev/null)" "0, /register [guard held]"
verdict install "files logged for the log analysis" "$(tr -d '\r' < "$product/Setup.log" | grep -c '^File Copy: C:\\Program Files\\Sample\\')" "7"
if [ -n "${holder:-}" ]; then
    # The refused installer's module, pending for the restart, is none of this
    # installation's: a restart is needed, and the silent installer declines it.
    verdict install "log analysis: restart needed" "$(step_result KSWAnalyzeLog), $(grep -c '^restart needed' "$product/Setup.log")" "1, 1"
    verdict install "no restart in a silent installation" "$(pending | grep -q 'KSInst\.dll' && echo pending)" "pending"
    echo "--- restart (the refused installer's module is deleted)"
    wcmd wineboot -r >/dev/null
else
    verdict install "log analysis: no restart needed" "$(step_result KSWAnalyzeLog), $(grep -c '^restart needed' "$product/Setup.log")" "-1, 0"
fi

# 3. Upgrade
heading "3. Install version 1.1 over it (the older one removed through DllRegisterServer)"
if need upgrade DllRegisterServer; then
    run_setup 1.1
    rc=$?
    show_installation
    verdict upgrade "installer exit code" "$rc" "0"
    verdict upgrade "DllRegisterServer removed the older version" "$(step_result DllRegisterServer)" "0"
    verdict upgrade "DisplayVersion" "$(regval "$uninstkey" DisplayVersion)" "1.1"
    verdict upgrade "uninstall command registered" "$(regval "$uninstkey" UninstallString)" "rundll32.exe \"$inst\\KSInst.dll\",ExUninstall"
    verdict upgrade "configuration: General\\Version" "$(cfg_lines "$product/KSCommon.cfg" '^ Version = ')" " Version = 1.1|"
    # The older installation's references were released before the new ones were taken.
    verdict upgrade "downloader count (old one released)" "$(regval "$sharedkey" "$sys\\SampleDown.dll")" "0x1"
    verdict upgrade "shared component count (old one released)" "$(regval "$sharedkey" "$inst\\SampleShared.dll")" "0x1"
    verdict upgrade "downloader replaced by the newer copy" "$(cmp -s "$drive/windows/system32/SampleDown.dll" "$build/installer/stage-1.1/SampleDown.dll" && echo same)" "same"
    verdict upgrade "downloader registered in system32" "$(regdefault "$clsidkey")" "$sys\\SampleDown.dll"
fi

# 4. Uninstall
heading "4. Uninstall as the list of installed programs does"
if need uninstall ExUninstall; then
    command=$(regval "$uninstkey" UninstallString)
    echo "> $command"
    uninstall_as_listed "$command" 120
    rc=$?
    echo "--- message boxes, as answered"
    tr -d '\r' < "$drive/boxes.log" 2>/dev/null | sed 's/^/    /'
    echo "--- restart (the pending deletions are carried out)"
    wcmd wineboot -r >/dev/null
    echo "--- what is left"
    echo "    product folder: $([ -e "$product" ] && ls -A "$product" | tr '\n' ' ' || echo '(gone)')"
    echo "    uninstall entry: $(wcmd reg query "$uninstkey" >/dev/null 2>&1 && echo present || echo '(gone)')"
    echo "    Run value: $(regval "HKCU\\$runkey" SampleAgent)"
    echo "    downloader: $(ls "$drive/windows/system32/SampleDown.dll" 2>/dev/null || echo '(gone)')"
    echo "--- KSInst.log"
    tr -d '\r' < "$drive/users/root/Temp/KSInst.log" 2>/dev/null | tail -n 40 | sed 's/^/    /'
    verdict uninstall "first phase ended in time" "$rc" "0"
    verdict uninstall "asked first, finish shown" "$(grep -ci 'Are you sure' "$drive/boxes.log"), $(grep -ciE 'uninstalled successfully|restart' "$drive/boxes.log" 2>/dev/null)" "1, 1"
    verdict uninstall "product folder removed" "$(state_of "$product")" "gone"
    verdict uninstall "uninstall entry removed" "$(regval "$uninstkey" UninstallString)" ""
    verdict uninstall "product record removed" "$(regval "$productkey" CfgPath)" ""
    verdict uninstall "Run value removed" "$(regval "HKCU\\$runkey" SampleAgent)" ""
    verdict uninstall "desktop shortcut removed" "$(state_of "$desktop_lnk")" "gone"
    verdict uninstall "Start-menu group removed" "$(state_of "$group")" "gone"
    verdict uninstall "downloader removed" "$(state_of "$drive/windows/system32/SampleDown.dll")" "gone"
    verdict uninstall "downloader registration removed" "$(regdefault "$clsidkey")" ""
    verdict uninstall "shared counts released" "$(regshow "$sharedkey" | grep -ci sample)" "0"
    verdict uninstall "channel folder removed" "$(state_of "$channels/samplenews")" "gone"
fi

heading "Summary"
printf '%s\n' "${summary[@]}"
echo
if [ "$missing" -eq 0 ]; then echo "demo: every result as expected"; else echo "demo: $missing result(s) not as expected"; fi
[ "$missing" -eq 0 ]
