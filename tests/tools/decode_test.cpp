// The decoder: one frame of each catalogue kind, request/reply pairing, and
// the command line tool's options and exit status.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tavrix/decode/DecodeTool.h"
#include "tavrix/decode/FrameDecoder.h"
#include "tavrix/decode/ParameterNames.h"
#include "tavrix/trace/CandumpLog.h"
#include "tavrix/trace/PcapFile.h"
#include "tavrix/trace/TraceFile.h"

namespace {

using namespace tavrix;
using decode::FrameKind;
using trace::TraceFrame;

TraceFrame Frame(uint64_t us, uint32_t id, std::vector<uint8_t> bytes) {
  TraceFrame f;
  f.timestampUs = us;
  f.id = id;
  f.length = static_cast<uint8_t>(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) f.data[i] = bytes[i];
  return f;
}

// The arbitration id of this controller kind: device type 2, manufacturer 5.
uint32_t Id(int device, int api) {
  return 0x02050000u | (static_cast<uint32_t>(api) << 6) | static_cast<uint32_t>(device);
}

TEST(FrameDecoder, DecodesOneFrameOfEachKind) {
  const struct {
    TraceFrame frame;
    FrameKind kind;
    int device;
    const char* fields;
  } cases[] = {
      {Frame(0, Id(5, 2), {0x00, 0x00, 0x00, 0x3F, 0x64, 0x00, 0x01, 0x00}), FrameKind::kSetpoint,
       5, "kControlType0 value 0.5 aux 100 (0.09765625) slot 1"},
      {Frame(0, Id(3, 0x43), {0x00, 0x00, 0x20, 0xC1, 0x00, 0xFE, 0x02, 0x00}),
       FrameKind::kSetpoint, 3, "kControlType5 value -10 aux -512 (-0.5) slot 2"},
      {Frame(0, Id(7, 0), std::vector<uint8_t>(8)), FrameKind::kSetpointNeverSet, 7,
       "value 0 aux 0 (0) slot 0"},
      {Frame(0, 0x02052480, {0x02, 0, 0, 0, 0, 0, 0, 0x40}), FrameKind::kHeartbeat, 0,
       "registry 0x4000000000000002 devices 1 62"},
      {Frame(0, 0x02052480, std::vector<uint8_t>(8)), FrameKind::kHeartbeat, 0,
       "registry 0x0000000000000000 (disabled, or no device registered)"},
      {Frame(0, Id(1, 96), {0x00, 0x40, 0x01, 0x40, 0x00, 0x80, 0x34, 0x00}), FrameKind::kStatus0,
       1,
       "applied 0.500015259 faults 0x4001 (kFaultBit0 kForwardLimitSwitch) sticky 0x8000 "
       "(kReverseLimitSwitch) follower yes byte6[2:3] 1 byte6[4] 1"},
      {Frame(0, Id(1, 97), {0x00, 0x00, 0x80, 0x3F, 0x28, 0x80, 0x0C, 0x18}), FrameKind::kStatus1,
       1, "velocity 1 temperature 40 bus 25 V current 12 A"},
      {Frame(0, Id(1, 98), {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x20, 0xC0}), FrameKind::kStatus2,
       1, "position 1 iAccum -2.5"},
      {Frame(0, Id(2, 97), {0x05, 0x00}), FrameKind::kStatusPeriod, 2, "status 1 period 5 ms"},
      {Frame(0, Id(4, 0x30D), {0x00, 0x00, 0x00, 0x3F, 0x02}), FrameKind::kParameterWrite, 4,
       "kP_0 (id 13) = 0.5 kFloat32"},
      {Frame(0, Id(4, 0x334), {0x01, 0, 0, 0, 0x03}), FrameKind::kParameterWrite, 4,
       "kForwardLimitSwitchEnabled (id 52) = true kBool"},
      {Frame(0, Id(4, 0x302), {0xFF, 0xFF, 0xFF, 0xFF, 0x00}), FrameKind::kParameterWrite, 4,
       "kMotorType (id 2) = -1 kInt32"},
      {Frame(0, Id(4, 0x3C8), {0x07, 0, 0, 0, 0x09}), FrameKind::kParameterWrite, 4,
       "parameter 200 (unknown) = word 0x00000007 type 9 (unknown)"},
      {Frame(0, Id(4, 0x306), {}), FrameKind::kParameterRequest, 4, "kIdleMode (id 6)"},
      {Frame(0, Id(6, 152), {}), FrameKind::kFirmwareRequest, 6, ""},
      {Frame(0, Id(6, 152), {0x01, 0x02, 0x01, 0x00, 0x01}), FrameKind::kFirmwareReply, 6,
       "version v1.2.256 (0x01020100) debug build"},
      {Frame(0, Id(2, 115), {0x05, 0x18, 0x05, 0x02, 0x00, 0x00, 0x04, 0x1A}),
       FrameKind::kFollowerCommand, 2,
       "leader frame 0x02051805 (device 5 api 0x060) kind 26 (this controller kind) invert yes"},
      {Frame(0, Id(2, 110), {}), FrameKind::kClearFaults, 2, ""},
      {Frame(0, Id(2, 114), {0xA3, 0x3A}), FrameKind::kBurnFlash, 2, "key 0x3AA3"},
      {Frame(0, Id(2, 114), {0x3A, 0xA3}), FrameKind::kBurnFlash, 2,
       "wrong key (ignored by the controller)"},
      {Frame(0, Id(2, 116), {0x01, 0, 0, 0, 0x03}), FrameKind::kFactoryDefaults, 2,
       "value true kBool"},
      {Frame(0, Id(2, 160), {0x00, 0x00, 0xC0, 0xBF, 0x02}), FrameKind::kSetEncoderPosition, 2,
       "value -1.5 kFloat32"},
      {Frame(0, Id(2, 162), {0x00, 0x00, 0x00, 0x40, 0x02}), FrameKind::kSetIAccum, 2,
       "value 2 kFloat32"},
      {Frame(0, Id(2, 0x200), {1}), FrameKind::kUnknownApi, 2, "api 0x200"},
      {Frame(0, 0x01041234, {1, 2}), FrameKind::kOtherDevice, 0x34,
       "device type 1 manufacturer 4 api 0x048 device 52"},
      {Frame(0, Id(1, 96), {0x00, 0x40, 0x00, 0xC0, 0, 0, 0}), FrameKind::kStatus0, 1,
       "applied 0.500015259 faults 0xC000 (kForwardLimitSwitch kReverseLimitSwitch) sticky 0x0000 "
       "follower no [7 bytes, expected 8]"},
  };
  for (const auto& c : cases) {
    decode::FrameDecoder decoder;  // fresh: no request is pending
    const decode::DecodedFrame d = decoder.Decode(c.frame);
    EXPECT_EQ(d.kind, c.kind) << c.fields;
    EXPECT_EQ(d.device, c.device) << c.fields;
    EXPECT_EQ(d.fields, c.fields);
  }
}

TEST(FrameDecoder, StandardIdsAndRemoteFramesAreNeverOurs) {
  TraceFrame standard = Frame(0, 0x0205C083 & 0x7FF, {1});
  standard.extended = false;
  TraceFrame remote = Frame(0, Id(3, 96), {});
  remote.remote = true;
  decode::FrameDecoder decoder;
  EXPECT_EQ(decoder.Decode(standard).fields, "standard id 0x083");
  EXPECT_EQ(decoder.Decode(remote).kind, FrameKind::kOtherDevice);
}

TEST(FrameDecoder, PairsRequestsWithRepliesAndCommandsWithEchoes) {
  const std::vector<uint8_t> follow = {0x05, 0x18, 0x05, 0x02, 0x00, 0x00, 0x00, 0x1A};
  const std::vector<uint8_t> idleOne = {0x01, 0, 0, 0, 0x01};
  const struct {
    TraceFrame frame;
    FrameKind kind;
  } sequence[] = {
      {Frame(1000, Id(3, 0x306), idleOne), FrameKind::kParameterWrite},
      {Frame(2000, Id(3, 0x306), {}), FrameKind::kParameterRequest},
      {Frame(2001, Id(4, 0x306), idleOne), FrameKind::kParameterWrite},  // another device
      {Frame(2002, Id(3, 0x306), idleOne), FrameKind::kParameterReply},
      {Frame(3000, Id(3, 0x306), idleOne), FrameKind::kParameterWrite},
      {Frame(4000, Id(3, 115), follow), FrameKind::kFollowerCommand},
      {Frame(4001, Id(3, 115), follow), FrameKind::kFollowerEcho},
      {Frame(5000, Id(3, 115), follow), FrameKind::kFollowerCommand},
      // Unanswered: a later frame on the id is a new command, not a late echo.
      {Frame(5000 + decode::kReplyWindowUs + 1, Id(3, 115), follow), FrameKind::kFollowerCommand},
      {Frame(9000000, Id(3, 0x30D), {}), FrameKind::kParameterRequest},
      {Frame(9000000 + decode::kReplyWindowUs + 1, Id(3, 0x30D), {0, 0, 0, 0x3F, 2}),
       FrameKind::kParameterWrite},
  };
  decode::FrameDecoder decoder;
  for (const auto& step : sequence) {
    EXPECT_EQ(decoder.Decode(step.frame).kind, step.kind) << "at " << step.frame.timestampUs;
  }
}

TEST(FrameDecoder, ReplyWithoutTypeByteUsesTheLibrarysType) {
  decode::FrameDecoder decoder;
  decoder.Decode(Frame(0, Id(1, 0x30D), {}));
  EXPECT_EQ(decoder.Decode(Frame(1, Id(1, 0x30D), {0x00, 0x00, 0xC0, 0x3F})).fields,
            "kP_0 (id 13) = 1.5");
  decoder.Decode(Frame(2, Id(1, 0x33B), {}));
  EXPECT_EQ(decoder.Decode(Frame(3, Id(1, 0x33B), {0x1E, 0x00})).fields,
            "kSmartCurrentLimit (id 59) = 30 [2 bytes, expected at least 4]");
}

TEST(FrameDecoder, FormatsALineWithTimeIdBytesDeviceAndKind) {
  const TraceFrame f = Frame(1025001, Id(3, 0x302), {0x01, 0, 0, 0, 0x01});
  decode::FrameDecoder decoder;
  EXPECT_EQ(decode::FormatFrameLine(f, decoder.Decode(f)),
            "     1.025001  0205C083  [5] 01 00 00 00 01           dev  3  parameter write      "
            "kMotorType (id 2) = 1 kUint32");
}

std::vector<TraceFrame> SmallTrace() {
  std::vector<TraceFrame> frames;
  for (uint64_t i = 0; i < 100; ++i) {
    frames.push_back(Frame(i * 25000, 0x02052480, {0x08, 0, 0, 0, 0, 0, 0, 0}));
  }
  frames.push_back(Frame(30000, Id(3, 2), {0, 0, 0, 0x3F, 0, 0, 0, 0}));
  return frames;
}

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

ToolRun RunTool(std::vector<std::string> args) {
  args.insert(args.begin(), "tavrix-decode");
  std::vector<const char*> argv;
  argv.reserve(args.size());
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out;
  std::ostringstream err;
  const int status = decode::RunDecodeTool(static_cast<int>(argv.size()), argv.data(), out, err);
  return {status, out.str(), err.str()};
}

TEST(DecodeTool, PrintsFramesAndTheSummaryOfALogOrAPcap) {
  const std::string dir = ::testing::TempDir();
  std::string error;
  ASSERT_TRUE(trace::WriteCandumpFile(dir + "/d.log", SmallTrace(), error));
  ASSERT_TRUE(trace::WritePcapFile(dir + "/d.pcap", SmallTrace(), error));
  for (const char* name : {"/d.log", "/d.pcap"}) {
    const ToolRun r = RunTool({"--stats", "--duration", "2.5", dir + name});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("dev  0  heartbeat            registry 0x0000000000000008 devices 3"),
              std::string::npos);
    EXPECT_NE(r.out.find("kControlType0 value 0.5"), std::string::npos);
    EXPECT_NE(r.out.find("Bus summary: 101 frames in 2.500000 s"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("heartbeat                        100       40.0"), std::string::npos)
        << r.out;
  }
  const ToolRun only = RunTool({"--stats-only", dir + "/d.log"});
  EXPECT_EQ(only.out.find("registry"), std::string::npos);
  EXPECT_NE(only.out.find("in 2.475000 s"), std::string::npos) << only.out;
  EXPECT_EQ(only.out.find("Skipped"), std::string::npos) << "no skipped line when none were";

  const ToolRun rows = RunTool({"--tsv", dir + "/d.log"});
  EXPECT_EQ(rows.out.substr(0, rows.out.find('\n')),
            "0\t146\theartbeat\tregistry 0x0000000000000008 devices 3");
}

TEST(DecodeTool, SkipsErrorAndFdFramesWithACountInTheSummary) {
  const std::string path = ::testing::TempDir() + "/skipped.log";
  {
    std::ofstream log(path);
    log << "(0.000000) can0 02052480#0800000000000000 R\n"
           "(0.001000) can0 20000080#0000000000000000 R\n"
           "(0.002000) can0 123##100 T\n"
           "(0.003000) can0 20000004#0004000000000000\n";
  }
  const ToolRun r = RunTool({"--stats", path});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Bus summary: 1 frames"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Skipped (not in the figures): 2 error frames, 1 CAN FD frames"),
            std::string::npos)
      << r.out;
}

TEST(DecodeTool, BadInputAndUsageGiveTheirExitStatus) {
  const std::string dir = ::testing::TempDir();
  {
    std::ofstream bad(dir + "/bad.log");
    bad << "(0.000000) can0 02052480#0800000000000000\nnot a frame\n";
  }
  const ToolRun badRun = RunTool({dir + "/bad.log"});
  EXPECT_EQ(badRun.status, 1);
  EXPECT_NE(badRun.err.find("bad.log: line 2: expected '('"), std::string::npos) << badRun.err;
  EXPECT_NE(badRun.out.find("heartbeat"), std::string::npos) << "good frames are still shown";

  EXPECT_EQ(RunTool({dir + "/does-not-exist.pcap"}).status, 1);
  EXPECT_EQ(RunTool({}).status, 2);
  EXPECT_EQ(RunTool({"--bogus", "x"}).status, 2);
  for (const char* duration : {"0", "-1", "abc", "nan", "1e300"}) {
    EXPECT_EQ(RunTool({"--duration", duration, "x"}).status, 2) << duration;
  }
  EXPECT_EQ(RunTool({"--duration"}).status, 2);
  const ToolRun help = RunTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: tavrix-decode"), std::string::npos);
}

}  // namespace
