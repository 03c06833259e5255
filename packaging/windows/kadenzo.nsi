; Kadenzo's installer for Windows, in Italian.
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.1 -DSTAGE=<folder of the files> -DICON=<.ico>
;            -DSIDE=<164x314 .bmp> -DOUTFILE=<setup.exe> kadenzo.nsi
; It installs for the current user (in the user's own programs folder, without administrator
; rights) or for all users (in Program Files), chosen on its third page or with /CurrentUser
; or /AllUsers on the command line; /S installs silently. By default it installs as the last
; install did, or for the current user.
;
; The installer runs as the user who started it and never asks for administrator rights by
; itself. Only for all users does it start a copy of itself with them (Windows asks), which
; installs the files silently (/ElevatedPart) while this one shows the pages. So the finish
; page starts Kadenzo as the logged-in user: Windows does not let Explorer drop files on an
; elevated window. The uninstaller works the same way.
;
; A 64-bit installer for a 64-bit program: it also runs where Windows (or Wine) has no
; 32-bit layer.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define APP "Kadenzo"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define SETTINGS_KEY "Software\${APP}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${APP} ${VERSION}"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
; Kadenzo's drum beside the welcome and finish pages, where NSIS would show a computer.
!define MUI_WELCOMEFINISHPAGE_BITMAP "${SIDE}"

Var InstallMode     ; CurrentUser or AllUsers
Var Admin           ; 1 when this process has administrator rights (elevated, or no UAC)
Var ElevatedPart    ; 1 in the elevated copy that installs or removes the files for all users
Var GivenDir        ; the folder given with /D, which no mode changes
Var CurrentUserButton

!insertmacro MUI_PAGE_WELCOME
; LEGGIMI as a readme to read, not a licence to accept.
!define MUI_PAGE_HEADER_TEXT "Leggimi"
!define MUI_PAGE_HEADER_SUBTEXT "Che cosa fa Kadenzo e come usarlo."
!define MUI_LICENSEPAGE_TEXT_TOP "Troverete questo testo anche nel file LEGGIMI.txt, nella cartella del programma."
!define MUI_LICENSEPAGE_TEXT_BOTTOM "$(^ClickNext)"
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LEGGIMI.txt"
Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Avvia ${APP}"
!define MUI_FINISHPAGE_RUN_FUNCTION StartKadenzoAsUser
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Italian"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_ITALIAN} "ProductName" "${APP}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "FileDescription" "Programma di installazione di ${APP}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "LegalCopyright" "GPL-3.0-or-later"

; $Admin, $ElevatedPart and the mode from the command line: $0 is CurrentUser or AllUsers
; when one was given, otherwise empty.
!macro ReadCommandLine un
    UserInfo::GetAccountType
    Pop $0
    StrCpy $Admin 0
    ${If} $0 == "Admin"
        StrCpy $Admin 1
    ${EndIf}
    ${${un}GetParameters} $1
    ClearErrors
    ${${un}GetOptions} $1 "/ElevatedPart" $2
    ${IfNot} ${Errors}
        StrCpy $ElevatedPart 1
    ${EndIf}
    StrCpy $0 ""
    ClearErrors
    ${${un}GetOptions} $1 "/CurrentUser" $2
    ${IfNot} ${Errors}
        StrCpy $0 CurrentUser
    ${EndIf}
    ClearErrors
    ${${un}GetOptions} $1 "/AllUsers" $2
    ${IfNot} ${Errors}
        StrCpy $0 AllUsers
    ${EndIf}
!macroend

; The mode in $0: where the shortcuts and the registry entries go, and the folder.
Function SetMode
    StrCpy $InstallMode $0
    ${If} $InstallMode == AllUsers
        SetShellVarContext all
        StrCpy $INSTDIR "$PROGRAMFILES64\${APP}"
        ReadRegStr $1 HKLM "${SETTINGS_KEY}" "InstallDir"
    ${Else}
        SetShellVarContext current
        GetKnownFolderPath $INSTDIR {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB} ; UserProgramFiles
        ${If} $INSTDIR == ""
            StrCpy $INSTDIR "$LOCALAPPDATA\Programs"
        ${EndIf}
        StrCpy $INSTDIR "$INSTDIR\${APP}"
        ReadRegStr $1 HKCU "${SETTINGS_KEY}" "InstallDir"
    ${EndIf}
    ${If} $1 != ""
        StrCpy $INSTDIR $1
    ${EndIf}
    ${If} $GivenDir != ""
        StrCpy $INSTDIR $GivenDir
    ${EndIf}
FunctionEnd

Function .onInit
    SetRegView 64
    StrCpy $GivenDir $INSTDIR
    !insertmacro ReadCommandLine ""
    ${If} $0 == ""
        ; As the last install did: the registry remembers where it went.
        StrCpy $0 CurrentUser
        ReadRegStr $1 HKLM "${SETTINGS_KEY}" "InstallMode"
        ${If} $1 == AllUsers
            StrCpy $0 AllUsers
        ${EndIf}
    ${EndIf}
    Call SetMode
FunctionEnd

Function ModePage
    !insertmacro MUI_HEADER_TEXT "Per chi installare" "Scegliete se installare ${APP} solo per voi o per tutti gli utenti del computer."
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 24u "L'installazione solo per voi non richiede i permessi di amministratore; quella per tutti gli utenti invece sì, e Windows ve li chiederà."
    Pop $0
    ${NSD_CreateRadioButton} 10u 34u -10u 12u "Solo per me"
    Pop $CurrentUserButton
    ${NSD_CreateRadioButton} 10u 50u -10u 12u "Per tutti gli utenti (servono i permessi di amministratore)"
    Pop $1
    ${If} $InstallMode == AllUsers
        ${NSD_Check} $1
    ${Else}
        ${NSD_Check} $CurrentUserButton
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function ModePageLeave
    ${NSD_GetState} $CurrentUserButton $0
    ${If} $0 == ${BST_CHECKED}
        StrCpy $0 CurrentUser
    ${Else}
        StrCpy $0 AllUsers
    ${EndIf}
    ${If} $0 != $InstallMode
        Call SetMode
    ${EndIf}
FunctionEnd

Section "Kadenzo"
    ${If} $InstallMode == AllUsers
    ${AndIf} $Admin != 1
        DetailPrint "Installazione per tutti gli utenti: Windows chiede i permessi di amministratore."
        ExecShellWait "runas" "$EXEPATH" "/S /AllUsers /ElevatedPart /D=$INSTDIR"
        ; ExecShellWait gives no exit code: what counts is what was installed.
        ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
        ${If} $0 != $INSTDIR
        ${OrIfNot} ${FileExists} "$INSTDIR\kadenzo.exe"
            MessageBox MB_OK|MB_ICONSTOP "Kadenzo non è stato installato per tutti gli utenti: per farlo servono i permessi di amministratore. Avviate di nuovo l'installazione e scegliete $\"Solo per me$\", che non li richiede; oppure, per installarlo per tutti gli utenti, quando Windows chiede i permessi rispondete $\"Sì$\" o inserite la password di un amministratore." /SD IDOK
            Abort "Installazione non riuscita."
        ${EndIf}
    ${Else}
        SetOutPath "$INSTDIR"
        File "${STAGE}/kadenzo.exe"
        File "${STAGE}/kadenzo-batch.exe"
        File "${STAGE}/LEGGIMI.txt"
        File /r "${STAGE}/licenze"
        File /r "${STAGE}/translations"
        WriteUninstaller "$INSTDIR\uninstall.exe"

        CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\kadenzo.exe"

        WriteRegStr SHCTX "${SETTINGS_KEY}" "InstallMode" $InstallMode
        WriteRegStr SHCTX "${SETTINGS_KEY}" "InstallDir" "$INSTDIR"
        WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
        WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
        WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kadenzo.exe"
        WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${APP}"
        WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
        WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" `"$INSTDIR\uninstall.exe" /$InstallMode`
        WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" `"$INSTDIR\uninstall.exe" /$InstallMode /S`
        WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
        WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    ${EndIf}
    ; "Invia a" hands the selected songs and folders to one window. Send To is the user's
    ; own: made by the user's installer, not by the elevated copy.
    ${If} $ElevatedPart != 1
        CreateShortcut "$SENDTO\${APP}.lnk" "$INSTDIR\kadenzo.exe"
    ${EndIf}
SectionEnd

; From the finish page. An installer run with administrator rights would start Kadenzo with
; them, and Windows lets no file be dropped on such a window: Explorer, which runs as the
; logged-in user, starts it instead.
Function StartKadenzoAsUser
    ${If} $Admin == 1
        Exec `"$WINDIR\explorer.exe" "$INSTDIR\kadenzo.exe"`
    ${Else}
        Exec `"$INSTDIR\kadenzo.exe"`
    ${EndIf}
FunctionEnd

Function un.onInit
    SetRegView 64
    !insertmacro ReadCommandLine "un."
    ${If} $0 == ""
        ; Started without a mode (from its folder): the mode of the install that is here, or
        ; of the only install there is when the folder is named another way (a drive letter
        ; of its own, a short name).
        StrCpy $0 CurrentUser
        ReadRegStr $1 HKLM "${SETTINGS_KEY}" "InstallDir"
        ReadRegStr $2 HKCU "${SETTINGS_KEY}" "InstallDir"
        ${If} $1 != ""
        ${AndIf} $2 != $INSTDIR
            ${If} $1 == $INSTDIR
            ${OrIf} $2 == ""
                StrCpy $0 AllUsers
            ${EndIf}
        ${EndIf}
    ${EndIf}
    StrCpy $InstallMode $0
    ${If} $InstallMode == AllUsers
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
FunctionEnd

Section "Uninstall"
    ${If} $InstallMode == AllUsers
    ${AndIf} $Admin != 1
        DetailPrint "Disinstallazione per tutti gli utenti: Windows chiede i permessi di amministratore."
        ExecShellWait "runas" "$EXEPATH" "/S /AllUsers /ElevatedPart _?=$INSTDIR"
        ${If} ${FileExists} "$INSTDIR\kadenzo.exe"
            MessageBox MB_OK|MB_ICONSTOP "Kadenzo non è stato disinstallato: per farlo servono i permessi di amministratore. Avviate di nuovo la disinstallazione e, quando Windows chiede i permessi, rispondete $\"Sì$\" o inserite la password di un amministratore." /SD IDOK
            Abort "Disinstallazione non riuscita."
        ${EndIf}
    ${Else}
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
    ${EndIf}
    ${If} $ElevatedPart != 1
        Delete "$SENDTO\${APP}.lnk"
    ${EndIf}
SectionEnd
