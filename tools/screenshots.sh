#!/usr/bin/env bash
# Takes the pictures of the GUI host (README.md, docs/hosts.md) under Wine on a
# virtual X display:
#   docs/gui-host.png   the host window after three commands, with the toast
#   docs/gui-toast.png  the toast alone
#   docs/gui-about.png  the plug-in's about box
# Run as root on a fresh machine, it first installs what is missing, ImageMagick
# and the X window tools among it (tools/setup-machine.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup-machine.sh --check || tools/setup-machine.sh

# The host runs on the DLL users install, which the windows-i686 preset places beside it.
cmake --preset windows-i686-release >/dev/null
cmake --build --preset windows-i686-release --target calcplugin >/dev/null
cmake --preset windows-i686 >/dev/null
cmake --build --preset windows-i686 --target calcgui calcplugin wine_keepalive >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%s\n' '/xcalc (666/77)*8+3-(2.5*8)+10' '/xprecis 5' '/xcalc a=1/3' >"$work/commands"
{ cat "$work/commands"; echo '!about'; } >"$work/about"
mkdir -p docs

export SHOTS_WORK=$work
tools/wine-session.sh build/windows-i686/bin/wine_keepalive.exe bash -c '
  set -euo pipefail
  desktop=720x420  # the virtual screen: a Windows desktop that Wine draws whole
  margin=6         # desktop shown around a cropped window

  # Starts the host with a script on a fresh desktop.
  start() {
    wine explorer /desktop=calc,$desktop build/windows-i686/bin/calcgui.exe \
      --script "Z:${1//\//\\}" >/dev/null 2>&1 &
  }
  # Prints the screen position of the window titled $1 as WxH+X+Y, once it shows.
  geometry() {
    for _ in $(seq 600); do
      line=$(xwininfo -root -tree | grep -F "\"$1\":" || true)
      if [ -n "$line" ]; then
        read -r size at <<<"$(awk "{print \$(NF-1), \$NF}" <<<"$line")"
        echo "${size%%+*}${at}"
        return
      fi
      sleep 0.1
    done
    echo "screenshots: no window \"$1\"" >&2
    exit 1
  }
  # Crops the screen shot $1 to the geometry $2 widened by the margin, into $3.
  crop() {
    IFS="x+" read -r w h x y <<<"$2"
    convert "$1" -crop "$((w + 2 * margin))x$((h + 2 * margin))+$((x - margin))+$((y - margin))" \
      +repage "$3"
  }

  # Wine draws the caption buttons with the Marlett symbol font it ships
  # (fonts-wine), but does not load it from where Debian installs it, so the
  # buttons would show as the letters "0", "1" and "r". In the prefix'"'"'s font
  # folder, where Windows keeps its fonts, it is found. (Wine'"'"'s Tahoma from
  # the same package is left out: its bold face draws as the regular one.)
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

  start "$SHOTS_WORK/commands"
  geometry "Calculator Options..." >/dev/null
  sleep 1  # the last command runs and the window repaints while the toast stays up
  toast=$(geometry "Calculator Options...")
  import -window root "$SHOTS_WORK/screen.png"
  convert "$SHOTS_WORK/screen.png" -crop "$desktop+0+0" +repage docs/gui-host.png
  crop "$SHOTS_WORK/screen.png" "$toast" docs/gui-toast.png
  wineserver -k

  start "$SHOTS_WORK/about"
  geometry "About Calculator Plugin..." >/dev/null
  sleep 1  # the box takes its place and size
  about=$(geometry "About Calculator Plugin...")
  import -window root "$SHOTS_WORK/screen.png"
  crop "$SHOTS_WORK/screen.png" "$about" docs/gui-about.png
'
echo "screenshots: docs/gui-host.png docs/gui-toast.png docs/gui-about.png"
