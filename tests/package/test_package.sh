#!/usr/bin/env bash
# Builds the Debian package from the existing build, checks its metadata and contents
# with Debian's own tools (dpkg-deb, lintian, desktop-file-validate, appstreamcli),
# unpacks it into a temporary root and runs what it holds from there: brivet-post
# publishing to the sandbox service through the unpacked KWQT0100 and wget's folders,
# and the program on the offscreen platform.
# Usage: test_package.sh SOURCE_DIR BUILD_DIR VERSION
set -euo pipefail
source_dir=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
version=$3
tmp=$(mktemp -d)
pids=()
cleanup() {
    status=$?
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$tmp"
    exit "$status"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The package itself, built into the temporary folder so that the build's own
# packages/ is left alone.
PACKAGE_DIR=$tmp/packages BUILD_DIR=$build bash "$source_dir/tools/build-package.sh" --no-build \
    >/dev/null || fail "tools/build-package.sh"
arch=$(dpkg --print-architecture)
deb=$tmp/packages/brivet-poster_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $(basename "$deb") in: $(ls "$tmp/packages")"
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# Control fields: the version agrees with the project, the changelog and the
# AppStream release; Depends holds what the libraries link and what runs beside them.
[ "$(dpkg-deb -f "$deb" Package)" = brivet-poster ] || fail "Package: $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version $(dpkg-deb -f "$deb" Version), project $version"
grep -q "<release version=\"$version\"" "$source_dir/poster/desktop/"*.metainfo.xml ||
    fail "the AppStream metadata has no release $version"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(echo "$depends" | tr ',|' '\n\n' | sed 's/^ *//; s/[ (].*//')
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libsodium23 wget \
    ca-certificates libqt6sql6-sqlite; do
    grep -qxF "$package" <<<"$names" || fail "Depends lacks $package"
done

root=$tmp/root
dpkg-deb -x "$deb" "$root"
app=$root/usr/lib/brivet-poster
for f in usr/lib/brivet-poster/BrivetPoster usr/lib/brivet-poster/libKWQT0100.so \
    usr/lib/brivet-poster/ReadMe.TXT usr/lib/brivet-poster/KWQT0100/Data/wget.cfg \
    usr/share/doc/brivet-poster/copyright usr/share/doc/brivet-poster/changelog.gz \
    usr/share/applications/brivet-poster.desktop \
    usr/share/metainfo/example.olvane.BrivetPoster.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/brivet-poster.svg; do
    [ -f "$root/$f" ] || fail "$f is not in the package"
done
for tool in brivet-poster brivet-post kwqt-request diary2html; do
    [ -f "$root/usr/share/man/man1/$tool.1.gz" ] || fail "no manual page for $tool"
    target=$(readlink -f "$root/usr/bin/$tool")
    [ "$(dirname "$target")" = "$app" ] && [ -x "$target" ] || fail "usr/bin/$tool points to $target"
done
# wget's folders: both builds lead to the system's wget, the data to its authorities.
for build_name in Win51 Win40; do
    link=$(readlink "$app/KWQT0100/$build_name/wget")
    [ "$(realpath -m "$app/KWQT0100/$build_name/$link")" = "$root/usr/bin/wget" ] ||
        fail "$build_name/wget links to $link"
done
[ "$(readlink "$app/KWQT0100/Data/curl-ca-bundle.crt")" = /etc/ssl/certs/ca-certificates.crt ] ||
    fail "Data/curl-ca-bundle.crt links to $(readlink "$app/KWQT0100/Data/curl-ca-bundle.crt")"
[ "$(readlink "$app/KWQT0100/Data/ca")" = /etc/ssl/certs ] || fail "Data/ca links elsewhere"
# Every library of ours that the build made is packaged, whoever added it.
while IFS= read -r library; do
    name=${library#"$build/bin/"}
    [ -e "$app/$name" ] || fail "the build's $name is not in the package"
done < <(find "$build/bin" -name 'lib*.so*' \( -type f -o -type l \))
# Icons: PNGs of the size their folder names, at least 48 and 256 pixels.
for size in 16 24 32 48 64 128 256; do
    icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/brivet-poster.png
    [ -f "$icon" ] || fail "no ${size}x${size} icon"
    actual=$(python3 -c 'import struct,sys
d=open(sys.argv[1],"rb").read(24)
assert d[:8]==b"\x89PNG\r\n\x1a\n", "not a PNG"
print("%dx%d" % struct.unpack(">II", d[16:24]))' "$icon") || fail "$icon is not a PNG"
    [ "$actual" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $actual"
done

# Debian's checks.
desktop-file-validate "$root/usr/share/applications/brivet-poster.desktop" ||
    fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/example.olvane.BrivetPoster.metainfo.xml" ||
    fail "appstreamcli validate"
lintian --fail-on error "$deb" 2>&1 |
    tee "$tmp/lintian.log" || fail "lintian: $(cat "$tmp/lintian.log")"
grep -q "^E:" "$tmp/lintian.log" && fail "lintian reports errors"

# Every binary finds its libraries in the unpacked tree or the system, never the build.
for binary in "$app"/BrivetPoster "$app"/brivet-post "$app"/kwqt-request "$app"/diary2html \
    "$app"/lib*.so*; do
    deps=$(env -u LD_LIBRARY_PATH ldd "$binary")
    echo "$deps" | grep -q "not found" && fail "$binary: missing library: $deps"
    echo "$deps" | grep -q "$build" && fail "$binary: uses the build folder: $deps"
done

# Run from the unpacked root, as a user of its own. The root has no wget of its own:
# the package's dependency would bring it, so it is the system's.
ln -s /usr/bin/wget "$root/usr/bin/wget"
mkdir -p "$tmp/home" "$tmp/run"
chmod 700 "$tmp/run"
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config XDG_DATA_HOME=$tmp/home/.local/share
export XDG_RUNTIME_DIR=$tmp/run QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 LC_ALL=C.UTF-8
export no_proxy=127.0.0.1
unset DBUS_SESSION_BUS_ADDRESS LD_LIBRARY_PATH http_proxy https_proxy HTTP_PROXY HTTPS_PROXY || true

"$root/usr/bin/brivet-post" --help | grep -q -- "--service-address" || fail "brivet-post --help"
# The program answers --help and --version on a terminal without a display.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/brivet-poster" --help |
    grep -q -- "--service-address" || fail "brivet-poster --help without a display"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/brivet-poster" --version)" = \
    "BrivetPoster $version" ] || fail "brivet-poster --version without a display"
[ "$(printf '[b]packaged[/b]' | "$root/usr/bin/diary2html" --body)" = "<b>packaged</b>" ] ||
    fail "diary2html from the package"

python3 "$source_dir/tools/brivet-sandbox/brivet_sandbox.py" --port 0 >"$tmp/sandbox.out" 2>&1 &
pids+=($!)
for _ in $(seq 300); do
    grep -q "Brivet sandbox ready" "$tmp/sandbox.out" && break
    sleep 0.1
done
address=$(sed -n 's/^Brivet sandbox ready: //p' "$tmp/sandbox.out")
[ -n "$address" ] || fail "the sandbox did not start: $(cat "$tmp/sandbox.out")"
BRIVET_PASSWORD=demo "$root/usr/bin/brivet-post" --service-address "$address" \
    --user demo@brivet.example "$source_dir/examples/sample-diary.txt" >"$tmp/post.out" 2>&1 ||
    fail "brivet-post from the package: $(cat "$tmp/post.out")"
read -r published total < <(sed -n 's/^Published \([0-9]*\) of \([0-9]*\) posts\.$/\1 \2/p' "$tmp/post.out")
entries=$(wget -q -O - "$address/v2/entries" | python3 -c 'import json,sys; print(len(json.load(sys.stdin)["data"]))')
[ -n "${total:-}" ] && [ "$published" = "$total" ] && [ "$entries" = "$total" ] ||
    fail "brivet-post published ${published:-?} of ${total:-?}, the sandbox holds $entries: $(cat "$tmp/post.out")"
echo "brivet-post from the package published $entries posts"

QT_LOGGING_RULES="brivet.startup.info=true" "$root/usr/bin/brivet-poster" 2>"$tmp/program.err" &
program=$!
pids+=("$program")
for i in $(seq 600); do
    grep -q "logon window shown" "$tmp/program.err" && break
    kill -0 "$program" 2>/dev/null || fail "the unpacked program ended: $(cat "$tmp/program.err")"
    [ "$i" -lt 600 ] || fail "the unpacked program showed no logon window: $(cat "$tmp/program.err")"
    sleep 0.1
done
echo "the unpacked program showed its logon window"
