#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds and tests with, where they are
# missing; "install-deps.sh program" adds what starting the program without a display
# needs. Run as root, or as a user with sudo.
set -euo pipefail
packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-base-private-dev qt6-qpa-plugins libqt6sql6-sqlite libsodium-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    wget ca-certificates openssl tinyproxy python3
    qtkeychain-qt6-dev libsecret-1-0 gnome-keyring dbus
    chromium  # the sandbox page test looks at the page in a real browser
    librsvg2-bin man-db
    dpkg-dev debhelper fakeroot lintian desktop-file-utils appstream libqt6sql6-sqlite
)
[ "${1:-}" = program ] && packages+=(xvfb xauth)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
# The proxy daemon is started by the tests that need it, never as a service.
if command -v systemctl >/dev/null 2>&1; then $sudo systemctl disable --now tinyproxy >/dev/null 2>&1 || true; fi
