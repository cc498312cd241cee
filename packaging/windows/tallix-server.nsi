; The Windows setup program: installs the folder that scripts/build-windows.sh assembles into
; Program Files, with a Start-menu shortcut and an entry under Add/Remove Programs. /S installs
;  and uninstalls silently; the component "Run as a Windows service", off by default (/SERVICE
; selects it in a silent install), registers tallix-serverd.exe as the service TallixServer.
; Built with makensis, which the build script runs with
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
!include "Sections.nsh"

!define PRODUCT "Tallix Server"
!define PUBLISHER "Brovik Productions"
!define EXE "tallix-server.exe"
!define UNINSTALLER "Uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TallixServer"
; The program's own start-up entry: pointing at a removed program it would start nothing.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "${PUBLISHER} - ${PRODUCT}"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
; The service: the daemon as NT AUTHORITY\LocalService, its folder under ProgramData ($APPDATA
; for all users), its lines in the Event Log under a source of its own.
!define DAEMON "tallix-serverd.exe"
!define SERVICE "TallixServer"
!define EVENT_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\${SERVICE}"

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
!insertmacro MUI_PAGE_COMPONENTS
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

; A service that runs holds its executable: it is stopped first, and waited for while its
; replies leave (up to a minute). Nothing happens when there is no such service.
!macro STOP_SERVICE un
Function ${un}StopService
  nsExec::Exec 'sc stop ${SERVICE}'
  Pop $0
  ${For} $1 1 60
    nsExec::Exec 'cmd /c sc query ${SERVICE} | find "STATE" | find /v "STOPPED"'
    Pop $0
    ${IfThen} $0 != 0 ${|} ${Break} ${|}
    Sleep 1000
  ${Next}
FunctionEnd
!macroend
!insertmacro STOP_SERVICE ""
!insertmacro STOP_SERVICE "un."

Section "-Program"
  Call RefuseWhileRunning
  Call StopService
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

Section /o "Run as a Windows service (no log-on needed)" SecService
  ; Server.ini for port 1610 unless one is there; LocalService may write there (Logs).
  CreateDirectory "$APPDATA\${PRODUCT}"
  ${IfNot} ${FileExists} "$APPDATA\${PRODUCT}\Server.ini"
    FileOpen $0 "$APPDATA\${PRODUCT}\Server.ini" w
    FileWrite $0 "port=1610$\r$\n"
    FileClose $0
  ${EndIf}
  nsExec::Exec 'icacls "$APPDATA\${PRODUCT}" /grant *S-1-5-19:(OI)(CI)M'
  Pop $0
  WriteRegExpandStr HKLM "${EVENT_KEY}" "EventMessageFile" "$INSTDIR\${DAEMON}"
  WriteRegDWORD HKLM "${EVENT_KEY}" "TypesSupported" 7
  ; Started at boot, with nobody logged on; restarted after a crash.
  StrCpy $1 `binPath= "\"$INSTDIR\${DAEMON}\" --folder \"$APPDATA\${PRODUCT}\"" start= auto obj= "NT AUTHORITY\LocalService"`
  nsExec::ExecToLog `sc create ${SERVICE} $1 DisplayName= "${PRODUCT}"`
  Pop $0
  ${If} $0 != 0 ; there already, from an earlier install
    nsExec::ExecToLog `sc config ${SERVICE} $1`
    Pop $0
  ${EndIf}
  nsExec::ExecToLog `sc description ${SERVICE} "Answers TCP clients with the UTC time."`
  Pop $0
  nsExec::ExecToLog 'sc failure ${SERVICE} reset= 86400 actions= restart/5000/restart/10000/restart/60000'
  Pop $0
  nsExec::ExecToLog 'sc start ${SERVICE}'
  Pop $0
SectionEnd

; The shortcut is for every user, as the folder and the Add/Remove entry are. /SERVICE selects
; the service in a silent install.
Function .onInit
  SetShellVarContext all
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/SERVICE" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecService}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  Call un.RefuseWhileRunning
  ; The service ends as it does at "sc stop" and is removed; its settings and logs stay.
  Call un.StopService
  nsExec::ExecToLog 'sc delete ${SERVICE}'
  Pop $0
  DeleteRegKey HKLM "${EVENT_KEY}"
  !insertmacro REMOVE_PAYLOAD
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"

  ReadRegStr $0 HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '"$INSTDIR\${EXE}"'
    DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The user's Server.ini, Access.txt and Logs stay in the application-data folders, and the
  ; service's in ProgramData.
SectionEnd
