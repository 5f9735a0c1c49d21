#!/usr/bin/env bash
# Installs what is missing, builds, starts the module simulator on a stable
# link path and the tool beside it. Without a display both run on a virtual
# one, a screenshot of the tool is saved, and the script exits.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build

link=${DUDAZE_SIM_LINK:-/tmp/dudaze-module}
shots=$PWD/shots
mkdir -p "$shots"

build/sim/module-sim --link "$link" --verbose &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
echo "run: module simulator on $link"
echo "run: in the tool choose 操作选项 > 串口设置, type $link as 串口, press 保存, then 连接"

if [ -n "${DISPLAY:-}" ]; then
    build/app/dudaze
else
    shot=$shots/main-window.png
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        "$1" & app=$!
        sleep 4
        import -window root "$2"
        kill $app' _ "$PWD/build/app/dudaze" "$shot"
    echo "run: no display here; the tool ran on a virtual display, screenshot saved to $shot"
fi
