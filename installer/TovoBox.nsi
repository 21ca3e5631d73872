; Tovo box setup program: a per-user install without elevation. The distribution channel is the
; setup program's own file name (partners hand it out as, for example, 1001.exe); the client reads
; it back from config.ini. Built through CMake (make installer), which passes:
;   TARGET    x86-unicode for the shipped 32-bit client, amd64-unicode for a 64-bit test build
;   VERSION   the product version, four numbers
;   BIN_DIR   the folder holding TovoBox.exe and skins/Common
;   SRC_DIR   the source tree (for the icon and the wizard picture)
;   SKIN_LIST a generated include that defines TOVO_SKIN_FILES, one line per skin file
;   OUT_FILE  the setup program to write
;   SIGN      optional: a command that Authenticode-signs the file it is given in place, and is
;             told which file that is (tools/sign.sh)
;
; Update mode, as the client starts a verified update (app/UpdateStart.cpp):
;   TovoBoxSetup.exe /S /UPDATE [/AUTO] /D=<the client's folder>
; It waits (bounded) for the client to end, replaces it where it is, keeps config.ini, the start
; at sign-in and the document-mode value, records the new version, starts the new client (with
; "Auto" for /AUTO) and drops the update's manifest, so that the new client removes the update
; folder. The executable is replaced by renaming: at every moment one complete TovoBox.exe is in
; place, and any failure puts the old one back and starts it; the update stays for a later start.

!ifndef TARGET | VERSION | BIN_DIR | SRC_DIR | SKIN_LIST | OUT_FILE
  !error "Build the setup program with make installer"
!endif

Target ${TARGET}
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

; The uninstaller is signed before it is stored in the setup program, the setup program last.
!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1" uninstaller' = 0
  !finalize '"${SIGN}" "%1" setup' = 0
!endif

!define PRODUCT "Tovo页游开服"
!define PUBLISHER "Tovo"
!define EXE "TovoBox.exe"
!define UNINSTALLER "uninst.exe"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TovoBox"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "TovoBox"
; The browser control renders in its newest document mode, whatever a page's document type, only
; for programs named here; otherwise in IE7 standards mode. The value is named after the
; client's file name, so the installed client keeps that name.
!define EMULATION_KEY "Software\Microsoft\Internet Explorer\Main\FeatureControl\FEATURE_BROWSER_EMULATION"
!define EMULATION_NEWEST 11001
; The running client's mutex and the property on its main window carry the same name.
!define INSTANCE_MARKER "开服盒子"
; The tray menu's Exit command.
!define ID_EXIT 40006
!define SYNCHRONIZE 0x00100000
!define EXIT_TIMEOUT_MS 10000
!define EXIT_POLL_MS 250

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "$LOCALAPPDATA\Programs\TovoBox"
; An earlier install is upgraded where it is.
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh
!include "${SKIN_LIST}"

!define MUI_ICON "${SRC_DIR}/res/app.ico"
!define MUI_UNICON "${SRC_DIR}/res/app.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${SRC_DIR}/installer/wizard.bmp"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${SRC_DIR}/installer/wizard.bmp"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"

; The pages pack the wizard picture; its file time would be the checkout's, different in every
; clone, so none is recorded (the setup program and its uninstaller are then the same bytes from
; any clone of a commit). The packed client and skin keep theirs: the commit's (make-setup.sh).
SetDateSave off
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_WELCOME
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH
SetDateSave on
!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "© ${PUBLISHER}"

Var Channel
Var UpdateMode ; 1 for /UPDATE
Var UpdateArgs ; what the new client is started with

; Asks a running client to exit the way its tray menu does and waits for its instance mutex to go.
; A client that stays is never killed: the user may retry after closing it, otherwise the program
; ends with exit code 2 before anything is changed.
!macro DEFINE_CLOSE_RUNNING_CLIENT un
Function ${un}ClientIsRunning
  Push $0
  System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${INSTANCE_MARKER}") p.r0'
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    StrCpy $0 1
  ${EndIf}
  Exch $0
FunctionEnd

; The first top-level window, hidden ones included, that carries the instance property; 0 if none.
Function ${un}FindClientWindow
  Push $0
  Push $1
  StrCpy $0 0
  ${Do}
    System::Call 'user32::FindWindowExW(p 0, p r0, p 0, p 0) p.r0'
    ${IfThen} $0 P= 0 ${|} ${Break} ${|}
    System::Call 'user32::GetPropW(p r0, w "${INSTANCE_MARKER}") p.r1'
    ${IfThen} $1 P<> 0 ${|} ${Break} ${|}
  ${Loop}
  Pop $1
  Exch $0
FunctionEnd

Function ${un}CloseRunningClient
  Push $0
  Push $1
  Push $2
  retry:
  StrCpy $1 0 ; the Exit command has been posted
  StrCpy $2 0 ; milliseconds waited
  ${Do}
    Call ${un}ClientIsRunning
    Pop $0
    ${IfThen} $0 = 0 ${|} ${Break} ${|}
    ${If} $2 >= ${EXIT_TIMEOUT_MS}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "${PRODUCT} 正在运行，未能自动退出。$\r$\n请在托盘图标的菜单中选择“退出”，然后点击“重试”。" \
        /SD IDCANCEL IDRETRY retry
      SetErrorLevel 2
      Quit
    ${EndIf}
    ; A client still inside its start-up has no window yet: look again on the next round.
    ${If} $1 = 0
      Call ${un}FindClientWindow
      Pop $0
      ${If} $0 P<> 0
        System::Call 'user32::PostMessageW(p r0, i ${WM_COMMAND}, p ${ID_EXIT}, p 0)'
        StrCpy $1 1
      ${EndIf}
    ${EndIf}
    Sleep ${EXIT_POLL_MS}
    IntOp $2 $2 + ${EXIT_POLL_MS}
  ${Loop}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_RUNNING_CLIENT ""
!insertmacro DEFINE_CLOSE_RUNNING_CLIENT "un."

!macro INSTALL_SKIN_FILE name
  File "${BIN_DIR}/skins/Common/${name}"
!macroend
!macro DELETE_SKIN_FILE name
  Delete "$INSTDIR\skins\Common\${name}"
!macroend

; Update mode only: starts the client in the install folder, the old one after a failure.
Function StartClient
  Exec '"$INSTDIR\${EXE}"$UpdateArgs'
FunctionEnd

Function UpdateFailed
  Call StartClient
  SetErrorLevel 3
  Quit
FunctionEnd

Section "!${PRODUCT}" SEC_MAIN
  SectionIn RO
  Call CloseRunningClient

  ${If} $UpdateMode = 1
    ; Staged beside the client first; nothing in use is touched until the new files are complete.
    RMDir /r "$INSTDIR\update.new"
    ClearErrors
    SetOverwrite try
    SetOutPath "$INSTDIR\update.new"
    File "${BIN_DIR}/${EXE}"
    SetOverwrite on
    ${If} ${Errors}
      RMDir /r "$INSTDIR\update.new"
      Call UpdateFailed
    ${EndIf}
    SetOutPath "$INSTDIR\skins\Common"
    !insertmacro TOVO_SKIN_FILES INSTALL_SKIN_FILE
    SetOutPath "$INSTDIR"
    Delete "$INSTDIR\${EXE}.old"
    ClearErrors
    Rename "$INSTDIR\${EXE}" "$INSTDIR\${EXE}.old"
    ${IfNot} ${Errors}
      Rename "$INSTDIR\update.new\${EXE}" "$INSTDIR\${EXE}"
      ${If} ${Errors}
        Rename "$INSTDIR\${EXE}.old" "$INSTDIR\${EXE}"
        SetErrors
      ${EndIf}
    ${EndIf}
    ${If} ${Errors}
      RMDir /r "$INSTDIR\update.new"
      Call UpdateFailed
    ${EndIf}
    Delete "$INSTDIR\${EXE}.old"
    RMDir /r "$INSTDIR\update.new"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    Return
  ${EndIf}

  ; The channel already recorded here stays: the partner who brought the user keeps them.
  ReadINIStr $Channel "$INSTDIR\config.ini" "Tovo" "channel"

  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/${EXE}"
  SetOutPath "$INSTDIR\skins\Common"
  !insertmacro TOVO_SKIN_FILES INSTALL_SKIN_FILE
  SetOutPath "$INSTDIR"

  ; UTF-16 with a byte-order mark: the client's private-profile reader gets any name back
  ; exactly, whatever the system's code page.
  ${If} $Channel == ""
    ClearErrors
    FileOpen $0 "$INSTDIR\config.ini" w
    ${IfNot} ${Errors}
      FileWriteUTF16LE /BOM $0 "[Tovo]$\r$\nchannel=$EXEFILE$\r$\n"
      FileClose $0
    ${EndIf}
  ${EndIf}

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}"
  CreateShortCut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\${EXE}"
SectionEnd

Section "开机时自动启动（在托盘中运行）" SEC_AUTO
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\${EXE}" Auto'
SectionEnd

Section "-Register"
  ${IfNot} ${SectionIsSelected} ${SEC_AUTO}
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  ; An update keeps the document mode the user has, whatever it is.
  ${If} $UpdateMode <> 1
    WriteRegDWORD HKCU "${EMULATION_KEY}" "${EXE}" ${EMULATION_NEWEST}
  ${EndIf}
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  SectionGetSize ${SEC_MAIN} $0
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  ${If} $UpdateMode = 1
    ; Without its manifest the update folder is no update any more: the new client removes it
    ; once this program has ended.
    Delete "$EXEDIR\update.txt"
    Call StartClient
  ${EndIf}
SectionEnd

Function .onInit
  SetShellVarContext current
  ; "Auto" is on for a first install; an upgrade keeps the user's choice; /NOAUTOSTART turns it off.
  ${GetParameters} $0
  StrCpy $UpdateMode 0
  StrCpy $UpdateArgs ""
  ClearErrors
  ${GetOptions} $0 "/UPDATE" $1
  ${IfNot} ${Errors}
    StrCpy $UpdateMode 1
    ClearErrors
    ${GetOptions} $0 "/AUTO" $1
    ${IfNot} ${Errors}
      StrCpy $UpdateArgs " Auto"
    ${EndIf}
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/NOAUTOSTART" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SEC_AUTO}
  ${Else}
    ReadRegStr $0 HKCU "${UNINST_KEY}" "InstallLocation"
    ReadRegStr $1 HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${If} $0 != ""
    ${AndIf} $1 == ""
      !insertmacro UnselectSection ${SEC_AUTO}
    ${EndIf}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

; Removes what the install made and nothing else: a file of the user's keeps its folder, and the
; start entry and the uninstall entry go only while they still belong to this folder.
Section "Uninstall"
  Call un.CloseRunningClient

  Delete "$INSTDIR\${EXE}"
  ; What an interrupted update may have left.
  Delete "$INSTDIR\${EXE}.old"
  RMDir /r "$INSTDIR\update.new"
  !insertmacro TOVO_SKIN_FILES DELETE_SKIN_FILE
  RMDir "$INSTDIR\skins\Common"
  RMDir "$INSTDIR\skins"
  Delete "$INSTDIR\config.ini"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$DESKTOP\${PRODUCT}.lnk"

  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '"$INSTDIR\${EXE}" Auto'
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  ReadRegStr $0 HKCU "${UNINST_KEY}" "InstallLocation"
  ${If} $0 == "$INSTDIR"
    ; Every copy of the client goes by this one value: it goes with the last install's entry.
    ; Other programs' values, and the key they share, stay.
    DeleteRegValue HKCU "${EMULATION_KEY}" "${EXE}"
    DeleteRegKey HKCU "${UNINST_KEY}"
    ; The client's own value (the highest update serial accepted) and any update not applied.
    DeleteRegKey HKCU "Software\Tovo\TovoBox"
    DeleteRegKey /ifempty HKCU "Software\Tovo"
    RMDir /r "$LOCALAPPDATA\TovoBox\Updates"
    RMDir "$LOCALAPPDATA\TovoBox"
  ${EndIf}
SectionEnd
