#!/usr/bin/env bash
# Masters an audio file with the render command: scripts/master.sh [INPUT [OUTPUT]] [options].
# Without INPUT it masters the built-in demo signal to ulmar-demo-mastered.wav.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/setup.sh" >&2
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" --target ulmar-render -j "${ULMAR_JOBS:-$(nproc)}" >/dev/null
exec "$root/build/tools/ulmar-render/ulmar-render" "$@"
