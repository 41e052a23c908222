// tavrix-demo: a short robot program with two controllers on the simulated bus.
#include <cstdio>
#include <string>

#include "DemoOptions.h"
#include "DemoScenario.h"

int main(int argc, char** argv) {
  tavrix::demo::DemoOptions options;
  std::string error;
  switch (tavrix::demo::ParseDemoOptions(argc, argv, options, error)) {
    case tavrix::demo::ParseOutcome::kHelp: std::fputs(tavrix::demo::DemoUsage(), stdout); return 0;
    case tavrix::demo::ParseOutcome::kError:
      std::fprintf(stderr, "tavrix-demo: %s\n\n%s", error.c_str(), tavrix::demo::DemoUsage());
      return 2;
    case tavrix::demo::ParseOutcome::kRun: break;
  }
  return tavrix::demo::RunDemo(options);
}
