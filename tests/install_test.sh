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

for f in bin/swf-resource-editor bin/swfxml; do
    [ -x "$prefix/$f" ] || { echo "FAIL: $f not installed"; exit 1; }
done
desktop="$prefix/share/applications/swf-resource-editor.desktop"
[ -f "$desktop" ] || { echo "FAIL: no desktop entry"; exit 1; }
[ -f "$prefix/share/icons/hicolor/scalable/apps/swf-resource-editor.svg" ] ||
    { echo "FAIL: no icon"; exit 1; }
desktop-file-validate "$desktop"

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
echo "PASS: installed into a fresh prefix and ran from another folder"
