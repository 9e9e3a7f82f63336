#!/usr/bin/env bash
# Installs what is missing, builds, and starts Brivet poster. Without a display it
# starts under a virtual one (xvfb-run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh program
bash tools/build.sh
program="${BUILD_DIR:-build}/bin/BrivetPoster"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$program" "$@"
fi
echo "No display found: starting Brivet poster on a virtual display." >&2
exec xvfb-run -a "$program" "$@"
