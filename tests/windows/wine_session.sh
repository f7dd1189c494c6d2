#!/bin/sh
# One Wine session for the whole run of the Windows tests. `start` makes the
# prefix afresh, then starts its wineserver, kept running, and Wine's own
# processes (services, devices) once, with their output in LOG. Each test's
# Wine client then only joins the session. Started by a test's client
# instead, those processes would hold that test's stdout and stderr open and
# write into them, until the session winds down when every test has left it:
# a test's output and its end would hang on the others. `stop` ends the
# session and removes the prefix; LOG stays for the evidence of a failure.
#   WINEPREFIX=... wine_session.sh start LOG | stop
set -eu
case ${1-} in
  start)
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    { wineserver -p && wine cmd /c exit; } >"$2" 2>&1 </dev/null
    ;;
  stop)
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    ;;
  *)
    echo "usage: wine_session.sh start LOG | stop" >&2
    exit 2
    ;;
esac
