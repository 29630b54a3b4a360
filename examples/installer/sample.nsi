; The sample product's installer: installs a few stand-in programs, KSInst.dll and the
; product's configuration, and calls the module's exports through the System plug-in in
; the order a real installation script does. Built by CMake (target sample_installer):
;
;   makensis -DVERSION=1.0 -DBIN=<build>/bin -DSRC=<this folder> -DOUTFILE=<exe> sample.nsi
;
; BIN holds KSInst.dll, sample_standin.exe (every stand-in program is a copy of it),
; SampleDown.dll (the downloader, a self-registering COM server) and SampleShared.dll.
; Every export called is logged in $INSTDIR\Setup.log as "step <export> = <result>";
; an export that this build of the module lacks is logged as "not available in this
; build" and the installation goes on. Setup.log also lists every file put in place
; ("File Copy: " / "File Overwrite: "), which KSWAnalyzeLog compares with the operations
; pending for the next restart.

Unicode false
!ifndef VERSION
  !define VERSION 1.0
!endif
!define PRODUCT "Sample Support Agent"
; The uninstall registration is named by the product's unique name (ObjectPrefix): the
; uninstaller removes that key.
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\SampleAgent"
!define PRODUCTKEY "SOFTWARE\Velm\VLUpdate\SampleAgent"
!define USERKEY "Software\Velm\Sample"
!define SHAREDKEY "Software\Microsoft\Windows\CurrentVersion\SharedDLLs"
; $APPDATA is the common application-data folder: the shell context is "all".
!define CHANNELS "$APPDATA\Velm\VLUpdate\Kestrel\Channels"
; Windows 2000, XP, Server 2003 and 6.x (Vista, 7 and later).
!define SUPPORTED_OS 0x3C0000

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Sample"
RequestExecutionLevel admin
ShowInstDetails show

Var Guard     ; the installer guard's event handle, held until the installation ends
Var Log       ; handle of Setup.log
Var Result

Page directory
Page instfiles

; Writes one line into Setup.log.
!macro LogLine TEXT
  FileWrite $Log "${TEXT}$\r$\n"
!macroend

; Puts one file in place the way the log analysis expects to read it: "File Copy:" for a
; new file, "File Overwrite:" for a replaced one.
!macro InstallFile SOURCE NAME
  IfFileExists "$OUTDIR\${NAME}" 0 +3
    !insertmacro LogLine "File Overwrite: $OUTDIR\${NAME}"
    Goto +2
    !insertmacro LogLine "File Copy: $OUTDIR\${NAME}"
  File "/oname=${NAME}" "${SOURCE}"
!macroend

; Logs the result of the export just called ($Result); the System plug-in answers
; "error" when the module lacks the export.
!macro Step EXPORT
  StrCmp $Result "error" 0 +3
    !insertmacro LogLine "step ${EXPORT} = not available in this build"
    Goto +2
    !insertmacro LogLine "step ${EXPORT} = $Result"
  DetailPrint "${EXPORT}: $Result"
!macroend

Function .onInit
  SetShellVarContext all
  ; The guard and the removal of an older installation run from a copy of the module
  ; (with its configuration) in the installer's own temporary folder.
  InitPluginsDir
  File "/oname=$PLUGINSDIR\KSInst.dll" "${BIN}\KSInst.dll"
  File "/oname=$PLUGINSDIR\KSInst.cfg" "${SRC}\KSInst.cfg"

  ; The guard: a handle when no other installer or uninstaller of the product runs.
  System::Call '"$PLUGINSDIR\KSInst.dll"::KSWAreThereOthers() i .r0'
  StrCpy $Guard $0
  StrCmp $0 "error" guard_done       ; not in this build of the module: go on
  IntCmp $0 0 others
  IntCmp $0 -1 others
  Goto guard_done
others:
  MessageBox MB_OK|MB_ICONSTOP "Another installation or removal of ${PRODUCT} is running." /SD IDOK
  SetErrorLevel 2
  Abort
guard_done:

  System::Call '"$PLUGINSDIR\KSInst.dll"::KSWIsCompatibleWithOS(i ${SUPPORTED_OS}) i .r1'
  IntCmp $1 1 os_ok
  MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} does not run on this version of Windows." /SD IDOK
  SetErrorLevel 3
  Abort
os_ok:
FunctionEnd

Section "Sample product"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  FileOpen $Log "$INSTDIR\Setup.log" a
  !insertmacro LogLine "Sample Support Agent ${VERSION} installation"
  StrCpy $Result $Guard
  !insertmacro Step KSWAreThereOthers
  StrCpy $Result 1
  !insertmacro Step KSWIsCompatibleWithOS

  ; An older installation goes first: self-registration removes it (in this process,
  ; silently) before the new files take its place.
  ; Its last call unloads the temporary copy (?u), so the installer can delete it at
  ; the end instead of leaving it for the next restart; the guard's handle stays open.
  System::Call '"$PLUGINSDIR\KSInst.dll"::DllRegisterServer() i .s ?u'
  Pop $Result
  !insertmacro Step DllRegisterServer

  ; The product's files.
  !insertmacro InstallFile "${BIN}\KSInst.dll" "KSInst.dll"
  !insertmacro InstallFile "${SRC}\KSInst.cfg" "KSInst.cfg"
  !insertmacro InstallFile "${SRC}\KSCommon.cfg" "KSCommon.cfg"
  !insertmacro InstallFile "${BIN}\sample_standin.exe" "SampleAgent.exe"
  !insertmacro InstallFile "${BIN}\sample_standin.exe" "SampleBrowser.exe"
  !insertmacro InstallFile "${BIN}\SampleShared.dll" "SampleShared.dll"
  SetOutPath "$INSTDIR\Downloader"
  !insertmacro InstallFile "${BIN}\SampleDown.dll" "SampleDown.dll"
  SetOutPath "$INSTDIR"

  ; Configuration values.
  System::Call '"$INSTDIR\KSInst.dll"::KSWSetParamString(t "$INSTDIR\KSCommon.cfg", t "General", t "Path", t "$INSTDIR") i .s'
  Pop $Result
  !insertmacro Step KSWSetParamString
  System::Call '"$INSTDIR\KSInst.dll"::KSWSetParamString(t "$INSTDIR\KSCommon.cfg", t "General", t "Version", t "${VERSION}") i .s'
  Pop $Result
  !insertmacro Step KSWSetParamString
  System::Call '"$INSTDIR\KSInst.dll"::KSWSetParamString(t "$INSTDIR\KSInst.cfg", t "General", t "Path", t "$INSTDIR") i .s'
  Pop $Result
  !insertmacro Step KSWSetParamString
  System::Call '"$INSTDIR\KSInst.dll"::KSWGetParamString(t "$INSTDIR\KSCommon.cfg", t "General", t "AppTitle", t "none") t .s'
  Pop $Result
  !insertmacro Step KSWGetParamString

  ; The product's registry record: where the uninstaller and the next upgrade find the
  ; configuration.
  WriteRegStr HKLM "${PRODUCTKEY}" "CfgPath" "$INSTDIR\KSCommon.cfg"

  ; Per-user registry values, in every user's registry.
  System::Call '"$INSTDIR\KSInst.dll"::KSWAddRegStringToAllUsers(t "${USERKEY}", t "InstallDir", t "$INSTDIR", i 0) i .s'
  Pop $Result
  !insertmacro Step KSWAddRegStringToAllUsers
  System::Call '"$INSTDIR\KSInst.dll"::KSWAddRegDWordToAllUsers(t "${USERKEY}", t "Installed", i 1, i 0) i .s'
  Pop $Result
  !insertmacro Step KSWAddRegDWordToAllUsers

  ; Shortcuts: the desktop one is recorded for the uninstaller; the Start-menu group is
  ; removed whole.
  System::Call '"$INSTDIR\KSInst.dll"::KSWCreateShortcuts(t "${PRODUCT}", t "Install\Desktop", t "$DESKTOP", i 0, i 1) i .s'
  Pop $Result
  !insertmacro Step KSWCreateShortcuts
  System::Call '"$INSTDIR\KSInst.dll"::KSWCreateStartMenu(t "${PRODUCT}", i 0) i .s'
  Pop $Result
  !insertmacro Step KSWCreateStartMenu

  ; The shared component and its count in the system's shared-library list.
  ReadRegDWORD $0 HKLM "${SHAREDKEY}" "$INSTDIR\SampleShared.dll"
  IntOp $0 $0 + 1
  WriteRegDWORD HKLM "${SHAREDKEY}" "$INSTDIR\SampleShared.dll" $0
  !insertmacro LogLine "count $INSTDIR\SampleShared.dll = $0"

  ; The news channel's common folder and its index entry.
  CreateDirectory "${CHANNELS}\samplenews"
  WriteINIStr "${CHANNELS}\channels.ini" "location" "http://news.example.invalid/sample" "samplenews"

  ; The downloader: into the system folder when newer than the registered copy; the
  ; delivery folder is removed.
  System::Call '"$INSTDIR\KSInst.dll"::KSWInstallDownloader(t "$INSTDIR\KSCommon.cfg", t "$INSTDIR\Downloader") i .s'
  Pop $Result
  !insertmacro Step KSWInstallDownloader

  ; The agent: started with Windows for every user, and started now.
  System::Call '"$INSTDIR\KSInst.dll"::KSWAgentAtStartup(i 1, i 1, i 0) i .s'
  Pop $Result
  !insertmacro Step KSWAgentAtStartup
  System::Call '"$INSTDIR\KSInst.dll"::KSWRunAgent(t "/install") i .s'
  Pop $Result
  !insertmacro Step KSWRunAgent
  ; The browser registers itself with the agent; the installation waits for it.
  StrCpy $1 '"$INSTDIR\SampleBrowser.exe" /register'
  System::Call '"$INSTDIR\KSInst.dll"::KSWRun(t r1, i 1) i .s'
  Pop $Result
  !insertmacro Step KSWRun

  ; The system's list of installed programs.
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTKEY}" "Publisher" "Velm"
  WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" 'rundll32.exe "$INSTDIR\KSInst.dll",ExUninstall'
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1

  ; Last: does anything pending for the next restart undo this installation, or must
  ; the system restart to finish it?
  FileClose $Log
  System::Call '"$INSTDIR\KSInst.dll"::KSWAnalyzeLog(t "$INSTDIR\Setup.log") i .s'
  Pop $Result
  FileOpen $Log "$INSTDIR\Setup.log" a
  FileSeek $Log 0 END
  !insertmacro Step KSWAnalyzeLog
  IntCmp $Result 1 0 no_restart no_restart
    SetRebootFlag true
    !insertmacro LogLine "restart needed"
no_restart:
  !insertmacro LogLine "installation done"
  FileClose $Log

  ; The guard is released when the installation ends.
  StrCmp $Guard "error" +2
    System::Call 'kernel32::CloseHandle(i $Guard)'
SectionEnd

Function .onInstSuccess
  IfRebootFlag 0 done
  MessageBox MB_YESNO|MB_ICONQUESTION "${PRODUCT} needs a restart to finish. Restart now?" /SD IDNO IDNO done
  Reboot
done:
FunctionEnd
