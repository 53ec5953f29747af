#!/bin/bash
# Installs what the build needs (Debian packages, once), then configures and
# builds everything into build/ (or $TARVINE_BUILD_DIR). Safe to run again: it only does what is missing.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  cmake ninja-build googletest
  g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686
  wine wine64 wine32:i386
  xvfb xauth xdotool
)

missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: run as root (or install these packages first)" >&2
    exit 1
  fi
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# TARVINE_BUILD_DIR picks another build folder (each has its own Wine prefix).
build_dir=${TARVINE_BUILD_DIR:-$repo/build}
cd "$repo"
[ -f "$build_dir/build.ninja" ] ||
  cmake -S . -B "$build_dir" -G Ninja --toolchain cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir"
