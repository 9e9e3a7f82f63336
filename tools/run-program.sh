#!/usr/bin/env bash
# Installs what is missing, builds, and starts Brivet poster against the sandbox Brivet
# service on 127.0.0.1, which runs in the background until the program ends.
#   bash tools/run-program.sh                  the demo with the sandbox service
#   bash tools/run-program.sh --real-service   the program with the real Brivet service
# Further arguments go to the program. Without a display the program starts under a
# virtual one (xvfb-run).
set -euo pipefail
cd "$(dirname "$0")/.."
real=0
if [ "${1:-}" = --real-service ]; then
    real=1
    shift
fi
bash tools/install-deps.sh program
bash tools/build.sh
program="${BUILD_DIR:-build}/bin/BrivetPoster"

run_program() {
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        "$program" "$@"
    else
        echo "No display found: starting Brivet poster on a virtual display." >&2
        xvfb-run -a "$program" "$@"
    fi
}

if [ "$real" = 1 ]; then
    run_program "$@"
    exit
fi

state="$(mktemp -d)"
sandbox_pid=""
stop_sandbox() {
    if [ -n "$sandbox_pid" ]; then
        kill "$sandbox_pid" 2>/dev/null || true
        wait "$sandbox_pid" 2>/dev/null || true
    fi
    rm -rf "$state"
}
trap stop_sandbox EXIT
trap 'exit 130' INT TERM

python3 tools/brivet-sandbox/brivet_sandbox.py --port "${BRIVET_SANDBOX_PORT:-0}" \
    --db "$state/entries.sqlite" >"$state/ready" 2>"$state/sandbox.log" &
sandbox_pid=$!
address=""
for _ in $(seq 1 600); do
    address="$(sed -n 's/^Brivet sandbox ready: //p' "$state/ready")"
    [ -n "$address" ] && break
    if ! kill -0 "$sandbox_pid" 2>/dev/null; then
        echo "The sandbox service did not start:" >&2
        cat "$state/sandbox.log" >&2
        exit 1
    fi
    sleep 0.1
done
if [ -z "$address" ]; then
    echo "The sandbox service was not ready in time." >&2
    exit 1
fi

cat <<TEXT
Sandbox Brivet service: $address
  Published posts:  $address/  (open it in a browser)
  Demo account:     demo@brivet.example   password: demo
  Then: Proceed, Load examples/sample-diary.txt, Send.
The sandbox stops when Brivet poster ends.
TEXT
run_program --service-address "$address" "$@"
