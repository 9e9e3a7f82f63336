#!/usr/bin/env bash
# Builds the Debian package build/packages/brivet-poster_VERSION_ARCH.deb with
# dpkg-buildpackage from the build tree: "bash tools/build-package.sh [--no-build]".
# It installs what is missing and builds first; --no-build packs the build as it is
# (the package test). $BUILD_DIR chooses the build
# tree, $PACKAGE_DIR the folder for the package (default: packages/ in the build tree).
# The source tree stays clean: debian/ is copied into a work folder beside the package.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build=$(realpath -m "${BUILD_DIR:-build}")
out=$(realpath -m "${PACKAGE_DIR:-$build/packages}")

case "${1:-}" in
'')
    bash tools/install-deps.sh
    bash tools/build.sh
    ;;
--no-build) ;;
*)
    echo "usage: tools/build-package.sh [--no-build]" >&2
    exit 2
    ;;
esac

version=$(dpkg-parsechangelog -l debian/changelog -S Version)
arch=$(dpkg-architecture -q DEB_HOST_ARCH)
work=$out/brivet-poster-$version
rm -rf "$work"
mkdir -p "$work"
cp -r "$source_dir/debian" "$work/"
rm -f "$out/brivet-poster_${version}_${arch}".{deb,buildinfo,changes}

# The parent of the work folder receives the .deb, .buildinfo and .changes.
(cd "$work" && BRIVET_BUILD_DIR=$build dpkg-buildpackage --build=binary --no-sign \
    --no-pre-clean >"$out/build.log" 2>&1) || {
    cat "$out/build.log" >&2
    exit 1
}
rm -rf "$work"
echo "$out/brivet-poster_${version}_${arch}.deb"
