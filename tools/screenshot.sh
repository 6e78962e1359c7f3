#!/usr/bin/env bash
# Takes the picture of the warning box for the documentation: orvane without
# its tool, under Wine's X11 driver on a virtual screen (Xvfb), in a Wine
# prefix of its own so the test prefix keeps its null display driver.
#
#   tools/screenshot.sh [output.png]     (default docs/warning-box.png)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${1:-$ROOT/docs/warning-box.png}
export WINEPREFIX=$ROOT/build/wineprefix-x11
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=:71
WINE64=/usr/lib/wine/wine64

Xvfb "$DISPLAY" -screen 0 640x360x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() { /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true; kill "$xvfb" 2>/dev/null || true; }
trap cleanup EXIT
sleep 1

if [ ! -f "$WINEPREFIX/.project-ready" ]; then
  "$WINE64" wineboot --init </dev/null >/dev/null 2>&1 || true
  # No window manager runs here: Wine draws the frames itself.
  "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  touch "$WINEPREFIX/.project-ready"
fi

# Installed as a user would install it, as C:\Program Files\Ardelon\orvane.exe.
DIR="$WINEPREFIX/drive_c/Program Files/Ardelon"
rm -rf "$DIR"
mkdir -p "$DIR"
cp "$ROOT/dist/x64/orvane.exe" "$DIR/"
(cd "$DIR" && "$WINE64" 'C:\Program Files\Ardelon\orvane.exe' report.txt </dev/null >/dev/null 2>&1 &)

for _ in $(seq 100); do
  window=$(xdotool search --name '^Ardelon$' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "${window:-}" ] || { echo "no warning box appeared" >&2; exit 1; }
sleep 1
xwd -root -silent -display "$DISPLAY" | convert xwd:- -trim +repage "$OUT"
xdotool key --window "$window" Return >/dev/null 2>&1 || true
echo "wrote $OUT"
