; Veltrix_KMX_Setup.exe: installs, registers and removes the Veltrix KMX package.
;
; Built by installer/CMakeLists.txt with makensis; the build passes
;   BIN32   folder holding the 32-bit Veltrix_KMX_ASIO.dll, Veltrix_KMX_ASIO_Config.exe
;           and Veltrix_KMX_Version.exe
;   BIN64   (optional) the same three files built for x64
;   ICON    the setup program's icon
;   OUTFILE the setup program to write
;
; Layout on the target machine:
;   32-bit Windows: the 32-bit driver in System32, both programs in Program Files.
;   64-bit Windows, 64-bit files included: the 64-bit driver in System32, the 32-bit
;     driver in SysWOW64, the 64-bit programs in Program Files, and a 32-bit panel in
;     its x86 subfolder, because the panel proves the driver is registered by loading
;     it in its own process and a process loads only drivers of its own bitness.
;   64-bit Windows, 32-bit files only: the 32-bit driver in SysWOW64 and the 32-bit
;     programs in Program Files (x86).
; Each registry view gets "AsioConfig" naming the panel that can load that view's
; driver, and both language values: the programs read them without a view flag,
; so a 32-bit program sees the 32-bit view and a 64-bit one the 64-bit view.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!ifndef BIN32 | OUTFILE | ICON
  !error "makensis needs -DBIN32=<folder of the 32-bit files> -DICON=<icon> -DOUTFILE=<setup program>"
!endif

!define PRODUCT_NAME      "Veltrix KMX ASIO Driver"
!define PRODUCT_VERSION   "1.100.000.002"
!define PUBLISHER         "Veltrix"
!define DRIVER_FILE       "Veltrix_KMX_ASIO.dll"
!define PANEL_FILE        "Veltrix_KMX_ASIO_Config.exe"
!define VERSION_FILE      "Veltrix_KMX_Version.exe"
!define UNINSTALLER_FILE  "uninstall.exe"
!define X86_SUBFOLDER     "x86"
; The programs read these two keys.
!define PRODUCT_KEY       "Software\Veltrix\Veltrix KMX"
!define VENDOR_KEY        "Software\Veltrix"
!define UNINSTALL_KEY     "Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltrix KMX ASIO"
!define LANGUAGE_VALUE    "Veltrix KMXInstallLanguage"
!define NSIS_LANGUAGE_VALUE "NSIS:Language"
!define PANEL_PATH_VALUE  "AsioConfig"
; What the driver's registration writes; removed by hand when the driver file is gone.
!define DRIVER_CLSID_KEY  "CLSID\{3C71A0E2-58B4-4D0F-9A26-1E7B40C8D5F3}"
!define ASIO_LIST_KEY     "SOFTWARE\ASIO"
!define ASIO_DRIVER_KEY   "SOFTWARE\ASIO\Veltrix KMX ASIO"
; Held while the driver is initialised in a host, and by the two programs.
!define DRIVER_IN_USE_MUTEX   "Global\NTVeltrixKMXASIO"
!define PANEL_MUTEX           "Global\NTVeltrixKMXASIOConfig"
!define VERSION_MUTEX         "Global\NTVeltrixKMXVersion"
!define SHORTCUT_FOLDER   "$SMPROGRAMS\Veltrix KMX"
!define PANEL_SHORTCUT    "Veltrix KMX ASIO Settings.lnk"
!define VERSION_SHORTCUT  "Veltrix KMX Version.lnk"

Name "${PRODUCT_NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Veltrix\Veltrix KMX"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "1.100.0.2"
VIFileVersion "1.100.0.2"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT_NAME} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${PRODUCT_VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${MUI_ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_FINISHPAGE_RUN "$INSTDIR\${VERSION_FILE}"
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!define MUI_FINISHPAGE_RUN_TEXT "$(MSG_RUN_VERSION)"
; The language page preselects the language of an installation being upgraded.
!define MUI_LANGDLL_REGISTRY_ROOT HKLM
!define MUI_LANGDLL_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MUI_LANGDLL_REGISTRY_VALUENAME "${NSIS_LANGUAGE_VALUE}"
!define MUI_LANGDLL_ALWAYSSHOW
!define MUI_LANGDLL_ALLLANGUAGES

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The languages of the programs' string tables. Both Portuguese forms are offered:
; the panel carries Brazilian, the version utility European Portuguese, and each
; program maps either one to its own table.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "Italian"
!insertmacro MUI_LANGUAGE "SpanishInternational"
!insertmacro MUI_LANGUAGE "Dutch"
!insertmacro MUI_LANGUAGE "PortugueseBR"
!insertmacro MUI_LANGUAGE "Portuguese"
!insertmacro MUI_LANGUAGE "Russian"
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "Korean"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "TradChinese"
!insertmacro MUI_RESERVEFILE_LANGDLL

!include "Messages.nsh"

; ---- Language ------------------------------------------------------------------

; Maps any Windows language identifier to one of the languages offered above,
; much as the programs map it to their tables: the primary language decides;
; Chinese goes by script (Taiwan, Hong Kong and Macao Traditional, PRC and Singapore
; Simplified), Portuguese by country; anything not offered is English. So the
; stored language always names a table both programs carry.
;   Push <language>  Call OfferedLanguage  Pop <offered language>
!macro OFFERED_LANGUAGE_FUNCTION prefix
Function ${prefix}OfferedLanguage
  Exch $0
  Push $1
  Push $2
  IntOp $1 $0 & 0x3FF
  IntOp $2 $0 >> 10
  ${Select} $1
  ${Case} 4
    ; Sublanguages 2 (PRC) and 4 (Singapore) write Simplified Chinese.
    ${If} $2 = 2
    ${OrIf} $2 = 4
      StrCpy $0 2052
    ${Else}
      StrCpy $0 1028
    ${EndIf}
  ${Case} 7
    StrCpy $0 1031
  ${Case} 10
    StrCpy $0 3082
  ${Case} 12
    StrCpy $0 1036
  ${Case} 16
    StrCpy $0 1040
  ${Case} 17
    StrCpy $0 1041
  ${Case} 18
    StrCpy $0 1042
  ${Case} 19
    StrCpy $0 1043
  ${Case} 22
    ${If} $2 = 1
      StrCpy $0 1046
    ${Else}
      StrCpy $0 2070
    ${EndIf}
  ${Case} 25
    StrCpy $0 1049
  ${CaseElse}
    StrCpy $0 1033
  ${EndSelect}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro OFFERED_LANGUAGE_FUNCTION ""
!insertmacro OFFERED_LANGUAGE_FUNCTION "un."

; ---- Things in use -----------------------------------------------------------

; Sets $1 to 1 when the named mutex exists.
!macro NOTE_MUTEX name
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${name}") p .r0'
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    StrCpy $1 1
  ${EndIf}
!macroend

; Asks the user to close whatever holds the driver or the programs, until nothing
; does or the user gives up (silent mode gives up at once: exit code 2).
!macro WAIT_UNTIL_NOT_IN_USE prefix
Function ${prefix}WaitUntilNotInUse
  Push $0
  Push $1
  check:
  StrCpy $1 0
  !insertmacro NOTE_MUTEX "${DRIVER_IN_USE_MUTEX}"
  !insertmacro NOTE_MUTEX "${PANEL_MUTEX}"
  !insertmacro NOTE_MUTEX "${VERSION_MUTEX}"
  ${If} $1 = 1
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(MSG_IN_USE)" /SD IDCANCEL IDRETRY check
    SetErrorLevel 2
    Quit
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro WAIT_UNTIL_NOT_IN_USE ""
!insertmacro WAIT_UNTIL_NOT_IN_USE "un."

; ---- Files -------------------------------------------------------------------

; Extracts one file. A file that cannot be replaced (held open by a program that
; is still running) gets NSIS's Abort / Retry / Ignore; silent mode would ignore
; it and leave the old file, so a silent setup gives up instead (exit code 4)
; rather than report an upgrade that did not happen.
!macro INSTALL_FILE source
  ClearErrors
  File "${source}"
  ${If} ${Errors}
  ${AndIf} ${Silent}
    SetErrorLevel 4
    Quit
  ${EndIf}
!macroend

; ---- Registration ------------------------------------------------------------

; Registers a driver file with the regsvr32 of its own bitness; a failure ends
; the setup with exit code 3 after saying so.
;   !insertmacro REGISTER_DRIVER <regsvr32.exe> <driver file>
!macro REGISTER_DRIVER regsvr32 driver
  DetailPrint "regsvr32 /s ${driver}"
  ClearErrors
  ExecWait '"${regsvr32}" /s "${driver}"' $0
  ${If} ${Errors}
    StrCpy $0 "-"
  ${EndIf}
  ${If} $0 != 0
    StrCpy $1 "${driver}"
    MessageBox MB_OK|MB_ICONSTOP "$(MSG_REGISTER_FAILED)" /SD IDOK
    SetErrorLevel 3
    Quit
  ${EndIf}
!macroend

; Unregisters a driver file when it is there. Then removes the two keys its
; registration writes in this registry view (they are this driver's own), which
; are still there when the file was deleted by hand or its unregistration failed.
!macro UNREGISTER_DRIVER regsvr32 driver view
  ${If} ${FileExists} "${driver}"
    DetailPrint "regsvr32 /s /u ${driver}"
    ExecWait '"${regsvr32}" /s /u "${driver}"'
  ${EndIf}
  SetRegView ${view}
  DeleteRegKey HKCR "${DRIVER_CLSID_KEY}"
  DeleteRegKey HKLM "${ASIO_DRIVER_KEY}"
  ; Registration creates the ASIO driver list when it is missing; an empty list
  ; is removed again, a list holding other drivers stays.
  DeleteRegKey /ifempty HKLM "${ASIO_LIST_KEY}"
!macroend

; ---- Registry values ---------------------------------------------------------

; The panel a view's driver starts, written into that view.
!macro WRITE_PANEL_PATH view panel
  SetRegView ${view}
  WriteRegStr HKLM "${PRODUCT_KEY}" "${PANEL_PATH_VALUE}" "${panel}"
!macroend

; The installer language, which programs of either bitness read.
!macro WRITE_LANGUAGE view
  SetRegView ${view}
  WriteRegDWORD HKLM "${PRODUCT_KEY}" "${LANGUAGE_VALUE}" $LANGUAGE
  WriteRegStr HKLM "${UNINSTALL_KEY}" "${NSIS_LANGUAGE_VALUE}" $LANGUAGE
!macroend

!macro REMOVE_VIEW_VALUES view
  SetRegView ${view}
  DeleteRegValue HKLM "${PRODUCT_KEY}" "${PANEL_PATH_VALUE}"
  DeleteRegValue HKLM "${PRODUCT_KEY}" "${LANGUAGE_VALUE}"
  DeleteRegKey /ifempty HKLM "${PRODUCT_KEY}"
  DeleteRegKey /ifempty HKLM "${VENDOR_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
!macroend

; ---- Install -----------------------------------------------------------------

Var Layout   ; "x86" (32-bit Windows), "wow64" (64-bit Windows, 32-bit files only), "x64"

Function .onInit
  SetShellVarContext all
  ${If} ${RunningX64}
!ifdef BIN64
    StrCpy $Layout "x64"
    StrCpy $R3 "$PROGRAMFILES64\Veltrix\Veltrix KMX"
!else
    StrCpy $Layout "wow64"
    StrCpy $R3 "$PROGRAMFILES32\Veltrix\Veltrix KMX"
!endif
  ${Else}
    StrCpy $Layout "x86"
    StrCpy $R3 "$PROGRAMFILES\Veltrix\Veltrix KMX"
  ${EndIf}
  ; /D= on the command line (which NSIS has already put into $INSTDIR) wins.
  ${If} $INSTDIR == "$PROGRAMFILES\Veltrix\Veltrix KMX"
    StrCpy $INSTDIR $R3
  ${EndIf}

  ; /LANG=<language identifier> chooses the language without the language page
  ; (for silent installs); otherwise the page asks, or silent mode keeps the
  ; language of the installation being upgraded.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/LANG=" $R1
  ${IfNot} ${Errors}
    IntOp $R1 $R1 + 0
    StrCpy $LANGUAGE $R1
  ${Else}
    !insertmacro MUI_LANGDLL_DISPLAY
  ${EndIf}
  Push $LANGUAGE
  Call OfferedLanguage
  Pop $LANGUAGE

  Call WaitUntilNotInUse
FunctionEnd

; An earlier installation in another folder (a different layout or /D) is removed
; first, so that none of its files or shortcuts are left behind.
Function RemoveInstallationElsewhere
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == ""
    SetRegView 64
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    SetRegView 32
  ${EndIf}
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
  ${AndIf} ${FileExists} "$0\${UNINSTALLER_FILE}"
    DetailPrint "$0\${UNINSTALLER_FILE} /S"
    ExecWait '"$0\${UNINSTALLER_FILE}" /S _?=$0'
    Delete "$0\${UNINSTALLER_FILE}"
    RMDir "$0"
  ${EndIf}
FunctionEnd

Section "Install"
  SetRegView 32
  Call RemoveInstallationElsewhere

  ; The uninstaller and its entry first: a setup that stops half-way can still
  ; be removed.
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER_FILE}"
  ; The entry of Programs and Features, in the native view only, so that it is
  ; listed once.
  ${If} $Layout == "x86"
    SetRegView 32
  ${Else}
    SetRegView 64
  ${EndIf}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${PRODUCT_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER_FILE}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER_FILE}" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PANEL_FILE}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SetRegView 32

  SetOverwrite on
  ${If} $Layout == "x64"
!ifdef BIN64
    !insertmacro INSTALL_FILE "${BIN64}/${PANEL_FILE}"
    !insertmacro INSTALL_FILE "${BIN64}/${VERSION_FILE}"
    SetOutPath "$INSTDIR\${X86_SUBFOLDER}"
    !insertmacro INSTALL_FILE "${BIN32}/${PANEL_FILE}"
    ${DisableX64FSRedirection}
    SetOutPath "$WINDIR\System32"
    !insertmacro INSTALL_FILE "${BIN64}/${DRIVER_FILE}"
    !insertmacro REGISTER_DRIVER "$WINDIR\System32\regsvr32.exe" "$WINDIR\System32\${DRIVER_FILE}"
    ${EnableX64FSRedirection}
!endif
  ${Else}
    !insertmacro INSTALL_FILE "${BIN32}/${PANEL_FILE}"
    !insertmacro INSTALL_FILE "${BIN32}/${VERSION_FILE}"
  ${EndIf}

  ; The 32-bit driver: System32 of 32-bit Windows, SysWOW64 of 64-bit Windows.
  ${If} $Layout == "x86"
    StrCpy $R2 "$SYSDIR"
  ${Else}
    StrCpy $R2 "$WINDIR\SysWOW64"
  ${EndIf}
  SetOutPath "$R2"
  !insertmacro INSTALL_FILE "${BIN32}/${DRIVER_FILE}"
  !insertmacro REGISTER_DRIVER "$R2\regsvr32.exe" "$R2\${DRIVER_FILE}"

  ${Select} $Layout
  ${Case} "x64"
    !insertmacro WRITE_PANEL_PATH 64 "$INSTDIR\${PANEL_FILE}"
    !insertmacro WRITE_PANEL_PATH 32 "$INSTDIR\${X86_SUBFOLDER}\${PANEL_FILE}"
  ${Default}
    ; Only a 32-bit driver: only the 32-bit view gets a panel (on 32-bit Windows
    ; that is the one view).
    !insertmacro WRITE_PANEL_PATH 32 "$INSTDIR\${PANEL_FILE}"
  ${EndSelect}
  !insertmacro WRITE_LANGUAGE 64
  !insertmacro WRITE_LANGUAGE 32

  SetRegView 32

  CreateDirectory "${SHORTCUT_FOLDER}"
  CreateShortcut "${SHORTCUT_FOLDER}\${PANEL_SHORTCUT}" "$INSTDIR\${PANEL_FILE}"
  CreateShortcut "${SHORTCUT_FOLDER}\${VERSION_SHORTCUT}" "$INSTDIR\${VERSION_FILE}"
SectionEnd

; ---- Uninstall ---------------------------------------------------------------

Function un.onInit
  SetShellVarContext all
  ; The uninstaller speaks the language of the installation; /LANG= overrides it.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/LANG=" $R1
  ${IfNot} ${Errors}
    IntOp $LANGUAGE $R1 + 0
  ${Else}
    !insertmacro MUI_UNGETLANGUAGE
  ${EndIf}
  Push $LANGUAGE
  Call un.OfferedLanguage
  Pop $LANGUAGE
  Call un.WaitUntilNotInUse
FunctionEnd

; Every step below tolerates what is already gone, so running the uninstaller a
; second time changes nothing. Only the files named here are removed: the folders
; go only when they are empty.
Section "Uninstall"
  ${If} ${RunningX64}
    ; The 64-bit driver only when this package carries one: a 64-bit driver of
    ; another origin is not ours to remove.
!ifdef BIN64
    ${DisableX64FSRedirection}
    !insertmacro UNREGISTER_DRIVER "$WINDIR\System32\regsvr32.exe" "$WINDIR\System32\${DRIVER_FILE}" 64
    Delete /REBOOTOK "$WINDIR\System32\${DRIVER_FILE}"
    ${EnableX64FSRedirection}
!endif
    !insertmacro UNREGISTER_DRIVER "$WINDIR\SysWOW64\regsvr32.exe" "$WINDIR\SysWOW64\${DRIVER_FILE}" 32
    Delete /REBOOTOK "$WINDIR\SysWOW64\${DRIVER_FILE}"
  ${Else}
    !insertmacro UNREGISTER_DRIVER "$SYSDIR\regsvr32.exe" "$SYSDIR\${DRIVER_FILE}" 32
    Delete /REBOOTOK "$SYSDIR\${DRIVER_FILE}"
  ${EndIf}

  Delete /REBOOTOK "$INSTDIR\${PANEL_FILE}"
  Delete /REBOOTOK "$INSTDIR\${VERSION_FILE}"
  Delete /REBOOTOK "$INSTDIR\${X86_SUBFOLDER}\${PANEL_FILE}"
  RMDir "$INSTDIR\${X86_SUBFOLDER}"
  Delete "$INSTDIR\${UNINSTALLER_FILE}"
  RMDir /REBOOTOK "$INSTDIR"
  ; The vendor folder, when nothing else of the vendor's is in it.
  ${GetParent} "$INSTDIR" $0
  RMDir "$0"

  Delete "${SHORTCUT_FOLDER}\${PANEL_SHORTCUT}"
  Delete "${SHORTCUT_FOLDER}\${VERSION_SHORTCUT}"
  RMDir "${SHORTCUT_FOLDER}"

  ; The user's own driver settings (HKCU\Software\Veltrix KMX ASIO) stay.
  !insertmacro REMOVE_VIEW_VALUES 64
  !insertmacro REMOVE_VIEW_VALUES 32
SectionEnd
