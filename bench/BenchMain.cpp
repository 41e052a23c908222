// Entry point of tavrix-bench: runs the benchmarks with the console reporter
// and closes with one table of every figure's ratio against its floor and
// whether the target was met. A missed target does not fail the run: on a
// loaded machine it says to measure again, and docs/performance.md records
// the figures.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct FigureRow {
  std::string name;
  double subject = 0.0;
  double floor = 0.0;
  double ratio = 0.0;
  double target = 0.0;
};

// Every counter "<prefix>ratio" with its "<prefix>subject", "<prefix>floor"
// and "<prefix>target" is one figure.
class FigureReporter : public benchmark::ConsoleReporter {
 public:
  explicit FigureReporter(OutputOptions options) : ConsoleReporter(options) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) Collect(run);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-48s %12s %12s %8s %8s  %s\n", "figure", "subject", "floor", "ratio", "target",
                "met");
    for (const FigureRow& row : rows_) {
      std::printf("%-48s %12.3f %12.3f %8.3f %8.2f  %s\n", row.name.c_str(), row.subject, row.floor,
                  row.ratio, row.target, row.ratio <= row.target ? "yes" : "NO");
    }
  }

 private:
  static constexpr const char* kRatio = "ratio";

  void Collect(const Run& run) {
    if (run.error_occurred) return;
    for (const auto& counter : run.counters) {
      const std::string& key = counter.first;
      if (key.size() < 5 || key.compare(key.size() - 5, 5, kRatio) != 0) continue;
      const std::string prefix = key.substr(0, key.size() - 5);
      FigureRow row;
      row.name = run.run_name.function_name + (prefix.empty() ? "" : " [" + prefix + "]");
      row.ratio = counter.second.value;
      row.subject = Value(run, prefix + "subject");
      row.floor = Value(run, prefix + "floor");
      row.target = Value(run, prefix + "target");
      rows_.push_back(row);
    }
  }

  static double Value(const Run& run, const std::string& key) {
    const auto found = run.counters.find(key);
    return found == run.counters.end() ? 0.0 : found->second.value;
  }

  std::vector<FigureRow> rows_;
};

// The library applies --benchmark_color only to the reporter it makes itself,
// so this one reads the flag: colours on a terminal unless told otherwise.
benchmark::ConsoleReporter::OutputOptions ConsoleOptions(int argc, char** argv) {
  bool color = isatty(STDOUT_FILENO) != 0;
  constexpr const char* kColorFlag = "--benchmark_color=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kColorFlag, std::strlen(kColorFlag)) != 0) continue;
    const char* value = argv[i] + std::strlen(kColorFlag);
    color = std::strcmp(value, "false") != 0 && std::strcmp(value, "no") != 0 &&
            std::strcmp(value, "0") != 0;
  }
  return color ? benchmark::ConsoleReporter::OO_ColorTabular
               : benchmark::ConsoleReporter::OO_Tabular;
}

}  // namespace

int main(int argc, char** argv) {
  const benchmark::ConsoleReporter::OutputOptions options = ConsoleOptions(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  FigureReporter reporter(options);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
