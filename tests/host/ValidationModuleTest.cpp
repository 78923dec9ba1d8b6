// Binding and unbinding one module file: what is traced, what is skipped,
// and in which order references and the library are let go.
#include "host/ValidationModule.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "HostTestSupport.h"
#include "platform/DebugTrace.h"

namespace riffo {
namespace {

using test::FakeModulePath;
using test::TLoggingSink;

class ValidationModuleTest : public test::THostTest {};

TEST_F(ValidationModuleTest, BindsAndReleasesEveryReferenceBeforeTheLibrary) {
  TraceCapture trace;
  TLoggingSink sink;
  {
    TValidationModule module(&sink);
    ASSERT_TRUE(module.LoadValidationModule(FakeModulePath("good")));
    EXPECT_TRUE(module.Loaded());
    EXPECT_EQ(module.ValidationModuleName(), u"Sonolint");
    EXPECT_EQ(module.ValidationModuleFileName(), FakeModulePath("good"));
    EXPECT_NE(module.QuorvexControl(), nullptr);
    EXPECT_NE(module.QuorvexReset(), nullptr);
    test::AppendLog("-- unload");
    EXPECT_TRUE(module.UnloadValidationModule());
    EXPECT_FALSE(module.Loaded());
    EXPECT_TRUE(module.ValidationModuleName().empty());
    EXPECT_TRUE(module.ValidationModuleFileName().empty());
    test::AppendLog("-- destroy");
  }
  EXPECT_TRUE(trace.Lines().empty());
  EXPECT_EQ(sink.FReferences.load(), 0u);
  const std::vector<std::string> expected = {
      "host AddRef 1",  // the wrapper's own reference, taken at creation
      "good create",
      "good GetModuleName",
      "good AddRef 2",  // IQuorvexReportSet
      "good AddRef 3",  // IQuorvexReset
      "good SetQuorvexReport",
      "host AddRef 2",   // the module keeps the sink
      "good Release 2",  // the temporary report-set reference
      "-- unload",
      "good Release 1",  // reset first
      "host Release 1",  // then the host's own sink reference
      "good Release 0",  // then the control object, which destroys it
      "good destroy",
      "host Release 0",
      "good sink-released",
      "good library-unloaded",  // and only then the library
      "-- destroy",             // nothing is freed a second time
  };
  EXPECT_EQ(Log(), expected);
}

TEST_F(ValidationModuleTest, DestroyUnloadsABoundModule) {
  TLoggingSink sink;
  {
    TValidationModule module(&sink);
    ASSERT_TRUE(module.LoadValidationModule(FakeModulePath("good")));
  }
  const auto log = Calls("good", {"Release 0", "destroy", "library-unloaded"});
  EXPECT_EQ(log,
            (std::vector<std::string>{"good Release 0", "good destroy", "good library-unloaded"}));
  EXPECT_EQ(sink.FReferences.load(), 0u);
}

// Each module file carries one fault in binding; each is traced with its own
// line, whatever the module created is released and its library freed once.
struct BindFault {
  const char* Folder;
  const char* Tag;
  const char16_t* Trace;
};

void PrintTo(const BindFault& fault, std::ostream* out) { *out << fault.Folder; }

class ValidationModuleFaultTest : public test::THostTest,
                                  public ::testing::WithParamInterface<BindFault> {};

TEST_P(ValidationModuleFaultTest, IsTracedAndLeavesNothingLoaded) {
  const BindFault& fault = GetParam();
  TraceCapture trace;
  TLoggingSink sink;
  {
    TValidationModule module(&sink);
    EXPECT_FALSE(module.LoadValidationModule(FakeModulePath(fault.Folder)));
    EXPECT_FALSE(module.Loaded());
    EXPECT_EQ(module.QuorvexControl(), nullptr);
    EXPECT_EQ(module.QuorvexReset(), nullptr);
    EXPECT_TRUE(module.ValidationModuleName().empty());
    EXPECT_TRUE(module.ValidationModuleFileName().empty());
    EXPECT_EQ(sink.FReferences.load(), 1u);  // only the wrapper's own
    test::AppendLog("-- failed");
  }
  EXPECT_EQ(trace.Lines(), std::vector<std::u16string>{fault.Trace});
  EXPECT_EQ(sink.FReferences.load(), 0u);

  const auto log = Log();
  const auto failed = std::find(log.begin(), log.end(), "-- failed");
  const std::string unloaded = std::string(fault.Tag) + " library-unloaded";
  EXPECT_EQ(std::count(log.begin(), log.end(), unloaded), 1);
  EXPECT_LT(std::find(log.begin(), log.end(), unloaded), failed) << "freed by the failed load";
  const std::string created = std::string(fault.Tag) + " create";
  if (std::find(log.begin(), log.end(), created) != log.end()) {
    const auto destroyed = std::find(log.begin(), log.end(), std::string(fault.Tag) + " destroy");
    EXPECT_LT(destroyed, std::find(log.begin(), log.end(), unloaded)) << "object before library";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ValidationModuleFaultTest,
    ::testing::Values(BindFault{"no-entry", "noentry",
                                u"Error in TValidationModule.LoadValidationModule - error "
                                u"retrieving GetQuorvexControl function."},
                      BindFault{"entry-fails", "entryf",
                                u"Error in TValidationModule.LoadValidationModule - error "
                                u"retrieving QuorvexControl interface."},
                      BindFault{"entry-null", "entryn",
                                u"Error in TValidationModule.LoadValidationModule - error "
                                u"retrieving QuorvexControl interface."},
                      BindFault{"name-fails", "namef",
                                u"Error in TValidationModule.LoadValidationModule - error "
                                u"retrieving Quorvex module name."},
                      BindFault{"no-reportset", "noreportset",
                                u"Error in TValidationModule.LoadValidationModule - error "
                                u"retrieving QuorvexReportSet interface."},
                      BindFault{"setreport-fails", "setf",
                                u"Error in TValidationModule.LoadValidationModule - error calling "
                                u"QuorvexReportSet.SetQuorvexReport."}),
    [](const auto& param) {
      std::string name = param.param.Folder;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

TEST_F(ValidationModuleTest, MissingFileFailsWithoutATrace) {
  TraceCapture trace;
  TLoggingSink sink;
  TValidationModule module(&sink);
  EXPECT_FALSE(module.LoadValidationModule(Path("Sonolint.qvx")));
  EXPECT_TRUE(trace.Lines().empty());
  EXPECT_TRUE(module.ValidationModuleFileName().empty());
}

TEST_F(ValidationModuleTest, FileThatIsNoLibraryIsTraced) {
  WriteFile("Sonolint.qvx", "not a shared object");
  TraceCapture trace;
  TLoggingSink sink;
  TValidationModule module(&sink);
  EXPECT_FALSE(module.LoadValidationModule(Path("Sonolint.qvx")));
  EXPECT_TRUE(
      trace.Contains(u"Error in TValidationModule.LoadValidationModule - error loading validation "
                     u"module library."));
  EXPECT_FALSE(module.Loaded());
}

TEST_F(ValidationModuleTest, ModuleWithoutResetBinds) {
  TLoggingSink sink;
  TValidationModule module(&sink);
  ASSERT_TRUE(module.LoadValidationModule(FakeModulePath("odd-case")));
  EXPECT_EQ(module.QuorvexReset(), nullptr);
  EXPECT_EQ(module.ValidationModuleName(), u"  sONOLINT ");  // kept exactly as the module gave it
}

TEST_F(ValidationModuleTest, SecondLoadOnABoundModuleIsRefused) {
  TraceCapture trace;
  TLoggingSink sink;
  TValidationModule module(&sink);
  ASSERT_TRUE(module.LoadValidationModule(FakeModulePath("good")));
  EXPECT_FALSE(module.LoadValidationModule(FakeModulePath("odd-case")));
  EXPECT_TRUE(module.Loaded());
  EXPECT_EQ(module.ValidationModuleName(), u"Sonolint");
  EXPECT_EQ(trace.Lines().size(), 1u);
  EXPECT_TRUE(Calls("oddcase", {"create"}).empty());
}

}  // namespace
}  // namespace riffo
