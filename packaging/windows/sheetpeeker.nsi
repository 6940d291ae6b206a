; The Windows setup program: "Open with" for .cad without taking the default action from the
; user's CAD program, Explorer thumbnails and the preview pane, and an uninstaller that takes all
; of it away again. Two modes: per user (the default, no administrator, HKCU) and for all users
; (/ALLUSERS or the choice page: Program Files, HKLM, and also the property handler with its
; schema for the Details columns and Search, which Windows reads only machine-wide).
;   makensis -DVERSION=x.y.z -DBIN=<folder of the .exe/.dll> -DROOT=<source tree>
;            -DLICENCES=<folder of licence texts> -DOUTFILE=<setup.exe> sheetpeeker.nsi
Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "MUI2.nsh"
!include "nsDialogs.nsh"

!define PRODUCT "SheetPeeker"
!define SHORTCUT "図面情報 (SheetPeeker)"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define CLASSES "Software\Classes"
!define PROGID "SheetPeeker.Drawing"
!define APPLICATION_KEY "${CLASSES}\Applications\sheetpeek.exe"
!define REGISTER_VERB "${CLASSES}\Directory\shell\SheetPeeker.Register"
; The viewer is packaged when the build has made it.
!if /FileExists "${BIN}/sheetpeek.exe"
  !define HAVE_VIEWER
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
; No InstallDir: the folder follows the mode, unless /D= names one.
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=0 "LegalCopyright" "The ${PRODUCT} authors"

; The product's icon on the setup and the uninstaller, not the installer maker's.
!define MUI_ICON "${ROOT}/packaging/icons/sheetpeek.ico"
!define MUI_UNICON "${ROOT}/packaging/icons/sheetpeek.ico"

; What the setup carries and under which terms: ours and those of the code of others in it.
!insertmacro MUI_PAGE_LICENSE "${LICENCES}/SheetPeeker.txt"
Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!ifdef HAVE_VIEWER
  ; The last page offers a first look at the sample drawing.
  !define MUI_FINISHPAGE_RUN
  !define MUI_FINISHPAGE_RUN_FUNCTION OpenSample
  !define MUI_FINISHPAGE_RUN_TEXT "$(OpenSampleText)"
  !insertmacro MUI_PAGE_FINISH
!endif
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"
LangString OpenSampleText ${LANG_JAPANESE} "サンプルの図面を開く"
LangString OpenSampleText ${LANG_ENGLISH} "Open the sample drawing"

!ifdef HAVE_VIEWER
Function OpenSample
  Exec '"$INSTDIR\sheetpeek.exe" "$INSTDIR\examples\plan_with_preview.cad"'
FunctionEnd
!endif

; ---- Install mode: per user or for all users ----
; $AllUsers is 1 for all users. SHCTX follows it: HKLM for all users, HKCU otherwise.
Var AllUsers
Var ModeRadioUser
Var ModeRadioAll

!macro SelectMode prefix
  Function ${prefix}SelectMode
    ${If} $AllUsers == 1
      SetShellVarContext all
    ${Else}
      SetShellVarContext current
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro SelectMode ""
!insertmacro SelectMode "un."

; A folder given with /D= (set before .onInit) is kept whatever the mode.
Var DirGiven

Function .onInit
  StrCpy $DirGiven 0
  ${If} $INSTDIR != ""
    StrCpy $DirGiven 1
  ${EndIf}
  StrCpy $AllUsers 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ALLUSERS" $1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
  ${EndIf}
  Call SelectMode
  ${If} $AllUsers == 1
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      MessageBox MB_ICONSTOP "すべてのユーザーへのインストールには管理者の権限が必要です。" /SD IDOK
      SetErrorLevel 740  ; ERROR_ELEVATION_REQUIRED
      Quit
    ${EndIf}
  ${EndIf}
  Call DefaultFolder
FunctionEnd

; The mode's own folder, unless /D= named one.
Function DefaultFolder
  ${If} $DirGiven == 1
    Return
  ${EndIf}
  ${If} $AllUsers == 1
    StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
  ${Else}
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${PRODUCT}"
  ${EndIf}
FunctionEnd

Function ModePage
  !insertmacro MUI_HEADER_TEXT "インストールの種類" "SheetPeeker を使うユーザーを選んでください。"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateRadioButton} 0 0 100% 24u "このユーザーだけ (管理者の権限は不要。プレビューとサムネイル)"
  Pop $ModeRadioUser
  ${NSD_CreateRadioButton} 0 30u 100% 24u "このコンピューターのすべてのユーザー (管理者。詳細の列と検索も)"
  Pop $ModeRadioAll
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    EnableWindow $ModeRadioAll 0
  ${EndIf}
  ${If} $AllUsers == 1
    ${NSD_Check} $ModeRadioAll
  ${Else}
    ${NSD_Check} $ModeRadioUser
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $ModeRadioAll $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $AllUsers 1
  ${Else}
    StrCpy $AllUsers 0
  ${EndIf}
  ; The folder after the context: $LOCALAPPDATA is the user's only in the per-user one.
  Call SelectMode
  Call DefaultFolder
FunctionEnd

; The uninstaller learns its mode from its command line, as the uninstall entry starts it.
Function un.onInit
  StrCpy $AllUsers 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ALLUSERS" $1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
  ${EndIf}
  Call un.SelectMode
FunctionEnd

; The shell handlers register themselves: per user through DllRegisterServer, for all users
; through DllInstall "allusers", which adds the property handler and its schema.
!macro RegisterHandlers
  ClearErrors
  ${If} $AllUsers == 1
    ExecWait '"$SYSDIR\regsvr32.exe" /s /n /i:allusers "$INSTDIR\sheetpeek-thumbnail.dll"' $0
    ${If} $0 != 0
      SetErrors
    ${EndIf}
  ${Else}
    RegDLL "$INSTDIR\sheetpeek-thumbnail.dll"
  ${EndIf}
  IfErrors 0 +2
    DetailPrint "The Explorer handlers could not be registered."
!macroend
!macro UnregisterHandlers
  ${If} $AllUsers == 1
    ExecWait '"$SYSDIR\regsvr32.exe" /s /u /n /i:allusers "$INSTDIR\sheetpeek-thumbnail.dll"'
  ${Else}
    UnRegDLL "$INSTDIR\sheetpeek-thumbnail.dll"
  ${EndIf}
!macroend

Section "${PRODUCT}"
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${BIN}/sheetpeek-info.exe"
  File "${BIN}/sheetpeek-thumbnail.dll"
  File "${ROOT}/packaging/windows/sheetpeeker.propdesc"
  File "${ROOT}/README.md"
  SetOutPath "$INSTDIR\licences"
  File "${LICENCES}/*.txt"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  !insertmacro RegisterHandlers

!ifdef HAVE_VIEWER
  File "${BIN}/sheetpeek.exe"
  SetOutPath "$INSTDIR\examples"
  File "${ROOT}/examples/plan_with_preview.cad"
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\${SHORTCUT}.lnk" "$INSTDIR\sheetpeek.exe"
  ; "Open with": offered for .cad, never made the default.
  WriteRegStr SHCTX "${CLASSES}\${PROGID}" "" "Orvic図面"
  WriteRegStr SHCTX "${CLASSES}\${PROGID}\DefaultIcon" "" "$INSTDIR\sheetpeek.exe,0"
  WriteRegStr SHCTX "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\sheetpeek.exe" "%1"'
  WriteRegNone SHCTX "${CLASSES}\.cad\OpenWithProgids" "${PROGID}"
  WriteRegStr SHCTX "${APPLICATION_KEY}" "FriendlyAppName" "${SHORTCUT}"
  WriteRegStr SHCTX "${APPLICATION_KEY}\shell\open\command" "" '"$INSTDIR\sheetpeek.exe" "%1"'
  WriteRegStr SHCTX "${APPLICATION_KEY}\SupportedTypes" ".cad" ""
  ; The register of a folder from its context menu in Explorer.
  WriteRegStr SHCTX "${REGISTER_VERB}" "" "図面台帳を作成"
  WriteRegStr SHCTX "${REGISTER_VERB}" "Icon" "$INSTDIR\sheetpeek.exe,0"
  WriteRegStr SHCTX "${REGISTER_VERB}\command" "" '"$INSTDIR\sheetpeek.exe" --register "%1"'
!endif

  ; Listed under the installed apps.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${SHORTCUT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; Quietly in place (_?=): whoever runs it waits until it is done, which the copy of itself that
  ; the uninstaller otherwise runs from would not let them.
  ${If} $AllUsers == 1
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /ALLUSERS'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /ALLUSERS /S _?=$INSTDIR'
  ${Else}
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
  ${EndIf}
!ifdef HAVE_VIEWER
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\sheetpeek.exe,0"
!else
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe,0"
!endif
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Deletes `key` when it holds neither values nor subkeys: the .cad keys and the parents of ours
; are shared with other programs.
!macro DeleteKeyIfEmpty key
  Push $0
  Push $1
  ClearErrors
  ReadRegStr $0 SHCTX "${key}" ""
  ${If} ${Errors}  ; no default value
    EnumRegKey $0 SHCTX "${key}" 0
    EnumRegValue $1 SHCTX "${key}" 0
    ${If} "$0$1" == ""
      DeleteRegKey SHCTX "${key}"
    ${EndIf}
  ${EndIf}
  Pop $1
  Pop $0
!macroend

Section "Uninstall"
  !insertmacro UnregisterHandlers

  DeleteRegKey SHCTX "${APPLICATION_KEY}"
  !insertmacro DeleteKeyIfEmpty "${CLASSES}\Applications"
  DeleteRegKey SHCTX "${CLASSES}\${PROGID}"
  DeleteRegKey SHCTX "${REGISTER_VERB}"
  !insertmacro DeleteKeyIfEmpty "${CLASSES}\Directory\shell"
  !insertmacro DeleteKeyIfEmpty "${CLASSES}\Directory"
  DeleteRegValue SHCTX "${CLASSES}\.cad\OpenWithProgids" "${PROGID}"
  !insertmacro DeleteKeyIfEmpty "${CLASSES}\.cad\OpenWithProgids"
  !insertmacro DeleteKeyIfEmpty "${CLASSES}\.cad"
  Delete "$SMPROGRAMS\${SHORTCUT}.lnk"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; The machine's list of installed programs is the system's own, even when empty.
  ${If} $AllUsers != 1
    !insertmacro DeleteKeyIfEmpty "Software\Microsoft\Windows\CurrentVersion\Uninstall"
  ${EndIf}

  Delete "$INSTDIR\sheetpeek.exe"
  Delete "$INSTDIR\sheetpeek-info.exe"
  ; Explorer may hold the handler loaded: then it goes at the next start.
  Delete /REBOOTOK "$INSTDIR\sheetpeek-thumbnail.dll"
  Delete "$INSTDIR\sheetpeeker.propdesc"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\examples\plan_with_preview.cad"
  RMDir "$INSTDIR\examples"
  Delete "$INSTDIR\licences\*.txt"
  RMDir "$INSTDIR\licences"
  ; Out of the folder it removes, or it could not go.
  SetOutPath "$TEMP"
  ${If} $EXEPATH == "$INSTDIR\uninstall.exe"
    ; Run in place (_?=), the uninstaller cannot delete itself while it runs: the system's
    ; command processor, hidden, takes it and the folder away once it has ended (ping is its
    ; only way to wait a moment; three tries).
    StrCpy $0 'del /f /q "$INSTDIR\uninstall.exe" 2>nul & rd "$INSTDIR" 2>nul'
    StrCpy $1 'ping -n 3 127.0.0.1 >nul'
    ExecShell "" "$SYSDIR\cmd.exe" '/d /q /c $1 & $0 & $1 & $0 & $1 & $0' SW_HIDE
  ${Else}
    Delete "$INSTDIR\uninstall.exe"
    RMDir /REBOOTOK "$INSTDIR"
  ${EndIf}
  ; The per-user programs folder, when the setup was the one that made it.
  ${If} $AllUsers != 1
    RMDir "$LOCALAPPDATA\Programs"
  ${EndIf}
SectionEnd
