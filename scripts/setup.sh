#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian machine.
# Skips apt entirely when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ gcc pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libsqlite3-dev sqlite3 libcli11-dev nlohmann-json3-dev
  g++-powerpc-linux-gnu qemu-user binutils-powerpc-linux-gnu
  clang libclang-rt-14-dev valgrind python3 python3-jsonschema python3-pytest clang-format git
  hyperfine
  libmicrohttpd-dev chromium chromium-driver python3-selenium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
