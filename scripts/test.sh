#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs the whole test suite: the release build, then
# the engine, tools and their tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scripts/setup.sh

jobs="${ULMAR_JOBS:-$(nproc)}"

echo "== release build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

if [ "${ULMAR_SKIP_SANITIZE:-0}" != "1" ]; then
    echo "== sanitizer build (ASan + UBSan)"
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DULMAR_SANITIZE=ON \
        -DULMAR_BUILD_PLUGIN=OFF -DULMAR_BUILD_BENCH=OFF
    cmake --build build-asan -j "$jobs"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir build-asan --output-on-failure -j "$jobs"
fi
