#!/usr/bin/env bash
# Makes the video files the video tests play, into the folder given (once; a stamp
# file marks a finished set). Every frame carries its number twice: in digits for eyes,
# and for machines as a strip of 16 square luma cells across the top (cell size
# C = floor(width / 16), bit 0 leftmost, white = 1).
#   make_video_fixtures.sh DIR [--hd]    --hd adds the 1080p file the benchmark plays
# Exit 77 (skipped) without ffmpeg.
set -eu
dir=${1:?usage: make_video_fixtures.sh DIR [--hd]}
hd=${2:-}
command -v ffmpeg >/dev/null || { echo "ffmpeg missing: video fixtures skipped"; exit 77; }
mkdir -p "$dir"
exec 9>"$dir/.lock"
flock 9

stamp="$dir/.made-v2"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# numbered W H SECONDS OUT CODEC-ARGS...: testsrc with the frame number and the strip.
numbered() {
  local w=$1 h=$2 d=$3 out=$4; shift 4
  local c=$((w / 16))
  local lum="255*mod(floor(N/pow(2\,floor(X/$c)))\,2)"
  ff -f lavfi -i "testsrc=s=${w}x${h}:r=30:d=$d" \
     -f lavfi -i "nullsrc=s=$((16 * c))x$c:r=30:d=$d,format=yuv444p,geq=lum='$lum':cb=128:cr=128" \
     -filter_complex "[0][1]overlay=0:0:shortest=1,drawtext=fontfile=$font:text='%{frame_num}':x=8:y=$c+8:fontsize=$((h / 6)):fontcolor=white:box=1:boxcolor=black" \
     "$@" "$dir/$out.tmp.${out##*.}"
  mv "$dir/$out.tmp.${out##*.}" "$dir/$out"
}

if [ ! -e "$stamp" ]; then
  numbered 320 180 4 ffv1.mkv -c:v ffv1 -pix_fmt yuv420p
  numbered 640 360 4 h264.mp4 -c:v libx264 -preset veryfast -g 60 -bf 2 -pix_fmt yuv420p -movflags +faststart
  numbered 320 180 3 mpeg4.avi -c:v mpeg4 -q:v 2 -g 30
  numbered 320 180 3 vp9.webm -c:v libvpx-vp9 -crf 20 -b:v 0 -deadline realtime -cpu-used 8 -g 30
  numbered 320 180 3 mjpeg.mov -c:v mjpeg -q:v 2 -pix_fmt yuvj420p
  numbered 320 180 3 wmv2.wmv -c:v wmv2 -q:v 2 -g 30
  numbered 321 241 2 odd_ffv1.mkv -c:v ffv1 -pix_fmt yuv420p
  numbered 321 241 2 odd_h264.mp4 -c:v libx264 -preset veryfast -pix_fmt yuv444p
  # The same pictures, marked to be shown turned (the muxer's rotate tag).
  for r in 90 180 270; do
    ff -i "$dir/h264.mp4" -c copy -metadata:s:v:0 rotate=$r "$dir/rot$r.mp4"
  done
  ff -f lavfi -i sine=d=1 -c:a aac "$dir/audio_only.mp4"
  # Damaged: cut at 60 %, and bytes flipped every 1,999 bytes in the second half.
  size=$(stat -c %s "$dir/h264.mp4")
  head -c $((size * 60 / 100)) "$dir/h264.mp4" > "$dir/cut.mp4"
  perl -e 'local $/; my $d = <STDIN>; my $n = length $d;
           for (my $i = int($n / 2); $i < $n; $i += 1999) { substr($d, $i, 1) = chr(ord(substr($d, $i, 1)) ^ 0xFF) }
           print $d' < "$dir/h264.mp4" > "$dir/flipped.mp4"
  # Without +faststart the index comes last: cut, the file has none.
  ff -i "$dir/h264.mp4" -c copy "$dir/tail_index.mp4"
  size=$(stat -c %s "$dir/tail_index.mp4")
  head -c $((size * 60 / 100)) "$dir/tail_index.mp4" > "$dir/cut_no_index.mp4"
  rm -f "$dir/tail_index.mp4"
  : > "$dir/zero.mp4"
  echo "this is not a video" > "$dir/text.mp4"
  rm -f "$dir/fifo.mp4"
  mkfifo "$dir/fifo.mp4"
  touch "$stamp"
fi

if [ "$hd" = "--hd" ] && [ ! -e "$dir/hd.mp4" ]; then
  numbered 1920 1080 10 hd.mp4 -c:v libx264 -preset ultrafast -g 60 -pix_fmt yuv420p -movflags +faststart
fi
exit 0
