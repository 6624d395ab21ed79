#!/usr/bin/env bash
# End-to-end runs of the built plugin through gst-launch-1.0 with a registry
# of their own: PNG files from the virtual camera, a sync=true sink without
# a latency warning, and a clean end on Ctrl-C with -e.
# usage: e2e.sh <gst-launch-1.0> <folder of libgstteko32.so> <work folder>
set -euo pipefail
launch=$1
export GST_PLUGIN_PATH=$2
work=$3
rm -rf "$work" && mkdir -p "$work"
export GST_REGISTRY=$work/registry.bin
fail() { echo "FAIL: $*" >&2; exit 1; }

# PNG width and height from the IHDR chunk.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{printf "%dx%d", $3*256+$4, $7*256+$8}'; }

echo "== 10 PNG files, 640x480"
"$launch" -q tekosrc device=virtual num-buffers=10 ! videoconvert ! pngenc ! \
  multifilesink location="$work/frame%02d.png" || fail "pipeline failed"
count=$(ls "$work"/frame*.png | wc -l)
[ "$count" -eq 10 ] || fail "$count files instead of 10"
for f in "$work"/frame*.png; do
  [ "$(head -c 8 "$f" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$f is no PNG"
  [ "$(png_size "$f")" = 640x480 ] || fail "$f is $(png_size "$f")"
done

echo "== each format at an odd size into PNG"
for format in BGR RGB15 UYVY; do
  "$launch" -q tekosrc device=virtual num-buffers=2 transfer-mode=ps2 ! \
    "video/x-raw,format=$format,width=161,height=121" ! videoconvert ! pngenc ! \
    multifilesink location="$work/$format-%d.png" || fail "$format pipeline failed"
  [ "$(png_size "$work/$format-1.png")" = 161x121 ] || fail "$format picture size"
done

echo "== sync=true sink: no warning, no late buffer (every bus message is printed)"
out=$("$launch" -m tekosrc device=virtual num-buffers=60 ! \
  video/x-raw,width=320,height=240,framerate=30/1 ! videoconvert ! \
  fakesink sync=true qos=true max-lateness=20000000 2>&1) || fail "sync pipeline failed: $out"
grep -q "(eos)" <<<"$out" || fail "no EOS message: $out"
if grep -qE "\((warning|qos)\)|WARNING|too slow|dropped" <<<"$out"; then
  fail "warning or late buffers in the sync=true pipeline: $out"
fi

echo "== -e and Ctrl-C end cleanly"
"$launch" -e tekosrc device=virtual ! video/x-raw,width=320,height=240,framerate=30/1 ! \
  videoconvert ! pngenc ! multifilesink location="$work/live%03d.png" >"$work/live.log" 2>&1 &
pid=$!
for _ in $(seq 100); do
  [ -e "$work/live005.png" ] && break
  sleep 0.1
done
kill -INT "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "gst-launch-1.0 -e ended with $status: $(cat "$work/live.log")"
grep -q "EOS" "$work/live.log" || fail "no EOS after Ctrl-C: $(cat "$work/live.log")"

echo "== no camera: the state change fails with the reason"
if out=$("$launch" tekosrc device=nonsense ! fakesink 2>&1); then fail "unknown device accepted"; fi
grep -q "No camera device" <<<"$out" || fail "no clear error: $out"
echo "all passed"
