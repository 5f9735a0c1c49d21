#!/usr/bin/env bash
# Builds the fuzz targets (tests/fuzz: clang's libFuzzer with AddressSanitizer
# and UndefinedBehaviorSanitizer) in build-fuzz and runs them:
#   scripts/fuzz.sh              each over its corpus and a fixed number of new inputs (ctest)
#   scripts/fuzz.sh --minutes N  each for N minutes; an input that breaks a
#                                target is copied into its corpus
# Without clang or its libFuzzer the targets are skipped, with a message.
set -euo pipefail
cd "$(dirname "$0")/.."

minutes=""
if [ "${1:-}" = --minutes ]; then
    minutes=${2:?"--minutes needs a number"}
elif [ $# -gt 0 ]; then
    echo "usage: $0 [--minutes N]" >&2
    exit 2
fi

cxx=${FUZZ_CXX:-clang++}
if ! command -v "$cxx" >/dev/null 2>&1; then
    echo "fuzz: $cxx not found: the fuzz targets were skipped (scripts/setup.sh installs clang)"
    exit 0
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' > "$probe/probe.cpp"
if ! "$cxx" -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
    echo "fuzz: $cxx has no libFuzzer: the fuzz targets were skipped (scripts/setup.sh installs libclang-rt-14-dev)"
    exit 0
fi

build=build-fuzz
cmake -S tests/fuzz -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2

if [ -z "$minutes" ]; then
    cd "$build" && exec ctest --output-on-failure
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}
failed=()
for corpus in tests/fuzz/corpus/*/; do
    target=$(basename "$corpus")
    found="$build/found/$target"
    rm -rf "$found" && mkdir -p "$found" "$build/new/$target"
    echo "fuzz: $target for $minutes min"
    if ! "$build/$target" -max_total_time=$((minutes * 60)) -max_len=8192 -print_final_stats=1 \
            -artifact_prefix="$found/" "$build/new/$target" "$corpus" > "$build/$target.log" 2>&1; then
        failed+=("$target")
        for input in "$found"/*; do
            [ -f "$input" ] || continue
            cp "$input" "$corpus/found-$(basename "$input")"
            echo "fuzz: $target broke on $corpus/found-$(basename "$input")"
        done
    fi
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$build/$target.log" || true
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: failed: ${failed[*]} (logs in $build/<target>.log)"
    exit 1
fi
