#!/usr/bin/env bash
# Installs the build into a fresh prefix and uses it from another folder:
# the application and its converter sit together in bin/, the desktop entry
# and the icon where desktops look for them.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/swf-resource-editor bin/swfxml bin/swfexport; do
    [ -x "$prefix/$f" ] || { echo "FAIL: $f not installed"; exit 1; }
done
desktop="$prefix/share/applications/swf-resource-editor.desktop"
[ -f "$desktop" ] || { echo "FAIL: no desktop entry"; exit 1; }
[ -f "$prefix/share/icons/hicolor/scalable/apps/swf-resource-editor.svg" ] ||
    { echo "FAIL: no icon"; exit 1; }
desktop-file-validate "$desktop"
for page in swf-resource-editor swfexport swfxml; do
    [ -f "$prefix/share/man/man1/$page.1.gz" ] || { echo "FAIL: no manual page of $page"; exit 1; }
done

# From another working folder: the installed converter converts a file...
mkdir "$work/elsewhere"
cd "$work/elsewhere"
"$build/bin/swf-make-demo" samples
"$prefix/bin/swfxml" swf2xml samples/Icons.swf stdout > icons.xml
grep -q '<FrameLabel label="Icons">' icons.xml || { echo "FAIL: converter output"; exit 1; }

# ...and the installed application starts, and keeps running until stopped
# (exit status 124 from timeout), instead of failing to load or crashing.
set +e
QT_QPA_PLATFORM=offscreen timeout 5 "$prefix/bin/swf-resource-editor" 2>app.log
status=$?
set -e
if [ "$status" -ne 124 ]; then
    echo "FAIL: the installed application ended with status $status"
    cat app.log
    exit 1
fi
# The installed export writes the demo's bitmaps from there too.
"$prefix/bin/swfexport" -q samples exported 2>export.log ||
    { echo "FAIL: the installed swfexport"; cat export.log; exit 1; }
[ -f exported/Icons/icon_star.png ] || { echo "FAIL: swfexport wrote no icons"; exit 1; }

# The Debian package: the three programs, the desktop entry, the icon and the
# manual pages, its library dependencies declared; unpacked, its programs run.
(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) ||
    { echo "FAIL: cpack"; cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/deb/*.deb)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/swf-resource-editor ./usr/bin/swfxml ./usr/bin/swfexport \
    ./usr/share/applications/swf-resource-editor.desktop \
    ./usr/share/icons/hicolor/scalable/apps/swf-resource-editor.svg \
    ./usr/share/man/man1/swf-resource-editor.1.gz ./usr/share/man/man1/swfexport.1.gz \
    ./usr/share/man/man1/swfxml.1.gz; do
    grep -q " $f\$" <<<"$contents" || { echo "FAIL: $f not in the package"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6xml6 qt6-qpa-plugins; do
    grep -q "$d" <<<"$depends" || { echo "FAIL: the package doesn't depend on $d: $depends"; exit 1; }
done
dpkg-deb -x "$deb" "$work/unpacked"
"$work/unpacked/usr/bin/swfexport" --version | grep -q '^swfexport ' ||
    { echo "FAIL: swfexport --version from the package"; exit 1; }
"$work/unpacked/usr/bin/swfxml" swf2xml samples/Icons.swf stdout | grep -q '<FrameLabel label="Icons">' ||
    { echo "FAIL: the packaged converter"; exit 1; }

echo "PASS: installed into a fresh prefix and ran from another folder; packaged as $(basename "$deb")"
