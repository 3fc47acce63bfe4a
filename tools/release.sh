#!/usr/bin/env bash
# Builds the release of ZQInst.exe for x64 and x86 with MinGW-w64: static runtime, debug
# information moved into separate .debug files, ASLR and DEP flags checked. Signs both programs
# with Authenticode when a certificate is given, and writes their SHA-256 sums.
#
# Usage: release.sh [options]
#   --pkcs12 <file.pfx>       certificate and private key (PKCS#12) to sign with
#   --cert <cert.pem> --key <key.pem>
#                             or the certificate (chain) and the private key as PEM files
#   --password-file <file>    the private key's password (or set ZQ_SIGN_PASSWORD); none if unset
#   --timestamp <url>         RFC 3161 time-stamp server, so signatures outlive the certificate
#   --out <folder>            where the release goes (default build/release)
#
# The release folder afterwards:
#   x64/ZQInst.exe  x86/ZQInst.exe           the programs (signed when a certificate was given)
#   SHA256SUMS                               their sums (`sha256sum -c SHA256SUMS` checks them)
#   symbols/x64/ZQInst.exe.debug, symbols/x86/ZQInst.exe.debug
#                                            the matching debug information for crash analysis
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

pkcs12="" cert="" key="" password_file="" timestamp="" out=$top/build/release
while [ "$#" -gt 0 ]; do
  case $1 in
    --pkcs12) pkcs12=$2 ;;
    --cert) cert=$2 ;;
    --key) key=$2 ;;
    --password-file) password_file=$2 ;;
    --timestamp) timestamp=$2 ;;
    --out) out=$2 ;;
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

cd "$top"
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$out"
out=$(cd "$out" && pwd)
# Only what an earlier release put there is replaced.
rm -rf "$out/x64" "$out/x86" "$out/symbols" "$out/SHA256SUMS"
for arch in x64 x86; do
  cmake --preset "mingw-$arch" >/dev/null
  cmake --build --preset "mingw-$arch" -j"$jobs" >/dev/null
  mkdir -p "$out/$arch" "$out/symbols/$arch"
  cp "build/mingw-$arch/ZQInst.exe" "$out/$arch/"
  cp "build/mingw-$arch/ZQInst.exe.debug" "$out/symbols/$arch/"
done

sign() {  # sign <exe>: replaces the exe by its signed copy
  local exe=$1 args=(-h sha256 -n "ZQInst" -in "$exe" -out "$exe.signed")
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
  echo "release: $exe $(stat -c %s "$exe") bytes, signed: $signing"
done
(cd "$out" && sha256sum x64/ZQInst.exe x86/ZQInst.exe >SHA256SUMS)
echo "release: sums in $out/SHA256SUMS"
