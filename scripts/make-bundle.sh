#!/usr/bin/env bash
# Builds a self-contained, signed Quillet bundle:
#   OUT/Quillet.AppDir/                  AppRun, usr/bin/quillet (RPATH $ORIGIN/../lib), usr/lib/ with
#                                        the libraries a desktop does not bring, usr/plugins/ (Qt),
#                                        usr/share/ (desktop entry, icon, metainfo), bundle.json,
#                                        bundle.minisig
#   OUT/Quillet-VERSION-BUILD.zip        the AppDir, as the updater downloads it
#   OUT/latest.json                      the manifest for <update site>/quillet/latest.json
#
# Options:
#   --build N            build number (default 1); a newer release needs a larger one
#   --site URL           update site compiled in (default: none, the bundle never updates itself)
#   --public-key FILE    minisign public key compiled in: updates must be signed with its pair
#   --secret-key FILE    minisign secret key that signs this bundle (required)
#   --url URL            where the zip will be served (default: SITE/quillet/<zip name>)
#   --build-dir DIR      Release build tree, reused between runs (default: build-release)
#   --out DIR            output folder (default: dist)
# Extra arguments after "--" go to CMake. The release key's secret half never enters the repository.
set -euo pipefail
cd "$(dirname "$0")/.."

build=1 site= public_key= secret_key= url= build_dir=build-release out=dist
while (($#)); do
    case $1 in
    --build) build=$2; shift 2 ;;
    --site) site=$2; shift 2 ;;
    --public-key) public_key=$2; shift 2 ;;
    --secret-key) secret_key=$2; shift 2 ;;
    --url) url=$2; shift 2 ;;
    --build-dir) build_dir=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "make-bundle: unknown option $1" >&2; exit 2 ;;
    esac
done
[[ -n $secret_key ]] || { echo "make-bundle: --secret-key is required" >&2; exit 2; }
[[ $build =~ ^[0-9]+$ ]] || { echo "make-bundle: --build takes a number" >&2; exit 2; }
log() { printf 'make-bundle: %s\n' "$*" >&2; }

identifier=com.fernwick.quillet.linux
arch_libs=/usr/lib/x86_64-linux-gnu
qt_plugins=$arch_libs/qt6/plugins
werror=OFF
[[ ${CI:-} == true ]] && werror=ON
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# One Release tree: another build number, site or key recompiles one small file and relinks.
key_text=
# The key line alone: a CMake value given on the command line cannot hold a line break.
[[ -n $public_key ]] && key_text=$(grep -v "^untrusted comment:" "$public_key" | head -n 1)
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_BUILD_TESTS=OFF \
    -DQUILLET_BUILD_BENCH=OFF -DQUILLET_WERROR="$werror" "${launcher[@]}" \
    -DQUILLET_BUILD_NUMBER="$build" -DQUILLET_UPDATE_SITE="$site" \
    -DQUILLET_UPDATE_PUBLIC_KEY="$key_text" "$@" >/dev/null
cmake --build "$build_dir" --target quillet

mkdir -p "$out"
out=$(cd "$out" && pwd)
appdir=$out/Quillet.AppDir
rm -rf "$appdir"
DESTDIR=$appdir cmake --install "$build_dir" --prefix /usr --strip >/dev/null
patchelf --force-rpath --set-rpath '$ORIGIN/../lib' "$appdir/usr/bin/quillet"

# Qt's plugins for X11 and Wayland desktops: the platforms (Wayland's with its window shell and
# decorations), TLS for https, SVG icons, input methods.
plugins=(platforms/libqxcb.so platforms/libqoffscreen.so tls/libqopensslbackend.so
    tls/libqcertonlybackend.so imageformats/libqsvg.so iconengines/libqsvgicon.so
    platforminputcontexts/libcomposeplatforminputcontextplugin.so
    platforminputcontexts/libibusplatforminputcontextplugin.so
    xcbglintegrations/libqxcb-glx-integration.so xcbglintegrations/libqxcb-egl-integration.so
    platforms/libqwayland-generic.so wayland-shell-integration/libxdg-shell.so
    wayland-decoration-client/libbradient.so)
for p in "${plugins[@]}"; do
    install -D -m 0644 "$qt_plugins/$p" "$appdir/usr/plugins/$p"
done
printf '[Paths]\nPrefix = ..\nPlugins = plugins\n' >"$appdir/usr/bin/qt.conf"

# What a desktop brings: the C library, X11, the PulseAudio client and fontconfig with what those
# packages depend on (first choices only), and the graphics drivers' dispatch libraries, which
# must come from the system that has the drivers.
desktop_libraries() {
    local -a queue=(libc6 libx11-6 libpulse0 libfontconfig1)
    local -A seen=()
    local p deps d
    while ((${#queue[@]})); do
        p=${queue[0]}
        queue=("${queue[@]:1}")
        [[ -n ${seen[$p]:-} ]] && continue
        seen[$p]=1
        deps=$(dpkg-query -W -f='${Depends}, ${Pre-Depends}' "$p" 2>/dev/null) || continue
        for d in $(tr ',' '\n' <<<"$deps" | sed 's/|.*//; s/([^)]*)//g; s/:any//; s/[[:space:]]//g'); do
            [[ -n $d ]] && queue+=("$d")
        done
    done
    for p in "${!seen[@]}"; do dpkg-query -L "$p" 2>/dev/null || true; done |
        grep -E '\.so(\.[0-9]+)*$' | xargs -r -n1 basename
    printf '%s\n' libGL.so.1 libEGL.so.1 libGLX.so.0 libOpenGL.so.0 libGLdispatch.so.0 \
        libgbm.so.1 libdrm.so.2
}
declare -A desktop=()
while read -r name; do desktop[$name]=1; done < <(desktop_libraries)

# Every library the program and its plugins load, minus the desktop's own; with the ones loaded
# by name at run time: OpenSSL (Qt's TLS backend) and libsecret (the keyring client).
mkdir -p "$appdir/usr/lib"
for name in libssl.so.3 libcrypto.so.3 libsecret-1.so.0; do
    install -m 0644 "$(readlink -f "$arch_libs/$name")" "$appdir/usr/lib/$name"
done
needed() { LD_LIBRARY_PATH=$appdir/usr/lib ldd "$@" | awk '$2 == "=>" && $3 ~ /^\// {print $1, $3}'; }
bundled=0
while read -r soname path; do
    [[ -n ${desktop[$soname]:-} || -e $appdir/usr/lib/$soname ]] && continue
    cp -L "$path" "$appdir/usr/lib/$soname"
    chmod 0644 "$appdir/usr/lib/$soname"
    bundled=$((bundled + 1))
done < <(needed "$appdir/usr/bin/quillet" "$appdir"/usr/plugins/*/*.so "$appdir"/usr/lib/* | sort -u)
log "bundled $bundled libraries"

# Nothing may be found outside the bundle but the desktop's own libraries.
missing=$(needed "$appdir/usr/bin/quillet" "$appdir"/usr/plugins/*/*.so "$appdir"/usr/lib/* | sort -u |
    while read -r soname path; do
        [[ $path == "$appdir"/* || -n ${desktop[$soname]:-} ]] || echo "$soname ($path)"
    done)
[[ -z $missing ]] || { log "found outside the bundle: $missing"; exit 1; }
unresolved=$(LD_LIBRARY_PATH=$appdir/usr/lib ldd "$appdir/usr/bin/quillet" "$appdir"/usr/plugins/*/*.so \
    "$appdir"/usr/lib/* | grep 'not found' | sort -u || true)
[[ -z $unresolved ]] || { log "not found: $unresolved"; exit 1; }

cat >"$appdir/AppRun" <<'SH'
#!/bin/sh
# Starts Quillet from this folder, wherever it was unpacked.
here=$(dirname "$(readlink -f "$0")")
exec "$here/usr/bin/quillet" "$@"
SH
chmod 0755 "$appdir/AppRun"

# The program says its own version; it also proves the bundle starts.
version_line=$("$appdir/AppRun" --version)
version=$(sed -n 's/^Quillet \([^ ]*\) (build \([0-9]*\))$/\1/p' <<<"$version_line")
[[ -n $version && $version_line == *"(build $build)" ]] || {
    log "unexpected version: $version_line"
    exit 1
}
printf '{"version":"%s","build":%s,"identifier":"%s"}\n' "$version" "$build" "$identifier" \
    >"$appdir/bundle.json"

# The signed file list: every entry but the signature, sorted by path, as
# "<type and mode, 6 octal digits> <sha256 of the content or the link target, - for a folder> <path>".
file_list() {
    (cd "$1" && find . -mindepth 1 ! -path ./bundle.minisig -printf '%P\0' | LC_ALL=C sort -z |
        while IFS= read -r -d '' p; do
            if [[ -L $p ]]; then
                digest=$(printf '%s' "$(readlink "$p")" | sha256sum)
            elif [[ -d $p ]]; then
                digest=-
            else
                digest=$(sha256sum <"$p")
            fi
            printf '%06o %s %s\n' "0x$(stat -c %f "$p")" "${digest%% *}" "$p"
        done)
}
find "$appdir" -type d -exec chmod 0755 {} +
list=$(mktemp)
trap 'rm -f "$list"' EXIT
file_list "$appdir" >"$list"
minisign -S -s "$secret_key" -m "$list" -x "$appdir/bundle.minisig" \
    -t "$identifier $version build $build" >/dev/null

zip_name=Quillet-$version-$build.zip
rm -f "$out/$zip_name"
(cd "$out" && zip -qry -X "$zip_name" Quillet.AppDir)
[[ -n $url ]] || url=${site%/}/quillet/$zip_name
sha=$(sha256sum <"$out/$zip_name")
printf '{"version":"%s","build":%s,"url":"%s","sha256":"%s"}\n' "$version" "$build" "$url" \
    "${sha%% *}" >"$out/latest.json"
log "$out/$zip_name: $(du -h "$out/$zip_name" | cut -f1), $(find "$appdir" -type f | wc -l) files"
