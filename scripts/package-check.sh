#!/usr/bin/env bash
# Builds the Debian package as the README's Install section does (into DIR,
# default build-deb/, without tests and benchmarks), lists it, installs the
# tree into a scratch root and checks what a technician's machine receives:
# the three programs, a valid desktop entry with its icon, valid AppStream
# metadata, the copyright and changelog, a package lintian reports no error
# in, and a tool that starts from there and runs with nothing on its error
# output but Qt's platform notes.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-deb}

fail() { echo "package-check: $*" >&2; exit 1; }

start=$(date +%s)
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DDUDAZE_TESTS=OFF >/dev/null
cmake --build "$dir" -j2 --target package >/dev/null
echo "package-check: package built in $(( $(date +%s) - start )) s"
[ ! -e "$dir/tests" ] && [ ! -e "$dir/bench" ] || fail "the package build built the tests or the benchmarks"
out=$(cd "$dir" && pwd)
debs=("$out"/dudaze_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one dudaze_*.deb in $out"
deb=${debs[0]}
echo "package-check: $(basename "$deb"), $(stat -c %s "$deb") bytes"
dpkg-deb -f "$deb" Package Version Architecture Depends Recommends
dpkg-deb -c "$deb"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt5core5a libqt5widgets5 libqt5serialport5; do
    [[ ",$depends," =~ [,\ ]${lib}[\ ,] ]] || fail "Depends lacks $lib: $depends"
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$dir" --prefix /usr >/dev/null

# The package and the installed tree hold the same files.
diff <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort) \
     <(cd "$root" && find . ! -type d | sed 's|^\./||' | sort) ||
    fail "the package and the installed tree differ"

bin=$root/usr/bin
apps=$root/usr/share/applications
icons=$root/usr/share/icons/hicolor/scalable/apps
[ -x "$bin/dudaze" ] && [ -x "$bin/dudaze-cli" ] && [ -x "$bin/module-sim" ] || fail "dudaze, dudaze-cli or module-sim missing from $bin"
id=org.dazodoz.dudaze
entry=$apps/$id.desktop
[ -f "$entry" ] || fail "no desktop entry in $apps"
report=$(desktop-file-validate "$entry" 2>&1) || report="rejected. $report"
[ -z "$report" ] || fail "desktop entry: $report"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
icon_name=$(sed -n 's/^Icon=//p' "$entry")
[ -x "$bin/$exec_name" ] || fail "the desktop entry runs '$exec_name', which is not in $bin"
[ -f "$icons/$icon_name.svg" ] || fail "the desktop entry's icon '$icon_name' is not in $icons"
if readelf -d "$bin/dudaze" "$bin/dudaze-cli" "$bin/module-sim" | grep 'R\(UN\)\?PATH' >/dev/null; then
    fail "an installed program still points at a library path of the build"
fi
"$bin/module-sim" --help >/dev/null || fail "the installed module-sim does not run"
"$bin/dudaze-cli" --help >/dev/null || fail "the installed dudaze-cli does not run"
[ -f "$root/usr/share/man/man1/dudaze-cli.1.gz" ] || fail "no manual page for dudaze-cli"

# AppStream metadata that names the desktop entry above, the licence and the changelog.
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
[ -f "$metainfo" ] || fail "no AppStream metadata $id.metainfo.xml"
appstreamcli validate --no-net --explain "$metainfo" || fail "appstreamcli rejects $metainfo"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "the metadata does not launch $id.desktop"
doc=$root/usr/share/doc/dudaze
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$doc/copyright" ||
    fail "no machine-readable copyright in $doc"
zcat "$doc/changelog.gz" | head -1 | grep -q "^dudaze ($(dpkg-deb -f "$deb" Version))" ||
    fail "changelog.gz does not start with this version"

# Lintian: errors fail, warnings are listed.
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

# Still running after two seconds is the pass; Qt's own platform notes on the
# error output are expected, anything else is not.
err=$root/dudaze.err
rc=0
QT_QPA_PLATFORM=offscreen timeout -k 5 2 "$bin/dudaze" >/dev/null 2>"$err" || rc=$?
[ "$rc" -eq 124 ] || fail "the installed dudaze ended within two seconds (status $rc): $(cat "$err")"
unexpected=$(grep -v -e '^QStandardPaths: XDG_RUNTIME_DIR not set' \
                     -e '^This plugin does not support propagateSizeHints()' "$err" || true)
[ -z "$unexpected" ] || fail "the installed dudaze wrote to its error output: $unexpected"
echo "package-check: installed tree holds the three programs, a valid desktop entry and its icon; dudaze ran 2 s offscreen"
