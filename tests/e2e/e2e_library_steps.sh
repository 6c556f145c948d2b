# e2e_library_steps.sh - the session of tessel_e2e_library.sh inside xvfb-run (sourced).
# Pictures and recordings go to $T, the working folder; a failure is written to $T/fail.
cd "$T" || exit 1

stop() { echo "$1" >"$T/fail"; for f in "$T"/app*.pid; do kill -KILL "$(cat "$f")" 2>/dev/null; done; exit 1; }

# start N [FILE] -> runs the program as app N (with FILE as its argument), with a
# scratch folder of its own for its screenshot requests (TMPDIR, the last started's);
# sets wid.
start() {
  export TMPDIR=$T/tmp-$1
  mkdir -p "$TMPDIR"
  local pid try
  shown() {
    kill -0 "$pid" 2>/dev/null || return 0
    wid=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | tail -1)
    [ -n "$wid" ]
  }
  # This X server resets whenever its last client leaves, and refuses connections made
  # meanwhile: a copy started then finds no display, says so and ends. It is started
  # again; any other end fails the session.
  for try in 1 2 3; do
    "$BIN" "${@:2}" >"$T/app$1.out" 2>"$T/app$1.log" &
    pid=$!
    echo "$pid" >"$T/app$1.pid"
    e2e_poll "$E2E_WAIT" shown "$1" || stop "no window for app $1"
    kill -0 "$pid" 2>/dev/null && break
    wait "$pid"
    grep -q "no display could be opened" "$T/app$1.log" && [ "$try" -lt 3 ] || stop "app $1 ended by itself"
  done
  # A loaded copy may map its window again while it settles: ask once it draws, and
  # take the window it shows then.
  e2e_sync || stop "no frame from app $1"
  e2e_poll "$E2E_WAIT" shown "$1" && kill -0 "$pid" 2>/dev/null || stop "no window for app $1 after its first frame"
  xdotool windowraise "$wid"
  timeout 10 xdotool windowfocus --sync "$wid"
  e2e_settle || stop "no frame from app $1"
}
geom() { e2e_geom "$1"; }
px() { e2e_px "$1"; }
py() { e2e_py "$1"; }
at() { e2e_at "$wid" "$1" "$2"; }
# Tree rows (row 0: the parent row) and favourites rows, in units.
TX=-300
row_y() { echo $((88 + 26 * $1 + 13)); }
fav_y() { echo $((88 + 8 + 26 * $1 + 13)); }
shot() { e2e_shot "$T/$1.bmp" || stop "no screenshot $1"; }
# shot_until NAME TEST... -> screenshots as NAME until TEST... holds ($E2E_WAIT); 1 if never.
shot_until() {
  local name=$1 start
  shift
  start=$(e2e_now)
  until shot "$name" && "$@"; do
    awk -v e="$(e2e_elapsed "$start")" -v l="$E2E_WAIT" 'BEGIN { exit !(e > l) }' && return 1
  done
  return 0
}
# rec_tone FILE -> records 2 s of the program's output until it holds a sound (RMS above
# 0.05), the loaded file having reached the loop ($E2E_WAIT); 1 if never.
rec_tone() {
  local start
  start=$(e2e_now)
  until timeout 20 jack_rec -f "$1" -d 2 tessel:out_0 tessel:out_1 >/dev/null 2>&1 &&
    sox "$1" -n stat 2>&1 | awk '/RMS +amplitude/ { exit !($3 > 0.05) }'; do
    awk -v e="$(e2e_elapsed "$start")" -v l="$E2E_WAIT" 'BEGIN { exit !(e > l) }' && return 1
  done
  return 0
}
# ink PICTURE UY UX0 UX1 -> how many pixels along the line are light (text, strips).
ink() {
  local args="" x
  for x in $(seq "$(px "$3")" "$(px "$4")"); do args="$args $x $(py "$2")"; done
  # shellcheck disable=SC2086
  "$PROBE" "$T/$1.bmp" $args | tail -n +2 | awk '$1 + $2 + $3 > 150 { n++ } END { print n + 0 }'
}
note() { echo "tessel_e2e_library: $*" >>"$T/report"; }

# -- First run: the browser, a preview, opening files, a favourite and a tag ----------
start 1
xdotool key l
e2e_settle || stop "no frame after l"
geom "$wid"
at -155 68
xdotool click 1
listed() { [ "$(ink files "$(fav_y 1)" -580 -420)" -gt 3 ] && [ "$(ink files "$(row_y 1)" -390 -200)" -gt 3 ]; }
shot_until files listed
[ "$(ink files "$(fav_y 1)" -580 -420)" -gt 3 ] || stop "no favourites listed"
[ "$(ink files "$(row_y 1)" -390 -200)" -gt 3 ] || stop "the tree does not list the music folder"
at $TX "$(row_y 1)"
xdotool click 1   # fixtures
at 100 500
expanded() {
  local r
  for r in 2 3 4 5 6 7; do [ "$(ink expanded "$(row_y $r)" -390 -250)" -gt 3 ] || return 1; done
  for r in 2 4 5 6 7; do [ "$(ink expanded "$(row_y $r)" -80 -26)" -gt 2 ] || return 1; done
}
shot_until expanded expanded
for r in 2 3 4 5 6 7; do
  [ "$(ink expanded "$(row_y $r)" -390 -250)" -gt 3 ] || stop "fixture row $r has no name"
done
for r in 2 4 5 6 7; do
  [ "$(ink expanded "$(row_y $r)" -80 -26)" -gt 2 ] || stop "fixture row $r has no size"
done
note "six fixtures listed, five sizes shown (the 0-byte file has none)"
before=$(ink expanded "$(row_y 7)" -380 -100)
at $TX "$(row_y 7)"
previewed() { [ "$(ink hover "$(row_y 7)" -380 -100)" -gt $((before + 40)) ]; }
shot_until hover previewed
after=$(ink hover "$(row_y 7)" -380 -100)
note "hovered WAV row: $before light pixels before, $after with its preview"
[ "$after" -gt $((before + 40)) ] || stop "the hovered WAV shows no preview strip ($before -> $after)"

xdotool click --repeat 2 --delay 60 1
e2e_poll "$E2E_WAIT" sh -c 'timeout 5 jack_lsp 2>/dev/null | grep -q "^tessel:out_1$"' || stop "no tessel:out ports"
rec_tone "$T/rec.wav" || stop "no sound from the opened WAV"
for r in 2 3 4; do
  at $TX "$(row_y $r)"
  xdotool click --repeat 2 --delay 60 1
  e2e_sync || stop "no frame after the double click on row $r"
done
kill -0 "$(cat "$T/app1.pid")" 2>/dev/null || stop "the program ended after the bad files"
timeout 20 jack_rec -f "$T/rec2.wav" -d 2 tessel:out_0 tessel:out_1 >/dev/null 2>&1 || stop "jack_rec failed"

at $TX "$(row_y 8)"
xdotool click 1   # other: selected (and expanded)
e2e_sync || stop "no frame after the click on other"
xdotool key f
e2e_sync || stop "no frame after f"
at $TX "$(row_y 5)"
xdotool click 1   # tone.flac
e2e_sync || stop "no frame after the click on tone.flac"
xdotool key 3
e2e_poll "$E2E_WAIT" grep -qx "3|$F/tone.flac" "$XDG_CONFIG_HOME/TideCoil/tags.ini" || stop "the tag was never written"
e2e_poll "$E2E_WAIT" grep -qx "$HOME/Music/other" "$XDG_CONFIG_HOME/TideCoil/favs.ini" || stop "the favourite was never written"
shot tagged
e2e_term "$(cat "$T/app1.pid")" >"$T/term1"
read -r rc _ <"$T/term1"
[ "$rc" = 0 ] || stop "first run: exit status $rc"
rm -f "$T/app1.pid"

# -- Second run: both shown again; a second copy beside it ----------------------------
start 2
geom "$wid"
w2=$wid t2=$TMPDIR
args=""
for dy in -3 -2 -1 0 1 2 3; do
  for x in $(seq "$(px -200)" "$(px -26)"); do args="$args $x $(py $(($(row_y 5) + dy)))"; done
done
# shellcheck disable=SC2086
amber_of() { "$PROBE" "$T/restored.bmp" $args | tail -n +2 | awk '$1 > 150 && $2 > 100 && $3 < 120 { n++ } END { print n + 0 }'; }
restored() { [ "$(ink restored "$(fav_y 3)" -580 -420)" -gt 3 ] && [ "$(amber_of)" -gt 2 ]; }
shot_until restored restored
[ "$(ink restored "$(fav_y 3)" -580 -420)" -gt 3 ] || stop "the new favourite is not shown after a restart"
amber=$(amber_of)
note "after a restart: favourite row shown, $amber amber tag pixels on tone.flac"
[ "$amber" -gt 2 ] || stop "the tag digit is not shown after a restart"

start 2b
w3=$wid t3=$TMPDIR
# Side by side, so each click lands on the copy it is meant for.
xdotool windowmove --sync "$w3" 1300 0
e2e_sync || stop "no frame from the second copy after its move"
# The second copy tags tone.mp3 with 5; the first makes "second" a favourite.
# SDL drops a click its window gets within 10 ms of taking the focus (a copy busy
# drawing sees both at once), and f then toggles the tree's root instead: the first
# copy's row is clicked before its window takes the focus, and the key comes once the
# focus has settled (SDL hands it over some 200 ms after the copy sees it).
D=$XDG_CONFIG_HOME/TideCoil
at $TX "$(row_y 6)"
xdotool click 1
sleep 0.2
xdotool key 5
wid=$w2
at $TX "$(row_y 9)"
xdotool click 1
timeout 10 xdotool windowfocus --sync "$wid" || stop "the first copy's window took no focus"
TMPDIR=$t2 e2e_settle || stop "no frame from the first copy after its focus"
xdotool key f
# A busy copy may write a good second after its key: each file is watched for its line.
e2e_poll "$E2E_WAIT" grep -qx "5|$F/tone.mp3" "$D/tags.ini" || stop "the second copy's tag was never written"
e2e_poll "$E2E_WAIT" grep -qx "$HOME/Music/second" "$D/favs.ini" || stop "the first copy's favourite was never written"
# Each copy's 500 ms poll sees the other's write before it ends: 32 frames of each
# (more than half a second of its clock) pass first.
for t in "$t2" "$t3"; do TMPDIR=$t e2e_settle && TMPDIR=$t e2e_settle || stop "no frames before the end"; done
for n in 2 2b; do
  e2e_term "$(cat "$T/app$n.pid")" >"$T/term$n"
  read -r rc _ <"$T/term$n"
  [ "$rc" = 0 ] || stop "app $n: exit status $rc"
  rm -f "$T/app$n.pid"
done

# -- Third run: the six files dropped on the window -----------------------------------
start 3
geom "$wid"
"$DROP" "$wid" 300 500 "$F/tone.wav" "$F/tone.flac" "$F/tone.mp3" "$F/cut.wav" "$F/empty.wav" "$F/text.mp3" ||
  stop "the drop was not taken"
e2e_sync || stop "no frame after the drop"
sleep 4   # the reads of the six files (the program tells their end only at exit)
shot dropped
kill -0 "$(cat "$T/app3.pid")" 2>/dev/null || stop "the program ended after the drop"
e2e_term "$(cat "$T/app3.pid")" >"$T/term3"
rm -f "$T/app3.pid"

# -- Fourth run: Ctrl+Down makes the selected folder (row 9, second) the root, Ctrl+Up goes back
# sized NAME -> whether row 1 (other.wav once rooted, else a folder) shows a size, in a new picture.
sized() { shot "$1"; [ "$(ink "$1" "$(row_y 1)" -80 -26)" -gt 2 ]; }
start 4
geom "$wid"
at $TX "$(row_y 9)"
xdotool click 1 sleep 0.3 key ctrl+Down
e2e_poll "$E2E_WAIT" sized rooted || stop "Ctrl+Down did not open the folder: no other.wav with its size on row 1"
xdotool key ctrl+Up
e2e_poll "$E2E_WAIT" eval '! sized unrooted' || stop "Ctrl+Up did not go back to the music folder"
e2e_term "$(cat "$T/app4.pid")" >"$T/term4"

# -- A file named at start: the library comes up on LOOPS with the takes listed --------
mkdir -p "$HOME/Music/tessel"
sox -n -r 48000 -c 2 "$HOME/Music/tessel/tessel-20250102-030405.wav" synth 1 sine 440 vol 0.3
sed -i 's/^libopen=.*/libopen=0/; s/^libtab=.*/libtab=0/' "$XDG_CONFIG_HOME/TideCoil/tessel.ini"   # closed on LOOPS
start 6 "$F/tone.wav"
geom "$wid"
# The first row's date runs past where "EMPTY" would end.
shot_until loops eval '[ "$(ink loops 109 -520 -380)" -gt 20 ]'
[ "$(ink loops 109 -520 -380)" -gt 20 ] || stop "LOOPS is empty at a start with a file argument"
e2e_term "$(cat "$T/app6.pid")" >"$T/term6"
rm -f "$T"/app[4-6].pid
