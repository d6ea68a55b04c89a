#!/usr/bin/env bash
# The build a new user runs, without presets: CMake's default generator
# (Unix Makefiles), Release. GCC and Clang 14 on the host, each with the whole
# suite; then the PowerPC cross build with the ABI checks under qemu-ppc (the
# ppc stage runs the rest there). Warnings are errors here, as in every preset,
# so a warning that only -O3 or only one compiler shows fails CI too.
set -euo pipefail
# Run alone, a stage runs again under scripts/guarded.sh (private HOME, sentinel device).
[ "${CORVELLIB_STAGE_HOME:-}" = "${HOME:-}" ] || exec bash "$(dirname "$0")/../guarded.sh" "$(basename "$0" .sh)" bash "$0" "$@"
cd "$(dirname "$0")/../.."

jobs=${PLAIN_JOBS:-2}
root=build/plain

# plain NAME [cmake arguments...]: configure and build build/plain/NAME.
plain() {
  local dir=$root/$1
  shift
  echo "---- plain build: $dir"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCORVELLIB_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

plain gcc -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
(cd "$root/gcc" && ctest -j "$jobs" --output-on-failure)

plain clang -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
(cd "$root/clang" && ctest -j "$jobs" --output-on-failure)

plain ppc -DCMAKE_TOOLCHAIN_FILE=cmake/powerpc-linux-gnu.cmake
(cd "$root/ppc" && ctest -j "$jobs" --output-on-failure -R '^(Abi|Registry|Layout)\.')
