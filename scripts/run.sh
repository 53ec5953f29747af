#!/bin/bash
# Sets everything up (packages, build, Wine prefix), installs the simulated
# driver with two units and runs the control service in console mode against
# it until Ctrl+C. Arguments, when given, go to tarvinesvc.exe instead of
# -console (for example -h).
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
out=$("$repo/scripts/setup.sh" 2>&1) || { echo "$out"; exit 1; }

BUILD_DIR=${TARVINE_BUILD_DIR:-$repo/build}
. "$repo/scripts/testbed.sh"
# The test bed installs and starts the simulated driver (vedrasim.sys).
testbed_start || exit 1
trap testbed_stop EXIT

service="$BUILD_DIR/service/tarvinesvc.exe"
sim="$BUILD_DIR/devsim/tarvinesim.exe"
demo="$BUILD_DIR/service/tools/tarvinesvc_demo_units.exe"
if (($#)); then
  wine "$service" "$@"
  exit
fi

wine "$sim" reset two >/dev/null || exit 1
echo "Running tarvinesvc.exe -console against the simulated driver (two units); Ctrl+C ends it."
# Once the service has configured the units, show what the driver got.
wine "$demo" show &
# Ctrl+C reaches the service as a console Ctrl+C: it stops its server loop
# and exits with 0.
wine "$service" -console
echo "tarvinesvc.exe ended with exit code $?."
