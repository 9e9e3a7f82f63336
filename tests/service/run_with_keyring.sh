#!/bin/sh
# Runs a test program inside a private D-Bus session whose Secret Service is a GNOME
# Keyring with a login keyring made for this run, in a temporary home.
set -eu
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/data" "$home/run"
chmod 700 "$home/run"
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run"
dbus-run-session -- sh -c '
    printf %s test-login | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    exec "$@"' sh "$@"
