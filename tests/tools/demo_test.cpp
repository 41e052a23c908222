// The demo: its options, and a short run end to end (exit status, what it
// prints, and the trace it writes, read back from both files).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "DemoOptions.h"
#include "tavrix/decode/FrameDecoder.h"
#include "tavrix/trace/TraceFile.h"

namespace {

using tavrix::demo::DemoOptions;
using tavrix::demo::ParseOutcome;

ParseOutcome Parse(std::vector<const char*> args, DemoOptions& options, std::string& error) {
  args.insert(args.begin(), "tavrix-demo");
  return tavrix::demo::ParseDemoOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(DemoOptions, AcceptsEveryOption) {
  DemoOptions o;
  std::string error;
  ASSERT_EQ(Parse({"--duration", "2.5", "--interval", "100", "--realtime", "--log", "a.log",
                   "--pcap", "b.pcap"},
                  o, error),
            ParseOutcome::kRun)
      << error;
  EXPECT_DOUBLE_EQ(o.durationS, 2.5);
  EXPECT_EQ(o.intervalMs, 100u);
  EXPECT_TRUE(o.realtime);
  EXPECT_EQ(o.logPath, "a.log");
  EXPECT_EQ(o.pcapPath, "b.pcap");
  ASSERT_EQ(Parse({"--stepped"}, o, error), ParseOutcome::kRun);
  EXPECT_FALSE(o.realtime);
  EXPECT_EQ(Parse({"--log", "x", "--help"}, o, error), ParseOutcome::kHelp);
}

TEST(DemoOptions, RejectsBadValuesWithAMessage) {
  const std::vector<std::vector<const char*>> bad = {
      {"--duration", "0.5"}, {"--duration", "601"},
      {"--duration", "nan"}, {"--duration", "2s"},
      {"--duration"},        {"--interval", "5"},
      {"--interval", "1.5"}, {"--interval", "99999999999999999999"},
      {"--log", ""},         {"--pcap"},
      {"--verbose"},         {"extra"},
  };
  for (const auto& args : bad) {
    DemoOptions o;
    std::string error;
    EXPECT_EQ(Parse(args, o, error), ParseOutcome::kError) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

std::string FileBytes(const std::string& path) {
  std::string bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  std::fclose(file);
  return bytes;
}

struct DemoRun {
  int status = -1;
  std::string out;
};

DemoRun RunDemo(const std::string& args) {
  DemoRun run;
  FILE* pipe = popen((std::string(TAVRIX_DEMO_COMMAND) + " " + args + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

std::vector<tavrix::trace::TraceFrame> ReadFrames(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string error;
  EXPECT_TRUE(tavrix::trace::ReadFileBytes(path, bytes, error)) << error;
  const tavrix::trace::ReadResult result = tavrix::trace::ReadTrace(bytes);
  EXPECT_TRUE(result.ok()) << path;
  return result.frames;
}

TEST(Demo, ShortRunSucceedsAndWritesTheSameTraceToBothFiles) {
  const std::string dir = ::testing::TempDir();
  const std::string log = dir + "/demo_test.log";
  const std::string pcap = dir + "/demo_test.pcap";
  const DemoRun run = RunDemo("--duration 1 --interval 100 --log " + log + " --pcap " + pcap);
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("device 1 firmware: v"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Bus utilisation at 1 Mbit/s"), std::string::npos);
  EXPECT_EQ(run.out.find("FAILED"), std::string::npos) << run.out;

  const std::vector<tavrix::trace::TraceFrame> frames = ReadFrames(log);
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(ReadFrames(pcap), frames);
  EXPECT_GE(frames.front().timestampUs, 1000000u) << "the program starts 1 s after power-on";

  // Every step left its frames on the bus.
  tavrix::decode::FrameDecoder decoder;
  std::set<tavrix::decode::FrameKind> kinds;
  bool enabledHeartbeat = false;
  std::string lastHeartbeat;
  bool positionSetpoint = false;
  for (const auto& f : frames) {
    const tavrix::decode::DecodedFrame d = decoder.Decode(f);
    kinds.insert(d.kind);
    if (d.kind == tavrix::decode::FrameKind::kHeartbeat) {
      enabledHeartbeat |= d.fields.find("devices 1 2") != std::string::npos;
      lastHeartbeat = d.fields;
    }
    positionSetpoint |=
        d.fields.find("kControlType3 value 10 aux 0 (0) slot 1") != std::string::npos;
  }
  using K = tavrix::decode::FrameKind;
  for (K k : {K::kFirmwareRequest, K::kFirmwareReply, K::kFollowerCommand, K::kFollowerEcho,
              K::kParameterWrite, K::kParameterRequest, K::kParameterReply, K::kSetpoint,
              K::kStatus0, K::kStatus1, K::kStatus2, K::kSetEncoderPosition}) {
    EXPECT_EQ(kinds.count(k), 1u) << tavrix::decode::FrameKindName(k);
  }
  EXPECT_TRUE(enabledHeartbeat);
  EXPECT_NE(lastHeartbeat.find("registry 0x0000000000000000"), std::string::npos)
      << "the robot is disabled at the end";
  EXPECT_TRUE(positionSetpoint);

  // Another process with the same program and steps, closed loops included,
  // writes the same bytes, timestamps included.
  const std::string again = dir + "/demo_test_again.log";
  const DemoRun second = RunDemo("--duration 1 --interval 100 --log " + again + " --pcap " + dir +
                                 "/demo_test_again.pcap");
  ASSERT_EQ(second.status, 0) << second.out;
  EXPECT_EQ(FileBytes(again), FileBytes(log));
}

TEST(Demo, HelpAndBadOptions) {
  const DemoRun help = RunDemo("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: tavrix-demo"), std::string::npos);
  const DemoRun bad = RunDemo("--duration 0");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.out.find("--duration must be"), std::string::npos);
}

TEST(Demo, UnwritableTraceFileFailsTheRun) {
  const DemoRun run =
      RunDemo("--duration 1 --log /nonexistent-dir/x.log --pcap /nonexistent-dir/x.pcap");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("cannot create /nonexistent-dir/x.log"), std::string::npos) << run.out;
}

}  // namespace
