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
if [ "${1:-}" = --minutes ] && [[ "${2:-}" =~ ^[1-9][0-9]*$ ]]; then
    minutes=$2
elif [ $# -gt 0 ]; then
    echo "usage: $0 [--minutes N]   (N: whole minutes, at least 1)" >&2
    exit 2
fi

cxx=${FUZZ_CXX:-clang++}
if ! command -v "$cxx" >/dev/null 2>&1; then
    echo "fuzz: $cxx not found: the fuzz targets were skipped (scripts/setup.sh installs clang)"
    exit 0
fi
probe=$(mktemp -d)
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' > "$probe/probe.cpp"
linked=yes
"$cxx" -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null || linked=""
rm -rf "$probe"
if [ -z "$linked" ]; then
    echo "fuzz: $cxx has no libFuzzer: the fuzz targets were skipped (scripts/setup.sh installs libclang-rt-14-dev)"
    exit 0
fi

build=build-fuzz
cmake -S tests/fuzz -B "$build" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$build" -j2

if [ -z "$minutes" ]; then
    cd "$build" && exec ctest --output-on-failure
fi

# Fork mode goes on past an input that breaks a target, so that a long run
# collects every finding, also where the corpus still holds an open one.
failed=()
for corpus in tests/fuzz/corpus/*/; do
    target=$(basename "$corpus")
    found="$build/found/$target"
    rm -rf "$found" && mkdir -p "$found" "$build/long/$target"
    echo "fuzz: $target for $minutes min"
    "$build/$target" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -max_total_time=$((minutes * 60)) \
        -max_len=8192 -artifact_prefix="$found/" "$build/long/$target" "$corpus" > "$build/$target.log" 2>&1 || true
    grep -E '^#[0-9]+: ' "$build/$target.log" | tail -1
    # One run's findings are mostly one fault: the smallest goes into the corpus.
    count=$(find "$found" -type f | wc -l)
    [ "$count" -gt 0 ] || continue
    failed+=("$target")
    input=$(find "$found" -type f -printf '%s %p\n' | sort -n | head -1 | cut -d' ' -f2-)
    sum=$(sha1sum < "$input" | cut -d' ' -f1)
    if ! sha1sum "$corpus"* | grep -q "^$sum "; then
        cp "$input" "$corpus/found-$(basename "$input")"
        echo "fuzz: $target broke on $count inputs; kept $corpus""found-$(basename "$input"), the rest in $found"
    else
        echo "fuzz: $target broke on $count inputs, the smallest one the corpus holds already; they are in $found"
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: targets that broke: $(printf '%s\n' "${failed[@]}" | sort -u | tr '\n' ' ')(logs in $build/<target>.log)"
    exit 1
fi
