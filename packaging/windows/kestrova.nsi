; The Windows installer of Kestrova, built by scripts/windows with NSIS 3:
;   makensis -DVERSION=1.0 -DSTAGE=<the zip's staged folder> -DICON=<icon.ico>
;            -DFILES=<files.nsh> -DSIZE_KB=<size> -DOUTFILE=<setup.exe> kestrova.nsi
; FILES lists the staged folder for the uninstaller: one `Delete` line per
; file, then one `RMDir` line per folder, deepest first.
;
; It installs for the machine into Program Files\Kestrova: the zip's contents,
; a Start-menu shortcut ケストローバ and an entry among the installed programs.
; The program files are unpacked into a folder beside the install folder and
; swapped in whole, so an install that fails, is cancelled or meets a running
; Kestrova leaves the old program (or nothing) as it was. The uninstaller
; removes what the installer put there and nothing else: settings in the data
; folder, in %LOCALAPPDATA%\kestrova and in the documents folder stay.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include LogicLib.nsh
; The file name holds "setup", which Windows' installer detection looks for;
; the manifest asks for administrator rights anyway.
!pragma warning disable 9000

!define PRODUCT "ケストローバ"
!define PUBLISHER "The Kestrova developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrova"
; The data folder beside the program, and the server settings a start from
; the program's own folder writes: both are the user's, never the program's.
!define DATA_FOLDER "★MailData"
!define SERVER_SETTINGS "orvenda.ini"

Name "${PRODUCT} ${VERSION}"
Caption "${PRODUCT} ${VERSION} のセットアップ"
UninstallCaption "${PRODUCT} のアンインストール"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\Kestrova"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Japanese.nlf"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1041 "ProductName" "Kestrova"
VIAddVersionKey /LANG=1041 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1041 "FileDescription" "Kestrova ${VERSION} installer"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "${PUBLISHER}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Asks the user to end the running Kestrova and retry; gives up (a silent
; run, or a cancel) by ending the install or uninstall, with what was
; installed as it was.
!macro AskToEndProgram
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
    "${PRODUCT} が動いています。終了してから「再試行」を押してください。" \
    /SD IDCANCEL IDRETRY +2
  Abort "${PRODUCT} が動いているため、中止しました。"
!macroend

Var staging
Var previous

; Puts the unpacked folder in the install folder's place and the old one
; aside into $previous, once the old program does not run: nobody may delete
; a running program's executable (and Windows may refuse to rename its
; folder). A refusal puts both folders back as they were and asks the user.
Function swapIn
  ${Do}
    ClearErrors
    ${If} ${FileExists} "$INSTDIR\*"
      Rename $INSTDIR $previous
    ${EndIf}
    ${IfNot} ${Errors}
      Rename $staging $INSTDIR
      ${If} ${Errors}
        Rename $previous $INSTDIR
        Abort "$INSTDIR を作れませんでした。"
      ${EndIf}
      Delete "$previous\kestrova.exe"
      ${IfNot} ${Errors}
        Return
      ${EndIf}
      Rename $INSTDIR $staging
      Rename $previous $INSTDIR
    ${EndIf}
    !insertmacro AskToEndProgram
  ${Loop}
FunctionEnd

Section
  SetShellVarContext all
  StrCpy $staging "$INSTDIR.new"
  StrCpy $previous "$INSTDIR.old"
  RMDir /r $staging
  RMDir /r $previous

  ; Everything unpacked beside the install folder first. A folder that
  ; cannot be made (no rights) ends the install before anything is written.
  ClearErrors
  CreateDirectory $staging
  ${If} ${Errors}
    Abort "$staging を作れませんでした。"
  ${EndIf}
  SetOutPath $staging
  File /r "${STAGE}/*"
  WriteUninstaller "$staging\uninstall.exe"
  ${If} ${Errors}
    Abort "$staging に書き込めませんでした。"
  ${EndIf}

  ; The swap, then what the user keeps in the old folder carried over. The
  ; output folder is this process's current folder, which Windows does not
  ; let anyone rename.
  SetOutPath $TEMP
  Call swapIn
  ${If} ${FileExists} "$previous\${DATA_FOLDER}\*"
    RMDir "$INSTDIR\${DATA_FOLDER}"
    Rename "$previous\${DATA_FOLDER}" "$INSTDIR\${DATA_FOLDER}"
  ${EndIf}
  ${If} ${FileExists} "$previous\${SERVER_SETTINGS}"
    Rename "$previous\${SERVER_SETTINGS}" "$INSTDIR\${SERVER_SETTINGS}"
  ${EndIf}
  ; Whatever another program still holds goes when Windows next starts.
  RMDir /r /REBOOTOK $previous

  ; The shortcut starts the program in the user's documents folder, which is
  ; where orvenda.ini is kept; the install folder is not the user's to write.
  ; The shell expands the variable when the shortcut is started.
  StrCpy $OUTDIR "%USERPROFILE%\Documents"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\kestrova.exe" "" \
    "$INSTDIR\kestrova.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kestrova.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; A failed or cancelled install: the half-unpacked folder goes, the old
; install stays.
Function .onInstFailed
  RMDir /r $staging
  ${If} ${FileExists} "$previous\*"
  ${AndIfNot} ${FileExists} "$INSTDIR\*"
    Rename $previous $INSTDIR
  ${EndIf}
FunctionEnd

Section Uninstall
  SetShellVarContext all
  ; The executable first: while the program runs it cannot be deleted, and
  ; nothing else is removed.
  ${Do}
    ClearErrors
    Delete "$INSTDIR\kestrova.exe"
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    !insertmacro AskToEndProgram
  ${Loop}
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  ; Empty, or holding the user's settings, which stay.
  RMDir "$INSTDIR\${DATA_FOLDER}"
  RMDir $INSTDIR
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
