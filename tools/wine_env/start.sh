#!/usr/bin/env bash
# Starts the display and the wineserver that one test run shares, creating the
# Wine prefix on the first run. Usage: start.sh <run-dir>
set -euo pipefail
run_dir=$1
mkdir -p "$run_dir"
: "${WINEPREFIX:?}" "${DISPLAY:?}"
display_number=${DISPLAY#:}

lock=/tmp/.X${display_number}-lock
if [ -f "$lock" ] && ! kill -0 "$(tr -d ' ' <"$lock")" 2>/dev/null; then
  rm -f "$lock" "/tmp/.X11-unix/X${display_number}"
fi
if [ ! -f "$lock" ]; then
  # Detached and without our output pipes, so ctest does not wait for it.
  setsid Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$run_dir/xvfb.log" 2>&1 &
  echo $! >"$run_dir/xvfb.pid"
  for _ in $(seq 1 100); do
    [ -S "/tmp/.X11-unix/X${display_number}" ] && break
    sleep 0.1
  done
  [ -S "/tmp/.X11-unix/X${display_number}" ] || { echo "Xvfb did not start" >&2; cat "$run_dir/xvfb.log" >&2; exit 1; }
fi

mkdir -p "$WINEPREFIX"
# Exits non-zero when a server for this prefix already runs: that one is reused.
setsid wineserver -p </dev/null >"$run_dir/wineserver.log" 2>&1 || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating Wine prefix $WINEPREFIX"
  wine wineboot --init </dev/null >"$run_dir/wineboot.log" 2>&1 || { cat "$run_dir/wineboot.log" >&2; exit 1; }
else
  # Start Wine's background services now, with our output going to a file:
  # started by the first test instead, they would hold that test's output
  # pipe open for as long as the wineserver lives, and ctest would wait.
  wine wineboot </dev/null >"$run_dir/wineboot.log" 2>&1 || { cat "$run_dir/wineboot.log" >&2; exit 1; }
fi
# A crashing test must end, not wait in an automatic debugger.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d '' /f \
  </dev/null >>"$run_dir/wineboot.log" 2>&1 || true
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
  </dev/null >>"$run_dir/wineboot.log" 2>&1 || true
# Xvfb runs no window manager: with managed windows, Wine waits about 2 s for
# one whenever a shown top-level window is hidden or destroyed.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
  </dev/null >>"$run_dir/wineboot.log" 2>&1 || true
# Wine draws the title bar's caption buttons with its own Marlett font and
# dialogs with its Tahoma. This Wine finds fonts only in the prefix's Fonts
# folder and through fontconfig, and wineboot puts none of its own fonts
# there: copy them in, as a normal Wine installation has them.
fonts_dir=$WINEPREFIX/drive_c/windows/Fonts
if [ ! -f "$fonts_dir/marlett.ttf" ]; then
  # "\??\Z:\usr\share\wine" as Wine's own processes see it.
  data_dir=$(wine cmd /c 'echo %WINEDATADIR%' </dev/null 2>/dev/null | tr -d '\r' || true)
  data_dir=${data_dir#'\??\'}
  data_dir=${data_dir#[Zz]:}
  data_dir=${data_dir//\\//}
  wine_fonts=$data_dir/fonts
  [ -f "$wine_fonts/marlett.ttf" ] || wine_fonts=/usr/share/wine/fonts
  if [ -f "$wine_fonts/marlett.ttf" ]; then
    mkdir -p "$fonts_dir"
    for font in "$wine_fonts"/*; do
      [ -e "$fonts_dir/${font##*/}" ] || cp "$font" "$fonts_dir/"
    done
  else
    echo "warning: Wine's own fonts (package fonts-wine) not found; title bars lack their symbols" >&2
  fi
fi
echo "wine environment ready: prefix $WINEPREFIX, display $DISPLAY"
