#!/usr/bin/env bash
# Saves pictures of the tool's windows, driven against module-sim on a
# virtual display, into DIR (default shots/). The environment reaches the
# tool: QT_SCALE_FACTOR=2 gives pictures at twice the scale.
#   bash scripts/screens.sh [DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
out=${1:-shots}
mkdir -p "$out"
link=$(mktemp -u /tmp/dudaze-shots.XXXXXX)
build/sim/module-sim --link "$link" --temp 38.2 --fw "FW 2.1.0" --pl "PL 1.3" --sn "PULSE-8" --alarm "0" --dac 18.5 --on &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
xvfb-run -a -s "-screen 0 2560x1600x24 ${XVFB_DPI:+-dpi $XVFB_DPI}" build/tools/screens "$link" "$out"
