#!/usr/bin/env bash
# The sample product's installer, built by makensis, run silently under Wine in a prefix
# of its own; then the disk and the registry are checked against what sample.nsi says.
#
#   installer_test.sh <build-dir> <state-dir>
#
# The exports of the installation actions, the self-registration and the uninstall
# entry are checked only when the module exports them (its export table says so);
# otherwise the installer must have logged them as "not available in this build".
set -uo pipefail
build=$(cd "${1:?build dir}" && pwd)
state=${2:?state dir}
here=$(cd "$(dirname "$0")" && pwd)
winetest="$here/../wine/winetest.sh"
setup10="$build/installer/sample-setup-1.0.exe"
setup11="$build/installer/sample-setup-1.1.exe"
module="$build/bin/KSInst.dll"

failures=0
checks=0
ok()   { checks=$((checks + 1)); echo "ok    $*"; }
fail() { checks=$((checks + 1)); failures=$((failures + 1)); echo "FAIL  $*"; }
# expect <what> <actual> <expected>
expect() {
    if [ "$2" == "$3" ]; then ok "$1"; else fail "$1: got [$2], expected [$3]"; fi
}

for f in "$setup10" "$setup11" "$module"; do
    [ -f "$f" ] || { echo "missing $f (build the target sample_installer)"; exit 1; }
done


"$winetest" start "$state" >/dev/null || exit 1
trap '"$winetest" stop "$state" >/dev/null 2>&1' EXIT
prefix="$state/prefix"
drive="$prefix/drive_c"
product="$drive/Program Files/Sample"

. "$here/../../examples/installer/reg_helpers.sh"
# The "step <export> = <result>" lines of Setup.log, export names only, in order.
steps() { tr -d '\r' < "$product/Setup.log" | sed -n 's/^step \([A-Za-z]*\) = .*/\1/p' | tr '\n' ' '; }
# An export the module has must have been called with a result; one it lacks must have
# been logged as missing.
called() {
    local r; r=$(step_result "$1")
    if exported "$1"; then
        if [ "$r" == "not available in this build" ] || [ -z "$r" ]; then
            fail "$1 is exported but the installer did not call it ([$r])"
            return 1
        fi
    else
        expect "$1 logged as missing from this build" "$r" "not available in this build"
        return 1
    fi
}
# The target path a shortcut file holds (the shell link keeps it as ANSI text).
link_target() { strings -n 6 "$1" 2>/dev/null | grep -m1 -i '^[A-Z]:\\.*\.exe$'; }
run_setup() {
    local exe=$1 rc
    timeout 120 "$winetest" run "$state" "$exe" /S >/dev/null 2>&1
    rc=$?
    # The installer ends before the agent it started may have written its mark.
    exported KSWRunAgent && for _ in $(seq 1 50); do [ -e "$product/SampleAgent.exe.starts" ] && break; sleep 0.1; done
    return $rc
}

sys='C:\windows\system32'
inst='C:\Program Files\Sample'
uninstkey='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\SampleAgent'
sharedkey='HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs'
clsidkey='HKCR\CLSID\{6B5D1B9E-2C4A-4F4E-9B7A-0D3C5E7F9A11}\InprocServer32'
runkey='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
desktop_lnk="$drive/users/Public/Desktop/Sample Browser.lnk"
group="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Sample Support Agent"

echo "== install while another program of the product holds the guard"
if exported KSWAreThereOthers; then
    "$winetest" run "$state" "$build/bin/kshelper.exe" event 'Global\Velm:VLAgent:InstallerEvent' 0 ksinst_installer_release >/dev/null 2>&1 &
    holder=$!
    sleep 2
    run_setup "$setup10"
    expect "installer refused (exit code)" "$?" "2"
    [ ! -e "$product" ] && ok "nothing installed while the guard is held" || fail "installed although the guard was held"
    kill "$holder" 2>/dev/null
    wait "$holder" 2>/dev/null
    # The refused installer leaves its temporary copy of the module for the next restart.
    wcmd reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations |
        grep -q 'KSInst.dll' && ok "refused installer's temporary module pending for the restart" ||
        fail "no pending deletion of the refused installer's temporary module"
    leftover=1
else
    echo "skipped: KSWAreThereOthers not in this build"
fi

echo "== install 1.0"
run_setup "$setup10"
expect "installer exit code" "$?" "0"
for f in KSInst.dll KSInst.cfg KSCommon.cfg SampleAgent.exe SampleBrowser.exe SampleShared.dll Setup.log; do
    if [ -f "$product/$f" ]; then ok "installed $f"; else fail "not installed: $f"; fi
done
cmp -s "$product/KSInst.dll" "$module" && ok "KSInst.dll is the built module" || fail "KSInst.dll differs from the build"
expect "export order" "$(steps)" "KSWAreThereOthers KSWIsCompatibleWithOS DllRegisterServer KSWSetParamString KSWSetParamString KSWSetParamString KSWGetParamString KSWAddRegStringToAllUsers KSWAddRegDWordToAllUsers KSWCreateShortcuts KSWCreateStartMenu KSWInstallDownloader KSWAgentAtStartup KSWRunAgent KSWRun KSWAnalyzeLog "
expect "files logged for the log analysis" \
    "$(tr -d '\r' < "$product/Setup.log" | grep -c '^File Copy: C:\\Program Files\\Sample\\')" "7"
expect "system check" "$(step_result KSWIsCompatibleWithOS)" "1"
expect "configuration read back" "$(step_result KSWGetParamString)" "Sample Support Agent"
cfg=$(tr -d '\r' < "$product/KSCommon.cfg")
grep -qxF " Path = C:\\Program Files\\Sample" <<<"$cfg" && ok "KSCommon.cfg General\\Path" || fail "KSCommon.cfg lacks Path: $cfg"
grep -qxF " Version = 1.0" <<<"$cfg" && ok "KSCommon.cfg General\\Version" || fail "KSCommon.cfg lacks Version 1.0"
grep -qxF " Path = C:\\Program Files\\Sample" < <(tr -d '\r' < "$product/KSInst.cfg") && ok "KSInst.cfg General\\Path" || fail "KSInst.cfg lacks Path"
expect "product record CfgPath" "$(regval 'HKLM\SOFTWARE\Velm\VLUpdate\SampleAgent' CfgPath)" "$inst\\KSCommon.cfg"
expect "per-user InstallDir" "$(regval 'HKCU\Software\Velm\Sample' InstallDir)" "$inst"
expect "per-user Installed" "$(regval 'HKCU\Software\Velm\Sample' Installed)" "0x1"
expect "uninstall command" "$(regval "$uninstkey" UninstallString)" "rundll32.exe \"$inst\\KSInst.dll\",ExUninstall"
expect "uninstall DisplayName" "$(regval "$uninstkey" DisplayName)" "Sample Support Agent"
expect "uninstall DisplayVersion" "$(regval "$uninstkey" DisplayVersion)" "1.0"
expect "shared component count" "$(regval "$sharedkey" "$inst\\SampleShared.dll")" "0x1"
expect "downloader installed" "$(step_result KSWInstallDownloader)" "1"
[ -f "$drive/windows/system32/SampleDown.dll" ] && ok "downloader in the system folder" || fail "no SampleDown.dll in system32"
[ ! -e "$product/Downloader" ] && ok "downloader delivery folder removed" || fail "Downloader folder left"
expect "downloader registered" "$(regdefault "$clsidkey")" "$sys\\SampleDown.dll"
expect "downloader count" "$(regval "$sharedkey" "$sys\\SampleDown.dll")" "0x1"
if [ -n "${leftover:-}" ]; then
    # The refused installer's file, pending for the restart, is none of this
    # installation's: a restart is needed, and the silent installer declines it.
    expect "log analysis" "$(step_result KSWAnalyzeLog)" "1"
    grep -q '^restart needed' "$product/Setup.log" && ok "restart asked for" || fail "restart not asked for"
    wcmd reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations |
        grep -q 'KSInst.dll' && ok "no restart in a silent installation" || fail "the pending list was carried out"
    # The restart, now.
    timeout 60 "$winetest" wine "$state" wineboot -r >/dev/null 2>&1
else
    # Nothing was pending for the restart before this installation: no restart needed.
    expect "log analysis" "$(step_result KSWAnalyzeLog)" "-1"
    grep -q '^restart needed' "$product/Setup.log" && fail "restart asked for" || ok "no restart asked for"
fi
[ -f "$drive/ProgramData/Velm/VLUpdate/Kestrel/Channels/channels.ini" ] && ok "channel index" || fail "no channels.ini"

if called DllRegisterServer; then
    expect "DllRegisterServer on a clean system" "$(step_result DllRegisterServer)" "0"
fi
if called KSWAreThereOthers; then
    r=$(step_result KSWAreThereOthers)
    [ "$r" != 0 ] && [ "$r" != -1 ] && ok "guard taken ($r)" || fail "guard not taken: $r"
fi
if called KSWCreateShortcuts; then
    expect "KSWCreateShortcuts result" "$(step_result KSWCreateShortcuts)" "1"
    [ -f "$desktop_lnk" ] && ok "desktop shortcut" || fail "no desktop shortcut"
    expect "desktop shortcut target" "$(link_target "$desktop_lnk")" "$inst\\SampleBrowser.exe"
    grep -qxF " C:\\users\\Public\\Desktop\\Sample Browser.lnk = " < <(tr -d '\r' < "$product/KSCommon.cfg") &&
        ok "desktop shortcut recorded for removal" || fail "desktop shortcut not in [Uninstall]"
fi
if called KSWCreateStartMenu; then
    expect "KSWCreateStartMenu result" "$(step_result KSWCreateStartMenu)" "1"
    expect "Start-menu group" "$(ls "$group" 2>/dev/null | tr '\n' '|')" "Sample Agent.lnk|Sample Browser.lnk|"
    expect "Start-menu agent target" "$(link_target "$group/Sample Agent.lnk")" "$inst\\SampleAgent.exe"
fi
if called KSWAgentAtStartup; then
    expect "KSWAgentAtStartup result" "$(step_result KSWAgentAtStartup)" "1"
    expect "Run value" "$(regval "$runkey" SampleAgent)" "\"$inst\\SampleAgent.exe\" /startup"
fi
if called KSWRunAgent; then
    # The agent runs on its own: whether the installer still holds the guard then is a race.
    expect "agent started with /install" "$(tr -d '\r' < "$product/SampleAgent.exe.starts" 2>/dev/null | tail -n 1 | cut -d' ' -f1)" "/install"
fi
if called KSWRun; then
    expect "KSWRun result (the program's exit code)" "$(step_result KSWRun)" "0"
    expect "browser run and waited for, guard held" "$(tr -d '\r' < "$product/SampleBrowser.exe.starts" 2>/dev/null)" "/register [guard held]"
fi

echo "== upgrade: 1.1 over 1.0"
if exported DllRegisterServer; then
    run_setup "$setup11"
    expect "installer exit code" "$?" "0"
    expect "DllRegisterServer removed the older installation" "$(step_result DllRegisterServer)" "0"
    expect "uninstall DisplayVersion" "$(regval "$uninstkey" DisplayVersion)" "1.1"
    grep -qxF " Version = 1.1" < <(tr -d '\r' < "$product/KSCommon.cfg") && ok "KSCommon.cfg Version 1.1" || fail "KSCommon.cfg not 1.1"
    expect "uninstall command" "$(regval "$uninstkey" UninstallString)" "rundll32.exe \"$inst\\KSInst.dll\",ExUninstall"
    # The older installation's references were released before the new ones were taken.
    expect "shared component count" "$(regval "$sharedkey" "$inst\\SampleShared.dll")" "0x1"
    expect "downloader count" "$(regval "$sharedkey" "$sys\\SampleDown.dll")" "0x1"
    cmp -s "$drive/windows/system32/SampleDown.dll" "$build/installer/stage-1.1/SampleDown.dll" &&
        ok "downloader replaced by the newer copy" || fail "downloader is not the 1.1 copy"
    expect "downloader registered" "$(regdefault "$clsidkey")" "$sys\\SampleDown.dll"
else
    echo "skipped: DllRegisterServer not in this build"
fi

echo "== removal through the registered uninstall command"
if exported ExUninstall; then
    command=$(regval "$uninstkey" UninstallString)
    uninstall_as_listed "$command" 90
    expect "first phase ended in time" "$?" "0"
    tr -d '\r' < "$drive/boxes.log" 2>/dev/null | sed 's/^/      box: /'
    grep -qi 'Are you sure' "$drive/boxes.log" 2>/dev/null && ok "removal asked first" || fail "no confirmation question"
    grep -qiE 'uninstalled successfully|restart' "$drive/boxes.log" 2>/dev/null && ok "removal finished" || fail "no finish box"
    # The simulated restart carries out what was left for it.
    timeout 60 "$winetest" wine "$state" wineboot -r >/dev/null 2>&1
    [ ! -e "$product" ] && ok "product folder removed" || fail "left in the product folder: $(ls -A "$product" | tr '\n' ' ')"
    expect "uninstall entry removed" "$(regval "$uninstkey" UninstallString)" ""
    expect "product record removed" "$(regval 'HKLM\SOFTWARE\Velm\VLUpdate\SampleAgent' CfgPath)" ""
    expect "Run value removed" "$(regval "$runkey" SampleAgent)" ""
    [ ! -e "$desktop_lnk" ] && ok "desktop shortcut removed" || fail "desktop shortcut left"
    [ ! -e "$group" ] && ok "Start-menu group removed" || fail "Start-menu group left"
    [ ! -e "$drive/windows/system32/SampleDown.dll" ] && ok "downloader removed" || fail "downloader left"
    expect "downloader registration removed" "$(regdefault "$clsidkey")" ""
    expect "shared counts released" "$(regval "$sharedkey" "$inst\\SampleShared.dll")$(regval "$sharedkey" "$sys\\SampleDown.dll")" ""
    [ ! -e "$drive/ProgramData/Velm/VLUpdate/Kestrel/Channels/samplenews" ] && ok "channel folder removed" || fail "channel folder left"
else
    echo "skipped: ExUninstall not in this build"
fi

echo
echo "installer test: $checks checks, $failures failed"
[ "$failures" -eq 0 ]
