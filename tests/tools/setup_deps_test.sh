#!/usr/bin/env bash
# setup_deps_test.sh SCRIPT
# Runs the set-up script against stand-ins for apt-get, dpkg-query, sudo and id that
# record how they were called: once as root (apt-get must run directly) and once as
# an ordinary user (apt-get must run through "sudo -E"); each time with every package
# missing, and once more with every package present (nothing may be installed).
set -u
script=$1
T=$(mktemp -d "${TMPDIR:-/tmp}/setup-deps-test.XXXXXX")
trap 'rm -rf "$T"' EXIT
fail() { echo "setup_deps_test: $*" >&2; exit 1; }

mkdir -p "$T/bin"
# Each stand-in appends one line "name args..." to the log.
cat >"$T/bin/apt-get" <<'STUB'
#!/bin/sh
echo "apt-get $* [frontend=${DEBIAN_FRONTEND:-}] [via=${VIA_SUDO:-direct}]" >>"$STUB_LOG"
STUB
cat >"$T/bin/sudo" <<'STUB'
#!/bin/sh
echo "sudo $*" >>"$STUB_LOG"
[ "$1" = -E ] && shift
VIA_SUDO=sudo exec "$@"
STUB
cat >"$T/bin/id" <<'STUB'
#!/bin/sh
[ "$1" = -u ] && { echo "$STUB_UID"; exit 0; }
exit 1
STUB
cat >"$T/bin/dpkg-query" <<'STUB'
#!/bin/sh
echo "dpkg-query $*" >>"$STUB_LOG"
[ "$STUB_INSTALLED" = 1 ] && printf installed
exit 0
STUB
chmod +x "$T/bin"/*

# run UID INSTALLED -> the log of one run; the script's exit status in $T/rc
run() {
  : >"$T/log"
  STUB_LOG=$T/log STUB_UID=$1 STUB_INSTALLED=$2 PATH="$T/bin:$PATH" bash "$script" >"$T/out" 2>&1
  echo $? >"$T/rc"
}

#  uid  installed  expected apt-get lines (update, install) and sudo lines
cases=(
  "0    0  direct 2 0"
  "1000 0  sudo   2 2"
  "0    1  none   0 0"
  "1000 1  none   0 0"
)
for c in "${cases[@]}"; do
  read -r uid inst via apt sudo <<<"$c"
  run "$uid" "$inst"
  what="uid $uid, packages installed=$inst"
  [ "$(cat "$T/rc")" = 0 ] || { cat "$T/out" >&2; fail "$what: exit status $(cat "$T/rc")"; }
  grep -q "command not found" "$T/out" && fail "$what: $(cat "$T/out")"
  n_apt=$(grep -c '^apt-get ' "$T/log")
  n_sudo=$(grep -c '^sudo ' "$T/log")
  [ "$n_apt" = "$apt" ] || fail "$what: $n_apt apt-get calls, expected $apt"
  [ "$n_sudo" = "$sudo" ] || fail "$what: $n_sudo sudo calls, expected $sudo"
  grep -q '^dpkg-query -W' "$T/log" || fail "$what: packages were not looked up"
  if [ "$apt" != 0 ]; then
    grep -q "^apt-get update .*\[via=$via\]" "$T/log" || fail "$what: apt-get update not run $via"
    grep "^apt-get install " "$T/log" | grep -q "\[frontend=noninteractive\] \[via=$via\]" ||
      fail "$what: apt-get install not run $via and non-interactive"
    grep "^apt-get install " "$T/log" | grep -qw cmake || fail "$what: the missing packages were not named"
  fi
  [ "$sudo" = 0 ] || grep -q '^sudo -E apt-get install' "$T/log" || fail "$what: sudo did not keep the environment"
  echo "setup_deps_test: $what: $n_apt apt-get, $n_sudo sudo ($via)"
done
