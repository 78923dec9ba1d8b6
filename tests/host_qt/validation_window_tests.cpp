// The validation window on the offscreen platform, over the fake modules of
// the host tests: runs, stopping, refusing to close, ticks, the settings
// button and the whole save command.
#include <gtest/gtest.h>

#include <set>

#include <QApplication>
#include <QHeaderView>
#include <QDir>
#include <QTest>
#include <QTimer>

#include "ValidationFakes.h"
#include "platform/Text.h"
#include "platform/qt/WidgetHelpers.h"

namespace riffo::test {
namespace {

std::u16string FakeFolder(const std::string& folder) {
  return Utf8ToUtf16(std::string(FAKE_QVX_DIR) + "/" + folder + "/");
}

class WindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    FLog = scratch.Path("calls.log").string();
    setenv("FAKE_QVX_LOG", FLog.c_str(), 1);
    ClearSwitches();
    scratch.Write("take1.wav", "RIFF");
    file = scratch.Name("take1.wav");
  }
  void TearDown() override {
    form.reset();
    session.reset();
    ClearSwitches();
    unsetenv("FAKE_QVX_LOG");
  }
  static void ClearSwitches() {
    for (const char* tag : {"good", "sono", "vido"}) {
      unsetenv((std::string("FAKE_QVX_PROGRESS_") + tag).c_str());
      unsetenv((std::string("FAKE_QVX_FAIL_") + tag).c_str());
    }
  }

  void Open(const std::string& folder, uint32_t lastUsed = 0xFFFFFFFFu) {
    session =
        std::make_unique<TMediaValidationSession>(FakeFolder(folder), file, 0xFFFFFFFFu, lastUsed);
    ASSERT_TRUE(session->LoadValidationModules());
    form = std::make_unique<TMediaValidationForm>(*session, &dialogs);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }

  // The fake's calls, as "tag event" lines.
  std::vector<std::string> Calls(const std::string& tag) const {
    std::vector<std::string> out;
    std::ifstream in(FLog);
    for (std::string line; std::getline(in, line);)
      if (line.rfind(tag + " ", 0) == 0) out.push_back(line.substr(tag.size() + 1));
    return out;
  }
  bool Called(const std::string& tag, const std::string& event) const {
    for (const auto& line : Calls(tag))
      if (line.rfind(event, 0) == 0) return true;
    return false;
  }

  QString Cell(int row, int column) const {
    const QTableWidgetItem* item = form->lvReport()->item(row, column);
    return item ? item->text() : QStringLiteral("<none>");
  }

  void Run() { QTest::mouseClick(form->btnStartValidation(), Qt::LeftButton); }

  ScratchFolder scratch;
  TFakeValidationDialogs dialogs;
  std::u16string file;
  std::unique_ptr<TMediaValidationSession> session;
  std::unique_ptr<TMediaValidationForm> form;
  std::string FLog;
};

TEST_F(WindowTest, ShowsTheModulesTicksAndCaption) {
  Open("pair", 4);  // only Sonolint was ticked last time
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Media Validation - ") + Q(file) +
                                     QStringLiteral(" [Vidolint, Sonolint]"));
  QListWidget* list = form->clbValidationModules();
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("Vidolint"));
  EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
  EXPECT_EQ(list->item(1)->checkState(), Qt::Checked);
  EXPECT_EQ(list->currentRow(), 0);

  // Idle at first: Start, Settings and Close; the counters show 0.
  EXPECT_TRUE(form->btnStartValidation()->isEnabled());
  EXPECT_TRUE(form->btnSettings()->isEnabled());
  EXPECT_TRUE(form->btnClose()->isEnabled());
  EXPECT_FALSE(form->btnStoptValidation()->isEnabled());
  EXPECT_FALSE(form->btnSaveReport()->isEnabled());
  for (QLineEdit* box : {form->edInfos(), form->edWarnings(), form->edErrors()}) {
    EXPECT_EQ(box->text(), QStringLiteral("0"));
    EXPECT_TRUE(box->isReadOnly());
    EXPECT_TRUE(box->alignment() & Qt::AlignRight);
  }
  QHeaderView* header = form->lvReport()->horizontalHeader();
  const std::pair<const char*, int> columns[] = {
      {"#", 50}, {"Module", 160}, {"Stream", 50}, {"Type", 60}};
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(form->lvReport()->horizontalHeaderItem(c)->text(),
              QString::fromUtf8(columns[c].first));
    EXPECT_EQ(header->sectionSize(c), columns[c].second);
  }
  EXPECT_EQ(form->lvReport()->horizontalHeaderItem(4)->text(), QStringLiteral("Message"));

  // Ticks made in the window come back as the last-used mask on closing.
  list->item(0)->setCheckState(Qt::Checked);
  list->item(1)->setCheckState(Qt::Unchecked);
  QTest::mouseClick(form->btnClose(), Qt::LeftButton);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_EQ(session->LastUsedModulesMask(), 1u);
  EXPECT_EQ(session->ModuleCount(), 0u) << "closing unloads the modules";
}

TEST_F(WindowTest, RunShowsEveryLineWithItsColourAndTheCounters) {
  Open("good");
  Run();
  const std::vector<TCustomReport> lines = session->Reports();
  ASSERT_EQ(lines.size(), 5u);  // 101, 500, 204, 302, 108
  ASSERT_EQ(form->lvReport()->rowCount(), 5);
  int infos = 0, warnings = 0, errors = 0;
  for (int row = 0; row < 5; ++row) {
    const TCustomReport& line = lines[static_cast<size_t>(row)];
    SCOPED_TRACE(row);
    EXPECT_EQ(Cell(row, 0), QString::number(row + 1));
    EXPECT_EQ(Cell(row, 1), QStringLiteral("Sonolint"));
    EXPECT_EQ(Cell(row, 2), QString()) << "stream -1 shows nothing";
    EXPECT_EQ(Cell(row, 3), Q(ReportTypeName(line.ReportType)));
    EXPECT_EQ(Cell(row, 4), Q(line.ReportMessage));
    const QColor expected = line.ReportType == REPORT_TYPE_INFO      ? QColor(247, 247, 255)
                            : line.ReportType == REPORT_TYPE_WARNING ? QColor(255, 255, 204)
                                                                     : QColor(255, 204, 204);
    for (int column = 0; column < REPORT_COLUMN_COUNT; ++column)
      EXPECT_EQ(form->lvReport()->item(row, column)->background().color(), expected);
    EXPECT_FALSE(form->lvReport()->item(row, 0)->icon().isNull());
    infos += line.ReportType == REPORT_TYPE_INFO;
    warnings += line.ReportType == REPORT_TYPE_WARNING;
    errors += line.ReportType == REPORT_TYPE_ERROR;
  }
  EXPECT_EQ(form->edInfos()->text(), QString::number(infos));
  EXPECT_EQ(form->edWarnings()->text(), QString::number(warnings));
  EXPECT_EQ(form->edErrors()->text(), QString::number(errors));
  EXPECT_EQ((std::vector<int>{infos, warnings, errors}), (std::vector<int>{3, 1, 1}));
  EXPECT_EQ(form->lbPorgress()->text(), QStringLiteral("Progress: 100.00%...Done."));
  EXPECT_EQ(form->prbProgress()->value(), 100);
  EXPECT_TRUE(form->btnSaveReport()->isEnabled());
  EXPECT_FALSE(form->btnStoptValidation()->isEnabled());

  // A second run starts from an empty list and fresh counters.
  Run();
  EXPECT_EQ(form->lvReport()->rowCount(), 5);
  EXPECT_EQ(form->edInfos()->text(), QStringLiteral("3"));
}

// Home and End go to the first and the last line of the report list.
TEST_F(WindowTest, HomeAndEndMoveToTheFirstAndLastLine) {
  Open("good");
  Run();
  QTableWidget* list = form->lvReport();
  ASSERT_EQ(list->rowCount(), 5);
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  list->setFocus();
  list->setCurrentCell(2, 0);
  QTest::keyClick(list, Qt::Key_End);
  EXPECT_EQ(list->currentRow(), 4);
  EXPECT_TRUE(list->item(4, 4)->isSelected()) << "the whole row";
  QTest::keyClick(list, Qt::Key_Home);
  EXPECT_EQ(list->currentRow(), 0);
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(list->currentRow(), 1) << "the other keys as before";
}

// Under a dark palette the rows keep their meaning without hiding the
// theme's light text.
TEST_F(WindowTest, DarkPaletteRowsStayReadable) {
  QPalette dark;
  dark.setColor(QPalette::Base, QColor(0x23, 0x23, 0x23));
  dark.setColor(QPalette::Text, QColor(0xE6, 0xE6, 0xE6));
  dark.setColor(QPalette::Window, QColor(0x2D, 0x2D, 0x2D));
  dark.setColor(QPalette::WindowText, QColor(0xE6, 0xE6, 0xE6));
  const QPalette before = QApplication::palette();
  QApplication::setPalette(dark);
  Open("good");
  Run();
  QTableWidget* list = form->lvReport();
  ASSERT_EQ(list->rowCount(), 5);
  std::set<QRgb> backgrounds;
  for (int row = 0; row < list->rowCount(); ++row) {
    const QColor background = list->item(row, 0)->background().color();
    backgrounds.insert(background.rgb());
    EXPECT_LT(background.lightness(), 110)
        << "row " << row << " " << background.name().toStdString();
  }
  EXPECT_EQ(backgrounds.size(), 3u) << "Info, Warning and Error still differ";
  QDir().mkpath(RIFFO_SCREENSHOT_DIR);
  EXPECT_TRUE(form->grab().save(RIFFO_SCREENSHOT_DIR "/validation-dark.png"));
  QApplication::setPalette(before);
}

TEST_F(WindowTest, RowStyleFollowsTheTypeText) {
  struct Case {
    const char* Type;
    bool Styled;
    QRgb Background;
    int Image;
  };
  const Case cases[] = {{"Info", true, 0xFFF7F7FF, 18},  {"Warning", true, 0xFFFFFFCC, 23},
                        {"Error", true, 0xFFFFCCCC, 24}, {"None", false, 0, -1},
                        {"Unknown", false, 0, -1},       {"info", false, 0, -1}};
  for (const Case& c : cases) {
    const TReportRowStyle style = ReportRowStyle(QString::fromUtf8(c.Type));
    EXPECT_EQ(style.Styled, c.Styled) << c.Type;
    if (!c.Styled) continue;
    EXPECT_EQ(style.Background, c.Background) << c.Type;
    EXPECT_EQ(style.ImageIndex, c.Image) << c.Type;
    EXPECT_FALSE(ValidationImage(c.Image).isNull());
  }
}

TEST_F(WindowTest, StopEndsTheRunBeforeTheNextModuleAndClosingWaits) {
  setenv("FAKE_QVX_PROGRESS_vido", "50", 1);  // the first module never finishes
  Open("pair");
  bool stillOpen = false, stopEnabled = false, startEnabled = true;
  QString labelDuringRun;
  QTimer::singleShot(200, form.get(), [&] {
    // Neither the close box, nor Escape, nor the Close result ends the window now.
    form->close();
    QTest::keyClick(form.get(), Qt::Key_Escape);
    form->accept();
    stillOpen = form->isVisible();
    stopEnabled = form->btnStoptValidation()->isEnabled();
    startEnabled = form->btnStartValidation()->isEnabled();
    labelDuringRun = form->lbPorgress()->text();
    QTest::mouseClick(form->btnStoptValidation(), Qt::LeftButton);
  });
  Run();  // returns once the stop has ended the run

  EXPECT_TRUE(stillOpen);
  EXPECT_TRUE(stopEnabled);
  EXPECT_FALSE(startEnabled);
  EXPECT_EQ(labelDuringRun, QStringLiteral("Progress: 50.00%"));
  EXPECT_EQ(form->lbPorgress()->text(), QStringLiteral("Progress: 50.00%"))
      << "a stopped run is not Done";
  EXPECT_EQ(form->prbProgress()->value(), 50);
  EXPECT_TRUE(Called("vido", "Stop"));
  EXPECT_TRUE(Called("vido", "UnloadFile"));
  EXPECT_FALSE(Called("sono", "LoadFile")) << "the second ticked module is not run";
  EXPECT_TRUE(form->btnStartValidation()->isEnabled());
  EXPECT_TRUE(form->btnSaveReport()->isEnabled());
  EXPECT_FALSE(form->btnStoptValidation()->isEnabled());

  // Idle again: now it closes.
  form->close();
  EXPECT_FALSE(form->isVisible());
}

TEST_F(WindowTest, NothingTickedKeepsTheOldRowsButNotTheLines) {
  Open("good");
  Run();
  ASSERT_EQ(form->lvReport()->rowCount(), 5);
  form->clbValidationModules()->item(0)->setCheckState(Qt::Unchecked);
  Run();
  ASSERT_EQ(dialogs.Asked.size(), 1u);
  EXPECT_EQ(dialogs.Asked[0], (TAsked{"plain", u"No validation modules selected."}));
  EXPECT_EQ(form->lvReport()->rowCount(), 5) << "the old rows stay visible";
  EXPECT_EQ(form->lbPorgress()->text(), QStringLiteral("Progress: 100.00%...Done."));

  QTest::mouseClick(form->btnSaveReport(), Qt::LeftButton);
  ASSERT_EQ(dialogs.Asked.size(), 2u);
  EXPECT_EQ(dialogs.Asked[1], (TAsked{"plain", u"Report list is empty."}))
      << "no save dialog first";
}

TEST_F(WindowTest, StartWithTheFileGone) {
  Open("good");
  std::filesystem::remove(scratch.Path("take1.wav"));
  Run();
  ASSERT_EQ(dialogs.Asked.size(), 1u);
  EXPECT_EQ(dialogs.Asked[0], (TAsked{"plain", u"No file loaded."}));
  EXPECT_FALSE(Called("good", "LoadFile"));
  EXPECT_FALSE(form->btnSaveReport()->isEnabled());
}

TEST_F(WindowTest, SettingsConfiguresTheSelectedModuleNotTheTickedOnes) {
  Open("pair", 4);  // Sonolint ticked, Vidolint selected (the first line)
  QTest::mouseClick(form->btnSettings(), Qt::LeftButton);
  EXPECT_TRUE(Called("vido", "Configure 0"));
  EXPECT_FALSE(Called("sono", "Configure"));
  form->clbValidationModules()->setCurrentRow(1);
  QTest::mouseClick(form->btnSettings(), Qt::LeftButton);
  EXPECT_TRUE(Called("sono", "Configure 0"));
}

// ------------------------------------------------------------- saving ----

class SaveTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    Open("good");
    Run();
    dialogs.Asked.clear();
  }
  void Save() { QTest::mouseClick(form->btnSaveReport(), Qt::LeftButton); }
};

TEST_F(SaveTest, TheExtensionPicksTheFormat) {
  struct Case {
    const char* Name;
    const char* Starts;  // the first bytes of the file
  };
  const Case cases[] = {
      {"report.HTM", "<HTML>\r\n"}, {"report.html", "<HTML>\r\n"},
      {"report.dat", "//////////"}, {"report", "//////////"},
      {"report.TXT", "//////////"}, {"report.Csv", "#,Module,Stream,Type,Message\r\n"},
      {"report.xml", "<?xml"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    dialogs.Asked.clear();
    dialogs.Picks = {scratch.Name(c.Name)};
    Save();
    ASSERT_EQ(dialogs.Asked.size(), 2u);
    EXPECT_EQ(dialogs.Asked[0], (TAsked{"save", file.substr(0, file.size() - 4) + u".html"}))
        << "the preset is the file's name with .html";
    EXPECT_EQ(dialogs.Asked[1], (TAsked{"open", scratch.Name(c.Name)}));
    const std::string written = scratch.Read(c.Name);
    EXPECT_EQ(written.rfind(c.Starts, 0), 0u) << written.substr(0, 40);
    EXPECT_NE(written.find("[204] Chunk truncated"), std::string::npos);
  }
  // The plain-text and CSV forms are not HTML.
  EXPECT_EQ(scratch.Read("report.dat").find("<HTML>"), std::string::npos);
  EXPECT_EQ(scratch.Read("report.Csv").find("<HTML>"), std::string::npos);
  EXPECT_EQ(dialogs.Filter, std::u16string(SAVE_REPORT_FILTER));
  EXPECT_EQ(dialogs.DefaultExtension, u"xml");
}

TEST_F(SaveTest, ReplacingAnExistingFile) {
  scratch.Write("old.txt", "old contents");
  dialogs.Picks = {scratch.Name("old.txt")};
  dialogs.Answers = {false};
  Save();
  ASSERT_EQ(dialogs.Asked.size(), 2u);
  EXPECT_EQ(dialogs.Asked[1], (TAsked{"yesno", u"Report not saved. Do you want to save it?"}));
  EXPECT_EQ(scratch.Read("old.txt"), "old contents") << "No leaves the old file";

  dialogs.Asked.clear();
  dialogs.Picks = {scratch.Name("old.txt")};
  dialogs.Answers = {true};
  Save();
  ASSERT_EQ(dialogs.Asked.size(), 3u);
  EXPECT_EQ(dialogs.Asked[2], (TAsked{"open", scratch.Name("old.txt")}));
  EXPECT_NE(scratch.Read("old.txt"), "old contents");

  // A file that exists and cannot be deleted.
  dialogs.Asked.clear();
  dialogs.Picks = {u"/proc/version"};
  dialogs.Answers = {true};
  Save();
  ASSERT_EQ(dialogs.Asked.size(), 3u);
  EXPECT_EQ(dialogs.Asked[2], (TAsked{"plain", u"Cannot delete destination file."}));
}

TEST_F(SaveTest, CancelAndWriteFailure) {
  dialogs.Picks = {u""};  // cancelled
  Save();
  ASSERT_EQ(dialogs.Asked.size(), 1u);
  EXPECT_EQ(dialogs.Asked[0].Kind, "save");

  dialogs.Asked.clear();
  dialogs.Picks = {scratch.Name("no-such-folder/report.txt")};
  Save();
  ASSERT_EQ(dialogs.Asked.size(), 2u);
  EXPECT_EQ(dialogs.Asked[1], (TAsked{"plain", u"Error saving report."}));
}

TEST(SaveDialogFilter, BecomesNameFilters) {
  EXPECT_EQ(SaveDialogNameFilters(SAVE_REPORT_FILTER),
            (QStringList{"HTMLl File (*.html)", "PDFl File (*.pdf)", "XML File (*.xml)",
                         "CSV File (*.csv)", "Text File (*.txt)", "All Files (*)"}));
  EXPECT_EQ(SaveDialogNameFilters(u"Audio|*.wav;*.bwf"), (QStringList{"Audio (*.wav *.bwf)"}));
}

TEST(ProgressLabel, TwoDecimalsAndAPercentSign) {
  EXPECT_EQ(ProgressText(0), QStringLiteral("Progress: 0.00%"));
  EXPECT_EQ(ProgressText(99.996), QStringLiteral("Progress: 100.00%"));
  EXPECT_EQ(ProgressText(33.333), QStringLiteral("Progress: 33.33%"));
}

}  // namespace
}  // namespace riffo::test
