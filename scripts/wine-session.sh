# Sourced by the run scripts: one Xvfb on a free display and one kept wineserver for the whole run.
# Needs WINE_RUN (the build tree's wine-run); stops both on exit.

kcfStartXvfb() {
  local n
  for n in $(seq 90 199); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    KCF_XVFB_PID=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
      kill -0 "$KCF_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
  done
  echo "wine-session: no free display for Xvfb" >&2
  return 1
}

kcfStopSession() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  [ -n "${KCF_XVFB_PID:-}" ] && kill "$KCF_XVFB_PID" 2>/dev/null || true
}

kcfStartSession() {
  export WINEPREFIX
  WINEPREFIX=$(sed -n 's/^export WINEPREFIX="\(.*\)"$/\1/p' "$WINE_RUN")
  export WINEDEBUG=-all
  trap kcfStopSession EXIT
  kcfStartXvfb
  mkdir -p "$WINEPREFIX"
  wineserver -k >/dev/null 2>&1 || true   # a server left from an earlier run would not be ours to keep
  wineserver -p
  "$WINE_RUN" cmd /c exit 0 >/dev/null 2>&1 || true   # makes the prefix on first use
  # No window manager runs on the virtual display: Wine manages its windows itself, or closing
  # each window would wait two seconds for a manager that never answers.
  "$WINE_RUN" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
}
