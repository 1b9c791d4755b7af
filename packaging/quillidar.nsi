; Quillidar's installer: per user, no administrator rights, Chinese (Simplified) and English.
; Built by scripts/package, which passes
;   RELEASE       folder holding identity.nsh (names, version) and files.nsh (what to install and remove)
;   OUTFILE       the installer to write
;   VERSION_QUAD  the version as four numbers, for the installer's own VERSIONINFO
;   ICON          the program's icon
; The same command line gives the same bytes: nothing here depends on the time or the machine.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestSupportedOS all

!include /CHARSET=UTF8 "${RELEASE}/identity.nsh"
!include /CHARSET=UTF8 "${RELEASE}/files.nsh"
!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh

!define PROGRAM_EXE "Quillidar.exe"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT_NAME}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; Where Task Manager's Startup tab keeps its "disabled" mark for a Run value.
!define STARTUP_APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"
; How long a running copy may take to save and end. Saving a million notes takes about a second.
!define SAVE_WAIT_MS 30000
; How long a copy that has saved may take to be gone.
!define END_WAIT_MS 5000

Name "${PRODUCT_NAME}"
OutFile "${OUTFILE}"
; Under the user's own programs folder: no rights beyond the user's are needed, and an upgrade finds
; the folder chosen the first time.
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT_NAME}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT_NAME} ${PRODUCT_VERSION}"

Var EndedCopies

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PROGRAM_EXE}"
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "$(UnKeepsDiary)"
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first is the default; otherwise the user's own language is picked when it is one of these.
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

LangString SecProgramName ${LANG_SIMPCHINESE} "Quillidar 日历和日记"
LangString SecProgramName ${LANG_ENGLISH} "Quillidar calendar and diary"
LangString SecAutostartName ${LANG_SIMPCHINESE} "随 Windows 启动"
LangString SecAutostartName ${LANG_ENGLISH} "Start with Windows"
LangString StillRunning ${LANG_SIMPCHINESE} "Quillidar 仍在运行：它没有在 30 秒内保存并退出。$\r$\n请用它菜单中的“关闭”退出，然后点击“重试”。"
LangString StillRunning ${LANG_ENGLISH} "Quillidar is still running: it did not save and end within 30 seconds.$\r$\nClose it with $\"关闭$\" in its menu, then click Retry."
LangString UnKeepsDiary ${LANG_SIMPCHINESE} "将删除 Quillidar 的程序文件、开始菜单快捷方式和开机启动项。你的日记和设置（%TEMP% 中的 nts.ini 和 qlw.ini）以及 %LOCALAPPDATA%\Quillidar 中的安全副本全部保留，卸载程序不会动它们。"
LangString UnKeepsDiary ${LANG_ENGLISH} "Quillidar's program files, its Start-menu shortcut and its start with Windows will be removed. Your diary and settings (nts.ini and qlw.ini in %TEMP%) and the safety copies in %LOCALAPPDATA%\Quillidar are all kept: the uninstaller never touches them."

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${PRODUCT_NAME} ${PRODUCT_VERSION} Setup"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PRODUCT_PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "${PRODUCT_COPYRIGHT}"

; Ends every copy of the program that runs from $INSTDIR the way Windows ends it when the session
; ends: its calendar window (the dialog holding the month calendar) gets WM_QUERYENDSESSION and
; WM_ENDSESSION, saves what was typed and closes. The process must be gone before any file is
; replaced. One that answered WM_ENDSESSION has saved; if a dialog of its own (the About box, the font
; dialog) still keeps it alive a while later, it is ended as Windows ends it after that message. One
; that does not answer is never ended: what was typed could be lost. Counts the copies ended in
; $EndedCopies; asks to retry when one does not end (in silent mode: gives up, exit code 2).
!macro QUILL_END_RUNNING_COPIES un
Function ${un}EndRunningCopies
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $R0
  Push $R1
  StrCpy $EndedCopies 0
  StrCpy $R1 "$INSTDIR\${PROGRAM_EXE}"
  ${IfNot} ${FileExists} "$R1"
    Goto done
  ${EndIf}
  ; The processes report their long path; the folder may have been given in its short form.
  System::Call 'kernel32::GetLongPathNameW(w R1, w .r0, i ${NSIS_MAX_STRLEN}) i .r1'
  ${If} $1 <> 0
    StrCpy $R1 $0
  ${EndIf}
  search:
  StrCpy $R0 0
  next:
    System::Call 'user32::FindWindowExW(p 0, p R0, w "#32770", p 0) p .R0'
    ${If} $R0 P= 0
      Goto done
    ${EndIf}
    System::Call 'user32::FindWindowExW(p R0, p 0, w "SysMonthCal32", p 0) p .r0'
    ${If} $0 P= 0
      Goto next
    ${EndIf}
    System::Call 'user32::GetWindowThreadProcessId(p R0, *i .r1) i'
    ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE
    System::Call 'kernel32::OpenProcess(i 0x101001, i 0, i r1) p .r2'
    ${If} $2 P= 0
      Goto next
    ${EndIf}
    StrCpy $3 ${NSIS_MAX_STRLEN}
    System::Call 'kernel32::QueryFullProcessImageNameW(p r2, i 0, w .r4, *i r3r3) i .r5'
    ${If} $5 = 0
    ${OrIf} $4 != $R1
      System::Call 'kernel32::CloseHandle(p r2)'
      Goto next
    ${EndIf}
    ; ENDSESSION_CLOSEAPP: the program is asked to close because its files are being replaced.
    System::Call 'user32::SendMessageTimeoutW(p R0, i ${WM_QUERYENDSESSION}, p 0, p 1, i 2, i ${SAVE_WAIT_MS}, *p .r3) p'
    System::Call 'user32::SendMessageTimeoutW(p R0, i ${WM_ENDSESSION}, p 1, p 1, i 2, i ${SAVE_WAIT_MS}, *p .r3) p .r4'
    System::Call 'kernel32::WaitForSingleObject(p r2, i ${END_WAIT_MS}) i .r5'
    ${If} $5 <> 0
    ${AndIf} $4 P<> 0
      System::Call 'kernel32::TerminateProcess(p r2, i 0) i'
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${END_WAIT_MS}) i .r5'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r2)'
    ${If} $5 = 0
      IntOp $EndedCopies $EndedCopies + 1
      ; The window list changed: start again from its top.
      Goto search
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(StillRunning)" /SD IDCANCEL IDRETRY search
    SetErrorLevel 2
    Quit
  done:
  Pop $R1
  Pop $R0
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro QUILL_END_RUNNING_COPIES ""
!insertmacro QUILL_END_RUNNING_COPIES "un."

; Removes the Run value only when it starts the program of this folder: one written by hand for
; another copy stays.
!macro QUILL_REMOVE_RUN_VALUE un
Function ${un}RemoveRunValue
  Push $0
  ReadRegStr $0 HKCU "${RUN_KEY}" "${PRODUCT_NAME}"
  ${If} $0 == '"$INSTDIR\${PROGRAM_EXE}"'
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT_NAME}"
    DeleteRegValue HKCU "${STARTUP_APPROVED_KEY}" "${PRODUCT_NAME}"
  ${EndIf}
  Pop $0
FunctionEnd
!macroend
!insertmacro QUILL_REMOVE_RUN_VALUE ""
!insertmacro QUILL_REMOVE_RUN_VALUE "un."

Section "!$(SecProgramName)" SecProgram
  SectionIn RO
  Call EndRunningCopies
  SetOutPath "$INSTDIR"
  !insertmacro QUILL_INSTALL_FILES
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT_NAME}.lnk" "$INSTDIR\${PROGRAM_EXE}" "" "$INSTDIR\${PROGRAM_EXE}" 0 \
    SW_SHOWNORMAL "" "${PRODUCT_DESCRIPTION}"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${PRODUCT_VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT_PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM_EXE},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "${PRODUCT_URL}"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "$(SecAutostartName)" SecAutostart
  WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT_NAME}" '"$INSTDIR\${PROGRAM_EXE}"'
SectionEnd

Section "-AfterInstall"
  ${IfNot} ${SectionIsSelected} ${SecAutostart}
    Call RemoveRunValue
  ${EndIf}
  ; A silent upgrade brings back the widget it ended. The old process is gone by now, so this is
  ; never a second copy. With pages, the finish page offers the start instead.
  ${If} ${Silent}
  ${AndIf} $EndedCopies > 0
    Exec '"$INSTDIR\${PROGRAM_EXE}"'
  ${EndIf}
SectionEnd

Function .onInit
  ; An upgrade keeps "start with Windows" off when the earlier install left it off.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $1 HKCU "${RUN_KEY}" "${PRODUCT_NAME}"
  ${If} $0 != ""
  ${AndIf} $1 == ""
    !insertmacro UnselectSection ${SecAutostart}
  ${EndIf}
FunctionEnd

; Removes exactly what the installer put there. The folder goes only when nothing else is in it;
; the diary (%TEMP%\nts.ini, %TEMP%\qlw.ini) and the safety folder (%LOCALAPPDATA%\Quillidar) are
; never touched.
Section "Uninstall"
  Call un.EndRunningCopies
  !insertmacro QUILL_REMOVE_FILES
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT_NAME}.lnk"
  Call un.RemoveRunValue
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
