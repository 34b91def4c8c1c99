; The Windows installer: the application folder under Program Files, the service registered (automatic
; start, restarted when it fails) and started, the local group whose members may command it, a
; Start-menu entry and the uninstall entry. scripts/windows/installer.sh builds it; it defines
;   VERSION     the product's version (1.2.3)
;   FILES       the generated list of the application folder's files (File and SetOutPath lines) and
;               the macro VPN_REPLACED_FOLDERS that empties its subfolders before an upgrade
;   OUT_FILE    the installer's path
;
; Removal keeps the promise of the Debian package's maintainer scripts: the network lock and the
; resolver change outlive the service, so they are undone before and after it stops. An upgrade keeps
; them (and the service's state, lockdown among it): the service is stopped, the files replaced and the
; service started again, and a connected client carries on with its lock held. Each user's settings
; are theirs and stay.

Unicode true
Target amd64-unicode
ManifestSupportedOS all
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; No file times in the archive: the installer's bytes depend on the files' contents alone.
SetDateSave off
CRCCheck on

!define PRODUCT "Korvex"
!define PUBLISHER "Korvex"
!define SERVICE "vpn-service"
!define SERVICE_TITLE "Korvex VPN service"
!define GROUP "korvexvpn"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\korvexvpn"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; Network management's codes: the group or the member is there already.
!define NERR_GroupExists 2223
!define ERROR_ALIAS_EXISTS 1379
!define ERROR_MEMBER_IN_ALIAS 1378

!include LogicLib.nsh
!include MUI2.nsh
!include "${FILES}"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Korvex VPN developers"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var upgrade

; The folder holds an installation of ours (the folder's files are then ours to replace and remove).
!macro VPN_IS_OURS DIR RESULT
    ${If} ${FileExists} "${DIR}\uninstall.exe"
    ${AndIf} ${FileExists} "${DIR}\${SERVICE}.exe"
        StrCpy ${RESULT} 1
    ${Else}
        StrCpy ${RESULT} 0
    ${EndIf}
!macroend

Function .onInit
    ; Installing over an installation goes where it is.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
        !insertmacro VPN_IS_OURS "$0" $1
        ${If} $1 == 1
            StrCpy $INSTDIR "$0"
        ${EndIf}
    ${EndIf}
FunctionEnd

; A folder that holds files of someone else ($R9 = 1) is refused: the uninstaller removes the folder
; whole. An installation of ours ($upgrade = 1) is replaced.
Function CheckFolder
    StrCpy $R9 0
    !insertmacro VPN_IS_OURS "$INSTDIR" $upgrade
    ${If} $upgrade == 1
        Return
    ${EndIf}
    FindFirst $0 $1 "$INSTDIR\*"
    ${DoWhile} $1 != ""
        ${If} $1 != "."
        ${AndIf} $1 != ".."
            StrCpy $R9 1
            ${Break}
        ${EndIf}
        FindNext $0 $1
    ${Loop}
    FindClose $0
FunctionEnd

Function .onVerifyInstDir
    Call CheckFolder
    ${If} $R9 == 1
        Abort
    ${EndIf}
FunctionEnd

Section "Install"
    SetShellVarContext all
    Call CheckFolder
    ${If} $R9 == 1
        MessageBox MB_ICONSTOP|MB_OK "$INSTDIR holds files of another program; choose an empty folder." /SD IDOK
        Abort
    ${EndIf}

    ${If} $upgrade == 1
        DetailPrint "Upgrading the installation in $INSTDIR"
        ; Waits until the service has stopped (its programs end with it); the lock stays as it is.
        nsExec::ExecToLog '"$SYSDIR\net.exe" stop ${SERVICE}'
        Pop $0
        !insertmacro VPN_REPLACED_FOLDERS
    ${EndIf}

    !insertmacro VPN_FILES
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The users who may command the service. The one installing becomes a member on a first
    ; installation; later members are added by an administrator (Computer Management, or
    ; net localgroup ${GROUP} USER /add), and take effect when they sign in again.
    System::Call '*(w "${GROUP}", w "Users who may command the ${SERVICE_TITLE}") p .r1'
    System::Call 'netapi32::NetLocalGroupAdd(p 0, i 1, p r1, p 0) i .r0'
    System::Free $1
    ${If} $0 == 0
    ${OrIf} $0 == ${NERR_GroupExists}
    ${OrIf} $0 == ${ERROR_ALIAS_EXISTS}
        DetailPrint "Local group ${GROUP}: present"
    ${Else}
        DetailPrint "Local group ${GROUP}: could not be created (error $0)"
    ${EndIf}
    ${If} $upgrade != 1
        ; NameSamCompatible: DOMAIN\user, which the group takes for local and domain users alike.
        System::Call 'secur32::GetUserNameExW(i 2, w .r2, *i ${NSIS_MAX_STRLEN}) i .r0'
        ${If} $0 != 0
            System::Call '*(w r2) p .r1'
            System::Call 'netapi32::NetLocalGroupAddMembers(p 0, w "${GROUP}", i 3, p r1, i 1) i .r0'
            System::Free $1
            ${If} $0 == 0
            ${OrIf} $0 == ${ERROR_MEMBER_IN_ALIAS}
                DetailPrint "$2 may command the service once signed in again"
            ${Else}
                DetailPrint "$2 could not be added to ${GROUP} (error $0)"
            ${EndIf}
        ${EndIf}
    ${EndIf}

    ; The service: LocalSystem, started at boot, restarted after 5 s when it fails (then after 5 s
    ; and 60 s; the count starts again after a day without failure). An upgrade keeps the
    ; registration as it is, so an administrator's choices (a manual start) stay; the path is the same.
    nsExec::ExecToLog '"$SYSDIR\sc.exe" query ${SERVICE}'
    Pop $0
    ${If} $0 != 0
        nsExec::ExecToLog '"$SYSDIR\sc.exe" create ${SERVICE} binPath= "\"$INSTDIR\${SERVICE}.exe\"" start= auto DisplayName= "${SERVICE_TITLE}"'
        Pop $0
        ${If} $0 != 0
            MessageBox MB_ICONSTOP|MB_OK "The service ${SERVICE} could not be registered (error $0)." /SD IDOK
            Abort
        ${EndIf}
        nsExec::ExecToLog '"$SYSDIR\sc.exe" description ${SERVICE} "Runs OpenVPN, the network lock and the resolver changes of ${PRODUCT} for the members of ${GROUP}."'
        Pop $0
        nsExec::ExecToLog '"$SYSDIR\sc.exe" failure ${SERVICE} reset= 86400 actions= restart/5000/restart/5000/restart/60000'
        Pop $0
        ; Also when it stops with an error of its own rather than by crashing.
        nsExec::ExecToLog '"$SYSDIR\sc.exe" failureflag ${SERVICE} 1'
        Pop $0
    ${EndIf}
    nsExec::ExecToLog '"$SYSDIR\net.exe" start ${SERVICE}'
    Pop $0

    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\vpnclient.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vpnclient.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The network lock and the resolver change are undone, whoever made them.
!macro VPN_LIFT
    nsExec::ExecToLog '"$INSTDIR\killswitch.exe" disable all'
    Pop $0
    nsExec::ExecToLog '"$INSTDIR\dns.exe" user'
    Pop $0
!macroend

Section "Uninstall"
    SetShellVarContext all
    ; Lifted before the service stops and once more after, as a client may ask for the lock again
    ; while the service goes (and lockdown holds it from the service's start).
    !insertmacro VPN_LIFT
    nsExec::ExecToLog '"$SYSDIR\net.exe" stop ${SERVICE}'
    Pop $0
    !insertmacro VPN_LIFT
    nsExec::ExecToLog '"$SYSDIR\sc.exe" delete ${SERVICE}'
    Pop $0

    ; Members' own settings are in their profiles and stay; the membership goes with the group.
    System::Call 'netapi32::NetLocalGroupDel(p 0, w "${GROUP}") i .r0'

    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    ; Launch at sign-in of the one removing it, which would name a program that is gone.
    ReadRegStr $0 HKCU "${RUN_KEY}" "vpnclient"
    ${If} $0 == '"$INSTDIR\vpnclient.exe"'
        DeleteRegValue HKCU "${RUN_KEY}" "vpnclient"
    ${EndIf}
    ; The service's state (lockdown) and log, in ProgramData (the machine's application data).
    RMDir /r "$APPDATA\Korvex"
    RMDir /r "$APPDATA\VPNClient"
    ; The DNS tool's copy of the users' resolvers, put back above.
    DeleteRegKey HKLM "Software\Korvex"
    ; The installer refuses a folder with files of someone else, so the folder is ours whole; a file
    ; still in use goes at the next start.
    RMDir /r /REBOOTOK "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
