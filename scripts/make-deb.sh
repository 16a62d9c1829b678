#!/usr/bin/env bash
# Builds the Debian package OUT/quillet_<version>_amd64.deb from a Release tree: the program, its
# desktop entry, icon and metainfo, with dependencies computed from the libraries it links. A
# packaged Quillet leaves updating to apt and never updates itself.
#   --build-dir DIR   Release build tree, shared with make-bundle.sh (default: build-release)
#   --out DIR         output folder (default: dist)
# Extra arguments after "--" go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build-release out=dist
while (($#)); do
    case $1 in
    --build-dir) build_dir=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "make-deb: unknown option $1" >&2; exit 2 ;;
    esac
done
werror=OFF
[[ ${CI:-} == true ]] && werror=ON
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_BUILD_TESTS=OFF \
    -DQUILLET_BUILD_BENCH=OFF -DQUILLET_WERROR="$werror" "${launcher[@]}" \
    -DQUILLET_UPDATE_SITE= -DQUILLET_UPDATE_PUBLIC_KEY= "$@" >/dev/null
cmake --build "$build_dir"
mkdir -p "$out"
out=$(cd "$out" && pwd)
(cd "$build_dir" && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
ls "$out"/quillet_*_amd64.deb
