#!/usr/bin/env bash
# Installs every Debian package that building and testing Kestrow needs, on both targets:
# the Linux toolchain (g++, clang with its sanitizer and fuzzer runtimes), the mingw-w64
# cross compiler for the Windows target, Wine to run the Windows tests, and the test tools.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  libgtest-dev googletest libbenchmark-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth
  libcurl4-openssl-dev libssl-dev libxml2-dev libgtk-3-dev libx11-dev
  openssl osslsigncode python3 hyperfine locales curl time
  imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  # sudo resets the environment: DEBIAN_FRONTEND goes through it as an assignment.
  sudo_cmd=(env DEBIAN_FRONTEND=noninteractive)
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo DEBIAN_FRONTEND=noninteractive)
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A locale whose decimal point is a comma, for the tests of number texts.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  "${as_root[@]}" locale-gen
fi
