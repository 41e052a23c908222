// Trace files: candump lines and pcap records byte for byte, round trips, the
// readers' handling of damaged input, and the bus-load arithmetic.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tavrix/trace/BusStats.h"
#include "tavrix/trace/CandumpLog.h"
#include "tavrix/trace/PcapFile.h"
#include "tavrix/trace/TraceFile.h"

namespace {

using namespace tavrix::trace;

TraceFrame Frame(uint64_t us, uint32_t id, std::vector<uint8_t> bytes, bool extended = true) {
  TraceFrame f;
  f.timestampUs = us;
  f.id = id;
  f.extended = extended;
  f.length = static_cast<uint8_t>(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) f.data[i] = bytes[i];
  return f;
}

std::vector<TraceFrame> SampleFrames() {
  TraceFrame remote = Frame(3000000, 0x7FF, {}, false);
  remote.remote = true;
  remote.length = 3;
  return {Frame(25000, 0x02052480, {0x08, 0, 0, 0, 0, 0, 0, 0}),
          Frame(1025001, 0x0205C083, {0x01, 0, 0, 0, 0x01}), Frame(1030000, 0x02052603, {}),
          Frame(2000000, 0x123, {0xAB, 0xCD}, false), remote};
}

TEST(CandumpLog, WritesTheCanUtilsLineFormat) {
  const std::vector<TraceFrame> frames = SampleFrames();
  EXPECT_EQ(FormatCandumpLog(frames),
            "(0.025000) can0 02052480#0800000000000000\n"
            "(1.025001) can0 0205C083#0100000001\n"
            "(1.030000) can0 02052603#\n"
            "(2.000000) can0 123#ABCD\n"
            "(3.000000) can0 7FF#R3\n");
  EXPECT_EQ(FormatCandumpLine(frames[0], "vcan1"), "(0.025000) vcan1 02052480#0800000000000000");
  EXPECT_EQ(FormatCandumpLine(frames[0], "bad name"), "(0.025000) can0 02052480#0800000000000000");
}

TEST(CandumpLog, RoundTripKeepsEveryField) {
  const std::vector<TraceFrame> frames = SampleFrames();
  const ReadResult back = ParseCandumpLog(FormatCandumpLog(frames));
  EXPECT_TRUE(back.ok());
  EXPECT_EQ(back.frames, frames);
}

TEST(CandumpLog, AcceptsHarmlessVariations) {
  // Lower-case hex, CRLF line ends, blank lines, a coarser fraction, no final newline.
  const ReadResult r = ParseCandumpLog("\n(12.5) vcan0 0205c083#0a0b\r\n   \n(0.000001) can1 001#");
  ASSERT_TRUE(r.ok()) << r.errors[0].message;
  ASSERT_EQ(r.frames.size(), 2u);
  EXPECT_EQ(r.frames[0], Frame(12500000, 0x0205C083, {0x0A, 0x0B}));
  EXPECT_EQ(r.frames[1], Frame(1, 0x001, {}, false));
}

TEST(CandumpLog, ReadsEveryFormTheCanUtilsWrite) {
  // Direction fields as candump -x and asc2log write them, remote requests,
  // standard ids, dots, a raw length code; error and FD frames are only counted.
  TraceFrame remote = Frame(4000000, 0x02052601, {});
  remote.remote = true;
  TraceFrame remote5 = Frame(5000000, 0x123, {}, false);
  remote5.remote = true;
  remote5.length = 5;
  const ReadResult r = ParseCandumpLog(
      "(0000000001.000000) can0 02052601# R\n"
      "(2.000000)  vcan0 123#ABCD T\n"
      "(3.000000) can0 7FF#01.02.03\n"
      "(4.000000) can0 02052601#R R\n"
      "(5.000000) can0 123#R5 T\n"
      "(6.000000) can0 20000080#0000000000000000 R\n"
      "(7.000000) can0 123##1AABB\n"
      "(8.000000) can0 123#0102030405060708_C\n"
      "(9.000000) can0 1FFFFFFF##0" +
      std::string(128, 'F') + " R\n");
  ASSERT_TRUE(r.ok()) << r.errors[0].where << ": " << r.errors[0].message;
  const std::vector<TraceFrame> expected = {Frame(1000000, 0x02052601, {}),
                                            Frame(2000000, 0x123, {0xAB, 0xCD}, false),
                                            Frame(3000000, 0x7FF, {1, 2, 3}, false),
                                            remote,
                                            remote5,
                                            Frame(8000000, 0x123, {1, 2, 3, 4, 5, 6, 7, 8}, false)};
  EXPECT_EQ(r.frames, expected);
  EXPECT_EQ(r.skipped.errorFrames, 1u);
  EXPECT_EQ(r.skipped.fdFrames, 2u);
}

TEST(CandumpLog, RejectsMalformedLinesWithTheirLineNumber) {
  const struct {
    const char* line;
    const char* message;
  } cases[] = {
      {"0.1 can0 123#00", "expected '('"},
      {"(0.1 can0 123#00", "followed by ')'"},
      {"(.5) can0 123#00", "seconds.micros"},
      {"(1234567890123.0) can0 123#00", "out of range"},
      {"(0.1)can0 123#00", "space after the timestamp"},
      {"(0.1) can0123456789abcdef 123#00", "interface name"},
      {"(0.1) can0 1234#00", "3 (standard) or 8 (extended)"},
      {"(0.1) can0 800#00", "above 0x7FF"},
      {"(0.1) can0 40000000#00", "above 0x1FFFFFFF"},
      {"(0.1) can0 123 00", "expected '#'"},
      {"(0.1) can0 123##", "flags digit"},
      {"(0.1) can0 123##1000102030405060708", "FD allows"},
      {"(0.1) can0 20000080#R", "unexpected text"},  // error frames are never remote
      {"(0.1) can0 123#0102030405060708_5", "9 to F"},
      {"(0.1) can0 123#00 X", "unexpected text"},
      {"(0.1) can0 123#00 RT", "unexpected text"},
      {"(0.1) can0 123#0", "even number"},
      {"(0.1) can0 123#000102030405060708", "more than 8"},
      {"(0.1) can0 123#R9", "0 to 8"},
      {"(0.1) can0 123#00 tail", "unexpected text"},
      {"(0.1) can0 123#0G", "even number"},
      {"garbage \x01\xff", "expected '('"},
  };
  for (const auto& c : cases) {
    const ReadResult r = ParseCandumpLog(std::string("(0.000000) can0 123#\n") + c.line + "\n");
    ASSERT_EQ(r.errors.size(), 1u) << c.line;
    EXPECT_EQ(r.errors[0].where, 2u) << c.line;
    EXPECT_NE(r.errors[0].message.find(c.message), std::string::npos)
        << c.line << " gave: " << r.errors[0].message;
    EXPECT_EQ(r.frames.size(), 1u) << "the good line is still read: " << c.line;
  }
}

TEST(PcapFile, WritesHeaderAndSocketCanRecordByteForByte) {
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(EncodePcap({Frame(1025001, 0x0205C083, {0x01, 0, 0, 0, 0x01})}, bytes));
  const std::vector<uint8_t> expected = {
      0xD4, 0xC3, 0xB2, 0xA1, 0x02, 0x00, 0x04, 0x00,  // magic, version 2.4
      0,    0,    0,    0,    0,    0,    0,    0,     // zone, accuracy
      0xFF, 0xFF, 0x00, 0x00, 227,  0,    0,    0,     // snap length, link type
      0x01, 0,    0,    0,    0xA9, 0x61, 0,    0,     // 1 s, 25001 us
      16,   0,    0,    0,    16,   0,    0,    0,     // captured and original length
      0x82, 0x05, 0xC0, 0x83, 5,    0,    0,    0,     // can_id (EFF, big-endian), len
      0x01, 0,    0,    0,    0x01, 0,    0,    0};    // data
  EXPECT_EQ(bytes, expected);
}

TEST(PcapFile, RoundTripKeepsEveryField) {
  const std::vector<TraceFrame> frames = SampleFrames();
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(EncodePcap(frames, bytes));
  const ReadResult back = DecodePcap(bytes.data(), bytes.size());
  EXPECT_TRUE(back.ok());
  EXPECT_EQ(back.frames, frames);
}

TEST(PcapFile, RefusesTimestampsBeyondThirtyTwoBitSeconds) {
  std::vector<uint8_t> bytes;
  std::string error;
  EXPECT_FALSE(EncodePcap({Frame(0x100000000ull * 1000000u, 1, {})}, bytes, &error));
  EXPECT_NE(error.find("32-bit"), std::string::npos);
}

std::vector<uint8_t> OneRecordPcap() {
  std::vector<uint8_t> bytes;
  EncodePcap({Frame(5, 0x02052480, {1, 2, 3, 4, 5, 6, 7, 8})}, bytes);
  return bytes;
}

TEST(PcapFile, ReadsBigEndianAndNanosecondFiles) {
  std::vector<uint8_t> be = OneRecordPcap();
  // Rewrite every header field in big-endian order, nanosecond magic.
  auto putBe = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      be[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
  };
  putBe(0, kPcapMagicNanos);
  be[4] = 0;
  be[5] = 2;
  be[6] = 0;
  be[7] = 4;
  putBe(16, 65535);
  putBe(20, 227);
  putBe(24, 2);     // seconds
  putBe(28, 7000);  // nanoseconds
  putBe(32, 16);
  putBe(36, 16);
  const ReadResult r = DecodePcap(be.data(), be.size());
  ASSERT_TRUE(r.ok()) << r.errors[0].message;
  ASSERT_EQ(r.frames.size(), 1u);
  EXPECT_EQ(r.frames[0].timestampUs, 2000007u);
  EXPECT_EQ(r.frames[0].id, 0x02052480u);
}

TEST(PcapFile, DamagedInputGivesErrorsNotCrashes) {
  const std::vector<uint8_t> good = OneRecordPcap();
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message;
    size_t frames;
  };
  auto with = [&](size_t at, uint8_t v) {
    std::vector<uint8_t> b = good;
    b[at] = v;
    return b;
  };
  const std::vector<uint8_t> twoRecords = [&] {
    std::vector<uint8_t> b;
    EncodePcap({Frame(1, 1, {}), Frame(2, 2, {})}, b);
    return b;
  }();
  const Case cases[] = {
      {"empty", {}, "shorter than the 24-byte", 0},
      {"header cut", std::vector<uint8_t>(good.begin(), good.begin() + 20), "shorter than", 0},
      {"bad magic", with(0, 0x00), "unknown magic", 0},
      {"ethernet link type", with(20, 1), "link type 1", 0},
      {"record header cut", std::vector<uint8_t>(good.begin(), good.begin() + 30),
       "truncated record header", 0},
      {"record body cut", std::vector<uint8_t>(good.begin(), good.end() - 1), "truncated record",
       0},
      {"second record cut", std::vector<uint8_t>(twoRecords.begin(), twoRecords.end() - 3),
       "truncated record", 1},
      {"huge record length", with(35, 0x7F), "impossible", 0},
      {"micros out of range", with(31, 0x7F), "out of range", 0},
      {"length above 8", with(44, 9), "above 8", 0},
  };
  for (const Case& c : cases) {
    const ReadResult r = DecodePcap(c.bytes.data(), c.bytes.size());
    ASSERT_FALSE(r.ok()) << c.name;
    EXPECT_NE(r.errors[0].message.find(c.message), std::string::npos)
        << c.name << " gave: " << r.errors[0].message;
    EXPECT_EQ(r.frames.size(), c.frames) << c.name;
  }
}

TEST(PcapFile, ErrorAndFdRecordsAreCountedNotDecoded) {
  const std::vector<uint8_t> good = OneRecordPcap();
  std::vector<uint8_t> errorFrame = good;
  errorFrame[40] = 0xA2;  // CAN_ERR_FLAG in the id
  std::vector<uint8_t> fdFrame = good;
  fdFrame[45] = 0x04;  // CANFD_FDF
  for (const auto& [bytes, errors, fd] :
       {std::tuple{errorFrame, 1u, 0u}, std::tuple{fdFrame, 0u, 1u}}) {
    const ReadResult r = DecodePcap(bytes.data(), bytes.size());
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(r.frames.empty());
    EXPECT_EQ(r.skipped.errorFrames, errors);
    EXPECT_EQ(r.skipped.fdFrames, fd);
  }
}

TEST(PcapFile, ShortRecordThatStillHoldsItsDataIsRead) {
  // Some writers capture only the bytes up to the data length.
  std::vector<uint8_t> b = OneRecordPcap();
  b[32] = 10;  // captured length: 8 header bytes and 2 data bytes
  b[44] = 2;   // frame length 2
  b.resize(kPcapGlobalHeaderSize + kPcapRecordHeaderSize + 10);
  const ReadResult r = DecodePcap(b.data(), b.size());
  ASSERT_TRUE(r.ok()) << r.errors[0].message;
  EXPECT_EQ(r.frames[0], Frame(5, 0x02052480, {1, 2}));
  b[44] = 3;  // now the length claims more than the record holds
  EXPECT_FALSE(DecodePcap(b.data(), b.size()).ok());
}

TEST(TraceFile, FormatIsToldByContent) {
  std::vector<uint8_t> pcap;
  EncodePcap(SampleFrames(), pcap);
  const std::string log = FormatCandumpLog(SampleFrames());
  EXPECT_EQ(DetectFormat(pcap), TraceFormat::kPcap);
  EXPECT_EQ(DetectFormat(std::vector<uint8_t>(log.begin(), log.end())), TraceFormat::kCandump);
  EXPECT_EQ(DetectFormat({}), TraceFormat::kCandump);
  EXPECT_EQ(DetectFormat({0x0A, 0x0D, 0x0D, 0x0A, 0, 0}), TraceFormat::kPcapNg);
  EXPECT_EQ(DetectFormat({'h', 'i'}), TraceFormat::kUnknown);
  EXPECT_EQ(ReadTrace(pcap).frames, SampleFrames());
  EXPECT_EQ(ReadTrace(std::vector<uint8_t>(log.begin(), log.end())).frames, SampleFrames());
  EXPECT_NE(ReadTrace({0x0A, 0x0D, 0x0D, 0x0A}).errors.at(0).message.find("editcap"),
            std::string::npos);
  EXPECT_FALSE(ReadTrace({'h', 'i'}).ok());
}

TEST(TraceFile, WritesAndReadsFiles) {
  const std::string dir = ::testing::TempDir();
  std::string error;
  ASSERT_TRUE(WriteCandumpFile(dir + "/t.log", SampleFrames(), error)) << error;
  ASSERT_TRUE(WritePcapFile(dir + "/t.pcap", SampleFrames(), error)) << error;
  for (const char* name : {"/t.log", "/t.pcap"}) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(dir + name, bytes, error)) << error;
    EXPECT_EQ(ReadTrace(bytes).frames, SampleFrames()) << name;
  }
  std::vector<uint8_t> bytes;
  EXPECT_FALSE(ReadFileBytes(dir + "/missing/none.log", bytes, error));
  EXPECT_NE(error.find("cannot open"), std::string::npos);
  EXPECT_FALSE(WriteCandumpFile(dir + "/missing/none.log", SampleFrames(), error));
}

TEST(BusStats, FrameBitLengths) {
  const struct {
    TraceFrame frame;
    uint32_t plain;
    uint32_t stuffed;
  } cases[] = {
      {Frame(0, 1, {}), 67, 67 + 13},
      {Frame(0, 1, {1, 2, 3, 4, 5}), 107, 107 + 23},
      {Frame(0, 1, {1, 2, 3, 4, 5, 6, 7, 8}), 131, 160},
      {Frame(0, 1, {}, false), 47, 47 + 8},
      {Frame(0, 1, {1, 2, 3, 4, 5, 6, 7, 8}, false), 111, 135},
  };
  for (const auto& c : cases) {
    const FrameBits bits = FrameBitLength(c.frame);
    EXPECT_EQ(bits.plain, c.plain) << int(c.frame.length);
    EXPECT_EQ(bits.worstStuffed, c.stuffed) << int(c.frame.length);
  }
  TraceFrame remote = Frame(0, 1, {}, true);
  remote.remote = true;
  remote.length = 8;  // a request carries no data bytes
  EXPECT_EQ(FrameBitLength(remote).plain, 67u);
}

TEST(BusStats, HeartbeatEveryTwentyFiveMillisecondsForTwoAndAHalfSeconds) {
  BusStatsBuilder stats;
  for (uint64_t i = 0; i < 100; ++i)
    stats.Add(Frame(i * 25000, 0x02052480, std::vector<uint8_t>(8)), "heartbeat");
  for (uint64_t i = 0; i < 250; ++i)
    stats.Add(Frame(i * 10000, 0x02050082, std::vector<uint8_t>(8)), "setpoint");
  stats.Add(Frame(500, 0x0205C083, std::vector<uint8_t>(5)), "parameter write");
  EXPECT_EQ(stats.SpanUs(), 2490000u);

  const BusSummary s = stats.Finish(2500000);
  ASSERT_EQ(s.kinds.size(), 3u);
  EXPECT_EQ(s.kinds[0].kind, "setpoint");
  EXPECT_EQ(s.kinds[1].kind, "heartbeat");
  EXPECT_DOUBLE_EQ(s.FramesPerSecond(s.kinds[1].frames), 40.0);
  EXPECT_DOUBLE_EQ(s.FramesPerSecond(s.kinds[0].frames), 100.0);
  EXPECT_EQ(s.frames, 351u);
  EXPECT_EQ(s.bits, 350u * 131u + 107u);
  EXPECT_EQ(s.stuffedBits, 350u * 160u + 130u);
  EXPECT_DOUBLE_EQ(s.Utilisation(), (350.0 * 131 + 107) / 2.5e6);
  EXPECT_DOUBLE_EQ(s.WorstCaseUtilisation(), (350.0 * 160 + 130) / 2.5e6);

  const std::string text = FormatBusSummary(s);
  EXPECT_NE(text.find("heartbeat"), std::string::npos);
  EXPECT_NE(text.find("40.0"), std::string::npos);
  EXPECT_NE(text.find("1.84 % without stuff bits, 2.25 % with worst-case stuffing"),
            std::string::npos)
      << text;
}

TEST(BusStats, NoElapsedTimeGivesZeroRatesNotDivisionByZero) {
  BusStatsBuilder stats;
  const BusSummary empty = stats.Finish();
  EXPECT_EQ(empty.frames, 0u);
  EXPECT_EQ(empty.Utilisation(), 0.0);
  stats.Add(Frame(7, 1, {}), "x");
  const BusSummary one = stats.Finish();
  EXPECT_EQ(one.durationUs, 0u);
  EXPECT_EQ(one.FramesPerSecond(1), 0.0);
  EXPECT_NE(FormatBusSummary(one).find("not defined"), std::string::npos);
}

}  // namespace
