; The sample product the companion's installer test installs with an NSIS installer: program
; files, registry keys and values, a service, a start-up (Run) value and a Start menu shortcut.
; Built at test time with makensis: -DSERVICE_EXE=<the project's service program> -DREADME=<text>
; -DOUTFILE=<installer>. 64-bit (this machine runs no 32-bit Windows programs); silent with /S.
Unicode true
Target amd64-unicode
Name "Example NSIS Suite"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Example Vendor\Example NSIS Suite"
RequestExecutionLevel admin
SilentInstall silent

Section "Install"
  SetRegView 64
  SetOutPath "$INSTDIR"
  File "/oname=ExampleNsisSvc.exe" "${SERVICE_EXE}"
  File "/oname=readme.txt" "${README}"
  SetOutPath "$INSTDIR\Data"
  File "/oname=settings.ini" "${README}"

  WriteRegStr HKLM "SOFTWARE\Example Vendor\Example NSIS Suite" "InstallPath" "$INSTDIR"
  WriteRegDWORD HKLM "SOFTWARE\Example Vendor\Example NSIS Suite" "Version" 123
  WriteRegStr HKLM "SOFTWARE\Example Vendor\Example NSIS Suite\Components" "Core" "1"
  WriteRegDWORD HKCU "Software\Example Vendor\Example NSIS Suite\Settings" "Level" 3
  WriteRegStr HKLM "SOFTWARE\Microsoft\Windows\CurrentVersion\Run" "ExampleNsisTray" '"$INSTDIR\ExampleNsisSvc.exe" /tray'
  WriteRegStr HKLM "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Example NSIS Suite" "DisplayName" "Example NSIS Suite"
  WriteRegStr HKLM "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Example NSIS Suite" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\Example NSIS Suite"
  CreateShortCut "$SMPROGRAMS\Example NSIS Suite\Example NSIS Suite.lnk" "$INSTDIR\ExampleNsisSvc.exe"

  ExecWait '"$SYSDIR\sc.exe" create ExampleNsisSvc binPath= "$INSTDIR\ExampleNsisSvc.exe" start= demand'
SectionEnd

Section "Uninstall"
SectionEnd
