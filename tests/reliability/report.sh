#!/usr/bin/env bash
# Prints the figures of docs/reliability.md from a built tree: the fault
# matrix, the concurrent readers, the hostile environments and game data, and
# the fuzz corpora replayed. Every part fails loudly if anything is lost.
#
#   tests/reliability/report.sh [BUILD_DIR]      (default: build)
#
# The libFuzzer runs and the sanitizer builds are separate commands:
# fuzz/run-fuzzers.sh SECONDS, and ctest with the asan and tsan presets.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
export TZ=UTC

echo "--- fault matrix, hostile environments and game data (in-process)"
"$build/bin/tallyloom-reliability-tests" --gtest_brief=1

echo "--- concurrent readers"
"$build/bin/tallyloom-concurrent-readers" --host "$build/bin/tallyloom-host"

echo "--- the host in hostile environments"
/usr/bin/python3 "$root/tests/reliability/host_environment_test.py" --host "$build/bin/tallyloom-host"

echo "--- hostile game data through the host"
for script in "$root"/scenarios/reliability-*.tlh; do
  /usr/bin/python3 "$root/tests/scenarios/run_scenario.py" --host "$build/bin/tallyloom-host" \
    --schemas "$root/docs/schemas" "$script"
done

echo "--- fuzz corpora replayed"
for target in json-escape snapshot-file history-line script; do
  "$build/bin/fuzz-$target" "$root/fuzz/corpus/$target" 2>/dev/null
done
