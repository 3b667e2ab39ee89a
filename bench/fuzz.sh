#!/usr/bin/env bash
# Long fuzzing runs: each target replays its seeds and regressions, then mutates for the given
# time (or until the given number of new inputs, whichever comes first), keeping new inputs in
# the build folder (never in the source tree). Prints inputs per second, edges covered, corpus
# size, crashes and hangs per target; faulting inputs land in BUILD/fuzz-crashes and belong in
# tests/fuzz/regressions/<target>/ once mended.
# FUZZ_CPU=N keeps the run on one processor: the guard-page heap changes page protections for
# every block, and each change must reach every processor the program has run on.
# FUZZ_MAX_SIZE=BYTES bounds the mutated inputs (65536 by default): targets whose corpus keeps
# large inputs run up to twice as fast with a few kilobytes.
# Usage: bench/fuzz.sh build-folder [target|all] [seconds per target] [seed] [inputs per target]
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:?usage: fuzz.sh build-folder [target|all] [seconds] [seed] [inputs]}" && pwd)
which=${2:-all}
seconds=${3:-60}
seed=${4:-$RANDOM}
inputs=${5:-0}
exe=$build/tests/fuzz.exe
[ -x "$exe" ] || { echo "$exe not found: build the tests first" >&2; exit 2; }
source "$repo/tools/wine-env.sh"
pin=()
[ -n "${FUZZ_CPU:-}" ] && pin=(taskset -c "$FUZZ_CPU")
limit=()
[ -n "${FUZZ_MAX_SIZE:-}" ] && limit=(--max-size "$FUZZ_MAX_SIZE")
if [ "$which" = all ]; then
  targets=$("$repo/tools/wine-run" "$exe" list | tr -d '\r')
else
  targets=$which
fi
status=0
for target in $targets; do
  mkdir -p "$build/fuzz-corpus/$target"
  "${pin[@]}" "$repo/tools/wine-run" "$exe" run "$target" \
    --corpus "$(winepath_of "$repo/tests/fuzz/corpus/$target")" \
    --corpus "$(winepath_of "$repo/tests/fuzz/regressions/$target")" \
    --corpus "$(winepath_of "$build/fuzz-corpus/$target")" \
    --save "$(winepath_of "$build/fuzz-corpus")" \
    --crashes "$(winepath_of "$build/fuzz-crashes")" \
    --seconds "$seconds" --seed "$seed" --inputs "$inputs" "${limit[@]}" || status=1
done
exit $status
