#!/bin/bash
# CPU time of tarvinesvc.exe -console left idle with two simulated units,
# read on the Linux side (/proc/PID/stat: utime + stime, in clock ticks) for
# the service's Wine process and for the wineserver, which serves its waits.
# Wine reports no CPU times for another process, so this is measured here.
# Usage: service/bench/idle-cpu.sh [SECONDS]   (default 60; builds nothing)
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
BUILD_DIR=${TARVINE_BUILD_DIR:-$repo/build}
. "$repo/scripts/testbed.sh"
testbed_start || exit 1
trap testbed_stop EXIT

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# Voluntary context switches of all the process's threads: how often it woke.
switches() { cat /proc/"$1"/task/*/status | awk '/^voluntary_ctxt_switches/ { n += $2 } END { print n }'; }

# The bench program starts the service and keeps it running for the period
# (plus a margin), so the window measured here lies within it.
(cd "$BUILD_DIR/service/bench" && wine tarvinesvc_bench.exe idle $((seconds + 10))) &
bench=$!
for _ in $(seq 1 100); do
  service=$(pgrep -f 'service.tarvinesvc.exe -console' | head -1)
  [ -n "$service" ] && break
  sleep 0.1
done
[ -n "${service:-}" ] || { echo "tarvinesvc did not start" >&2; exit 1; }
server=
for p in $(pgrep wineserver); do
  tr '\0' '\n' <"/proc/$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && server=$p
done
sleep 3 # let the start-up settle
hz=$(getconf CLK_TCK)
s0=$(ticks "$service"); w0=$(ticks "$server"); c0=$(switches "$service")
sleep "$seconds"
s1=$(ticks "$service"); w1=$(ticks "$server"); c1=$(switches "$service")
echo "idle ${seconds} s, two units: tarvinesvc $(( (s1 - s0) * 1000 / hz )) ms CPU" \
     "($(( c1 - c0 )) voluntary context switches), wineserver $(( (w1 - w0) * 1000 / hz )) ms CPU (whole prefix)"
wait "$bench"
