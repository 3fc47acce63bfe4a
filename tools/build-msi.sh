#!/usr/bin/env bash
# Builds the Windows Installer package of one architecture with wixl (Debian package wixl) and
# msibuild (msitools): ZQInst.exe and the driver's files of that processor, per machine into
# ProgramFiles[64]Folder\ZQInst\, and the printer installed and removed by ZQInst.exe itself.
#
# Usage: build-msi.sh <x64|x86> <ZQInst.exe> <driver folder> <version> <output.msi>
#   driver folder: holds <arch>\ZQPrinter_drv2.dll, ZQPrinter_ui2.dll and ZQPrinter.PDD (whatever
#   files are there go into the package; ZQInst.exe refuses a folder that lacks one).
#   version: major.minor.build (a fourth field is dropped: Windows Installer ignores it).
#
# What the package does:
#   - refuses to start (launch condition, with its message) when PRINTERNAME is empty or holds
#     '"', '\' or ',', which ZQInst refuses and which would change the custom action's arguments;
#   - installs the files into a fixed folder (not a public property: nobody points it at a folder
#     others may write to) whose ACL is explicit and not inherited (MsiLockPermissionsEx):
#     Administrators and SYSTEM full control, Users read and execute; then, deferred, not
#     impersonated, inside the transaction:
#       ZQInst.exe /quiet /log "<Windows>\Temp\ZQInst-install.log" install
#           "<folder>driver" "[PRINTERNAME]" <arch>
#     (PRINTERNAME: public property, default "ZQ Printer2"). A non-zero exit fails the package,
#     and its rollback runs ZQInst.exe /quiet uninstall (only when the driver was not on the
#     machine before: its registration found under neither Version-3 nor Version-4) and removes
#     the files;
#   - on removal, before the files go: ZQInst.exe /quiet /log "<Windows>\Temp\ZQInst-uninstall.log"
#     uninstall;
#   - a fixed UpgradeCode per architecture and major upgrades: a newer package removes the older
#     one (and its printer) before it installs.
set -euo pipefail
[ "$#" -eq 5 ] || { sed -n '2,12p' "$0" >&2; exit 2; }
arch=$1 exe=$2 driver=$3 version=$4 output=$5
command -v wixl >/dev/null 2>&1 || { echo "build-msi: needs wixl (apt-get install wixl)" >&2; exit 1; }
command -v msibuild >/dev/null 2>&1 || { echo "build-msi: needs msibuild (apt-get install msitools)" >&2; exit 1; }
version=$(cut -d. -f1-3 <<<"$version")

case $arch in
  x64)
    upgrade=7A3C2E41-5B9D-4F0A-9C61-2D8E4B1F6A01 program_files=ProgramFiles64Folder win64=yes
    platform=x64 environment='Windows x64'
    ;;
  x86)
    upgrade=7A3C2E41-5B9D-4F0A-9C61-2D8E4B1F6A02 program_files=ProgramFilesFolder win64=no
    platform=x86 environment='Windows NT x86'
    ;;
  *) echo "build-msi: architecture x64 or x86" >&2; exit 2 ;;
esac
[ -f "$exe" ] || { echo "build-msi: no $exe" >&2; exit 1; }
[ -d "$driver/$arch" ] || { echo "build-msi: no $driver/$arch" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$exe" "$work/ZQInst.exe"
# Component GUIDs stay the same from build to build (derived from the architecture and the
# file's place), so that upgrades and repairs find their components.
guid() { printf '%s' "$1" | md5sum | sed -E 's/^(.{8})(.{4})(.{4})(.{4})(.{12}).*/\U\1-\2-\3-\4-\5/'; }
xml() { sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g' <<<"$1"; }

driver_components="" driver_refs="" n=0
for file in "$driver/$arch"/*; do
  [ -f "$file" ] || continue
  n=$((n + 1))
  name=$(basename "$file")
  mkdir -p "$work/driver"
  cp "$file" "$work/driver/$name"
  driver_components+="
              <Component Id=\"Driver$n\" Guid=\"$(guid "zqinst-$arch-driver-$name")\" Win64=\"$win64\">
                <File Id=\"DriverFile$n\" Name=\"$(xml "$name")\" Source=\"driver/$(xml "$name")\" KeyPath=\"yes\"/>
              </Component>"
  driver_refs+="
      <ComponentRef Id=\"Driver$n\"/>"
done

# The driver's registration, as the spooler keeps it: present before the install means that a
# rollback must leave the driver alone. It is registered with cVersion 4; Wine files it under
# Version-3, and the conformance suite reads back where Windows does: both are searched.
drivers_key="SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\$environment\\Drivers"
log='[WindowsFolder]Temp\ZQInst'
# "[InstallFolder]driver", never a quoted "[InstallFolder]": the folder ends in a backslash, which
# would swallow the closing quote.
install_command="/quiet /log &quot;${log}-install.log&quot; install &quot;[InstallFolder]driver&quot; &quot;[PRINTERNAME]&quot; $arch"
# The install folder's ACL, not inherited: SYSTEM and Administrators full control, Users read and
# execute, for the folder and everything in it.
folder_sddl='D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)'

cat >"$work/zqinst.wxs" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="ZQInst printer driver ($arch)" Language="1033" Version="$version"
           Manufacturer="Brimcastelle" UpgradeCode="$upgrade">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"
             Description="ZQInst: the ZqDriver2 printer driver, its port and a printer"/>
    <Media Id="1" Cabinet="zqinst.cab" EmbedCab="yes"/>
    <MajorUpgrade DowngradeErrorMessage="A newer version of ZQInst is already installed."/>

    <Property Id="PRINTERNAME" Value="ZQ Printer2"/>
    <!-- Condition strings cannot hold a quote: the characters ZQInst refuses, as properties. -->
    <Property Id="ZqQuote" Value="&quot;"/>
    <Property Id="ZqBackslash" Value="\"/>
    <Property Id="ZqComma" Value=","/>
    <Condition Message="PRINTERNAME must name a printer: not empty, and without &quot;, \ or ,."
      >Installed OR (PRINTERNAME AND NOT (PRINTERNAME &gt;&lt; ZqQuote) AND NOT (PRINTERNAME &gt;&lt; ZqBackslash) AND NOT (PRINTERNAME &gt;&lt; ZqComma))</Condition>
    <Property Id="ZQDRIVERVERSION3">
      <RegistrySearch Id="ZqDriverVersion3" Root="HKLM" Key="$(xml "$drivers_key\\Version-3\\ZqDriver2")"
                      Name="Driver" Type="raw" Win64="$win64"/>
    </Property>
    <Property Id="ZQDRIVERVERSION4">
      <RegistrySearch Id="ZqDriverVersion4" Root="HKLM" Key="$(xml "$drivers_key\\Version-4\\ZqDriver2")"
                      Name="Driver" Type="raw" Win64="$win64"/>
    </Property>

    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="$program_files">
        <Directory Id="InstallFolder" Name="ZQInst">
          <Component Id="Program" Guid="$(guid "zqinst-$arch-program")" Win64="$win64">
            <CreateFolder/>
            <File Id="ZQInstExe" Name="ZQInst.exe" Source="ZQInst.exe" KeyPath="yes"/>
          </Component>
          <Directory Id="DriverFolder" Name="driver">
            <Directory Id="DriverArchFolder" Name="$arch">$driver_components
            </Directory>
          </Directory>
        </Directory>
      </Directory>
    </Directory>

    <Feature Id="Complete" Level="1">
      <ComponentRef Id="Program"/>$driver_refs
    </Feature>

    <CustomAction Id="ZqInstallRollback" FileKey="ZQInstExe" Execute="rollback" Impersonate="no"
                  Return="ignore" ExeCommand="/quiet /log &quot;${log}-rollback.log&quot; uninstall"/>
    <CustomAction Id="ZqInstall" FileKey="ZQInstExe" Execute="deferred" Impersonate="no"
                  Return="check" ExeCommand="$install_command"/>
    <CustomAction Id="ZqUninstall" FileKey="ZQInstExe" Execute="deferred" Impersonate="no"
                  Return="check" ExeCommand="/quiet /log &quot;${log}-uninstall.log&quot; uninstall"/>

    <!-- Explicit places inside the transaction (InstallInitialize 1500 to InstallFinalize 6600):
         the removal before RemoveFiles (3500), the install after InstallFiles (4000), its rollback
         just before it. -->
    <InstallExecuteSequence>
      <Custom Action="ZqUninstall" Sequence="3490">REMOVE="ALL"</Custom>
      <Custom Action="ZqInstallRollback" Sequence="5990">NOT Installed AND NOT ZQDRIVERVERSION3 AND NOT ZQDRIVERVERSION4</Custom>
      <Custom Action="ZqInstall" Sequence="5991">NOT Installed</Custom>
    </InstallExecuteSequence>
  </Product>
</Wix>
EOF
output=$(cd "$(dirname "$output")" && pwd)/$(basename "$output")
(cd "$work" && wixl -a "$platform" -o "$output" zqinst.wxs)
# wixl writes no permission table (it knows neither Permission nor PermissionEx): the folder's
# ACL goes into MsiLockPermissionsEx (Windows Installer 5.0) on the folder's CreateFolder row.
msibuild "$output" -q 'CREATE TABLE `MsiLockPermissionsEx` (`MsiLockPermissionsEx` CHAR(72) NOT NULL, `LockObject` CHAR(72) NOT NULL, `Table` CHAR(32) NOT NULL, `SDDLText` CHAR(0) NOT NULL, `Condition` CHAR(255) PRIMARY KEY `MsiLockPermissionsEx`)'
msibuild "$output" -q "INSERT INTO \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\`, \`LockObject\`, \`Table\`, \`SDDLText\`) VALUES ('InstallFolderAcl', 'InstallFolder', 'CreateFolder', '$folder_sddl')"
