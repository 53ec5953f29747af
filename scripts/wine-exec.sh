#!/bin/sh
# Runs a Windows program under Wine in a build folder's prefix.
# Usage: wine-exec.sh BUILD_DIR PROGRAM.exe [ARGS...]
BUILD_DIR=$1
shift
. "$(dirname "$0")/wine-env.sh"
exec wine "$@"
