#!/usr/bin/env bash
# Installs what is needed, builds, and runs a headless session of the application.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build >/dev/null
exec build/tools/orvane --device "${ORVANE_DEVICE:-build/session-device}" "$@"
