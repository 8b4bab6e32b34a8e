; The Glintmark installer for Windows, made by scripts/windows-installer with Debian's makensis:
;   makensis -DVERSION=<x.y.z> -DSTAGE=<release tree> -DICON=<.ico> -DFILES=<folder of the lists>
;            -DOUTFILE=<setup.exe> glintmark.nsi
; It installs for the current user, without administrator rights, into
; %LOCALAPPDATA%\Programs\Glintmark: a Start-menu entry, an entry under installed programs, and
; Glintmark under "Open with" for .ldb files (never their default program). Installing over an
; older version removes that version first. The uninstaller removes every file, folder and
; registry value it wrote, and nothing else.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma
ManifestDPIAware true

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define NAME "Glintmark"
!define PUBLISHER "Glintmark maintainers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Glintmark"
!define CLASSES "Software\Classes"
!define PROGID "Glintmark.LevelDatabase"
!define APP_KEY "${CLASSES}\Applications\glintmark.exe"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Glintmark"
BrandingText "${NAME} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "${NAME}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey FileDescription "${NAME} ${VERSION} setup"
VIAddVersionKey LegalCopyright "MIT licence; see the licences folder"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\glintmark.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Glintmark"

!insertmacro MUI_PAGE_WELCOME
; The licences inform; there is nothing to agree to before using the program.
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "Glintmark is free software under the MIT licence. The licences of the components it ships (Qt, the MinGW-w64 runtime, libjpeg-turbo, CLI11, nlohmann-json) are installed in its licences folder."
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var previous

; Deletes a key of HKCU only if it holds no subkey, no default value and no other value
; (DeleteRegKey /ifempty looks at subkeys only, and would take another program's values along).
; The key's path is on the stack.
Function un.DeleteKeyIfEmpty
    Exch $0
    Push $1
    Push $2
    ClearErrors
    ReadRegStr $1 HKCU $0 ""
    ${If} ${Errors}
        EnumRegKey $1 HKCU $0 0
        EnumRegValue $2 HKCU $0 0
        ${If} "$1$2" == ""
            DeleteRegKey HKCU $0
        ${EndIf}
    ${EndIf}
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

Function .onInit
    ; An earlier installation is replaced where it is.
    ReadRegStr $previous HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $previous != ""
        StrCpy $INSTDIR $previous
    ${EndIf}
FunctionEnd

Section "-Remove the version installed before"
    ${If} $previous != ""
    ${AndIf} ${FileExists} "$previous\uninstall.exe"
        DetailPrint "Removing the version installed in $previous"
        ; _?= runs the old uninstaller in place and waits for it; it leaves itself behind.
        ExecWait '"$previous\uninstall.exe" /S _?=$previous' $0
        ${If} $0 != 0
            Abort "The version installed in $previous could not be removed (code $0)."
        ${EndIf}
        Delete "$previous\uninstall.exe"
        RMDir "$previous"
    ${EndIf}
SectionEnd

Section "Glintmark (the window program, Qt, the licences)" SecMain
    SectionIn RO
    !include "${FILES}/files.nsh"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\Glintmark.lnk" "$INSTDIR\glintmark.exe" "" \
        "$INSTDIR\glintmark.exe" 0 SW_SHOWNORMAL "" "Pull the JPEG textures out of level database files"

    ; "Open with" for .ldb: an application entry and a program identifier listed among the
    ; extension's OpenWithProgids. The extension's own default value is never written: .ldb
    ; files keep the program they open with.
    WriteRegStr HKCU "${APP_KEY}" "FriendlyAppName" "Glintmark"
    WriteRegStr HKCU "${APP_KEY}\DefaultIcon" "" '"$INSTDIR\glintmark.exe",0'
    WriteRegStr HKCU "${APP_KEY}\SupportedTypes" ".ldb" ""
    WriteRegStr HKCU "${APP_KEY}\shell\open\command" "" '"$INSTDIR\glintmark.exe" "%1"'
    WriteRegStr HKCU "${CLASSES}\${PROGID}" "" "Level database"
    WriteRegStr HKCU "${CLASSES}\${PROGID}\DefaultIcon" "" '"$INSTDIR\glintmark.exe",0'
    WriteRegStr HKCU "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\glintmark.exe" "%1"'
    WriteRegStr HKCU "${CLASSES}\.ldb\OpenWithProgids" "${PROGID}" ""
SectionEnd

Section "glintmark-cli (the command-line extractor)" SecCli
    !include "${FILES}/cli.nsh"
SectionEnd

Section "-Register"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\glintmark.exe",0'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
    ; Explorer reads the associations again.
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
    !include "${FILES}/remove.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Glintmark.lnk"

    DeleteRegKey HKCU "${APP_KEY}"
    DeleteRegKey HKCU "${CLASSES}\${PROGID}"
    DeleteRegValue HKCU "${CLASSES}\.ldb\OpenWithProgids" "${PROGID}"
    ; The extension's keys go only if nothing of anyone else's is left in them.
    Push "${CLASSES}\.ldb\OpenWithProgids"
    Call un.DeleteKeyIfEmpty
    Push "${CLASSES}\.ldb"
    Call un.DeleteKeyIfEmpty
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
