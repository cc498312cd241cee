; The Windows setup program: installs the folder that scripts/build-windows.sh assembles into
; Program Files, with a Start-menu shortcut and an entry under Add/Remove Programs. /S installs
; and uninstalls silently. Built with makensis, which the build script runs with
;   -DPAYLOAD=<assembled folder> -DGENERATED=<folder holding version.nsh and files.nsh>
;   -DOUTFILE=<setup program to write>
; version.nsh comes from CMake (the project's version); files.nsh lists every file and folder
; of the payload, so that the uninstaller removes exactly what was installed and nothing a
; user put beside it.

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!include "${GENERATED}\version.nsh"
!include "${GENERATED}\files.nsh"
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Tallix Server"
!define PUBLISHER "Brovik Productions"
!define EXE "tallix-server.exe"
!define UNINSTALLER "Uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TallixServer"
; The program's own start-up entry: pointing at a removed program it would start nothing.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "${PUBLISHER} - ${PRODUCT}"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; A 64-bit setup program: $PROGRAMFILES is the 64-bit folder and the registry its 64-bit view,
; the ones the 64-bit program itself uses.
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
BrandingText "${PUBLISHER}"

!define MUI_ABORTWARNING
!define MUI_ICON "..\..\resources\windows\tallix-server.ico"
!define MUI_UNICON "..\..\resources\windows\tallix-server.ico"
!insertmacro MUI_PAGE_LICENSE "${PAYLOAD}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A running program holds its executable and libraries: stop before changing anything rather
; than leave half a program behind. A silent run gives up with status 2.
!macro REFUSE_WHILE_RUNNING un
Function ${un}RefuseWhileRunning
  ${If} ${FileExists} "$INSTDIR\${EXE}"
  retry:
    ClearErrors
    FileOpen $0 "$INSTDIR\${EXE}" a
    ${If} ${Errors}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "${PRODUCT} is running. Close it (Exit in its tray menu), then try again." \
        /SD IDCANCEL IDRETRY retry
      SetErrorLevel 2
      Abort "${PRODUCT} is running."
    ${EndIf}
    FileClose $0
  ${EndIf}
FunctionEnd
!macroend
!insertmacro REFUSE_WHILE_RUNNING ""
!insertmacro REFUSE_WHILE_RUNNING "un."

; The shortcut is for every user, as the folder and the Add/Remove entry are.
Function .onInit
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section "Install"
  Call RefuseWhileRunning
  SetOutPath "$INSTDIR"
  File /r "${PAYLOAD}\*.*"
  ; The uninstaller beside the program also tells the program that it is an installed copy,
  ; which keeps its settings and logs in the user's application-data folders.
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\${EXE}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  Call un.RefuseWhileRunning
  !insertmacro REMOVE_PAYLOAD
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"

  ReadRegStr $0 HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '"$INSTDIR\${EXE}"'
    DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The user's Server.ini, Access.txt and Logs stay in the application-data folders.
SectionEnd
