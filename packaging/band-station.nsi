; The station for Windows: the programs of scripts/build-windows, a station
; folder for the operator made from the template, Start-menu entries that
; start each window in it, a scheduled task that sends the waiting records
; every minute, and an uninstaller. Silent with /S.
;   makensis -DSOURCE=<build-windows folder> -DOUTFILE=<setup.exe> band-station.nsi
Unicode true
; wine here runs 64-bit programs only; a factory PC is 64-bit too.
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "Band station"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\BandStation"
!define SYNC_TASK "Band station records"

!include WordFunc.nsh

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
ShowInstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Programs"
  SetOutPath "$INSTDIR"
  File /r "${SOURCE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The operator's station folder, one for each window: the line's own
  ; files (def.xml, bin\, station.ini, later results.db and run.log) are
  ; made once and then kept. The burner's translations and pictures belong
  ; to the program and come with every install, so that an old text never
  ; shows beside new ones.
  SetShellVarContext current
  IfFileExists "$DOCUMENTS\${PRODUCT}\tester\*.*" +3 0
    CreateDirectory "$DOCUMENTS\${PRODUCT}\tester"
    CopyFiles /SILENT "$INSTDIR\station\tester\*.*" "$DOCUMENTS\${PRODUCT}\tester"
  IfFileExists "$DOCUMENTS\${PRODUCT}\burner\*.*" +3 0
    CreateDirectory "$DOCUMENTS\${PRODUCT}\burner"
    CopyFiles /SILENT "$INSTDIR\station\burner\*.*" "$DOCUMENTS\${PRODUCT}\burner"
  CopyFiles /SILENT "$INSTDIR\station\burner\*.qm" "$DOCUMENTS\${PRODUCT}\burner"
  CreateDirectory "$DOCUMENTS\${PRODUCT}\burner\rc"
  CopyFiles /SILENT "$INSTDIR\station\burner\rc\*.*" "$DOCUMENTS\${PRODUCT}\burner\rc"

  ; A shortcut starts in the folder that is the output path when it is made.
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  SetOutPath "$DOCUMENTS\${PRODUCT}\tester"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Band tester.lnk" "$INSTDIR\tester.exe"
  SetOutPath "$DOCUMENTS\${PRODUCT}\burner"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Band burner.lnk" "$INSTDIR\burner.exe"
  SetOutPath "$INSTDIR"
  Call CreateSyncTask

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; An idle station's records reach the server without waiting for the next
; run: "bandctl.exe sync" each minute in both station folders. As the
; installing user, whose folders they are: the system account writing there
; would follow any link the operator planted. Its own logon (S4U) runs it with
; nobody logged on and opens no console. The task's definition stays beside
; the programs, to make it again by hand.
Function SyncAction
  Exch $0
  ${WordReplace} "$0" "&" "&amp;" "+" $0
  ${WordReplace} "$INSTDIR" "&" "&amp;" "+" $1
  FileWriteUTF16LE $2 '<Exec><Command>"$1\bandctl.exe"</Command><Arguments>sync</Arguments>'
  FileWriteUTF16LE $2 '<WorkingDirectory>$0</WorkingDirectory></Exec>$\r$\n'
  Pop $0
FunctionEnd

Function CreateSyncTask
  ; DOMAIN\user of this process's own token, not of its environment.
  System::Call 'secur32::GetUserNameExW(i 2, w .r3, *i ${NSIS_MAX_STRLEN}) i .r4'
  IntCmp $4 0 0 +4 +4
    MessageBox MB_ICONEXCLAMATION "The scheduled task that sends the records every minute could not be made (the installing user is unknown); records then go with the next run." /SD IDOK
    SetErrorLevel 2
    Return
  ${WordReplace} "$3" "&" "&amp;" "+" $3
  FileOpen $2 "$INSTDIR\sync-task.xml" w
  FileWriteUTF16LE /BOM $2 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
  FileWriteUTF16LE $2 '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">$\r$\n'
  FileWriteUTF16LE $2 '<RegistrationInfo><Description>Sends the station$\'s waiting records to the line$\'s server.</Description></RegistrationInfo>$\r$\n'
  FileWriteUTF16LE $2 '<Triggers><TimeTrigger><StartBoundary>2026-01-01T00:00:00</StartBoundary>'
  FileWriteUTF16LE $2 '<Repetition><Interval>PT1M</Interval></Repetition></TimeTrigger></Triggers>$\r$\n'
  FileWriteUTF16LE $2 '<Principals><Principal id="Operator"><UserId>$3</UserId>'
  FileWriteUTF16LE $2 '<LogonType>S4U</LogonType><RunLevel>LeastPrivilege</RunLevel></Principal></Principals>$\r$\n'
  FileWriteUTF16LE $2 '<Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>'
  FileWriteUTF16LE $2 '<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries><StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>'
  FileWriteUTF16LE $2 '<StartWhenAvailable>true</StartWhenAvailable><ExecutionTimeLimit>PT1M</ExecutionTimeLimit></Settings>$\r$\n'
  FileWriteUTF16LE $2 '<Actions Context="Operator">$\r$\n'
  Push "$DOCUMENTS\${PRODUCT}\tester"
  Call SyncAction
  Push "$DOCUMENTS\${PRODUCT}\burner"
  Call SyncAction
  FileWriteUTF16LE $2 '</Actions>$\r$\n</Task>$\r$\n'
  FileClose $2
  ExecWait '"$SYSDIR\schtasks.exe" /Create /F /TN "${SYNC_TASK}" /XML "$INSTDIR\sync-task.xml"' $0
  StrCmp $0 0 +3
    MessageBox MB_ICONEXCLAMATION "The scheduled task that sends the records every minute could not be made (schtasks: $0); records then go with the next run." /SD IDOK
    SetErrorLevel 2
FunctionEnd

; The operator's station folder stays: its results.db holds the line's records.
Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\${PRODUCT}\Band tester.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Band burner.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  ExecWait '"$SYSDIR\schtasks.exe" /Delete /F /TN "${SYNC_TASK}"'
  SetOutPath "$TEMP"
  RMDir /r "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
