#!/usr/bin/env bash
# Runs every fuzz target under libFuzzer for SECONDS each.
#
#   fuzz/run-fuzzers.sh SECONDS
#
# Builds the targets with clang's libFuzzer, ASan and UBSan into
# $FUZZ_BUILD (default /tmp/tallyloom-fuzz), then fuzzes each one starting
# from its corpus in fuzz/corpus/<target>. New inputs go to a working corpus
# in the build folder; with MERGE=1 the ones that reach new code are merged
# back into fuzz/corpus/. A failing input is saved in the build folder as
# crash-*, leak-* or timeout-* and the script exits non-zero.
set -euo pipefail
seconds=${1:?usage: fuzz/run-fuzzers.sh SECONDS}
root=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_BUILD:-/tmp/tallyloom-fuzz}
cxx=${FUZZ_CXX:-clang++}
mkdir -p "$out"

flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$root" -I"$root/host" -I"$root/sdk/include")
plugin=("$root"/export/JsonText.cpp "$root"/export/SnapshotFile.cpp
        "$root"/capture/HistoryLine.cpp)
# The script's commands see the model's headers; nothing of the model is linked.
script=("$root"/host/script/Arguments.cpp "$root"/host/script/Command.cpp
        "$root"/host/script/ScriptReader.cpp "$root"/host/script/ScriptWords.cpp)

declare -A sources=(
  [json-escape]="$root/fuzz/JsonEscapeFuzz.cpp ${plugin[*]}"
  [snapshot-file]="$root/fuzz/SnapshotFileFuzz.cpp ${plugin[*]}"
  [history-line]="$root/fuzz/HistoryLineFuzz.cpp ${plugin[*]}"
  [script]="$root/fuzz/ScriptReaderFuzz.cpp ${script[*]}"
)
targets=(json-escape snapshot-file history-line script)

for target in "${targets[@]}"; do
  echo "building $target"
  # shellcheck disable=SC2086
  "$cxx" "${flags[@]}" ${sources[$target]} -lfmt -o "$out/fuzz-$target"
done

status=0
total=0
for target in "${targets[@]}"; do
  work="$out/corpus-$target"
  mkdir -p "$work"
  log="$out/fuzz-$target.log"
  echo "fuzzing $target for $seconds s"
  if ! "$out/fuzz-$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$out/$target-" "$work" "$root/fuzz/corpus/$target" >"$log" 2>&1; then
    echo "FAIL: $target found a failing input; see $log" >&2
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  total=$((total + ${runs:-0}))
  printf '[ COUNTS   ] %s: %s executions in %s s, corpus %s inputs\n' "$target" "${runs:-0}" \
    "$seconds" "$(find "$work" "$root/fuzz/corpus/$target" -type f | wc -l)"
  if [ "${MERGE:-0}" = 1 ]; then
    # New edges only (no hit counts), so that the corpus stays small.
    "$out/fuzz-$target" -merge=1 -use_counters=0 "$root/fuzz/corpus/$target" "$work" >>"$log" 2>&1
  fi
done
echo "[ COUNTS   ] all targets: $total executions"
exit $status
