#!/usr/bin/env bash
# The CI run (.ci/run): scripts/test.sh (formatting, a build with warnings as errors, every test
# in the headless desktop), then the memory checks: every test again in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, and the command-line commands under valgrind;
# then the self-updating bundle and the Debian package are built and tried.
# A failing step does not stop the later ones, so one run reports everything; any failure fails it.
set -uo pipefail
cd "$(dirname "$0")/.."
export CI=true

summary=()
passed=0
failed=0
step() { # step NAME COMMAND...
    local name=$1 started=$SECONDS
    shift
    echo "=== ci: $name"
    if "$@"; then
        summary+=("ci: ok      $name ($((SECONDS - started)) s)")
        passed=$((passed + 1))
    else
        summary+=("ci: FAILED  $name ($((SECONDS - started)) s)")
        failed=$((failed + 1))
    fi
}

step "tests (scripts/test.sh)" scripts/test.sh
step "tests under AddressSanitizer + UBSan" scripts/test-sanitizers.sh
step "commands under valgrind" scripts/valgrind-commands.sh build
step "bundle and Debian package" scripts/ci-package.sh

echo
printf '%s\n' "${summary[@]}"
echo "steps: $passed passed, $failed failed"
((failed == 0))
