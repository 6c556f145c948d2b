#!/usr/bin/env bash
# tessel_e2e_dnssd.sh PROGRAM - the station's DNS-SD announcement as a browser on the
# local network sees it. A network namespace with only lo, a system bus of the test's
# own and avahi-daemon inside the namespace (so mDNS never leaves the machine); the
# program outside reaches the daemon over that bus. w: avahi-browse resolves
# "Tessel · <host>" on port 47482 with its 11 TXT pairs; w off: gone; w on and the
# daemon killed: one "DNS-SD register failed" line, and the station still serves.
# Exits 77 with the reason when not root, when the namespace cannot be made, or when
# a tool is missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
PORT=47482
LISTEN="python3 $here/tc_listen.py"

skip() { echo "tessel_e2e_dnssd: $*: skipped" >&2; exit 77; }
log_has() { grep -q "$1" "$T/app.log"; }
session_fail() { echo "$*" >"$T/fail"; kill -KILL "$apid" 2>/dev/null; exit 1; }
key() { timeout 10 xdotool windowfocus --sync "$wid"; sleep 0.2; xdotool key "$1"; }
in_ns() { ip netns exec "$NS" env DBUS_SYSTEM_BUS_ADDRESS="$BUS" "$@"; }
# browse -> one resolved listing of the service type, as avahi-browse prints it.
browse() { in_ns timeout 10 avahi-browse -rpt _tc-stream._tcp 2>/dev/null | grep '^=' >"$T/browse"; }
listed() { browse; grep -q ";$PORT;" "$T/browse"; }
unlisted() { browse; ! grep -q ";$PORT;" "$T/browse"; }

# The resolved line's name and TXT, with avahi-browse's \DDD escapes undone.
check_listing() {
  python3 - "$T/browse" "$SID" "$(hostname)" <<'EOF'
import re, sys
line = [l for l in open(sys.argv[1], encoding="utf-8", errors="replace") if ";47482;" in l][0].rstrip("\n")
def unescape(s):
    return re.sub(rb"\\(\d{3})", lambda m: bytes([int(m.group(1))]), s.encode()).decode("utf-8", "replace")
f = line.split(";")
name, txt = unescape(f[3]), f[9]
pairs = dict(p.split("=", 1) for p in re.findall(r'"([^"]*)"', txt))
want = {"tc": None, "v": None, "app": "tessel", "an": "Tessel", "kind": "output", "dev": None,
        "sid": sys.argv[2], "codec": "pcm16", "ch": "2", "rate": "48000", "os": "linux"}
bad = []
if not name.startswith("Tessel \u00b7 "):
    bad.append("name %r" % name)
if set(pairs) != set(want):
    bad.append("keys %s" % sorted(pairs))
for k, v in want.items():
    if v is not None and pairs.get(k) != v:
        bad.append("%s=%r" % (k, pairs.get(k)))
print("listing: %s; %d TXT pairs: %s" % (name, len(pairs), " ".join("%s=%s" % kv for kv in sorted(pairs.items()))))
if bad:
    print("bad: " + ", ".join(bad))
    sys.exit(1)
EOF
}

session() {
  local rc secs
  e2e_program_start || session_fail "no window"
  key w
  e2e_poll "$E2E_WAIT" log_has "tcstream: station Tessel on :$PORT" || session_fail "not on air"
  e2e_poll "$E2E_WAIT" listed || session_fail "avahi-browse did not resolve the station"
  SID=$(cat "$XDG_CONFIG_HOME/TideCoil/stream.tessel.sid")
  check_listing >"$T/listing" 2>&1 || session_fail "$(cat "$T/listing")"
  log_has "tcstream: advertised" || session_fail "no advertised line"
  key w
  e2e_poll "$E2E_WAIT" unlisted || session_fail "still listed after w off"
  key w
  e2e_poll "$E2E_WAIT" listed || session_fail "not listed again after w on"
  kill -KILL "$AVAHI_PID"
  e2e_poll "$E2E_WAIT" log_has "DNS-SD register failed" || session_fail "no register failed line after the daemon died"
  [ "$(grep -c "DNS-SD register failed" "$T/app.log")" = 1 ] || session_fail "not one register failed line"
  $LISTEN hello 3 >"$T/served" 2>&1 || session_fail "the station did not serve after the daemon died"
  e2e_term "$apid" >"$T/term"
  read -r rc secs <"$T/term"
  [ "$rc" = 0 ] || session_fail "exit status $rc after SIGTERM"
}

if [ "${1:-}" = --session ]; then
  cd "$T"
  session
  exit 0
fi

BIN=$1
[ "$(id -u)" = 0 ] || skip "not root"
for tool in avahi-daemon avahi-browse dbus-daemon ip xvfb-run xdotool python3 ss; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing"
done
holder=$(ss -ltnpH "sport = :$PORT" 2>/dev/null)
[ -z "$holder" ] || skip "port $PORT is held: $holder"
e2e_private_home tessel-dnssd
NS=tessel-dnssd-$$
ip netns add "$NS" 2>"$T/netns.err" || { cat "$T/netns.err" >&2; rm -rf "$T"; skip "ip netns add failed"; }
status=1
pids=()
finish() {
  local p
  [ -s "$T/app.pid" ] && kill -KILL "$(cat "$T/app.pid")" 2>/dev/null
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do e2e_poll 3 e2e_gone "$p" || kill -KILL "$p" 2>/dev/null; done
  ip netns del "$NS" 2>/dev/null
  if [ "$status" -ne 0 ] && [ -s "$T/app.log" ]; then
    echo "--- program's standard error:" >&2
    cat "$T/app.log" >&2
    echo "--- avahi-daemon:" >&2
    tail -20 "$T/avahi.log" >&2
  fi
  rm -rf "$T"
}
trap finish EXIT
fail() { echo "tessel_e2e_dnssd: $*" >&2; exit 1; }

ip netns exec "$NS" ip link set lo up multicast on || fail "lo did not come up in the namespace"

# A system bus of the test's own, with Avahi's policy beside a permissive default.
BUS=unix:path=$T/system_bus
cat >"$T/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>$BUS</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
  <includedir>/usr/share/dbus-1/system.d</includedir>
</busconfig>
EOF
dbus-daemon --config-file="$T/bus.conf" --nofork --nopidfile >"$T/dbus.log" 2>&1 &
pids+=($!)
e2e_poll "$E2E_WAIT" test -S "$T/system_bus" || fail "the test's bus did not come up: $(cat "$T/dbus.log")"

cat >"$T/avahi.conf" <<EOF
[server]
allow-interfaces=lo
use-ipv4=yes
use-ipv6=no
enable-dbus=yes
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
EOF
# Its pid file and socket on a tmpfs of its own: the mount lives in the namespace's
# private mount namespace only.
ip netns exec "$NS" env DBUS_SYSTEM_BUS_ADDRESS="$BUS" sh -c \
  "mkdir -p /run/avahi-daemon && mount -t tmpfs tmpfs /run/avahi-daemon &&
   exec avahi-daemon -f '$T/avahi.conf' --no-drop-root --no-chroot --no-rlimits" >"$T/avahi.log" 2>&1 &
AVAHI_PID=$!
pids+=("$AVAHI_PID")
e2e_poll "$E2E_WAIT" grep -q "Server startup complete" "$T/avahi.log" || fail "avahi-daemon did not start: $(tail -3 "$T/avahi.log")"
export BIN NS BUS AVAHI_PID DBUS_SYSTEM_BUS_ADDRESS=$BUS
export JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER=tessel-no-server
xvfb-run -a -s "-screen 0 1280x1200x24 -nolisten tcp -noreset" "$0" --session
[ -e "$T/fail" ] && fail "$(cat "$T/fail")"
sed "s/^/tessel_e2e_dnssd: /" "$T/listing"
status=0
exit 0
