#!/usr/bin/env bash
# Trace checks with CAN tools that this project did not write: runs the demo
# from the normal build ($1/build), then
#  - can-utils' log2asc converts the demo's candump log without complaint and
#    keeps every frame;
#  - tshark reads the demo's pcap and lists the same frames as the log: same
#    count, and per frame the same time, id, length and bytes;
#  - tavrix-decode reads both files without an error;
#  - can-utils' asc2log turns the converted log back into a candump log (with
#    the direction field), and tavrix-decode reads that with every frame;
#  - the Wireshark dissector (tools/wireshark/tavrix.lua) shows, frame for
#    frame, the device, API id, kind and fields that tavrix-decode --tsv shows,
#    on the demo's pcap and on a synthetic capture of every API id
#    (tavrix-catalogue --capture, from the protocol catalogue).
# Usage: extra-tools.sh <repo root>
set -euo pipefail
root=$(cd "${1:?usage: extra-tools.sh <repo root>}" && pwd)
build="$root/build"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "tools: $*" >&2; exit 1; }
for tool in log2asc asc2log tshark text2pcap; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (tools/ci/install-deps.sh installs it)"
done
cmake --build "$build" -j"${CI_JOBS:-2}" --target tavrix-demo tavrix-decode tavrix-catalogue

log="$work/demo.log"
pcap="$work/demo.pcap"
"$build/examples/tavrix-demo" --duration 3 --log "$log" --pcap "$pcap" >"$work/demo.out" ||
  { cat "$work/demo.out"; fail "tavrix-demo failed"; }
frames=$(wc -l <"$log")
[ "$frames" -gt 0 ] || fail "the demo wrote an empty log"
echo "tools: the demo wrote $frames frames"

# log2asc: exit 0, nothing on standard error, one Rx line per frame.
log2asc -I "$log" -O "$work/demo.asc" can0 2>"$work/log2asc.err" || fail "log2asc failed"
[ ! -s "$work/log2asc.err" ] || { cat "$work/log2asc.err"; fail "log2asc complained"; }
asc_frames=$(grep -c ' Rx ' "$work/demo.asc" || true)
[ "$asc_frames" -eq "$frames" ] || fail "log2asc kept $asc_frames of $frames frames"
echo "tools: log2asc converted all $asc_frames frames"

# The log and the pcap as the same four columns: time, decimal id, length, lower-case bytes.
# (Plain POSIX awk: the hex id is converted digit by digit.)
awk 'function hex(s,   i, v) {
  v = 0
  for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789ABCDEF", toupper(substr(s, i, 1))) - 1
  return v
}
{
  time = substr($1, 2, length($1) - 2)
  split($3, part, "#")
  printf "%s000\t%.0f\t%d\t%s\n", time, hex(part[1]), length(part[2]) / 2, tolower(part[2])
}' "$log" >"$work/from-log.tsv"
tshark -r "$pcap" -T fields -e frame.time_epoch -e can.id -e can.len -e data.data \
  2>"$work/tshark.err" >"$work/from-pcap.tsv" || { cat "$work/tshark.err"; fail "tshark failed"; }
pcap_frames=$(wc -l <"$work/from-pcap.tsv")
[ "$pcap_frames" -eq "$frames" ] || fail "tshark lists $pcap_frames frames, the log $frames"
if ! diff -q "$work/from-log.tsv" "$work/from-pcap.tsv" >/dev/null; then
  diff "$work/from-log.tsv" "$work/from-pcap.tsv" | head -20
  fail "tshark's frames differ from the log's"
fi
echo "tools: tshark lists the same $pcap_frames frames (time, id, length, bytes)"

for file in "$log" "$pcap"; do
  "$build/tools/decode/tavrix-decode" --stats "$file" >"$work/decoded.txt" ||
    fail "tavrix-decode reported errors for $(basename "$file")"
  grep -q 'follower echo' "$work/decoded.txt" || fail "no follower echo decoded in $(basename "$file")"
done
echo "tools: tavrix-decode read both files"

# asc2log writes the can-utils' own candump form (direction field, remote and
# error frames as candump writes them); every frame must come back.
asc2log -I "$work/demo.asc" -O "$work/back.log" 2>/dev/null || fail "asc2log failed"
"$build/tools/decode/tavrix-decode" --stats-only "$work/back.log" >"$work/back.txt" ||
  fail "tavrix-decode reported errors for asc2log's log"
grep -q "Bus summary: $frames frames" "$work/back.txt" || { cat "$work/back.txt"; fail "asc2log's log lost frames"; }
echo "tools: tavrix-decode read all $frames frames of asc2log's candump log"

# The dissector against the decoder. Frames of other devices are not the
# dissector's: their rows compare as empty.
dissector="$root/tools/wireshark/tavrix.lua"
"$build/tools/catalogue/tavrix-catalogue" --capture |
  text2pcap -q -F pcap -l 227 - "$work/catalogue.pcap" 2>"$work/text2pcap.err" ||
  { cat "$work/text2pcap.err"; fail "text2pcap failed"; }
for capture in "$pcap" "$work/catalogue.pcap"; do
  name=$(basename "$capture")
  "$build/tools/decode/tavrix-decode" --tsv "$capture" |
    awk -F'\t' -v OFS='\t' '$1 == "" { $4 = "" } { print }' >"$work/decoder.tsv" ||
    fail "tavrix-decode failed on $name"
  tshark -X lua_script:"$dissector" -r "$capture" -T fields -E separator=/t \
    -e tavrix.device -e tavrix.api -e tavrix.kind -e tavrix.fields \
    2>"$work/tshark.err" >"$work/dissector.tsv" || { cat "$work/tshark.err"; fail "tshark failed on $name"; }
  if grep -qi 'lua' "$work/tshark.err"; then cat "$work/tshark.err"; fail "the dissector failed on $name"; fi
  if ! diff -q "$work/decoder.tsv" "$work/dissector.tsv" >/dev/null; then
    diff "$work/decoder.tsv" "$work/dissector.tsv" | head -20
    fail "the dissector and tavrix-decode disagree on $name"
  fi
  echo "tools: the dissector matches tavrix-decode on all $(wc -l <"$work/decoder.tsv") frames of $name"
done
