#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ (Debug)
# and runs every test there inside the headless desktop; extra arguments go to CTest (-L unit,
# say). Leak suppressions for other libraries' one-time allocations: tests/tools/lsan.supp.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Warnings are the main build's business: instrumented code draws false ones from g++.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON \
    -DQUILLET_BUILD_BENCH=OFF -DQUILLET_WERROR=OFF >/dev/null
cmake --build build-asan
scripts/run-tests.sh build-asan "$@"
