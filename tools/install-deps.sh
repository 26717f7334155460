#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, skipping what is already there.
set -euo pipefail
packages=(cmake ninja-build ccache g++ clang-14 libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev libkissfft-dev xvfb xauth
          # install checks and the Debian package: menu entry and metainfo validators, dpkg-shlibdeps
          desktop-file-utils appstream dpkg-dev file
          g++-mingw-w64-x86-64-posix googletest wine wine64 fonts-liberation # the Windows cross build, tested under Wine
          nsis python3) # the Windows installer; pictures of the Windows program under Xvfb
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
