; Quorvel's setup for Windows, in Simplified Chinese: one program for both
; builds, installing the 64-bit programs on 64-bit Windows and the 32-bit ones
; elsewhere, for the current user only (no administrator prompt).
; scripts/dist builds it with makensis:
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0.1 -DFILE_VERSION=1.0.0.1 -DOUTFILE=... -DWIN32_DIR=... -DWIN64_DIR=...
;            -DREADME=... -DGUIDE=... -DCOPYRIGHT=... -DICON=... Quorvel.nsi
; It makes exactly the files, the shortcuts and the uninstall entry below,
; and its uninstaller removes exactly those: never the folder's other files.
Unicode true
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma
; A file that cannot be written stops the setup; it is never skipped.
AllowSkipFiles off

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include x64.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"
!define PUBLISHER "the Quorvel authors"
; The main dialog's class and caption, by which a running Quorvel is found.
; The caption is the one the scripts look for; makensis works in this folder.
!define DIALOG_CLASS "#32770"
!searchparse /file "../scripts/dialog-caption" "QUORVEL_DIALOG_CAPTION='" DIALOG_CAPTION "'"

Name "Quorvel"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Quorvel"
; Run again, it replaces the installed copy where it is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Quorvel ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${FILE_VERSION}"
VIFileVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=2052 "ProductName" "Quorvel"
VIAddVersionKey /LANG=2052 "FileDescription" "Quorvel 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"
VIAddVersionKey /LANG=2052 "OriginalFilename" "Quorvel-${VERSION}-setup.exe"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Quorvel.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\使用说明.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
; No reboot and no system files here, unlike the stock welcome text says.
!define MUI_WELCOMEPAGE_TEXT "此程序将引导你完成 Quorvel ${VERSION} 的安装。$\r$\n$\r$\nQuorvel 只为当前用户安装，不需要管理员权限。如果 Quorvel 正在运行，安装程序会请你先关闭它。$\r$\n$\r$\n点击 [下一步(N)] 继续。"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; Waits until neither program in $INSTDIR runs. The dialog is asked to close
; (it asks its user first while a job runs); a program that cannot be asked
; shows as a file that cannot be written. A silent run, or a Cancel, stops
; before anything is changed.
!macro WAIT_NOT_RUNNING un
Function ${un}WaitNotRunning
  ${Do}
    FindWindow $0 "${DIALOG_CLASS}" "${DIALOG_CAPTION}"
    ${If} $0 <> 0
      MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "Quorvel 正在运行。按“确定”关闭它后继续，按“取消”退出。" /SD IDCANCEL IDOK close
      Abort "Quorvel 正在运行，未做任何更改。请关闭 Quorvel 后再试。"
    close:
      SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=2000
      Sleep 1000
      ${Continue}
    ${EndIf}
    StrCpy $1 ""
    ${If} ${FileExists} "$INSTDIR\Quorvel.exe"
      ClearErrors
      FileOpen $2 "$INSTDIR\Quorvel.exe" a
      ${If} ${Errors}
        StrCpy $1 "Quorvel.exe"
      ${Else}
        FileClose $2
      ${EndIf}
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\quorvel-cli.exe"
      ClearErrors
      FileOpen $2 "$INSTDIR\quorvel-cli.exe" a
      ${If} ${Errors}
        StrCpy $1 "quorvel-cli.exe"
      ${Else}
        FileClose $2
      ${EndIf}
    ${EndIf}
    ${If} $1 == ""
      Return
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$1 正在运行。请结束它后按“重试”，或按“取消”退出。" /SD IDCANCEL IDRETRY retry
    Abort "$1 正在运行，未做任何更改。请结束它后再试。"
  retry:
  ${Loop}
FunctionEnd
!macroend
!insertmacro WAIT_NOT_RUNNING ""
!insertmacro WAIT_NOT_RUNNING "un."

Section "-check"
  Call WaitNotRunning
SectionEnd

Section "-win64" SecWin64
  SetOutPath "$INSTDIR"
  File "/oname=Quorvel.exe" "${WIN64_DIR}/Quorvel.exe"
  File "/oname=quorvel-cli.exe" "${WIN64_DIR}/quorvel-cli.exe"
SectionEnd

Section "-win32" SecWin32
  SetOutPath "$INSTDIR"
  File "/oname=Quorvel.exe" "${WIN32_DIR}/Quorvel.exe"
  File "/oname=quorvel-cli.exe" "${WIN32_DIR}/quorvel-cli.exe"
SectionEnd

Section "-common" SecCommon
  SetOutPath "$INSTDIR"
  File "/oname=使用说明.txt" "${GUIDE}"
  File "/oname=README.txt" "${README}"
  File "/oname=copyright.txt" "${COPYRIGHT}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The program and its guide in a Start-menu folder of their own. Earlier
  ; versions put the program's shortcut alone at the top.
  Delete "$SMPROGRAMS\Quorvel.lnk"
  CreateDirectory "$SMPROGRAMS\Quorvel"
  CreateShortcut "$SMPROGRAMS\Quorvel\Quorvel.lnk" "$INSTDIR\Quorvel.exe"
  CreateShortcut "$SMPROGRAMS\Quorvel\使用说明.lnk" "$INSTDIR\使用说明.txt"
  CreateShortcut "$SENDTO\Quorvel.lnk" "$INSTDIR\Quorvel.exe"

  ; The installed size in KiB: the shared files and the one build installed.
  SectionGetSize ${SecCommon} $0
  ${If} ${RunningX64}
    SectionGetSize ${SecWin64} $1
  ${Else}
    SectionGetSize ${SecWin32} $1
  ${EndIf}
  IntOp $0 $0 + $1
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Quorvel"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quorvel.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only the build this Windows runs is installed.
Function .onInit
  ${If} ${RunningX64}
    !insertmacro UnselectSection ${SecWin32}
  ${Else}
    !insertmacro UnselectSection ${SecWin64}
  ${EndIf}
FunctionEnd

; Only what the setup made, by name: the folder goes only when nothing else is
; left in it, so a user's files and any en_/de_ output stay.
Section "Uninstall"
  Call un.WaitNotRunning
  Delete "$INSTDIR\Quorvel.exe"
  Delete "$INSTDIR\quorvel-cli.exe"
  Delete "$INSTDIR\使用说明.txt"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\copyright.txt"
  Delete "$SMPROGRAMS\Quorvel\Quorvel.lnk"
  Delete "$SMPROGRAMS\Quorvel\使用说明.lnk"
  RMDir "$SMPROGRAMS\Quorvel"
  Delete "$SMPROGRAMS\Quorvel.lnk"
  Delete "$SENDTO\Quorvel.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
