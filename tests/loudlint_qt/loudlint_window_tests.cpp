// The validation window lists Sonolint and Loudlint; Loudlint's settings
// dialog opens from it, and the profile chosen behind its Advanced button
// decides the next run once the dialog is confirmed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "host/MediaValidationSession.h"
#include "host/qt/MediaValidationFrm.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "support/StoreFolder.h"

namespace riffo {
namespace {

const std::u16string kSample = Utf8ToUtf16(RIFFO_SOURCE_DIR "/samples/broadcast-sample.wav");

void Click(QWidget& dialog, const char* button) {
  auto* b = dialog.findChild<QPushButton*>(QString::fromUtf8(button));
  ASSERT_NE(b, nullptr) << button;
  b->click();
}

std::string ProfileLine(const TMediaValidationSession& session) {
  for (const TCustomReport& line : session.Reports()) {
    const std::string text = Utf16ToUtf8(line.ReportMessage);
    if (text.rfind("[620] ", 0) == 0) return text;
  }
  return {};
}

TEST(LoudlintWindow, ListsBothModulesAndOpensLoudlintsSettings) {
  test::StoreFolder store;
  TMediaValidationSession session(ProgramFolder(), kSample, MODULE_ID_SONOLINT | MODULE_ID_LOUDLINT,
                                  0xFFFFFFFFu);
  ASSERT_TRUE(session.LoadValidationModules());
  TMediaValidationForm window(session);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QListWidget* modules = window.clbValidationModules();
  ASSERT_EQ(modules->count(), 2);
  EXPECT_EQ(modules->item(0)->text(), QStringLiteral("Sonolint"));
  EXPECT_EQ(modules->item(1)->text(), QStringLiteral("Loudlint"));

  TValidationRunView view;
  ASSERT_EQ(session.RunValidation(view), TRunResult::Completed);
  EXPECT_EQ(ProfileLine(session).rfind("[620] Profile EBU R128", 0), 0u) << ProfileLine(session);

  // Settings of the selected module: the rule list, then Advanced for the
  // loudness settings, where ATSC is chosen; both dialogs confirmed.
  modules->setCurrentRow(1);
  int rules = -1;
  bool advancedShown = false;
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || dialog->objectName() != QStringLiteral("ValidationSettingsForm"))
      return;
    if (auto* list = dialog->findChild<QTableWidget*>(QStringLiteral("lvValidationSettings")))
      rules = list->rowCount();
    QTimer::singleShot(0, [&] {
      QWidget* form = QApplication::activeModalWidget();
      if (form == nullptr || form->objectName() != QStringLiteral("LoudnessSettingsForm")) return;
      advancedShown = true;
      form->findChild<QComboBox*>(QStringLiteral("cbProfile"))->setCurrentIndex(1);
      Click(*form, "btnOK");
    });
    Click(*dialog, "btnAdvanced");
    Click(*dialog, "btnOK");
  });
  QTest::mouseClick(window.btnSettings(), Qt::LeftButton);
  EXPECT_EQ(rules, 25) << "Loudlint's catalogue";
  EXPECT_TRUE(advancedShown);

  ASSERT_EQ(session.RunValidation(view), TRunResult::Completed);
  EXPECT_EQ(ProfileLine(session).rfind("[620] Profile ATSC A/85", 0), 0u) << ProfileLine(session);
}

}  // namespace
}  // namespace riffo
