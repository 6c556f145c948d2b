#!/usr/bin/env bash
# Makes the two display fonts the text renderer loads from fonts/ beside the program:
# fetches the fontsource packages with npm, takes their Latin woff2 files and turns
# them into TrueType with woff2_decompress. Usage: make-fonts.sh <work dir> <fonts dir>
# Never fails the build: a font that cannot be made is reported and left out, and the
# program then draws those chains with fontconfig's faces.
set -u
work=$1
out=$2
mkdir -p "$work" "$out"
make_font() {  # package, woff2 name inside the package, TrueType name
  local pkg=$1 woff=$2 ttf=$3
  [ -s "$out/$ttf" ] && return 0
  if ! command -v npm >/dev/null || ! command -v woff2_decompress >/dev/null; then
    echo "fonts: npm or woff2_decompress missing; $ttf not made, fontconfig faces stand in" >&2
    return 0
  fi
  local dir="$work/${pkg//\//_}"
  rm -rf "$dir" && mkdir -p "$dir"
  if ! (cd "$dir" && npm pack --silent "$pkg" >/dev/null 2>&1 && tar xzf ./*.tgz); then
    echo "fonts: could not fetch $pkg with npm; $ttf not made, fontconfig faces stand in" >&2
    return 0
  fi
  cp "$dir/package/files/$woff" "$dir/font.woff2" 2>/dev/null &&
    woff2_decompress "$dir/font.woff2" >/dev/null 2>&1 && [ -s "$dir/font.ttf" ] &&
    cp "$dir/font.ttf" "$out/$ttf.tmp" && mv "$out/$ttf.tmp" "$out/$ttf" && return 0
  echo "fonts: could not turn $woff into $ttf; fontconfig faces stand in" >&2
  return 0
}
make_font @fontsource/micro-5 micro-5-latin-400-normal.woff2 Micro5-Regular.ttf
make_font @fontsource/finlandica finlandica-latin-400-normal.woff2 Finlandica.ttf
exit 0
