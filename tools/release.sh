#!/usr/bin/env bash
# Builds the release of ZQInst.exe for x64 and x86 with MinGW-w64: static runtime, debug
# information moved into separate .debug files, ASLR and DEP flags checked. With a driver folder,
# also the Windows Installer packages of both (tools/build-msi.sh, wixl). Signs the programs and
# the packages with Authenticode when a certificate is given, and writes their SHA-256 sums.
#
# Usage: release.sh [options]
#   --pkcs12 <file.pfx>       certificate and private key (PKCS#12) to sign with
#   --cert <cert.pem> --key <key.pem>
#                             or the certificate (chain) and the private key as PEM files
#   --password-file <file>    the private key's password (or set ZQ_SIGN_PASSWORD); none if unset
#   --timestamp <url>         RFC 3161 time-stamp server, so signatures outlive the certificate
#   --out <folder>            where the release goes (default build/release)
#   --driver <folder>         the driver's files (x64\ and x86\, arm64\ when shipped, each with the
#                             three files): both programs carry their manifest (the size and
#                             SHA-256 of every file, RCDATA "DRIVERMANIFEST", signed with them),
#                             and the packages ZQInst-<version>-x64.msi and -x86.msi are built
#                             with those programs and these files
#
# The release folder afterwards:
#   x64/ZQInst.exe  x86/ZQInst.exe           the programs (signed when a certificate was given)
#   ZQInst-<version>-x64.msi  ZQInst-<version>-x86.msi
#                                            the packages (with --driver)
#   SHA256SUMS                               the sums of all these (`sha256sum -c SHA256SUMS`)
#   symbols/x64/ZQInst.exe.debug, symbols/x86/ZQInst.exe.debug
#                                            the matching debug information for crash analysis
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

pkcs12="" cert="" key="" password_file="" timestamp="" out=$top/build/release driver=""
while [ "$#" -gt 0 ]; do
  case $1 in
    --pkcs12) pkcs12=$2 ;;
    --cert) cert=$2 ;;
    --key) key=$2 ;;
    --password-file) password_file=$2 ;;
    --timestamp) timestamp=$2 ;;
    --out) out=$2 ;;
    --driver) driver=$2 ;;
    *) echo "release: unknown option $1 (see the head of $0)" >&2; exit 2 ;;
  esac
  shift 2
done
if [ -n "$cert$key" ] && { [ -z "$cert" ] || [ -z "$key" ] || [ -n "$pkcs12" ]; }; then
  echo "release: give --pkcs12, or --cert with --key" >&2
  exit 2
fi
signing=$([ -n "$pkcs12$cert" ] && echo yes || echo no)
if [ "$signing" = yes ] && ! command -v osslsigncode >/dev/null 2>&1; then
  echo "release: signing needs osslsigncode (apt-get install osslsigncode)" >&2
  exit 1
fi

if [ -n "$driver" ]; then
  [ -d "$driver/x64" ] && [ -d "$driver/x86" ] || { echo "release: $driver needs x64 and x86" >&2; exit 2; }
  driver=$(cd "$driver" && pwd)
  command -v wixl >/dev/null 2>&1 || { echo "release: the packages need wixl (apt-get install wixl)" >&2; exit 1; }
  command -v msibuild >/dev/null 2>&1 || { echo "release: the packages need msibuild (apt-get install msitools)" >&2; exit 1; }
fi

cd "$top"
# The product's version, as the program reports it.
version=$(sed -n 's/.*ProductVersion\[\] = TEXT("\([0-9.]*\)").*/\1/p' support/product.h)
[ -n "$version" ] || { echo "release: no ProductVersion in support/product.h" >&2; exit 1; }
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$out"
out=$(cd "$out" && pwd)
# Only what an earlier release put there is replaced.
rm -rf "$out/x64" "$out/x86" "$out/symbols" "$out/SHA256SUMS" "$out"/ZQInst-*.msi
# The driver manifest (installation/driver_manifest.h): a header line, then per processor
# sub-folder and file "<processor> <file> <size> <sha-256>".
manifest=""
if [ -n "$driver" ]; then
  manifest="ZQInst driver manifest 1"$'\n'
  for processor in x86 x64 arm64; do
    [ -d "$driver/$processor" ] || continue
    for file in ZQPrinter_drv2.dll ZQPrinter_ui2.dll ZQPrinter.PDD; do
      path=$driver/$processor/$file
      [ -f "$path" ] || { echo "release: $path is missing" >&2; exit 2; }
      manifest+="$processor $file $(stat -c %s "$path") $(sha256sum "$path" | cut -d' ' -f1)"$'\n'
    done
  done
fi
for arch in x64 x86; do
  cmake --preset "mingw-$arch" >/dev/null
  cmake --build --preset "mingw-$arch" -j"$jobs" >/dev/null
  build=build/mingw-$arch
  if [ -n "$manifest" ]; then
    # The same program linked once more with the manifest as a resource of its own.
    mkdir -p "$build/driver-manifest"
    printf '%s' "$manifest" >"$build/driver-manifest/manifest.txt"
    cmake --build --preset "mingw-$arch" -j"$jobs" --target ZQInstWithManifest >/dev/null
    build=$build/driver-manifest
    echo "release: $arch program carries the driver manifest, $(printf '%s' "$manifest" | wc -c) bytes"
  fi
  mkdir -p "$out/$arch" "$out/symbols/$arch"
  cp "$build/ZQInst.exe" "$out/$arch/"
  cp "$build/ZQInst.exe.debug" "$out/symbols/$arch/"
done

sign() {  # sign <exe or msi>: replaces the file by its signed copy
  local exe=$1
  local args=(-h sha256 -n "ZQInst" -in "$exe" -out "$exe.signed")
  if [ -n "$pkcs12" ]; then args+=(-pkcs12 "$pkcs12"); else args+=(-certs "$cert" -key "$key"); fi
  [ -n "$timestamp" ] && args+=(-ts "$timestamp")
  if [ -n "$password_file" ]; then
    osslsigncode sign "${args[@]}" -readpass "$password_file" >/dev/null
  elif [ -n "${ZQ_SIGN_PASSWORD:-}" ]; then
    printf '%s' "$ZQ_SIGN_PASSWORD" | osslsigncode sign "${args[@]}" -readpass - >/dev/null
  else
    osslsigncode sign "${args[@]}" >/dev/null
  fi
  mv "$exe.signed" "$exe"
}

for arch in x64:x86_64 x86:i686; do
  exe=$out/${arch%%:*}/ZQInst.exe
  if [ "$signing" = yes ]; then sign "$exe"; fi
  bash tools/check-resources.sh "$exe" "${arch##*:}" >/dev/null
  bash tools/check-hardening.sh "$exe" "${arch##*:}" >/dev/null
  # grep reads the whole listing: with pipefail, one that stopped at the first match could leave
  # windres to die of a broken pipe and the check to fail at random.
  if [ -n "$manifest" ] && ! "${arch##*:}-w64-mingw32-windres" -i "$exe" -O rc 2>/dev/null |
      grep -c 'DRIVERMANIFEST' >/dev/null; then
    echo "release: $exe lacks its driver manifest" >&2
    exit 1
  fi
  echo "release: $exe $(stat -c %s "$exe") bytes, signed: $signing"
done
files=(x64/ZQInst.exe x86/ZQInst.exe)
if [ -n "$driver" ]; then
  # The packages hold the exes as released (signed when signing).
  for arch in x64 x86; do
    msi=ZQInst-$version-$arch.msi
    bash tools/build-msi.sh "$arch" "$out/$arch/ZQInst.exe" "$driver" "$version" "$out/$msi"
    if [ "$signing" = yes ]; then sign "$out/$msi"; fi
    echo "release: $out/$msi $(stat -c %s "$out/$msi") bytes, signed: $signing"
    files+=("$msi")
  done
else
  echo "release: no --driver: no packages, and the programs carry no driver manifest"
fi
(cd "$out" && sha256sum "${files[@]}" >SHA256SUMS)
echo "release: sums in $out/SHA256SUMS"
