#!/usr/bin/env bash
# Builds the release build in build-release/ (or DIR) and prints the benchmark
# table: the upload beside lrzsz's sx -k, the log download, CPU, start-up and
# memory. About ten minutes; extra arguments go to bench.py (--runs N).
# DUDAZE_BENCH_QT6=1 also builds build-release-qt6/ against Qt 6 and measures
# its start-up and memory in the same run. --cli runs only dudaze-cli's rows
# (a few minutes).
#   [DUDAZE_BENCH_QT6=1] bash bench/run.sh [DIR] [--runs N] [--cli]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-release
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
    dir=$1
    shift
fi
scripts/setup.sh
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
targets="module-sim dudaze-cli bench-cli-bare"
case " $* " in
*" --cli "*) ;;
*) targets="$targets bench-tool bench-startup-tool bench-startup-bare" ;;
esac
cmake --build "$dir" -j2 --target $targets >/dev/null
if [ "${DUDAZE_BENCH_QT6:-}" = 1 ] && [ "${targets#*bench-tool}" != "$targets" ]; then
    cmake -S . -B build-release-qt6 -DCMAKE_BUILD_TYPE=Release -DDUDAZE_QT=6 >/dev/null
    cmake --build build-release-qt6 -j2 --target bench-startup-tool bench-startup-bare >/dev/null
    set -- --qt6-build build-release-qt6 "$@"
fi
QT_QPA_PLATFORM=offscreen python3 bench/bench.py "$dir" "$@"
