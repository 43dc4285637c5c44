#!/usr/bin/env bash
# build.sh [BUILD_DIR] [SANITIZER]: configures and builds everything (SANITIZER: address or thread).
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
sanitize="${2:-}"
cmake -S . -B "$dir" -DORVANE_SANITIZE="$sanitize" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j"$(nproc)"
