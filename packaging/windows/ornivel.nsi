; The Windows installer of Ornivel: per user, no administrator rights. It installs the release
; folder's files into %LOCALAPPDATA%\Programs\Ornivel (writable, so the settings stay beside the
; program), a Start-menu shortcut, and an uninstaller registered under the user's Uninstall key.
; Uninstalling removes exactly what was installed; yyst.ini and the songs stay. /S runs either
; silently. Built by scripts/windows-release:
;   makensis -DVERSION=0.1.0 -DARCH=x86|amd64 -DSOURCE=release-folder -DOUTFILE=setup.exe ornivel.nsi
Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma

!if "${ARCH}" == "amd64"
  Target amd64-unicode
!else
  Target x86-unicode
!endif

!include "FileFunc.nsh"

!define PRODUCT "Ornivel"
!define PUBLISHER "Ornivel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ornivel"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Ornivel"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
Icon "${SOURCE}\ornivel.ico"
UninstallIcon "${SOURCE}\ornivel.ico"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) the Ornivel developers. MIT License."

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Ornivel"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  !include "${SOURCE}\install-files.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\Ornivel.lnk" "$INSTDIR\ornivel.exe" "" "$INSTDIR\ornivel.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ornivel.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; The installed size in KiB, as the list of programs shows it.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  !include "${SOURCE}\uninstall-files.nsh"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: the user's yyst.ini and songs keep the folder.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Ornivel.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
