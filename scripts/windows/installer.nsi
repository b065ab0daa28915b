; The installer of RV450 Kestrun for 64-bit Windows (makensis, from package-windows.sh).
; Defines: VERSION, STAGE (the program folder), OUTFILE.
; The uninstaller removes the program folder and the Start menu entry; the
; user's files in %APPDATA%\RV450 Kestrun and %LOCALAPPDATA%\RV450 Kestrun stay.
Unicode true
; A 64-bit installer: the programs are 64-bit, and so it runs under wine64 too.
Target amd64-unicode
!include "MUI2.nsh"
!include "x64.nsh"

Name "RV450 Kestrun ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\RV450 Kestrun"
InstallDirRegKey HKLM "Software\RV450 Kestrun" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define MUI_ICON "${STAGE}\rv450-kestrun.ico"
!define MUI_UNICON "${STAGE}\rv450-kestrun.ico"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\RV450 Kestrun"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "RV450 Kestrun needs 64-bit Windows."
    Abort
  ${EndIf}
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "RV450 Kestrun"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The Start menu entry starts the window with --from-menu: its files go to
  ; the per-user folders, not the program folder.
  SetShellVarContext all
  CreateShortCut "$SMPROGRAMS\RV450 Kestrun.lnk" "$INSTDIR\rv450-kestrun.exe" "--from-menu" "$INSTDIR\rv450-kestrun.ico" 0
  WriteRegStr HKLM "Software\RV450 Kestrun" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "RV450 Kestrun"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\rv450-kestrun.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\RV450 Kestrun.lnk"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  Delete "$INSTDIR\*.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\rv450-kestrun.ico"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\RV450 Kestrun"
SectionEnd
