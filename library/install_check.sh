#!/bin/sh
# install_check.sh BUILD_DIR PREFIX MODELS_ROOT [CFLAGS]
# Installs the library into PREFIX, builds examples/speak.c against it with
# pkg-config as an outside program would, and speaks a WAV with it. CFLAGS
# are the build's own (a sanitizer build's library needs its runtime first).
set -eu
build=$1
prefix=$2
models=$3
extra=${4:-}
cmake --install "$build" --prefix "$prefix" --component zelvan_tts >/dev/null
test -f "$prefix/include/zelvan_tts.h"
test -f "$prefix/lib/cmake/zelvan_tts/zelvan_ttsConfig.cmake"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
test "$(pkg-config --modversion zelvan_tts)" = "1.1.0"
source_dir=$(dirname "$0")/..
cc $extra "$source_dir/examples/speak.c" $(pkg-config --cflags --libs zelvan_tts) -o "$prefix/speak"
# Only the C interface leaves the library.
if nm -D --defined-only "$prefix/lib/libzelvan_tts.so" | awk '{print $3}' | grep -v '^zelvan_tts_' | grep -q .; then
    echo "install_check: the library exports more than its interface" >&2
    exit 1
fi
# The library a program links loads no LibTorch; its private engine library
# does, once an engine opens.
test -f "$prefix/lib/zelvan_tts-1/libzelvan_tts_engine.so"
if readelf -d "$prefix/lib/libzelvan_tts.so" | grep NEEDED | grep -q -e torch -e c10; then
    echo "install_check: libzelvan_tts needs LibTorch" >&2
    exit 1
fi
ZELVAN_TTS_MODEL_PATH="$models" "$prefix/speak" "$prefix/out.wav" "Привет, мир." >/dev/null
test "$(head -c 4 "$prefix/out.wav")" = "RIFF"
