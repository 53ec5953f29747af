# Sourced with BUILD_DIR set: starts and stops the Wine test bed of a build
# folder (its prefix, a wineserver and the long-lived processes around it).

repo_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$repo_dir/scripts/wine-env.sh"

testbed_start() {
  "$repo_dir/scripts/wine-prefix.sh" "$BUILD_DIR"
  testbed_display_driver
  wineserver -p
  # services.exe and the driver host inherit the standard output of the Wine
  # process that starts them, and exit a few seconds after the last one ends.
  # One long-lived process with its output in /dev/null keeps them up for the
  # whole run, so no test's output pipe is held open by them. It reads a
  # pipe that only this shell writes, and ends with the test bed.
  # Wine keeps no event log: what services report appears only on its
  # "eventlog" debug channel, on their standard error. That goes to
  # services.log in the build folder, where the service tests read it.
  local fifo="$BUILD_DIR/testbed.fifo"
  local services_log="$BUILD_DIR/services.log"
  rm -f "$fifo" && mkfifo "$fifo"
  WINEDEBUG=-all,+eventlog wine cmd.exe <"$fifo" >/dev/null 2>>"$services_log" &
  exec 9>"$fifo"
  rm -f "$fifo"
  # Wait until Wine's services are up, so no test process is the one to start
  # them (they would inherit, and hold open, that test's output pipe).
  WINEDEBUG=-all,+eventlog wine cmd.exe /c exit >/dev/null 2>>"$services_log"
  # The simulated driver, when built: the fresh .sys is installed into the
  # prefix and (re)started, so tests and the product find the device.
  if [ -f "$BUILD_DIR/devsim/vedrasim.sys" ]; then
    "$repo_dir/scripts/devsim.sh" install "$BUILD_DIR" || return 1
  fi
}

# Top-level windows, hidden ones too, need a display driver: without an X
# display that is Wine's null driver, so window tests run headless. Wine
# picks the driver when its desktop starts, so a change is made with no
# Wine process running and waited out (a few seconds, only when it changes).
testbed_display_driver() {
  local null_driver=no
  grep -qs '"Graphics"="null"' "$WINEPREFIX/user.reg" && null_driver=yes
  if [ -z "${DISPLAY:-}" ] && [ $null_driver = no ]; then
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >/dev/null 2>&1
    wineserver -w
  elif [ -n "${DISPLAY:-}" ] && [ $null_driver = yes ]; then
    wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1
    wineserver -w
  fi
}

testbed_stop() {
  exec 9>&-
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
