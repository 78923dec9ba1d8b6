// The built Sonolint.qvx, loaded by the host's session from the program's
// folder: Configure shows the rule settings dialog, and what the user
// confirms there decides what the next run sends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "host/MediaValidationSession.h"
#include "host/qt/MediaValidationFrm.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "tests/support/StoreFolder.h"

namespace riffo {
namespace {

const std::u16string kSample = Utf8ToUtf16(RIFFO_SOURCE_DIR "/samples/broadcast-sample.wav");

// The rule numbers of a run's lines, in order ("[101] ..." gives 101).
std::vector<int> RuleNumbers(const TMediaValidationSession& session) {
  std::vector<int> numbers;
  for (const TCustomReport& line : session.Reports()) {
    const std::string text = Utf16ToUtf8(line.ReportMessage);
    numbers.push_back(text.size() > 5 && text[0] == '[' ? std::stoi(text.substr(1, 3)) : -1);
  }
  return numbers;
}

class ConfigureTest : public ::testing::Test {
protected:
  std::unique_ptr<TMediaValidationSession> Open() {
    auto session = std::make_unique<TMediaValidationSession>(
        ProgramFolder(), kSample, MODULE_ID_SONOLINT, MODULE_ID_SONOLINT);
    EXPECT_TRUE(session->LoadValidationModules());
    EXPECT_EQ(session->ModuleCount(), 1u) << "Sonolint.qvx beside the test program";
    return session;
  }
  static std::vector<int> Run(TMediaValidationSession& session) {
    TValidationRunView view;
    EXPECT_EQ(session.RunValidation(view), TRunResult::Completed);
    return RuleNumbers(session);
  }
  // Configure on the module; act() gets the dialog's buttons by name.
  static HRESULT Configure(TMediaValidationSession& session,
                           const std::function<void(QWidget& dialog)>& act) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      seen = dialog != nullptr && dialog->objectName() == QStringLiteral("ValidationSettingsForm");
      if (seen) act(*dialog);
    });
    const HRESULT result = session.Module(0).QuorvexControl()->Configure(0);
    EXPECT_TRUE(seen) << "the dialog was shown";
    return result;
  }
  static void Click(QWidget& dialog, const char* button) {
    auto* b = dialog.findChild<QPushButton*>(QString::fromUtf8(button));
    ASSERT_NE(b, nullptr) << button;
    b->click();
  }

  test::StoreFolder store;
};

TEST_F(ConfigureTest, CancelKeepsTheRulesDisableAllAndOkSilencesTheRun) {
  auto session = Open();
  ASSERT_EQ(session->ModuleCount(), 1u);
  const std::vector<int> first = Run(*session);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.front(), 101);
  EXPECT_EQ(first.back(), 108);

  EXPECT_EQ(Configure(*session,
                      [](QWidget& dialog) {
                        auto* list =
                            dialog.findChild<QTableWidget*>(QStringLiteral("lvValidationSettings"));
                        EXPECT_TRUE(list != nullptr && list->rowCount() == 90);
                        Click(dialog, "btnDisableAll");
                        Click(dialog, "btnCancel");
                      }),
            S_OK);
  EXPECT_EQ(Run(*session), first) << "Cancel changed nothing";

  EXPECT_EQ(Configure(*session,
                      [](QWidget& dialog) {
                        Click(dialog, "btnDisableAll");
                        Click(dialog, "btnOK");
                      }),
            S_OK);
  // Only findings outside the catalogue (rule 0) could still come; the sample has none.
  for (int number : Run(*session)) EXPECT_EQ(number, 0);

  // The module saved its catalogue when it went; the next one reads it back.
  session.reset();
  session = Open();
  ASSERT_EQ(session->ModuleCount(), 1u);
  for (int number : Run(*session)) EXPECT_EQ(number, 0);
}

// The validation window's settings button reaches the module's dialog, which
// Sonolint.qvx loads from its own library beside it.
TEST_F(ConfigureTest, SettingsButtonOfTheValidationWindowOpensTheDialog) {
  auto session = Open();
  ASSERT_EQ(session->ModuleCount(), 1u);
  TMediaValidationForm window(*session);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.clbValidationModules()->setCurrentRow(0);
  int rows = -1;
  QWidget* owner = nullptr;
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || dialog->objectName() != QStringLiteral("ValidationSettingsForm"))
      return;
    owner = dialog->parentWidget();
    if (auto* list = dialog->findChild<QTableWidget*>(QStringLiteral("lvValidationSettings")))
      rows = list->rowCount();
    Click(*dialog, "btnCancel");
  });
  QTest::mouseClick(window.btnSettings(), Qt::LeftButton);
  EXPECT_EQ(rows, 90) << "the dialog was shown on Sonolint's catalogue";
  EXPECT_EQ(owner, &window) << "over the validation window";
}

}  // namespace
}  // namespace riffo
