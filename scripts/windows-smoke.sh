#!/usr/bin/env bash
# Smoke test of the Windows window under Wine on a virtual display, and the
# picture docs/screenshot-windows.png. The window host's own test
# (tests/win32) runs first. Then nodescan.exe opens from stored settings (the
# demo installation in a fresh Wine prefix, "Auto Start" on, so the window
# runs a missing-waypoint check at once); both lists are written with their
# "Copy to TXT" buttons and must have rows; Escape ends the program, which
# must have saved its settings.
#
# Usage: scripts/windows-smoke.sh [--screenshot] [BUILD_DIR]   (default
# build/windows-build, configured by scripts/windows.sh; the picture is
# written with --screenshot only). Needs xvfb, xdotool, python3-pil and
# fonts-wine (scripts/install-deps.sh --windows).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
screenshot=0
if [ "${1:-}" = --screenshot ]; then
    screenshot=1
    shift
fi
build=$root/${1:-build/windows-build}
[ -f "$build/CMakeCache.txt" ] || { echo "$0: no build in $build; run scripts/windows.sh first" >&2; exit 1; }
cmake --build "$build" --target nodescan nodescan_win32ui_tests >/dev/null
exe=$build/nodescan.exe
python=/usr/bin/python3  # Debian's, which has PIL
fail() {
    echo "windows-smoke: $*" >&2
    exit 1
}

work=$(mktemp -d /tmp/nodescan-winsmoke.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" NODESCAN_ONLINE=0
trap 'wineserver -k 2>/dev/null || true; rm -rf -- "$work"' EXIT
wineboot -i >/dev/null 2>&1
# Wine's own fonts (Marlett draws the caption's buttons) where this Wine
# finds them: Debian's does not look in fonts-wine's directory.
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
scripts/demo-tree.sh "$work/game/Half-Life" >/dev/null

# The stored settings: where the game is, and Auto Start. A list written by
# "Copy to TXT" is not opened in an editor (no program for .txt).
game="Z:$work/game/Half-Life/cstrike/"
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Nodescan]\r\n"CSDir"="%s"\r\n"MapDir"="%smaps/"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Nodescan]\r\n"Auto Start"=dword:00000001\r\n"Version"=dword:000000fa\r\n' \
    "$game" "$game" >"$work/settings.reg"
wine regedit /S "$work/settings.reg"
wine reg delete 'HKCR\.txt' /f >/dev/null 2>&1 || true
wineserver -w

# The window host's contract on a real dialog.
# Wine's processes end before the display does.
# shellcheck disable=SC2016  # expanded by the inner shell
xvfb-run -a -s "-screen 0 1024x768x24" sh -c 'wine "$0" --gtest_brief=1; rc=$?; wineserver -w; exit $rc' \
    "$build/nodescan_win32ui_tests.exe" || fail "the host test failed"

# On the display: open, let the check run, take the picture, write both
# lists (focus starts on "Go! Go! Go!"; Tab reaches the left list's button
# in three steps, the right one's in two more), then Escape.
cat >"$work/session.sh" <<'EOF'
set -eu
wine explorer /desktop=Nodescan,1024x768 "$exe" >"$work/wine.log" 2>&1 &
timeout 60 xdotool search --sync --name 'NodeScan FINAL' >/dev/null || { echo "no window" >&2; exit 1; }
sleep 5
# The window is what differs from the desktop's background colour.
"$python" -c '
import sys
from PIL import Image, ImageChops, ImageGrab
shot = ImageGrab.grab().convert("RGB")
background = Image.new("RGB", shot.size, shot.getpixel((shot.width - 1, shot.height - 1)))
shot.crop(ImageChops.difference(shot, background).getbbox()).save(sys.argv[1])' "$work/shot.png"
xdotool key Tab Tab Tab space; sleep 2
xdotool key Tab Tab space; sleep 2
xdotool key Escape
for _ in $(seq 30); do
    if ! xdotool search --name 'NodeScan FINAL' >/dev/null 2>&1; then
        wineserver -w
        exit 0
    fi
    sleep 1
done
echo "the window did not close on Escape" >&2
exit 1
EOF
export exe work python
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/session.sh" ||
    fail "the session failed"
wineserver -w

# The lists are written to %LOCALAPPDATA%\Nodescan.
for list in NoWaypoints GoodWayPoints; do
    file=$(find "$WINEPREFIX/drive_c/users" -path "*/AppData/Local/Nodescan/$list.txt" | head -n1)
    rows=$(grep -c . "$file" 2>/dev/null || true)
    [ "${rows:-0}" -gt 0 ] || fail "$list.txt has no rows"
    echo "$list.txt: $rows rows"
done
# Written only when the window saves on its way out.
for value in "Default Bot" Difficulty "Check All"; do
    wine reg query 'HKCU\Software\Nodescan' /v "$value" >/dev/null 2>&1 ||
        fail "the setting '$value' was not saved"
done
echo "settings saved"
if [ $screenshot = 1 ]; then
    mkdir -p docs
    cp "$work/shot.png" docs/screenshot-windows.png
    echo "docs/screenshot-windows.png"
fi
