#!/usr/bin/env bash
# Checks the Visual Studio settings of CMakeLists.txt without Visual Studio: configures the Windows
# build with clang-cl (which CMake treats as MSVC) and the Ninja generator, and reads the compile
# and link flags CMake generated for every target. Nothing is compiled.
# Fails unless every C/C++ source gets /utf-8, /W4, the static runtime (/MT) and /guard:cf, the
# resource script gets none of them, and ZQInst.exe links with /MANIFEST:NO (the resource script
# carries the manifest), /DYNAMICBASE, /NXCOMPAT, /guard:cf, /DEPENDENTLOADFLAG:0x800 (static
# imports from System32 only), /ENTRY:ZqProcessEntry (the DLL search restricted before the runtime
# starts) and, for x64, /HIGHENTROPYVA.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
clang_cl=$(command -v clang-cl || ls /usr/bin/clang-cl-* 2>/dev/null | sort -V | tail -1 || true)
if [ -z "$clang_cl" ] || ! command -v ninja >/dev/null || ! command -v llvm-rc >/dev/null; then
  echo "msvc-settings: needs clang-cl, llvm-rc and ninja (clang-tools llvm ninja-build)" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failed=0
for arch in x64:AMD64:8 x86:X86:4; do
  IFS=: read -r name processor pointer <<<"$arch"
  target=$([ "$name" = x64 ] && echo x86_64-pc-windows-msvc || echo i686-pc-windows-msvc)
  cat >"$work/toolchain-$name.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $processor)
set(CMAKE_C_COMPILER $clang_cl)
set(CMAKE_CXX_COMPILER $clang_cl)
set(CMAKE_C_COMPILER_TARGET $target)
set(CMAKE_CXX_COMPILER_TARGET $target)
set(CMAKE_RC_COMPILER llvm-rc)
# No Windows SDK here: skip the test programs and give what they would have found.
set(CMAKE_C_COMPILER_WORKS 1)
set(CMAKE_CXX_COMPILER_WORKS 1)
set(CMAKE_SIZEOF_VOID_P $pointer)
EOF
  build=$work/build-$name
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$work/toolchain-$name.cmake" >"$work/configure-$name.log" 2>&1 || {
    cat "$work/configure-$name.log" >&2
    exit 1
  }
  ninja=$build/build.ninja
  check() {  # check <what> <command...>
    local what=$1
    shift
    if "$@"; then
      echo "msvc-settings: $name: $what: yes"
    else
      echo "msvc-settings: $name: $what: NO" >&2
      failed=1
    fi
  }
  # Each compile statement's FLAGS line, by language.
  cxx_flags=$(awk '/^build .*: CXX_COMPILER__/ {c=1; next} c && /^  FLAGS = / {print; c=0}' "$ninja")
  rc_flags=$(awk '/^build .*: RC_COMPILER__/ {c=1; next} c && /^  FLAGS = / {print; c=0}' "$ninja")
  link_flags=$(awk '/^build ZQInst.exe: / {c=1; next} c && /^  LINK_FLAGS = / {print; c=0}' "$ninja")
  every() {  # every <flag>: each C++ compile has the flag
    [ -n "$cxx_flags" ] && ! grep -vqE -- "(^| )$1( |$)" <<<"$cxx_flags"
  }
  none() { ! grep -qE -- "(^| )$1( |$)" <<<"$rc_flags"; }
  rc_plain() { [ -n "$rc_flags" ] && none /utf-8 && none /W4; }
  links() { grep -qE -- "(^| )$1( |$)" <<<"$link_flags"; }
  check "C++ sources found ($(wc -l <<<"$cxx_flags"))" test -n "$cxx_flags"
  for flag in /utf-8 /W4 -MT /guard:cf; do check "every C++ source compiled with $flag" every "$flag"; done
  check "resource script compiled without /utf-8 and /W4" rc_plain
  for flag in /MANIFEST:NO /DYNAMICBASE /NXCOMPAT /guard:cf /DEPENDENTLOADFLAG:0x800 \
    /ENTRY:ZqProcessEntry; do
    check "ZQInst.exe linked with $flag" links "$flag"
  done
  if [ "$name" = x64 ]; then check "ZQInst.exe linked with /HIGHENTROPYVA" links /HIGHENTROPYVA; fi
done
exit "$failed"
