#!/usr/bin/env bash
# The command line's fault campaign: dudaze-cli against module-sim with faults,
# signals and a closed output at random moments.
#   bash scripts/cli-campaign.sh --minutes M [--seed FIRST]   seed after seed, then the table
#   bash scripts/cli-campaign.sh --seed N [--actions K]       replays one run
#   --wide: the module's pace across the constants and the surroundings (docs/testing.md)
# Builds dudaze-cli and module-sim into $DUDAZE_BUILD (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir=${DUDAZE_BUILD:-build}
[ -f "$dir/CMakeCache.txt" ] || cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" --target dudaze-cli module-sim -j2 >/dev/null
exec python3 tests/cli_campaign.py --cli "$dir/cli/dudaze-cli" --sim "$dir/sim/module-sim" "$@"
