; The Windows setup program: per user (no administrator), "Open with" for .cad without taking
; the default action from the user's CAD program, Explorer thumbnails, and an uninstaller that
; takes all of it away again.
;   makensis -DVERSION=x.y.z -DBIN=<folder of the .exe/.dll> -DROOT=<source tree>
;            -DLICENCES=<folder of licence texts> -DOUTFILE=<setup.exe> sheetpeeker.nsi
Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "MUI2.nsh"

!define PRODUCT "SheetPeeker"
!define SHORTCUT "図面情報 (SheetPeeker)"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define CLASSES "Software\Classes"
!define PROGID "SheetPeeker.Drawing"
!define APPLICATION_KEY "${CLASSES}\Applications\sheetpeek.exe"
!define THUMBNAIL_CLSID "{39D7CC0F-71EC-4745-8B8E-B04DF614D98B}"
!define THUMBNAIL_HANDLER_KEY "${CLASSES}\.cad\ShellEx\{E357FCCD-A995-4576-B01F-234630154E96}"
; The viewer is packaged when the build has made it.
!if /FileExists "${BIN}/sheetpeek.exe"
  !define HAVE_VIEWER
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
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

; Values of other programs that the setup replaced, kept in a mirror of their keys below this
; one (under the same root) until the uninstaller puts them back.
!define REPLACED_KEY "Software\${PRODUCT}\Replaced"

; Sets the text `name` ("" for the default value) of `key` below `root` (HKCU or HKLM) to
; `value`, keeping what another program had there for RestoreRegStr. A second install keeps
; the first one's saved value, as the value found is then our own.
!macro ReplaceRegStr root key name value
  Push $0
  ClearErrors
  ReadRegStr $0 ${root} "${key}" "${name}"
  ${IfNot} ${Errors}
  ${AndIf} $0 != "${value}"
    WriteRegStr ${root} "${REPLACED_KEY}\${key}" "${name}" $0
  ${EndIf}
  WriteRegStr ${root} "${key}" "${name}" "${value}"
  Pop $0
!macroend

; Undoes ReplaceRegStr: while `name` of `key` holds our `value` (or nothing, as after a handler
; took its own registration away), the saved value comes back, else ours is deleted; a value
; another program wrote since stays. Empty keys are the caller's to remove.
!macro RestoreRegStr root key name value
  Push $0
  Push $1
  ClearErrors
  ReadRegStr $1 ${root} "${key}" "${name}"
  ${If} ${Errors}
  ${OrIf} $1 == "${value}"
    ClearErrors
    ReadRegStr $0 ${root} "${REPLACED_KEY}\${key}" "${name}"
    ${IfNot} ${Errors}
      WriteRegStr ${root} "${key}" "${name}" $0
    ${ElseIf} $1 == "${value}"
      DeleteRegValue ${root} "${key}" "${name}"
    ${EndIf}
  ${EndIf}
  DeleteRegValue ${root} "${REPLACED_KEY}\${key}" "${name}"
  Pop $1
  Pop $0
!macroend

!ifdef HAVE_VIEWER
Function OpenSample
  Exec '"$INSTDIR\sheetpeek.exe" "$INSTDIR\examples\plan_with_preview.cad"'
FunctionEnd
!endif

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "${PRODUCT}"
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${BIN}/sheetpeek-info.exe"
  File "${BIN}/sheetpeek-thumbnail.dll"
  File "${ROOT}/README.md"
  SetOutPath "$INSTDIR\licences"
  File "${LICENCES}/*.txt"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The thumbnail handler writes its own keys, for the current user; the handler it takes the
  ; place of is kept for the uninstaller.
  !insertmacro ReplaceRegStr HKCU "${THUMBNAIL_HANDLER_KEY}" "" "${THUMBNAIL_CLSID}"
  ClearErrors
  RegDLL "$INSTDIR\sheetpeek-thumbnail.dll"
  IfErrors 0 +2
    DetailPrint "The thumbnail handler could not be registered."

!ifdef HAVE_VIEWER
  File "${BIN}/sheetpeek.exe"
  SetOutPath "$INSTDIR\examples"
  File "${ROOT}/examples/plan_with_preview.cad"
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\${SHORTCUT}.lnk" "$INSTDIR\sheetpeek.exe"
  ; "Open with": offered for .cad, never made the default.
  WriteRegStr HKCU "${CLASSES}\${PROGID}" "" "Orvic図面"
  WriteRegStr HKCU "${CLASSES}\${PROGID}\DefaultIcon" "" "$INSTDIR\sheetpeek.exe,0"
  WriteRegStr HKCU "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\sheetpeek.exe" "%1"'
  WriteRegNone HKCU "${CLASSES}\.cad\OpenWithProgids" "${PROGID}"
  WriteRegStr HKCU "${APPLICATION_KEY}" "FriendlyAppName" "${SHORTCUT}"
  WriteRegStr HKCU "${APPLICATION_KEY}\shell\open\command" "" '"$INSTDIR\sheetpeek.exe" "%1"'
  WriteRegStr HKCU "${APPLICATION_KEY}\SupportedTypes" ".cad" ""
!endif

  ; Listed under the installed apps.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${SHORTCUT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  ; In place (_?=): whoever runs it waits until it is done, which the copy of itself that the
  ; uninstaller otherwise runs from would not let them.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
!ifdef HAVE_VIEWER
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\sheetpeek.exe,0"
!else
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe,0"
!endif
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Deletes `key` when it holds neither values nor subkeys: the .cad keys and the parents of ours
; are shared with other programs.
!macro DeleteKeyIfEmpty key
  Push $0
  Push $1
  ClearErrors
  ReadRegStr $0 HKCU "${key}" ""
  ${If} ${Errors}  ; no default value
    EnumRegKey $0 HKCU "${key}" 0
    EnumRegValue $1 HKCU "${key}" 0
    ${If} "$0$1" == ""
      DeleteRegKey HKCU "${key}"
    ${EndIf}
  ${EndIf}
  Pop $1
  Pop $0
!macroend

Section "Uninstall"
  UnRegDLL "$INSTDIR\sheetpeek-thumbnail.dll"
  !insertmacro RestoreRegStr HKCU "${THUMBNAIL_HANDLER_KEY}" "" "${THUMBNAIL_CLSID}"
  ; Only the saved values lived there.
  DeleteRegKey HKCU "Software\${PRODUCT}"

  DeleteRegKey HKCU "${APPLICATION_KEY}"
  !insertmacro DeleteKeyIfEmpty "${CLASSES}\Applications"
  DeleteRegKey HKCU "${CLASSES}\${PROGID}"
  DeleteRegValue HKCU "${CLASSES}\.cad\OpenWithProgids" "${PROGID}"
  !insertmacro DeleteKeyIfEmpty "${CLASSES}\.cad\OpenWithProgids"
  !insertmacro DeleteKeyIfEmpty "${CLASSES}\.cad"
  Delete "$SMPROGRAMS\${SHORTCUT}.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  !insertmacro DeleteKeyIfEmpty "Software\Microsoft\Windows\CurrentVersion\Uninstall"

  Delete "$INSTDIR\sheetpeek.exe"
  Delete "$INSTDIR\sheetpeek-info.exe"
  ; Explorer may hold the handler loaded: then it goes at the next start.
  Delete /REBOOTOK "$INSTDIR\sheetpeek-thumbnail.dll"
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
  RMDir "$LOCALAPPDATA\Programs"
SectionEnd
