#!/bin/bash
# Creates the build folder's Wine prefix when it is missing (about 10 s), so
# later runs reuse it. Usage: wine-prefix.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
BUILD_DIR=$1
. "$here/wine-env.sh"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine-prefix: creating $WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
