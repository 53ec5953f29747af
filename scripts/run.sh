#!/bin/bash
# Sets everything up (packages, build, Wine prefix) and runs the product
# under Wine.
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
out=$("$repo/scripts/setup.sh" 2>&1) || { echo "$out"; exit 1; }

BUILD_DIR=${TARVINE_BUILD_DIR:-$repo/build}
. "$repo/scripts/testbed.sh"
testbed_start || exit 1
trap testbed_stop EXIT

echo "Built:"
for exe in service/tarvinesvc.exe panel/shell/tarvinecpl.exe; do
  printf '  %-28s %s\n' "$exe" "$(i686-w64-mingw32-objdump -f "$BUILD_DIR/$exe" | sed -n 's/.*file format //p')"
done
echo "Running tarvinesvc.exe under Wine:"
wine "$BUILD_DIR/service/tarvinesvc.exe" "$@"
