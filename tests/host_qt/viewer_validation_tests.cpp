// From the main window to the validation window and back, on the bundled
// sample with the real Sonolint.qvx (built beside the test program): Tools >
// Validation, Start, the rows, counters and colours, and the ticks that the
// main window keeps for the next time.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ValidationFakes.h"
#include "platform/Files.h"
#include "platform/UserStore.h"
#include "platform/qt/WidgetHelpers.h"
#include "viewer/qt/RiffoscopeUnit1.h"
#include "support/SessionFakes.h"

namespace riffo::test {
namespace {

const std::u16string kSample =
    QString::fromUtf8(RIFFO_SOURCE_DIR "/samples/broadcast-sample.wav").toStdU16String();

TMediaValidationForm* ShownValidationForm() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* form = qobject_cast<TMediaValidationForm*>(widget);
        form != nullptr && form->isVisible())
      return form;
  return nullptr;
}

// Runs act on the validation window as soon as it is up, then closes it.
void WhenShown(const std::function<void(TMediaValidationForm&)>& act, bool* seen, int tries = 200) {
  QTimer::singleShot(10, [act, seen, tries] {
    TMediaValidationForm* form = ShownValidationForm();
    if (form == nullptr) {
      if (tries > 0) WhenShown(act, seen, tries - 1);
      return;
    }
    *seen = true;
    act(*form);
    QTest::mouseClick(form->btnClose(), Qt::LeftButton);
  });
}

class ViewerValidationTest : public ::testing::Test {
protected:
  void Show() {
    main = std::make_unique<TRiffoscopeForm>(&viewerDialogs, kSample);
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    ASSERT_NE(main->Session().ChunkTree(), nullptr);
  }
  void Validate(const std::function<void(TMediaValidationForm&)>& act) {
    bool seen = false;
    WhenShown(act, &seen);
    QAction* validation = main->Action(QStringLiteral("Validation"));
    ASSERT_NE(validation, nullptr);
    validation->trigger();
    EXPECT_TRUE(seen) << "the validation window was shown";
  }

  ScratchFolder scratch;
  TFakeDialogs viewerDialogs;
  TFakeValidationDialogs dialogs;
  TValidationDialogsOverride useFakes{dialogs};
  std::unique_ptr<TRiffoscopeForm> main;
};

TEST_F(ViewerValidationTest, OpensOnTheLoadedFileWithEveryModuleTicked) {
  Show();
  Validate([&](TMediaValidationForm& form) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Media Validation - ") + Q(kSample) +
                                      QStringLiteral(" [Sonolint, Loudlint]"));
    ASSERT_EQ(form.clbValidationModules()->count(), 2);
    EXPECT_EQ(form.clbValidationModules()->item(0)->checkState(), Qt::Checked)
        << "all ticked on first use";
    EXPECT_EQ(form.clbValidationModules()->item(1)->text(), QStringLiteral("Loudlint"));
    EXPECT_EQ(form.clbValidationModules()->item(1)->checkState(), Qt::Checked);
    EXPECT_EQ(form.Session().FileName(), kSample);
  });
}

TEST_F(ViewerValidationTest, RunShowsSonolintsLinesWithTheirColoursAndCounters) {
  Show();
  Validate([&](TMediaValidationForm& form) {
    // Sonolint's run alone here.
    form.clbValidationModules()->item(1)->setCheckState(Qt::Unchecked);
    QTest::mouseClick(form.btnStartValidation(), Qt::LeftButton);
    const std::vector<TCustomReport> lines = form.Session().Reports();
    ASSERT_GT(lines.size(), 4u);
    ASSERT_EQ(form.lvReport()->rowCount(), static_cast<int>(lines.size()));
    int counts[4] = {0, 0, 0, 0};
    bool silence = false;
    for (size_t k = 0; k < lines.size(); ++k) {
      const int row = static_cast<int>(k);
      SCOPED_TRACE(row);
      auto cell = [&](int column) { return form.lvReport()->item(row, column)->text(); };
      EXPECT_EQ(cell(REPORT_COLUMN_NUMBER), QString::number(row + 1));
      EXPECT_EQ(cell(REPORT_COLUMN_MODULE), QStringLiteral("Sonolint"));
      EXPECT_EQ(cell(REPORT_COLUMN_STREAM),
                lines[k].StreamID < 0 ? QString() : QString::number(lines[k].StreamID));
      EXPECT_EQ(cell(REPORT_COLUMN_TYPE), Q(ReportTypeName(lines[k].ReportType)));
      EXPECT_EQ(cell(REPORT_COLUMN_MESSAGE), Q(lines[k].ReportMessage));
      const TReportRowStyle style = ReportRowStyle(cell(REPORT_COLUMN_TYPE));
      ASSERT_TRUE(style.Styled) << "Sonolint sends Info, Warning and Error only";
      EXPECT_EQ(form.lvReport()->item(row, REPORT_COLUMN_MESSAGE)->background().color(),
                QColor::fromRgb(style.Background));
      if (lines[k].ReportType >= 1 && lines[k].ReportType <= 3) ++counts[lines[k].ReportType];
      silence = silence ||
                (lines[k].ReportType == REPORT_TYPE_WARNING &&
                 Q(lines[k].ReportMessage).startsWith(QStringLiteral("[500] Silence block at")));
    }
    EXPECT_TRUE(
        Q(lines.front().ReportMessage).startsWith(QStringLiteral("[101] Start validation at ")));
    EXPECT_TRUE(
        Q(lines.back().ReportMessage).startsWith(QStringLiteral("[108] Finish validation at ")));
    EXPECT_TRUE(silence) << "the sample holds 6 s of digital silence";
    EXPECT_EQ(form.edInfos()->text(), QString::number(counts[1]));
    EXPECT_EQ(form.edWarnings()->text(), QString::number(counts[2]));
    EXPECT_EQ(form.edErrors()->text(), QString::number(counts[3]));
    EXPECT_TRUE(form.lbPorgress()->text().endsWith(QStringLiteral("...Done.")));
    EXPECT_EQ(form.lbPorgress()->text(), QStringLiteral("Progress: 100.00%...Done."));
    EXPECT_EQ(form.prbProgress()->value(), 100);
  });
  EXPECT_TRUE(dialogs.Asked.empty());
}

TEST_F(ViewerValidationTest, Screenshot) {
  Show();
  Validate([&](TMediaValidationForm& form) {
    form.clbValidationModules()->item(1)->setCheckState(Qt::Unchecked);
    QTest::mouseClick(form.btnStartValidation(), Qt::LeftButton);
    QApplication::processEvents();
    QDir().mkpath(RIFFO_SCREENSHOT_DIR);
    const QString shot = RIFFO_SCREENSHOT_DIR "/validation-window-sample.png";
    EXPECT_TRUE(form.grab().save(shot));
    EXPECT_GT(QFileInfo(shot).size(), 1000);
  });
}

TEST_F(ViewerValidationTest, UntickedModuleIsKeptStoredAndUsedAgain) {
  Show();
  // Untick: the main window keeps that for the next time.
  Validate([&](TMediaValidationForm& form) {
    form.clbValidationModules()->item(1)->setCheckState(Qt::Unchecked);
    form.clbValidationModules()->item(0)->setCheckState(Qt::Unchecked);
  });
  EXPECT_EQ(main->Session().LastUsedModules(), 0u);
  EXPECT_TRUE(dialogs.Asked.empty());

  // Stored with the other settings when the main window closes, and used again.
  main->close();
  main.reset();
  {
    auto key = TUserStoreKey::OpenOrCreate(u"SOFTWARE\\Brindlecorp\\Riffoscope");
    ASSERT_TRUE(key);
    int32_t stored = -1;
    EXPECT_TRUE(key->ReadInteger(u"LastUsedModules", stored));
    EXPECT_EQ(stored, 0);
  }
  Show();
  Validate([&](TMediaValidationForm& form) {
    ASSERT_EQ(form.clbValidationModules()->count(), 2);
    EXPECT_EQ(form.clbValidationModules()->item(0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(form.clbValidationModules()->item(1)->checkState(), Qt::Unchecked);
    form.clbValidationModules()->item(0)->setCheckState(Qt::Checked);
  });
  EXPECT_EQ(main->Session().LastUsedModules(), static_cast<uint32_t>(MODULE_ID_SONOLINT));
}

// The command itself, without the window: what it hands to the validation window.
class ValidationCommandTest : public ::testing::Test {
protected:
  ScratchFolder scratch;
  TFakeView view;
  TFakeDialogs viewerDialogs;
};

TEST_F(ValidationCommandTest, PassesTheProgramFolderTheFileAndTheMaskOfBothModules) {
  TRiffoscopeSession session(view, viewerDialogs);
  struct Call {
    std::u16string Folder, File;
    uint32_t Mask, LastUsed;
  };
  std::vector<Call> calls;
  session.SetShowMediaValidation([&](const std::u16string& folder, const std::u16string& fileName,
                                     uint32_t mask, uint32_t& lastUsed) {
    calls.push_back({folder, fileName, mask, lastUsed});
    lastUsed = 0x5;
    return true;
  });
  session.Validation1Click();  // no file: refused
  EXPECT_TRUE(calls.empty());
  ASSERT_EQ(viewerDialogs.Boxes.size(), 1u);
  EXPECT_EQ(viewerDialogs.Boxes[0], (TBox{"error", u"There is no file loaded."}));

  ASSERT_TRUE(session.LoadFile(kSample));
  session.SetLastUsedModules(0x4);
  session.Validation1Click();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Folder, ProgramFolder());
  EXPECT_EQ(calls[0].Folder.back(), u'/');
  EXPECT_EQ(calls[0].File, kSample);
  EXPECT_EQ(calls[0].Mask, 12u);
  EXPECT_EQ(calls[0].LastUsed, 4u);
  EXPECT_EQ(session.LastUsedModules(), 5u) << "the window's answer is kept";
}

}  // namespace
}  // namespace riffo::test
