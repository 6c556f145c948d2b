#!/usr/bin/env bash
# Installs the Debian packages Tessel's build, program and tests need, only those
# missing, and any further packages named as arguments (make fuzz names its
# compiler). Safe to run again and again.
set -eu
pkgs=(
  build-essential cmake pkg-config
  libsdl2-dev portaudio19-dev
  jackd2 libjack-jackd2-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils x11-xserver-utils sox jq openbox twm xdg-utils procps util-linux
  ffmpeg libavformat-dev libavcodec-dev libswresample-dev libswscale-dev libavutil-dev
  libegl1 libgl1 libgl-dev libegl-mesa0 libgl1-mesa-dri
  libx11-dev libasound2-dev libavahi-client-dev
  libfreetype-dev libfontconfig-dev woff2 fonts-dejavu-core
  libcurl4-openssl-dev python3
  dragonfly-reverb-vst dpf-plugins-vst lsp-plugins-vst
  pipewire pipewire-jack pipewire-alsa wireplumber dbus
  avahi-daemon avahi-utils iproute2 python3
  "$@"
)
# tools/make-fonts.sh makes the display fonts with npm; a Node.js of its own may bring it.
command -v npm >/dev/null || pkgs+=(npm)
missing=()
for p in "${pkgs[@]}"; do
  st=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$st" = "installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "setup: installing ${missing[*]}"
# As root apt-get runs directly; otherwise through sudo, keeping the environment
# so that DEBIAN_FRONTEND reaches it.
run=()
[ "$(id -u)" -eq 0 ] || run=(sudo -E)
export DEBIAN_FRONTEND=noninteractive
# No service the packages bring may start: avahi-daemon runs only inside the DNS-SD
# test's own network namespace, so mDNS never leaves the machine. A machine without
# a policy of its own gets one that refuses every start for the install's length.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | "${run[@]}" tee "$policy" >/dev/null
  "${run[@]}" chmod 755 "$policy"
  trap '"${run[@]}" rm -f "$policy"' EXIT
fi
"${run[@]}" apt-get update -qq
"${run[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
