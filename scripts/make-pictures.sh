#!/usr/bin/env bash
# Renders the README's pictures from the built program: the install prompt
# and the completion box as pivane.exe shows them to a French user under Wine
# on a screen of its own, and the two icons (the program's and the library's) enlarged
# eight times, taken out of the built files with icoutils.
# usage: make-pictures.sh   (writes docs/pictures/*.png)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/wine-env.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target pivane >/dev/null

out=docs/pictures
mkdir -p "$out"
work=$(mktemp -d)
export WINEPREFIX=$work/prefix
xvfb=
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Pictures carry no date, so that unchanged pictures stay the same bytes.
png() { # INPUT [OPTIONS...] OUTPUT
  /usr/bin/convert "${@:1:$#-1}" -strip -define png:exclude-chunks=date,time "${@: -1}"
}

wrestool -x -t 14 -n MAINICON build/windows/pivane.exe -o "$work/program.ico"
wrestool -x -t 14 build/windows/resources/pivane.dll -o "$work/library.ico"
for icon in program library; do
  icotool -x --width=32 -o "$work/$icon.png" "$work/$icon.ico"
  png "$work/$icon.png" -filter point -resize 800% "$out/$icon-icon.png"
done

bash scripts/make-wine-prefix.sh "$WINEPREFIX" win32 test
# Xvfb picks a free display and writes its number.
Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$work/display" 2>/dev/null &
xvfb=$!
for ((i = 0; i < 300; i++)); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
export DISPLAY=:$(head -1 "$work/display")
bash scripts/wine-warm.sh "$WINEPREFIX"

trace=$work/trace.txt
# Wine's buttons follow the locale: "Oui" and "Non", as on a French Windows.
WINEDEBUG=+pid,+relay LC_ALL=fr_FR.UTF-8 wine build/windows/pivane.exe </dev/null >/dev/null 2>"$trace" &
pivane=$!
boxes_called() { grep -c 'Call user32.MessageBoxA(' "$trace" || true; }
# Box N is on screen once its call is in the trace and a window shows it.
shoot_and_answer() { # N PICTURE
  for ((i = 0; i < 600; i++)); do
    [ "$(boxes_called)" -ge "$1" ] && break
    sleep 0.2
  done
  window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Pivane pour Windows 9x-XP$' |
    tail -1)
  sleep 1 # let it finish drawing
  /usr/bin/import -window "$window" "$work/box.png"
  png "$work/box.png" "$out/$2"
  xdotool windowfocus --sync "$window" key Return
}
shoot_and_answer 1 prompt.png
shoot_and_answer 2 completion.png
wait "$pivane"
ls -l "$out"
