#!/usr/bin/env bash
# Runs every test: the native unit tests of the platform-free pieces (the fly core's also
# under the address and undefined-behaviour sanitizers) and of the Linux fly program on
# private Xvfb servers, the Windows tests
# (the real executables under Wine on a private headless display), and a bounded fuzzing
# run of the fly program's option parser. Ends with one line "N passed, N failed" and
# exits non-zero when anything failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/setup-deps.sh" || { echo "0 passed, 1 failed"; exit 1; }

passed=0
failed=0
log_dir="$root/build/test-logs"
rm -rf "$log_dir"
mkdir -p "$log_dir"
# What went wrong, repeated just above the summary so that it is in view at the end.
problems="$log_dir/problems.log"
: >"$problems"

# Adds the counts from ctest's "N% tests passed, F tests failed out of T" line.
count_ctest() {
  local line total bad
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return
  fi
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

step() {  # step NAME COMMAND...: one build step; a failure counts as one failed test
  echo "== $1"
  shift
  if ! "$@" >"$log_dir/step.log" 2>&1; then
    cat "$log_dir/step.log"
    { echo "$1 failed:"; tail -n 15 "$log_dir/step.log"; } >>"$problems"
    failed=$((failed + 1))
    return 1
  fi
}

# Native: platform-free pieces.
if step "native: configure" cmake --preset native && step "native: build" cmake --build --preset native -j 2; then
  echo "== native: test"
  ctest --preset native -j 2 2>&1 | tee "$log_dir/native.log"
  count_ctest "$log_dir/native.log"
fi

# The fly core's tests once more, built with AddressSanitizer and UndefinedBehaviorSanitizer
# (any report ends the test program). Counts come from each program's own summary; one that
# dies without its summary counts as one more failure.
count_gtest() {  # count_gtest LOG STATUS
  local good bad
  good=$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?.*/\1/p' "$1" | tail -n 1)
  bad=$(sed -nE 's/^\[  FAILED  \] ([0-9]+) tests?, listed below.*/\1/p' "$1" | tail -n 1)
  passed=$((passed + ${good:-0}))
  failed=$((failed + ${bad:-0}))
  if [ "$2" -ne 0 ] && [ -z "$bad" ]; then failed=$((failed + 1)); fi
}
if step "sanitize: configure" cmake --preset sanitize && step "sanitize: build" cmake --build --preset sanitize -j 2; then
  echo "== sanitize: test"
  for name in options swarm sprite behaviour world plans; do
    log="$log_dir/sanitize-$name.log"
    "$root/build/sanitize/bin/fly_core_${name}_test" >"$log" 2>&1
    status=$?
    tail -n 3 "$log"
    count_gtest "$log" "$status"
    if [ "$status" -ne 0 ]; then
      { echo "sanitize: fly_core_${name}_test failed:"; grep -E 'FAILED|ERROR|runtime error|SUMMARY' "$log" | head -n 20; } >>"$problems"
    fi
  done
fi

# Windows: cross-built executables and their tests under Wine.
state="$root/build/windows/wine"
temporary_state=""
cleanup() {
  # The two-monitor tests' session lives beside the main one (scripts/wine-run.sh).
  for session in "$state" "$state-two-monitors"; do
    "$root/scripts/wine-session.sh" stop "$session" >/dev/null 2>&1 || true
  done
  if [ -n "$temporary_state" ]; then rm -rf "$temporary_state" "$temporary_state-two-monitors"; fi
}
trap cleanup EXIT
start_session() {  # start_session STATE_DIR: brings up Xvfb and the prefix, noting failures
  echo "== windows: start Xvfb and the test Wine prefix in $1"
  if "$root/scripts/wine-session.sh" start "$1" 2>"$log_dir/session.log"; then return 0; fi
  cat "$log_dir/session.log"
  { echo "windows: the headless display or the Wine prefix did not start in $1:"
    cat "$log_dir/session.log"; } >>"$problems"
  return 1
}
if step "windows: configure" cmake --preset windows && step "windows: build" cmake --build --preset windows -j 2; then
  started=false
  if start_session "$state"; then
    started=true
  else
    cleanup
    # Once more outside the checkout, in case its folder is what Wine or Xvfb cannot use.
    state=$(mktemp -d "${TMPDIR:-/tmp}/gnatter-wine.XXXXXX")
    temporary_state=$state
    if start_session "$state"; then
      export GNATTER_WINE_STATE="$state"
      started=true
    fi
  fi
  if $started; then
    echo "== windows: test"
    ctest --preset windows 2>&1 | tee "$log_dir/windows.log"
    count_ctest "$log_dir/windows.log"
  else
    failed=$((failed + 1))
  fi
  cleanup
fi

# Fuzzing the option parser for a bounded time.
if [ -x "$root/bench/fuzz-options.sh" ]; then
  echo "== fuzz: option parser"
  if "$root/bench/fuzz-options.sh" 20; then
    passed=$((passed + 1))
  else
    echo "fuzz: the option parser failed (see above)" >>"$problems"
    failed=$((failed + 1))
  fi
fi

for log in "$log_dir/native.log" "$log_dir/windows.log"; do
  [ -f "$log" ] && sed -n '/The following tests FAILED/,$p' "$log" >>"$problems"
done
if [ -s "$problems" ]; then
  echo "== problems seen in this run"
  cat "$problems"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
