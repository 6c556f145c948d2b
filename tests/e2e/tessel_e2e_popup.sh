#!/usr/bin/env bash
# tessel_e2e_popup.sh PROGRAM BMP_PROBE
# The popup in 640 x 1080 windows on a private X server:
# - seen 1.5.1: open at start (its magenta edge in the screenshot, kept as
#   tessel_e2e_popup.bmp), takes keys (v leaves vidopen 0), Escape stores 1.5.2, and
#   the next start shows nothing;
# - a damaged "vividkit.ini": after a discovery (l) every valid entry is still there;
# - two copies: A opens the settings, then B the library: both steps are stored.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"

INI=vividkit.ini
# The popup's top edge in a 640 x 1080 window, and the colour it is drawn in.
EDGE_X=320 EDGE_Y=191

# Starts a copy in this shell (so e2e_term can wait for it), with a scratch folder of
# its own for its screenshot requests: sets pid, wid and ptmp.
e2e_popup_start() {   # $1 = log name
  ptmp=$T/tmp-$1
  mkdir -p "$ptmp"
  TMPDIR=$ptmp "$BIN" >/dev/null 2>"$T/app-$1.log" &
  pid=$!
  echo "$pid" >>"$T/app.pids"
  wid=$(e2e_window_of "$pid") || return 1
  xdotool windowsize "$wid" 640 1080
  e2e_poll "$E2E_WAIT" sh -c "xdotool getwindowgeometry $wid | grep -q 'Geometry: 640x1080'" || return 1
}

e2e_popup_keys() {   # WID SCRATCH KEY... -> each key taken, and its slide or fade over
  local wid=$1 TMPDIR=$2
  shift 2
  timeout 10 xdotool windowfocus --sync "$wid"
  for k in "$@"; do
    xdotool key "$k"
    e2e_settle || { echo "no frame after $k" >"$T/fail"; exit 1; }
  done
}

if [ "${1:-}" = --session ]; then
  data=$XDG_CONFIG_HOME/TideCoil
  # An update: the notes open at start and take the keys.
  printf 'tessel.version_seen=1.5.1\n' >"$data/$INI"
  e2e_popup_start update || { echo "no window (update)" >"$T/fail"; exit 1; }
  TMPDIR=$ptmp e2e_settle && TMPDIR=$ptmp e2e_shot "$T/popup.bmp" || { echo "no screenshot" >"$T/fail"; exit 1; }
  e2e_popup_keys "$wid" "$ptmp" v
  grep -q '^tessel.version_seen=1.5.1$' "$data/$INI" || echo "stored before closing" >"$T/fail"
  e2e_popup_keys "$wid" "$ptmp" Escape
  cp "$data/$INI" "$T/after-escape.ini"
  e2e_term "$pid" >"$T/term-update"
  grep '^vidopen=' "$data/tessel.ini" >"$T/vidopen"
  # The next start: no popup.
  e2e_popup_start again || { echo "no window (again)" >"$T/fail"; exit 1; }
  TMPDIR=$ptmp e2e_settle && TMPDIR=$ptmp e2e_shot "$T/again.bmp" || { echo "no second screenshot" >"$T/fail"; exit 1; }
  e2e_term "$pid" >"$T/term-again"

  # A damaged file.
  { printf 'alpha=1\r\n'
    head -c 300 /dev/urandom | tr -d '\n\r=' ; printf '\n'
    printf 'long=%s' "$(head -c 4980 /dev/zero | tr '\0' 'a')"; printf 'x=y\n'
    printf 'tessel.version_seen=1.5.2\r\nbeta=two words\n'; } >"$data/$INI"
  e2e_popup_start damaged || { echo "no window (damaged file)" >"$T/fail"; exit 1; }
  e2e_popup_keys "$wid" "$ptmp" l
  e2e_term "$pid" >"$T/term-damaged"
  cp "$data/$INI" "$T/damaged.ini"

  # Two copies on one data folder.
  rm -f "$data/$INI" "$data/tessel.ini"   # the last run left the library open
  e2e_popup_start copy-a || { echo "no window (copy A)" >"$T/fail"; exit 1; }
  pa=$pid wa=$wid ta=$ptmp
  e2e_popup_start copy-b || { echo "no window (copy B)" >"$T/fail"; exit 1; }
  pb=$pid wb=$wid tb=$ptmp
  e2e_popup_keys "$wa" "$ta" ctrl+comma
  e2e_popup_keys "$wb" "$tb" l
  e2e_term "$pa" >"$T/term-a"
  e2e_term "$pb" >"$T/term-b"
  cp "$data/$INI" "$T/copies.ini"
  exit 0
fi

BIN=$1 PROBE=$2
e2e_need xvfb-run xdotool
T=$(mktemp -d "${TMPDIR:-/tmp}/tessel-e2e-popup.XXXXXX")
export T BIN
export HOME=$T/home XDG_CONFIG_HOME=$T/home/.config TMPDIR=$T/scratch
unset APPDATA XDG_MUSIC_DIR
mkdir -p "$XDG_CONFIG_HOME/TideCoil" "$TMPDIR"
export JACK_DEFAULT_SERVER="tessel-absent-$$-$RANDOM" JACK_NO_START_SERVER=1
status=1
finish() {
  [ -s "$T/app.pids" ] && kill -KILL $(cat "$T/app.pids") 2>/dev/null
  [ $status -ne 0 ] && tail -5 "$T"/app-*.log >&2 2>/dev/null
  rm -rf "$T"
}
trap finish EXIT
fail() { echo "tessel_e2e_popup: $*" >&2; exit 1; }

xvfb-run -a -s "-screen 0 1400x1200x24 -nolisten tcp -noreset" "$0" --session
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"
cp "$T/popup.bmp" "$PWD/tessel_e2e_popup.bmp" 2>/dev/null
for run in update again damaged a b; do
  read -r rc secs <"$T/term-$run" || fail "no exit status ($run)"
  [ "$rc" = 0 ] || fail "exit status $rc after SIGTERM ($run)"
done

magenta() { "$PROBE" "$1" $EDGE_X $EDGE_Y | awk 'NR == 2 { exit !($1 > 200 && $2 < 60 && $3 > 90 && $3 < 170) }'; }
magenta "$T/popup.bmp" || fail "no popup in the screenshot at start: $("$PROBE" "$T/popup.bmp" $EDGE_X $EDGE_Y | tr '\n' ' ')"
magenta "$T/again.bmp" && fail "the popup opened again at the second start"
grep -q '^vidopen=0$' "$T/vidopen" || fail "a key reached the program under the popup ($(cat "$T/vidopen"))"
grep -q '^tessel.version_seen=1.5.2$' "$T/after-escape.ini" || fail "Escape did not store 1.5.2"
echo "tessel_e2e_popup: update: open at start, v taken, Escape stored 1.5.2, no popup at the next start"

for want in 'alpha=1' 'beta=two words' 'tessel.version_seen=1.5.2' 'tessel.training_done=library'; do
  grep -qxF "$want" "$T/damaged.ini" || fail "the damaged file lost \"$want\": $(cat -v "$T/damaged.ini" | head -c 400)"
done
grep -q '^x=' "$T/damaged.ini" && fail "the long line's tail became an entry"
echo "tessel_e2e_popup: damaged file: valid entries kept after a discovery"

grep -qx 'tessel.version_seen=1.5.2' "$T/copies.ini" || fail "two copies: no version_seen 1.5.2"
done_line=$(grep '^tessel.training_done=' "$T/copies.ini")
case ",${done_line#*=}," in *,settings,*) ;; *) fail "two copies: settings missing from $done_line" ;; esac
case ",${done_line#*=}," in *,library,*) ;; *) fail "two copies: library missing from $done_line" ;; esac
echo "tessel_e2e_popup: two copies: $done_line"
status=0
exit 0
