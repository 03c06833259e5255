; Kadenzo's installer for Windows, in Italian. For the current user (in the user's own
; programs folder) or for all users (in Program Files), chosen on its first page, or with
; /CurrentUser or /AllUsers on the command line; /S installs silently.
;   makensis -DVERSION=1.1 -DSTAGE=<folder of the files> -DICON=<.ico> -DOUTFILE=<setup.exe> kadenzo.nsi
; A 64-bit installer for a 64-bit program: it also runs where Windows (or Wine) has no
; 32-bit layer.
Target amd64-unicode
SetCompressor /SOLID lzma

!define APP "Kadenzo"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define SETTINGS_KEY "Software\${APP}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${APP}"
; Where the last install went: it chooses the mode and the folder of the next one, and the
; uninstaller's mode.
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${SETTINGS_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallMode"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${SETTINGS_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallDir"
!include MultiUser.nsh
!include MUI2.nsh
!include x64.nsh

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${APP} ${VERSION}"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\kadenzo.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LEGGIMI.txt"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Italian"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_ITALIAN} "ProductName" "${APP}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "FileDescription" "Installazione di ${APP}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "LegalCopyright" "GPL-3.0-or-later"

Function .onInit
    SetRegView 64
    !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
    SetRegView 64
    !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "Kadenzo"
    SetOutPath "$INSTDIR"
    File "${STAGE}/kadenzo.exe"
    File "${STAGE}/kadenzo-batch.exe"
    File "${STAGE}/LEGGIMI.txt"
    File /r "${STAGE}/licenze"
    File /r "${STAGE}/translations"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\kadenzo.exe"

    WriteRegStr SHCTX "${SETTINGS_KEY}" "InstallMode" $MultiUser.InstallMode
    WriteRegStr SHCTX "${SETTINGS_KEY}" "InstallDir" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kadenzo.exe"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${APP}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    ; Only what the installer put there: the user's own files in the folder stay.
    Delete "$INSTDIR\kadenzo.exe"
    Delete "$INSTDIR\kadenzo-batch.exe"
    Delete "$INSTDIR\LEGGIMI.txt"
    RMDir /r "$INSTDIR\licenze"
    RMDir /r "$INSTDIR\translations"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${APP}.lnk"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    DeleteRegKey SHCTX "${SETTINGS_KEY}"
SectionEnd
