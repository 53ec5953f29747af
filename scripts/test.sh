#!/bin/bash
# Sets everything up (packages, build, Wine prefix) and runs all tests under
# Wine. Extra arguments go to ctest, e.g. scripts/test.sh -R StatusName
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/scripts/setup.sh" || exit 1

BUILD_DIR=${TARVINE_BUILD_DIR:-$repo/build}
. "$repo/scripts/testbed.sh"
testbed_start || exit 1
trap testbed_stop EXIT

cd "$repo"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j2 --timeout 120 "$@"
