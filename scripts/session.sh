#!/usr/bin/env bash
# Installs what is needed, builds, and runs a headless session of the application.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if [ ! -f build/CMakeCache.txt ]; then
  echo "Configuring the build in build/ (first run; building takes a few minutes)"
  cmake -S . -B build -DORVANE_SANITIZE= -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
# only what the session runs (scripts/test.sh builds the rest); the build's own progress while
# something is built, nothing when all is up to date
cmake --build build -j"$(nproc)" --target orvane | { grep -v -E '^\[ *[0-9]+%\] Built target ' || true; }
exec build/tools/orvane --device "${ORVANE_DEVICE:-build/session-device}" "$@"
