#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (in build-fuzz/) and runs one.
#   scripts/fuzz.sh TARGET SECONDS     TARGET: catalogue | documents | bitmap | swfxml
#
# The seed corpus is written fresh by fuzz_seeds into build-fuzz/seeds/; what
# the fuzzer learns is kept in build-fuzz/corpus/TARGET/ across runs. A crash,
# a leak, a broken check, a timeout or going past the memory limits stops the
# run with a non-zero status and leaves the input in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:?usage: scripts/fuzz.sh catalogue|documents|bitmap|swfxml SECONDS}
seconds=${2:?usage: scripts/fuzz.sh catalogue|documents|bitmap|swfxml SECONDS}
case "$target" in
catalogue) max_len=32768 ;;
documents) max_len=4096 ;;
bitmap) max_len=8192 ;;
swfxml) max_len=16384 ;;
*)
    echo "unknown fuzz target: $target (catalogue, documents, bitmap or swfxml)" >&2
    exit 2
    ;;
esac

dir=${FUZZ_BUILD_DIR:-build-fuzz}
scripts/install-deps.sh --fuzz
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DSWF_FUZZ=ON -DSWF_BUILD_TESTS=OFF -DSWF_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" --parallel "$(nproc 2>/dev/null || echo 2)" \
    --target "fuzz_$target" fuzz_seeds

rm -rf "$dir/seeds"
"$dir/bin/fuzz_seeds" "$dir/seeds"
mkdir -p "$dir/corpus/$target" "$dir/findings"

dict=()
[ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")

echo "fuzzing $target for $seconds s"
# Memory is capped at 2 GiB, so a blow-up counts as a finding.
"$dir/bin/fuzz_$target" "$dir/corpus/$target" "$dir/seeds/$target" \
    "${dict[@]}" \
    -max_total_time="$seconds" -max_len="$max_len" -timeout=30 \
    -rss_limit_mb=2048 -malloc_limit_mb=2048 \
    -artifact_prefix="$dir/findings/$target-" -print_final_stats=1
