// Sonolint.qvx in a process without a widget application (as under the
// command line): Configure has nowhere to show its dialog and fails, and
// neither the dialog library nor the widget toolkit is loaded for it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include <unistd.h>

#include "host/MediaValidationSession.h"
#include "platform/Files.h"
#include "support/TempFolder.h"

namespace riffo {
namespace {

TEST(ConfigureWithoutApplication, FailsWithItsTraceLine) {
  const test::TempFolder folder("noapp");
  const std::string trace = folder.File("trace.log");
  std::optional<test::ScopedEnv> tracing(std::in_place, "RIFFOSCOPE_TRACE", trace);
  {
    TMediaValidationSession session(ProgramFolder(), u"", MODULE_ID_SONOLINT, MODULE_ID_SONOLINT);
    ASSERT_TRUE(session.LoadValidationModules());
    ASSERT_EQ(session.ModuleCount(), 1u);
    EXPECT_EQ(session.Module(0).QuorvexControl()->Configure(0), E_FAIL);
    std::ifstream maps("/proc/self/maps");
    const std::string mapped((std::istreambuf_iterator<char>(maps)), {});
    EXPECT_EQ(mapped.find("libQt6"), std::string::npos);
    EXPECT_EQ(mapped.find("Sonolint.qvxui"), std::string::npos);
    EXPECT_NE(mapped.find("Sonolint.qvx"), std::string::npos);
  }
  tracing.reset();
  std::ifstream in(trace);
  const std::string lines((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(lines.find("dgn: Error in TSonolint.Configure call...\n"), std::string::npos) << lines;
}

}  // namespace
}  // namespace riffo
