; The Windows setup program: per user (no administrator), "Open with" for .cad without taking
; the default action from the user's CAD program, Explorer thumbnails, and an uninstaller that
; takes all of it away again.
;   makensis -DVERSION=x.y.z -DBIN=<folder of the .exe/.dll> -DROOT=<source tree>
;            -DLICENCES=<folder of licence texts> -DOUTFILE=<setup.exe> sheetpeeker.nsi
Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!include "LogicLib.nsh"
!include "MUI2.nsh"

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
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=0 "LegalCopyright" "The ${PRODUCT} authors"

; What the setup carries and under which terms: ours and those of the code of others in it.
!insertmacro MUI_PAGE_LICENSE "${LICENCES}/SheetPeeker.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

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

  ; The thumbnail handler writes its own keys, for the current user.
  ClearErrors
  RegDLL "$INSTDIR\sheetpeek-thumbnail.dll"
  IfErrors 0 +2
    DetailPrint "The thumbnail handler could not be registered."

!ifdef HAVE_VIEWER
  File "${BIN}/sheetpeek.exe"
  CreateShortCut "$SMPROGRAMS\${SHORTCUT}.lnk" "$INSTDIR\sheetpeek.exe"
  ; "Open with": offered for .cad, never made the default.
  WriteRegStr HKCU "${CLASSES}\${PROGID}" "" "Orvic図面"
  WriteRegStr HKCU "${CLASSES}\${PROGID}\DefaultIcon" "" "$INSTDIR\sheetpeek.exe,0"
  WriteRegStr HKCU "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\sheetpeek.exe" "%1"'
  WriteRegNone HKCU "${CLASSES}\.cad\OpenWithProgids" "${PROGID}"
  WriteRegStr HKCU "${APPLICATION_KEY}" "FriendlyAppName" "${SHORTCUT}"
  WriteRegStr HKCU "${APPLICATION_KEY}\shell\open\command" "" '"$INSTDIR\sheetpeek.exe" "%1"'
  WriteRegStr HKCU "${APPLICATION_KEY}\SupportedTypes" ".cad" ""
  ; The register of a folder from its context menu in Explorer.
  WriteRegStr HKCU "${REGISTER_VERB}" "" "図面台帳を作成"
  WriteRegStr HKCU "${REGISTER_VERB}" "Icon" "$INSTDIR\sheetpeek.exe,0"
  WriteRegStr HKCU "${REGISTER_VERB}\command" "" '"$INSTDIR\sheetpeek.exe" --register "%1"'
!endif

  ; Listed under the installed apps.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${SHORTCUT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
!ifdef HAVE_VIEWER
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\sheetpeek.exe,0"
!endif
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

  DeleteRegKey HKCU "${APPLICATION_KEY}"
  !insertmacro DeleteKeyIfEmpty "${CLASSES}\Applications"
  DeleteRegKey HKCU "${CLASSES}\${PROGID}"
  DeleteRegKey HKCU "${REGISTER_VERB}"
  !insertmacro DeleteKeyIfEmpty "${CLASSES}\Directory\shell"
  !insertmacro DeleteKeyIfEmpty "${CLASSES}\Directory"
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
  Delete "$INSTDIR\licences\*.txt"
  RMDir "$INSTDIR\licences"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  ; The per-user programs folder, when the setup was the one that made it.
  RMDir "$LOCALAPPDATA\Programs"
SectionEnd
