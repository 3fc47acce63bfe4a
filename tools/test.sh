#!/usr/bin/env bash
# Runs every test: the unit, scenario, conformance and fault-sweep tests on the simulated Windows,
# plain, under AddressSanitizer/UBSan and under ThreadSanitizer, and under Wine (label wine) the
# end-to-end runs of the real ZQInst.exe, x64 and x86, and the conformance suite of both builds.
# Builds what is missing first; installs Wine and Xvfb when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have cmake || need+=(cmake)
have g++ || need+=(g++)
have x86_64-w64-mingw32-g++ || need+=(mingw-w64)
have i686-w64-mingw32-g++ || need+=(mingw-w64)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -x /usr/lib/wine/wine64 ] || need+=(wine wine64)
have Xvfb || need+=(xvfb)
have bc || need+=(bc)
# The Windows Installer packages of the Wine tests are built with wixl.
have wixl || need+=(wixl)
# ... and their folder's permissions added with msibuild.
have msibuild || need+=(msitools)
# tools/check-workflows.sh (run by .ci/run) takes its validator from the npm registry.
have npm || need+=(nodejs npm)
# The x86 ZQInst.exe runs under Wine's 32-bit half (WoW64 in the same 64-bit prefix).
if [ ! -x /usr/lib/wine/wine ]; then
  need+=(wine32:i386)
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
fi
if [ "${#need[@]}" -gt 0 ]; then
  echo "test: installing ${need[*]}"
  bash tools/install-packages.sh "${need[@]}" >/dev/null
fi

status=0
for preset in mingw-x64 mingw-x86 host host-asan host-tsan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" >/dev/null
done
for preset in host host-asan host-tsan; do
  echo "== tests: $preset"
  ctest --preset "$preset" -j"$jobs" || status=1
done
exit "$status"
