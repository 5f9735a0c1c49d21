#!/usr/bin/env bash
# Runs the fault campaign for N minutes, seed after seed, and prints its
# summary table with the driver's peak resident memory at 1 minute and at the
# end:   bash scripts/campaign.sh --minutes N [--seed FIRST]
# One run is replayed with: bash scripts/campaign.sh --seed N [--actions K]
# CAMPAIGN_PACE=1 in the environment adds the module's pace across the
# programs' time constants (protocol/timing.h), stray bytes at a block and logs
# with '>' at line ends, judged by what the module stored and sent.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build >/dev/null
QT_QPA_PLATFORM=offscreen build/tests/tst_campaign "$@" 2>/dev/null &
pid=$!
peak() { awk '/VmHWM/ {print $2 " KiB"}' "/proc/$pid/status" 2>/dev/null; }
at1=""
for _ in $(seq 60); do sleep 1; kill -0 $pid 2>/dev/null || break; done
at1=$(peak)
last=$at1
while kill -0 $pid 2>/dev/null; do now=$(peak) || true; [ -n "$now" ] && last=$now; sleep 1; done
rc=0
wait $pid || rc=$?
echo "| peak resident memory | at 1 minute, at the end | ${at1:-ended before}, ${last:-?} |"
exit $rc
