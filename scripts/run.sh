#!/usr/bin/env bash
# Installs what is missing, builds the tool and the simulator (not the tests),
# starts the module simulator on a stable link path and the tool beside it.
# Without a display both run on a virtual one, a screenshot of the tool is
# saved, and the script exits.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target dudaze module-sim

link=${DUDAZE_SIM_LINK:-/tmp/dudaze-module}
shots=$PWD/shots
mkdir -p "$shots"

# A link left by an earlier simulator would look like a running one; the
# simulator replaces such a link itself, so clearing it first loses nothing.
[ -L "$link" ] && rm -f "$link"
build/sim/module-sim --link "$link" --verbose &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [ -L "$link" ] && break
    if ! kill -0 "$sim" 2>/dev/null; then
        # The simulator has said why on its error output; pass its status on.
        rc=0
        wait "$sim" || rc=$?
        exit $((rc == 0 ? 1 : rc))
    fi
    sleep 0.1
done
[ -L "$link" ] || { echo "run: the module simulator made no link at $link within 5 s" >&2; exit 1; }
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
    echo "run: no display here, so the tool ran on a virtual display only for the screenshot $shot; bash scripts/screens.sh saves pictures of it working against the simulator (main-polling.png and others) in $shots"
fi
