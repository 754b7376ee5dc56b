#!/bin/sh
# Thread-sanitizer runs of the two tests about threads: the field metadata
# cache (two threads, two connections, one cache object) and the exports
# called from several threads at once through the shared library
# (tests/entry/ThreadsTest.cpp). The regular presets cannot combine
# -fsanitize=thread with the address sanitizer, so this builds the library
# core and the shared library once more in build/tsan and links the two
# tests against them by hand (the test support needs only the core).
#
#   sh tests/datasets/run_tsan.sh
#
# Reports from inside the Firebird engine (its own lock order and its
# uninstrumented threads) are suppressed with tsan.supp; any report in the
# library's code fails the run.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build/tsan"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_BUILD_BENCH=OFF \
  -DVANTREL_BUILD_TESTS=OFF -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" >/dev/null
ninja -C "$build" -j2 vantrel_core vantrel_shared
shared=$(ls "$build"/libvantrel.so.*.*.*)
compile() {
  g++ -std=c++20 -O1 -g -fsanitize=thread -fno-omit-frame-pointer \
    -DVANTREL_CLI_PATH='""' -DVANTREL_FAKE_CLIENT_DIR='""' -DVANTREL_SHARED_LIBRARY_PATH="\"$shared\"" \
    -DVANTREL_TEST_DATA_DIR="\"$root/tests/data\"" -DVANTREL_ENTRY_HOST_PATH='""' -DVANTREL_SWEEP_HOST_PATH='""' \
    -I"$root/tests" -I"$root/src" -I"$root/include" \
    "$@" "$root/tests/support/TestSupport.cpp" \
    "$build/libvantrel_core.a" -licuuc -ldl -lgtest -lgtest_main -lpthread
}
compile "$root/tests/datasets/SchemaCacheTest.cpp" -o "$build/schema_cache_tsan"
compile "$root/tests/entry/ThreadsTest.cpp" -o "$build/threads_tsan"
export TSAN_OPTIONS="suppressions=$root/tests/datasets/tsan.supp ${TSAN_OPTIONS:-}"
"$build/schema_cache_tsan"
"$build/threads_tsan"
