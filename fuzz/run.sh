#!/bin/sh
# Builds the fuzz targets with clang and runs each for a fixed, short time.
#   FUZZ_SECONDS   time budget: each target runs a quarter of it, at least 5 s (default 60)
#   FUZZ_TARGETS   which targets (default: all)
#   FUZZ_BUILD_DIR build directory (default <repo>/build-fuzz)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}
each=$((seconds / 4))
[ "$each" -lt 5 ] && each=5
targets=${FUZZ_TARGETS:-"reassembler mealmaster jsonld cooklang wire transfertext ini netsettings"}

launcher=""
command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S "$root" -B "$build" \
    -DCMAKE_C_COMPILER="${CC:-clang}" -DCMAKE_CXX_COMPILER="${CXX:-clang++}" $launcher \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZESTREL_FUZZ=ON \
    -DZESTREL_BUILD_TESTS=OFF -DZESTREL_BUILD_BENCH=OFF
names=""
for t in $targets; do names="$names fuzz_$t"; done
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target $names

# New inputs go to the build directory; the seeds in fuzz/ stay untouched.
for t in $targets; do
    corpus="$build/fuzz-corpus/$t"
    mkdir -p "$corpus"
    if [ "$t" = reassembler ]; then
        seeds="$here/corpus"
        extra="-dict=$here/markers.dict"
    else
        seeds="$here/seeds/$t"
        extra=""
    fi
    echo "== fuzz_$t for ${each}s"
    # shellcheck disable=SC2086
    "$build/fuzz/fuzz_$t" -max_total_time="$each" -rss_limit_mb=1024 -timeout=10 -max_len=65536 \
        -print_final_stats=1 $extra "$corpus" "$seeds"
done
