// riffoscope run as a program: --help and --version answer on standard
// output and exit without a display, so they work from a terminal, a package
// build or a manual-page check.
#include <gtest/gtest.h>

#include "support/RunProgram.h"
#include "support/TempFolder.h"

namespace riffo {
namespace {

TEST(ViewerProgram, HelpAndVersionPrintToStandardOutputWithoutADisplay) {
  test::TempFolder folder("viewer-program");
  const std::string usage = "Usage: riffoscope [FILE]\n";
  const std::string version = std::string("riffoscope ") + RIFFO_PROJECT_VERSION + "\n";
  struct Case {
    std::vector<std::string> Args;
    std::string Out;
  } const cases[] = {
      {{"--help"}, usage},
      {{"-h"}, usage},
      {{"--version"}, version},
      {{"-platform", "offscreen", "--version"}, version},
  };
  for (const Case& c : cases) {
    // No DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM: a window could not open.
    test::TProgramCall call(RIFFOSCOPE_PATH, c.Args, folder.Path());
    call.Environment = {"PATH=/usr/bin:/bin", "LC_ALL=C.UTF-8"};
    call.OwnEnvironment = true;
    const test::TRun run = test::RunProgram(call);
    const std::string shown = c.Args.back();
    EXPECT_EQ(run.Status, 0) << shown << run.Err;
    EXPECT_EQ(run.Out.substr(0, c.Out.size()), c.Out) << shown;
    EXPECT_EQ(run.Err, "") << shown;
  }

  // Output that cannot be written is a failure, not a silent success.
  test::TProgramCall full(RIFFOSCOPE_PATH, {"--version"}, folder.Path());
  full.StdoutPath = "/dev/full";
  EXPECT_EQ(test::RunProgram(full).Status, 2);
}

}  // namespace
}  // namespace riffo
