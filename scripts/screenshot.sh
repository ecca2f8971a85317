#!/usr/bin/env bash
# Regenerates the README's screenshots from the real window under Xvfb:
#   docs/startup.png  - the window at start-up with its folder chooser
#   docs/preview.png  - the demo folder scanned and a bitmap previewed
#   docs/dump-all.png - "Dump All Resources" running over a folder of levels
set -euo pipefail
cd "$(dirname "$0")/.."

./dev build
root=$(pwd)
bin="$root/${BUILD_DIR:-build}/bin"
demo="$root/${BUILD_DIR:-build}/demo"
[ -d "$demo" ] || "$bin/swf-make-demo" "$demo"

shot() {
    xvfb-run -a -s "-screen 0 1024x768x24" "$bin/swf-screenshot" "$@" 2>/dev/null
}
mkdir -p docs
# The chooser opens in the working folder, as with ./dev run: the demo folder.
(cd "$demo" && shot startup "$root/docs/startup.png")
shot preview "$demo" Backgrounds sky_gradient "$root/docs/preview.png"
shot dump-all "$root/docs/dump-all.png"
echo "Wrote docs/startup.png, docs/preview.png and docs/dump-all.png"
