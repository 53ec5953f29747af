#!/bin/bash
# Installs and controls the simulated kernel driver (vedrasim.sys) in a build
# folder's Wine prefix, as an auto-start kernel service named vedrasim.
# Usage: scripts/devsim.sh install|start|stop|reinstall|status [BUILD_DIR]
#   install    copy the built .sys into the prefix (when it changed), create
#              the service if missing and (re)start it
#   start      start the service (nothing when it runs)
#   stop       stop it (DriverUnload runs)
#   reinstall  stop, copy, start, even when nothing changed
#   status     print the service state
# Needs a running wineserver for the prefix when called often (the test bed
# starts one); works without one too, only slower.
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
command=${1:-install}
BUILD_DIR=${2:-${TARVINE_BUILD_DIR:-$repo/build}}
. "$repo/scripts/wine-env.sh"

name=vedrasim
built="$BUILD_DIR/devsim/$name.sys"
# A win64 prefix runs the 32-bit driver host from syswow64.
if [ -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
  target="$WINEPREFIX/drive_c/windows/syswow64/drivers/$name.sys"
else
  target="$WINEPREFIX/drive_c/windows/system32/drivers/$name.sys"
fi
log="$BUILD_DIR/devsim-sc.log"

# Services inherit the output of the Wine process that starts them: sc's
# output goes to a file, never into a pipe that could be held open.
sc() { wine sc "$@" >"$log" 2>&1; }

service_state() {
  sc query "$name"
  if grep -q RUNNING "$log"; then echo running
  elif grep -q STOPPED "$log"; then echo stopped
  elif grep -q -i PENDING "$log"; then echo pending
  else echo missing
  fi
}

copy_sys() {
  [ -f "$built" ] || { echo "devsim: $built not built" >&2; return 1; }
  mkdir -p "$(dirname "$target")"
  # A new file (not an overwrite), so a loaded image is never changed under it.
  cp "$built" "$target.new" && mv -f "$target.new" "$target"
}

do_start() {
  local state
  state=$(service_state)
  case $state in
    running) return 0 ;;
    missing)
      sc create "$name" type= kernel start= auto 'binPath=' "C:\\windows\\system32\\drivers\\$name.sys" ||
        { echo "devsim: sc create failed:" >&2; cat "$log" >&2; return 1; } ;;
  esac
  sc start "$name"
  for _ in $(seq 1 50); do
    [ "$(service_state)" = running ] && return 0
    sleep 0.1
  done
  echo "devsim: $name did not start:" >&2
  cat "$log" >&2
  return 1
}

do_stop() {
  [ "$(service_state)" = running ] || return 0
  sc stop "$name"
  for _ in $(seq 1 50); do
    [ "$(service_state)" != running ] && return 0
    sleep 0.1
  done
  echo "devsim: $name did not stop" >&2
  return 1
}

case $command in
  install)
    if [ -f "$target" ] && cmp -s "$built" "$target"; then
      do_start
    else
      do_stop && copy_sys && do_start
    fi ;;
  reinstall) do_stop && copy_sys && do_start ;;
  start) do_start ;;
  stop) do_stop ;;
  status) service_state ;;
  *) echo "usage: $0 install|start|stop|reinstall|status [BUILD_DIR]" >&2; exit 2 ;;
esac
