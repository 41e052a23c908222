# A synthetic SocketCAN capture that reaches every API id of the controller twice
# (the second time on the same id, so requests meet replies and commands their
# echoes) with lengths 0 to 8 and patterned bytes, plus frames that are not
# ours. Written as text2pcap input, one record a line:
#   awk -f catalogue-trace.awk | text2pcap -q -F pcap -l 227 - out.pcap
function record(canid, len, seed,   i, line, b) {
  line = sprintf("000000 %02x %02x %02x %02x %02x 00 00 00", int(canid / 16777216) % 256,
                 int(canid / 65536) % 256, int(canid / 256) % 256, canid % 256, len)
  for (i = 0; i < 8; i++) {
    b = i < len ? (seed * 37 + i * 91 + int(seed / 7) * i) % 256 : 0
    line = line sprintf(" %02x", b)
  }
  print line
}
BEGIN {
  eff = 2147483648; rtr = 1073741824; base = 33882112   # 0x80000000, 0x40000000, 0x02050000
  for (pass = 0; pass < 2; pass++)
    for (api = 0; api < 1024; api++)
      record(eff + base + api * 64 + api % 64, (api * (pass + 2) + pass) % 9, api + 1031 * pass)
  for (api = 96; api <= 98; api++) record(eff + base + api * 64 + 3, 2, api)  # period commands
  record(eff + base + 152 * 64 + 4, 0, 0)      # firmware request and its reply
  record(eff + base + 152 * 64 + 4, 5, 1)
  record(eff + base + 146 * 64, 8, 0)          # heartbeat with no device
  record(eff + rtr + base + 152 * 64 + 1, 0, 0)  # remote request on our id: not ours
  record(291, 2, 5)                            # standard id 0x123: not ours
  record(eff + 16777216 * 9 + base % 16777216, 8, 9)  # another device type
}
