; The station for Windows: the programs of scripts/build-windows, a station
; folder for the operator made from the template, Start-menu entries that
; start each window in it, and an uninstaller. Silent with /S.
;   makensis -DSOURCE=<build-windows folder> -DOUTFILE=<setup.exe> band-station.nsi
Unicode true
; wine here runs 64-bit programs only; a factory PC is 64-bit too.
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "Band station"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\BandStation"

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

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The operator's station folder stays: its results.db holds the line's records.
Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\${PRODUCT}\Band tester.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Band burner.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  SetOutPath "$TEMP"
  RMDir /r "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
