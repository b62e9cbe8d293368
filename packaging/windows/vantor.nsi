; The Windows installer of Vantor, made by scripts/windows/build with makensis:
;   makensis -DVERSION=<x.y.z> -DSTAGE=<folder with what ships> -DICON=<vantor.ico>
;            -DUNINSTALL_LIST=<Delete lines, one per file> -DOUTFILE=<setup.exe> vantor.nsi
; It installs into Program Files\Vantor for everyone on the computer, puts Vantor in the Start
; menu, makes .vbench files (bench scenarios) open with it and registers an uninstaller in
; Add/Remove Programs. Settings are never installed: the
; programs keep each user's modlcd.ini in %APPDATA%\vantor, since Program Files cannot be
; written by them, and the uninstaller leaves those alone.

; A 64-bit installer for a 64-bit program (it runs where the programs run, Wine's wine64 too).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantor"

Name "Vantor ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Vantor"
InstallDirRegKey HKLM "Software\Vantor" "InstallDir"
BrandingText "Vantor ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Vantor"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Vantor ${VERSION} setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Vantor developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\vantor.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Vantor"

!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Vantor"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  File "/oname=vantor.ico" "${ICON}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\Vantor.lnk" "$INSTDIR\vantor.exe" "" "$INSTDIR\vantor.ico" 0 \
    SW_SHOWNORMAL "" "Configure serial LCD modules and simulate the Modbus slaves they poll"

  ; A bench scenario opens with Vantor from Explorer, as a file manager opens it on Linux.
  WriteRegStr HKLM "Software\Classes\.vbench" "" "Vantor.Bench"
  WriteRegStr HKLM "Software\Classes\Vantor.Bench" "" "Vantor bench scenario"
  WriteRegStr HKLM "Software\Classes\Vantor.Bench\DefaultIcon" "" "$INSTDIR\vantor.ico"
  WriteRegStr HKLM "Software\Classes\Vantor.Bench\shell\open\command" "" \
    '"$INSTDIR\vantor.exe" "%1"'
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

  WriteRegStr HKLM "Software\Vantor" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Vantor"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Vantor developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vantor.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Vantor.lnk"
  !include "${UNINSTALL_LIST}"
  Delete "$INSTDIR\vantor.ico"
  Delete "$INSTDIR\uninstall.exe"
  ; A settings file kept beside the programs by an earlier copy stays, and so does the folder
  ; then; an empty one goes.
  RMDir "$INSTDIR\platforms"
  RMDir "$INSTDIR\docs"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Vantor"
  ; .vbench is left to a program that took it over since.
  DeleteRegKey HKLM "Software\Classes\Vantor.Bench"
  ReadRegStr $0 HKLM "Software\Classes\.vbench" ""
  StrCmp $0 "Vantor.Bench" 0 +2
    DeleteRegKey HKLM "Software\Classes\.vbench"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
