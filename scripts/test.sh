#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: in a plain Qt 5
# build, a plain Qt 6 build and a Qt 5 build under AddressSanitizer and
# UndefinedBehaviorSanitizer; checks the Debian package in between.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

scripts/build.sh build
(cd build && ctest --output-on-failure)
scripts/package-check.sh

scripts/build.sh build-qt6 -DDUDAZE_QT=6
(cd build-qt6 && ctest --output-on-failure)

scripts/build.sh build-asan -DDUDAZE_SANITIZE=ON
(cd build-asan && ctest --output-on-failure)

# The fuzz targets, built apart with clang; skipped with a message without it.
scripts/fuzz.sh
