#!/bin/sh
# Builds the fuzz target with clang and runs it for a fixed, short time.
#   FUZZ_SECONDS   run time (default 60)
#   FUZZ_BUILD_DIR build directory (default <repo>/build-fuzz)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}

CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S "$root" -B "$build" \
    -DCMAKE_C_COMPILER="${CC:-clang}" -DCMAKE_CXX_COMPILER="${CXX:-clang++}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZESTREL_FUZZ=ON \
    -DZESTREL_BUILD_TESTS=OFF -DZESTREL_BUILD_BENCH=OFF
cmake --build "$build" --target fuzz_reassembler -j2

# New inputs go to the build directory; the seeds in fuzz/corpus stay untouched.
corpus="$build/fuzz-corpus"
mkdir -p "$corpus"
exec "$build/fuzz/fuzz_reassembler" -max_total_time="$seconds" -rss_limit_mb=512 \
    -timeout=10 -max_len=65536 -print_final_stats=1 -dict="$here/markers.dict" \
    "$corpus" "$here/corpus"
