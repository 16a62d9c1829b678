#!/usr/bin/env bash
# Configures and builds Quillet into build/ (Release with debug info). Extra arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
werror=OFF
[[ ${CI:-} == true ]] && werror=ON
cmake -S . -B build -G Ninja -DQUILLET_WERROR="$werror" "$@" >/dev/null
cmake --build build
