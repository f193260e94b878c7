#!/bin/sh
# install_prefix_check.sh BUILD_DIR
# Installs everything into a temporary prefix below a temporary DESTDIR, as
# `make install PREFIX=... DESTDIR=...` does, and checks that every file
# landed below DESTDIR/PREFIX, that speech-dispatcher's module and its
# configuration are among them, and that no installed file names the build
# tree (a RUNPATH, a path in a text file).
set -eu
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=/opt/zelvan-check
DESTDIR="$work/dest" cmake --install "$build" --prefix "$prefix" >"$work/log"
root="$work/dest$prefix"
# Every installed file, as CMake lists them (without DESTDIR), lies below
# PREFIX and is there below DESTDIR.
outside=$(grep -v "^$prefix/" "$build/install_manifest.txt" || true)
if [ -n "$outside" ]; then
    echo "install_prefix_check: installed outside the prefix:" >&2
    echo "$outside" >&2
    exit 1
fi
# Nothing else appeared below DESTDIR either.
if find "$work/dest" -mindepth 1 -maxdepth 1 ! -name opt | grep -q .; then
    echo "install_prefix_check: files beside the prefix:" >&2
    find "$work/dest" -mindepth 1 -maxdepth 1 ! -name opt >&2
    exit 1
fi
while read -r f; do
    test -e "$work/dest$f" || { echo "install_prefix_check: $f not below DESTDIR" >&2; exit 1; }
done <"$build/install_manifest.txt"
test -x "$root/lib/speech-dispatcher-modules/sd_zelvan"
test -f "$root/etc/speech-dispatcher/modules/zelvan.conf"
# No file points into the build tree.
if grep -rIl -- "$build" "$root" >"$work/hits" 2>/dev/null; then
    echo "install_prefix_check: files that name the build tree:" >&2
    cat "$work/hits" >&2
    exit 1
fi
for f in $(find "$root" -type f -perm -u+x) $(find "$root" -name '*.so*' -type f); do
    if readelf -d "$f" 2>/dev/null | grep -E 'RPATH|RUNPATH' | grep -q -- "$build"; then
        echo "install_prefix_check: $f has a RUNPATH into the build tree" >&2
        exit 1
    fi
done
# The installed module finds the installed library.
if ldd "$root/lib/speech-dispatcher-modules/sd_zelvan" | grep -q "libzelvan_tts.*not found"; then
    echo "install_prefix_check: sd_zelvan does not find libzelvan_tts" >&2
    exit 1
fi
echo "installed $(wc -l <"$build/install_manifest.txt") files below $prefix"
