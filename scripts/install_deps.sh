#!/usr/bin/env bash
# Installs whichever of the build, test and demo packages are missing (Debian, as root).
set -euo pipefail

packages=(
  cmake
  g++-mingw-w64-x86-64-posix
  libboost-dev
  libflatbuffers-dev
  flatbuffers-compiler
  googletest
  wine
  wine64
  fonts-wine
  xvfb
  python3
  imagemagick
  x11-utils
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
fi
