#!/bin/sh
# Fuzzes the fly program's option parser with libFuzzer for a bounded time.
# Usage: bench/fuzz-options.sh [SECONDS]   (default 30)
# Builds its own instrumented binary into build/fuzz; exits non-zero when the fuzzer
# finds a crash, a hang, a sanitizer report or an invariant broken by parseOptions.
set -eu

seconds=${1:-30}
case $seconds in
    ''|*[!0-9]*) echo "fuzz-options: SECONDS must be a whole number, not \"$seconds\"" >&2; exit 2 ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/fuzz
mkdir -p "$out/corpus" "$out/artifacts"
cxx=${CXX_FUZZ:-clang++}

"$cxx" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/fly/core" "$root/bench/fuzz_options.cpp" "$root/fly/core/options.cpp" \
    -o "$out/fuzz_options"

# Seeds: the launcher's form and a few near misses, so the fuzzer starts on real lines.
printf '%s' '-n 3 -t 60 -s 19 -v 1' > "$out/corpus/launcher"
printf '%s' '--seed 18446744073709551615 --stop' > "$out/corpus/seed"
printf '%s' '-n 99999999999999999999' > "$out/corpus/overflow"
printf '%s' '--help' > "$out/corpus/help"
printf '%s' '--swatting off --version' > "$out/corpus/swatting"

log=$out/fuzz.log
set +e
UBSAN_OPTIONS=halt_on_error=1 "$out/fuzz_options" "$out/corpus" \
    -max_total_time="$seconds" -timeout=5 -max_len=256 \
    -artifact_prefix="$out/artifacts/" -print_final_stats=1 > "$log" 2>&1
status=$?
set -e

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
if [ "$status" -eq 0 ]; then
    echo "fuzz-options: OK, ${runs:-?} inputs in ${seconds}s, no failures"
else
    echo "fuzz-options: FAILED (exit $status) after ${runs:-?} inputs; see $log and $out/artifacts" >&2
    tail -n 30 "$log" >&2
fi
exit "$status"
