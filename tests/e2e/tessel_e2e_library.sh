#!/usr/bin/env bash
# tessel_e2e_library.sh PROGRAM BMP_PROBE XDND_DROP
# The library browser as a user reaches it: on a private X server and JACK dummy
# server, with HOME and the XDG folders temporary and a recording fake xdg-open first
# on PATH. Fixtures in $HOME/Music/fixtures: a WAV, a FLAC and an MP3 tone, a WAV cut
# inside its header, a 0-byte .wav and a text file named .mp3.
#  - l and FILES: the favourites and the tree rooted at the music folder; fixtures
#    expanded lists six files with their sizes; hovering the WAV shows its preview;
#  - a double click opens the WAV into the loop: jack_rec records its 440 Hz tone; the
#    three bad files opened the same way change nothing and crash nothing;
#  - f on a folder, 3 on a file; after SIGTERM and a new start both are shown;
#  - a second copy tags another file while the first favourites another folder;
#  - the six files dropped on the window (XDND): the library holds six items, three
#    ready and three failed (the program's exit line);
#  - Ctrl+Down on a folder makes it the tree's root, Ctrl+Up goes back.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
. "$here/../../tools/jack-server.sh"

if [ "${1:-}" = --session ]; then
  . "$here/e2e_library_steps.sh"
  exit 0
fi

BIN=$1 PROBE=$2 DROP=$3
e2e_need jackd jack_rec jack_lsp xvfb-run xdotool sox ffmpeg

T=$(mktemp -d "${TMPDIR:-/tmp}/tessel-e2e-lib.XXXXXX")
export T BIN PROBE DROP
export HOME=$T/home XDG_CONFIG_HOME=$T/home/.config TMPDIR=$T/scratch XDG_DATA_HOME=$T/home/.local/share
unset APPDATA XDG_MUSIC_DIR
mkdir -p "$XDG_CONFIG_HOME" "$TMPDIR" "$HOME/Music/fixtures" "$HOME/Music/other" "$HOME/Music/second" "$T/bin"
# The recording fake: every call's arguments, one line each.
printf '#!/bin/sh\necho "$@" >> "%s/xdg-open.log"\n' "$T" >"$T/bin/xdg-open"
chmod +x "$T/bin/xdg-open"
export PATH="$T/bin:$PATH"

export F=$HOME/Music/fixtures
sox -n -r 44100 -c 2 -b 16 "$F/tone.wav" synth 3 sine 440 vol 0.5
sox -n -r 48000 -c 1 "$F/tone.flac" synth 2 sine 660 vol 0.5
ffmpeg -loglevel error -f lavfi -i sine=frequency=330:duration=4:sample_rate=44100 -c:a libmp3lame "$F/tone.mp3"
head -c 30 "$F/tone.wav" >"$F/cut.wav"
: >"$F/empty.wav"
echo "this is not audio" >"$F/text.mp3"
sox -n -r 44100 -c 1 "$HOME/Music/second/other.wav" synth 1 sine 550 vol 0.5

JACK_SERVER_PID=
status=1
# TESSEL_E2E_KEEP=DIR keeps the pictures and logs there.
finish() { e2e_session_end "$T"/app*.pid; }
trap finish EXIT
fail() { echo "tessel_e2e_library: $*" >&2; exit 1; }

# Its X server resets when its last client leaves (see start in e2e_library_steps.sh).
e2e_session_run "$0" resets || fail "$(cat "$T/fail")"
cat "$T/report" 2>/dev/null

# The recorded tone: about 440 Hz, not silent.
read -r freq rms < <(sox "$T/rec.wav" -n remix 1 stat 2>&1 |
  awk '/Rough +frequency/ { f = $3 } /RMS +amplitude/ { r = $3 } END { print f, r }')
echo "tessel_e2e_library: recorded ${freq} Hz, RMS ${rms}"
awk -v f="$freq" -v r="$rms" 'BEGIN { exit !(f > 400 && f < 480 && r > 0.05) }' ||
  fail "the opened WAV's tone was not recorded (${freq} Hz, RMS ${rms})"
read -r freq2 rms2 < <(sox "$T/rec2.wav" -n remix 1 stat 2>&1 |
  awk '/Rough +frequency/ { f = $3 } /RMS +amplitude/ { r = $3 } END { print f, r }')
echo "tessel_e2e_library: after the bad files ${freq2} Hz, RMS ${rms2}"
awk -v f="$freq2" -v r="$rms2" 'BEGIN { exit !(f > 400 && f < 480 && r > 0.05) }' ||
  fail "the loop changed after the bad files (${freq2} Hz, RMS ${rms2})"

# Both copies' edits and the first session's: four edits in the two files.
D=$XDG_CONFIG_HOME/TideCoil
echo "tessel_e2e_library: favs.ini: $(tr '\n' ' ' <"$D/favs.ini")"
echo "tessel_e2e_library: tags.ini: $(tr '\n' ' ' <"$D/tags.ini")"
grep -qx "$HOME/Music/other" "$D/favs.ini" || fail "the favourite folder is not in favs.ini"
grep -qx "$HOME/Music/second" "$D/favs.ini" || fail "the first copy's favourite is not in favs.ini"
grep -qx "$HOME/Music" "$D/favs.ini" || fail "a favourite nobody removed is gone from favs.ini"
grep -qx "3|$F/tone.flac" "$D/tags.ini" || fail "the tag is not in tags.ini"
grep -qx "5|$F/tone.mp3" "$D/tags.ini" || fail "the second copy's tag is not in tags.ini"

# The drop: six items, three read and three failed.
grep -h "^library: " "$T/app3.log" | tail -1
grep -q "^library: 6 items, 3 ready, 3 failed$" "$T/app3.log" || fail "the dropped files did not end as six items"
status=0
exit 0
