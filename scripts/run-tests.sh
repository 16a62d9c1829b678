#!/usr/bin/env bash
# Runs CTest over a build folder inside the headless desktop (tests/tools/with-desktop.sh) and
# fails when any test did not run there: every service a test needs is running, so a skipped test
# is a check that silently did not happen. Test functions that skip on their own are listed.
# Usage: scripts/run-tests.sh BUILD_DIR [ctest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath "${1:?usage: scripts/run-tests.sh BUILD_DIR [ctest arguments...]}")
shift
report=$build/test-report.xml
rm -f "$report"

rc=0
# Passed tests' output is kept whole in the report, so skips inside them can be found.
tests/tools/with-desktop.sh ctest --test-dir "$build" --output-on-failure -j2 \
    --output-junit "$report" --test-output-size-passed 1000000 "$@" || rc=$?

if [[ ! -s $report ]]; then
    echo "run-tests: CTest wrote no report ($report)" >&2
    exit $((rc ? rc : 1))
fi

count() { sed -n "s/^[[:space:]]*$1=\"\\([0-9]*\\)\".*/\\1/p" "$report" | head -1; }
total=$(count tests)
if ((${total:-0} == 0)); then
    echo "run-tests: no test ran" >&2
    exit 1
fi

mapfile -t notRun < <(grep -o '<testcase name="[^"]*"[^>]*status="\(notrun\|disabled\)"' "$report" |
    sed 's/<testcase name="\([^"]*\)".*/\1/')
mapfile -t skippedCases < <(grep -o '^SKIP   : [^)]*)' "$report" | sed 's/^SKIP   : //' |
    grep -v '::initTestCase()$' || true)
if ((${#skippedCases[@]})); then
    echo "run-tests: test functions that skipped themselves:"
    printf '  %s\n' "${skippedCases[@]}"
fi
if ((${#notRun[@]})); then
    echo "run-tests: ${#notRun[@]} test(s) did not run inside the desktop: ${notRun[*]}" >&2
    exit $((rc ? rc : 1))
fi
exit $rc
