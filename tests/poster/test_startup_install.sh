#!/bin/sh
# Installs the build into a temporary prefix and starts the installed program the way
# the desktop entry does, with no trace of the build folder.
# Usage: test_startup_install.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
root=$(mktemp -d)
first=""
cleanup() {
    status=$?
    if [ -n "$first" ]; then
        kill "$first" 2>/dev/null || true
        wait "$first" 2>/dev/null || true
    fi
    rm -rf "$root"
    exit "$status"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$root/prefix"
cmake --install "$build" --prefix "$prefix" >"$root/install.log" || { cat "$root/install.log"; fail "install"; }
app="$prefix/lib/brivet-poster"
for f in bin/brivet-poster lib/brivet-poster/BrivetPoster lib/brivet-poster/libKWQT0100.so \
    lib/brivet-poster/libKWQT0100UI.so lib/brivet-poster/libolvkeychain.so \
    lib/brivet-poster/ReadMe.TXT lib/brivet-poster/KWQT0100/Win51/wget \
    lib/brivet-poster/KWQT0100/Win40/wget lib/brivet-poster/KWQT0100/Data/wget.cfg \
    lib/brivet-poster/KWQT0100/Data/curl-ca-bundle.crt lib/brivet-poster/KWQT0100/Data/ca \
    share/applications/brivet-poster.desktop share/icons/hicolor/48x48/apps/brivet-poster.png \
    share/icons/hicolor/scalable/apps/brivet-poster.svg bin/brivet-post; do
    [ -e "$prefix/$f" ] || fail "$f is not installed"
done
"$app/KWQT0100/Win51/wget" --version >/dev/null || fail "wget does not run from its folder"

# Every library is found from the installed folder or the system, never the build.
# The plugins are loaded by name from the folder of the library that loads them.
for binary in "$app/BrivetPoster" "$app/libKWQT0100.so" "$app/libKWQT0100UI.so" \
    "$app/libolvkeychain.so"; do
    deps=$(env -u LD_LIBRARY_PATH ldd "$binary")
    echo "$deps" | grep -q "not found" && fail "$binary: missing library: $deps"
    echo "$deps" | grep -q "$build" && fail "$binary: uses the build folder: $deps"
done
readelf -d "$app/BrivetPoster" | grep -q "$build" && fail "the program's run path names the build folder"

entry="$prefix/share/applications/brivet-poster.desktop"
grep -qx "Exec=\"$prefix/bin/brivet-poster\"" "$entry" || fail "desktop entry: $(grep Exec= "$entry")"
grep -qx "Icon=brivet-poster" "$entry" || fail "desktop entry has no icon"

# A user of its own, on the offscreen platform.
mkdir -p "$root/home" "$root/run"
chmod 700 "$root/run"
export HOME="$root/home" XDG_CONFIG_HOME="$root/home/.config" XDG_DATA_HOME="$root/home/.local/share"
export XDG_RUNTIME_DIR="$root/run" QT_QPA_PLATFORM=offscreen
export QT_LOGGING_RULES="brivet.startup.info=true"
unset DBUS_SESSION_BUS_ADDRESS LD_LIBRARY_PATH || true

"$prefix/bin/brivet-poster" --version | grep -q "BrivetPoster" || fail "--version"

"$prefix/bin/brivet-poster" 2>"$root/first.err" &
first=$!
i=0
until grep -q "logon window shown" "$root/first.err"; do
    i=$((i + 1))
    [ $i -gt 600 ] && fail "the installed program showed no logon window: $(cat "$root/first.err")"
    kill -0 "$first" 2>/dev/null || fail "the installed program ended: $(cat "$root/first.err")"
    sleep 0.1
done
"$prefix/bin/brivet-poster" 2>"$root/second.err" || fail "second start: exit $?"
grep -q "another copy runs" "$root/second.err" || fail "second start: $(cat "$root/second.err")"
echo "installed program ran from $prefix"
