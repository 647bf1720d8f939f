# Sourced by the test, screenshot, demo and benchmark scripts: a Wine prefix of
# the build's own, a persistent wineserver for it and, when asked for or when
# there is no display, an Xvfb on a free display. session_stop undoes it all,
# touching only what session_start started. The callers run under
# set -euo pipefail; a session that cannot start returns non-zero with a
# message.

session_start() { # session_start BUILD_DIR [xvfb]; SESSION_SCREEN=WxH (1024x768)
  local build
  build=$(cd "$1" && pwd)
  export WINEPREFIX="$build/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  export WINEARCH=win64
  # As on a Czech Windows: Wine speaks the language of its locale, so the
  # system's own texts (the buttons of a message box) read "Ano", "Ne",
  # "Opakovat", "Storno". tools/install-packages.sh makes the locale.
  if locale -a 2>/dev/null | grep -qix 'cs_CZ.utf-\?8'; then
    export LC_ALL=cs_CZ.UTF-8
  else
    echo "wine-session: the locale cs_CZ.UTF-8 is missing (make setup makes it): Wine speaks English" >&2
  fi
  SESSION_XVFB_PID=""
  if [ "${2:-}" = xvfb ] || [ -z "${DISPLAY:-}" ]; then
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "${SESSION_SCREEN:-1024x768}x24" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    SESSION_XVFB_PID=$!
    local number=""
    read -r number <"$fifo" || true
    rm -f "$fifo"
    if [ -z "$number" ] || ! kill -0 "$SESSION_XVFB_PID" 2>/dev/null; then
      echo "wine-session: Xvfb did not start" >&2
      SESSION_XVFB_PID=""
      return 1
    fi
    export DISPLAY=":$number"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX ..."
    wineboot --init >/dev/null 2>&1 || true
    # The wineserver keeps the new registry in memory and writes system.reg
    # only when it ends, so it is waited out before the prefix is judged.
    wineserver -w >/dev/null 2>&1 || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine-session: could not create the Wine prefix $WINEPREFIX" >&2
      session_stop
      return 1
    fi
  fi
  # Wine draws the caption buttons with the glyphs of Marlett. Debian's Wine
  # 8 never reads the fonts of its own data folder (/usr/share/wine/fonts,
  # package fonts-wine): without this copy the title bars show the letters
  # "0", "1" and "r" of a text font instead of the minimise, maximise and
  # close glyphs. The prefix's Fonts folder it does read.
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  if [ ! -f "$fonts/marlett.ttf" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    mkdir -p "$fonts"
    cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
  fi
  # A server left from the prefix creation (or another session) is waited
  # out, so that the persistent one below is ours.
  wineserver -w >/dev/null 2>&1 || true
  # On our own Xvfb there is no window manager: Wine would wait for one on
  # every hide of a window. One virtual desktop instead, in which Wine draws
  # the window frames itself. On a real display the windows are the desktop's.
  # Wine reads this when its desktop process starts, so the server that
  # wrote it is ended before the session's own one starts.
  if [ -n "$SESSION_XVFB_PID" ]; then
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null || true
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "${SESSION_SCREEN:-1024x768}" /f >/dev/null 2>&1 </dev/null || true
  else
    wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1 </dev/null || true
  fi
  wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 </dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if ! wineserver -p >/dev/null 2>&1; then
    echo "wine-session: the wineserver for $WINEPREFIX did not start" >&2
    session_stop
    return 1
  fi
  # Wine's background services start now, detached from any test's output
  # pipes (a service started by a test would hold ctest's pipe open).
  wineboot >/dev/null 2>&1 </dev/null || true
}

session_stop() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  [ -n "${WINEPREFIX:-}" ] && wineserver -w >/dev/null 2>&1 || true
  if [ -n "${SESSION_XVFB_PID:-}" ]; then
    kill "$SESSION_XVFB_PID" 2>/dev/null || true
    wait "$SESSION_XVFB_PID" 2>/dev/null || true
    SESSION_XVFB_PID=""
  fi
}
