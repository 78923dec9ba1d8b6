// The rule settings dialog on the offscreen platform, on catalogues of the
// test's own: filling, the detail group, editing within the rules' limits,
// double click, Enable All / Disable All, and OK against Cancel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "platform/UserStore.h"
#include "modulekit/qt/QXValidationSettings.h"
#include "sonolint/ValidationSettings.h"
#include "tests/support/StoreFolder.h"

namespace riffo {
namespace {

int RowOf(const TRuleCatalogue& list, int32_t id) {
  for (int32_t i = 0; i < list.ValidationSettingsCount(); ++i)
    if (list.GetValidationSetting(i)->ID == id) return i;
  return -1;
}

struct Snapshot {
  int32_t ID, Type;
  bool Enabled;
  bool operator==(const Snapshot&) const = default;
};
std::vector<Snapshot> Take(const TRuleCatalogue& list) {
  std::vector<Snapshot> out;
  for (int32_t i = 0; i < list.ValidationSettingsCount(); ++i) {
    const auto* s = list.GetValidationSetting(i);
    out.push_back({s->ID, s->_Type, s->Enabled});
  }
  return out;
}

class DialogTest : public ::testing::Test {
protected:
  void SetUp() override { catalogue.AddBuiltInValidationSettings(); }
  void Show(bool advanced = false) {
    form = std::make_unique<TValidationSettingsForm>(catalogue, advanced);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  QString Cell(int row, int column) const {
    return form->lvValidationSettings()->item(row, column)->text();
  }
  void Select(int row) { form->lvValidationSettings()->selectRow(row); }
  // The background and font the list draws a cell with.
  QStyleOptionViewItem Drawn(int row, int column) const {
    QTableWidget* list = form->lvValidationSettings();
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    static_cast<TRuleRowDelegate*>(list->itemDelegate())
        ->initStyleOption(&option, list->model()->index(row, column));
    return option;
  }
  void DoubleClick(int row) {
    QTableWidget* list = form->lvValidationSettings();
    list->scrollToItem(list->item(row, RULE_COLUMN_NAME));
    const QRect cell = list->visualItemRect(list->item(row, RULE_COLUMN_NAME));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
  }

  test::StoreFolder store;
  TValidationSettingList catalogue;
  std::unique_ptr<TValidationSettingsForm> form;
};

TEST_F(DialogTest, FillsTheListAndShowsTheFirstRule) {
  Show();
  QTableWidget* list = form->lvValidationSettings();
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Validation Settings"));
  ASSERT_EQ(list->rowCount(), BUILT_IN_VALIDATION_SETTINGS_COUNT);
  const std::pair<const char*, int> columns[] = {
      {"ID", 40}, {"Name", 200}, {"Type", 80}, {"Enabled", 60}, {"Description", 200}};
  for (int c = 0; c < 5; ++c) {
    EXPECT_EQ(list->horizontalHeaderItem(c)->text(), QString::fromUtf8(columns[c].first));
    EXPECT_EQ(list->horizontalHeader()->sectionSize(c), columns[c].second);
  }
  EXPECT_TRUE(list->isColumnHidden(RULE_COLUMN_CODE));
  EXPECT_TRUE(list->showGrid());
  EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
  for (int row : {0, RowOf(catalogue, 211), BUILT_IN_VALIDATION_SETTINGS_COUNT - 1}) {
    const TValidationSetting* s = catalogue.GetValidationSetting(row);
    EXPECT_EQ(Cell(row, RULE_COLUMN_ID), QString::number(s->ID));
    EXPECT_EQ(Cell(row, RULE_COLUMN_NAME), QString::fromStdString(s->Name));
    EXPECT_EQ(Cell(row, RULE_COLUMN_TYPE), QString::fromUtf16(ReportTypeName(s->_Type)));
    EXPECT_EQ(Cell(row, RULE_COLUMN_ENABLED),
              s->Enabled ? QStringLiteral("Yes") : QStringLiteral("No"));
    EXPECT_EQ(Cell(row, RULE_COLUMN_DESCRIPTION), QString::fromStdString(s->Description));
    EXPECT_EQ(Cell(row, RULE_COLUMN_CODE), QString::number(s->Code));
  }
  EXPECT_EQ(form->CurrentlySelectedItemIndex(), 0);
  EXPECT_EQ(form->edID()->text(), QStringLiteral("101"));
  EXPECT_TRUE(form->edID()->isReadOnly());
  EXPECT_TRUE(form->edName()->isReadOnly());
  EXPECT_TRUE(form->memDescription()->isReadOnly());
  EXPECT_FALSE(form->btnAdvanced()->isVisible());
}

TEST_F(DialogTest, TheTypeBoxFollowsCanChangeType) {
  Show();
  // Rule 101's severity is fixed; rule 104's may change.
  EXPECT_FALSE(form->cbReportType()->isEnabled());
  EXPECT_TRUE(form->cbEnabled()->isEnabled());
  Select(RowOf(catalogue, 104));
  EXPECT_EQ(form->edID()->text(), QStringLiteral("104"));
  EXPECT_EQ(form->edName()->text(), QStringLiteral("Loading timeout"));
  EXPECT_TRUE(form->cbReportType()->isEnabled());
  EXPECT_EQ(form->cbReportType()->currentText(), QStringLiteral("Error"));
  EXPECT_EQ(form->memDescription()->toPlainText(), QStringLiteral("Loading timeout"));
}

TEST_F(DialogTest, EditingChangesTheWorkingCopyOnly) {
  Show();
  const int row = RowOf(catalogue, 104);
  Select(row);
  form->cbReportType()->setCurrentIndex(1);  // Warning
  form->cbEnabled()->setCurrentIndex(1);     // No
  EXPECT_EQ(Cell(row, RULE_COLUMN_TYPE), QStringLiteral("Warning"));
  EXPECT_EQ(Cell(row, RULE_COLUMN_ENABLED), QStringLiteral("No"));
  const TValidationSetting* edited = form->WorkingCopy().GetValidationSetting(row);
  EXPECT_EQ(edited->_Type, REPORT_TYPE_WARNING);
  EXPECT_FALSE(edited->Enabled);
  const TValidationSetting* original = catalogue.GetValidationSetting(row);
  EXPECT_EQ(original->_Type, REPORT_TYPE_ERROR);
  EXPECT_TRUE(original->Enabled);
  EXPECT_NE(edited, original) << "the working copy holds records of its own";

  // Back on another row and here again: the details show the edited record.
  Select(0);
  Select(row);
  EXPECT_EQ(form->cbReportType()->currentText(), QStringLiteral("Warning"));
  EXPECT_EQ(form->cbEnabled()->currentText(), QStringLiteral("No"));

  ASSERT_TRUE(form->ApplyToOriginal());
  EXPECT_EQ(catalogue.GetValidationSetting(row)->_Type, REPORT_TYPE_WARNING);
  EXPECT_FALSE(catalogue.GetValidationSetting(row)->Enabled);
}

TEST_F(DialogTest, DoubleClickTogglesAndRedrawsTheRow) {
  Show();
  const int row = RowOf(catalogue, 211);
  ASSERT_FALSE(catalogue.GetValidationSetting(row)->Enabled) << "211 is off by default";
  QStyleOptionViewItem before = Drawn(row, RULE_COLUMN_NAME);
  EXPECT_EQ(before.backgroundBrush.color(), QColor(0xDF, 0xDF, 0xDF));
  EXPECT_TRUE(before.font.italic());
  EXPECT_FALSE(before.font.bold());

  DoubleClick(row);
  EXPECT_EQ(form->CurrentlySelectedItemIndex(), row);
  EXPECT_TRUE(form->WorkingCopy().GetValidationSetting(row)->Enabled);
  EXPECT_EQ(Cell(row, RULE_COLUMN_ENABLED), QStringLiteral("Yes"));
  EXPECT_EQ(form->cbEnabled()->currentText(), QStringLiteral("Yes"));
  QStyleOptionViewItem after = Drawn(row, RULE_COLUMN_ID);
  EXPECT_EQ(after.backgroundBrush.color(), QColor(0xCF, 0xFF, 0xCF));
  EXPECT_TRUE(after.font.bold());
  EXPECT_FALSE(after.font.italic());

  DoubleClick(row);
  EXPECT_FALSE(form->WorkingCopy().GetValidationSetting(row)->Enabled);
  EXPECT_EQ(Cell(row, RULE_COLUMN_ENABLED), QStringLiteral("No"));
}

TEST_F(DialogTest, LockedRulesIgnoreTheSwitches) {
  TValidationSetting locked;
  locked.ID = 900;
  locked.Name = "Locked rule";
  locked._Type = REPORT_TYPE_WARNING;
  locked.Enabled = true;
  locked.CanChangeEnable = false;
  catalogue.AddItem(locked);
  Show();
  const int row = catalogue.ValidationSettingsCount() - 1;
  DoubleClick(row);
  EXPECT_TRUE(form->WorkingCopy().GetValidationSetting(row)->Enabled);
  EXPECT_FALSE(form->cbEnabled()->isEnabled());
  QTest::mouseClick(form->btnDisableAll(), Qt::LeftButton);
  EXPECT_TRUE(form->WorkingCopy().GetValidationSetting(row)->Enabled);
  EXPECT_EQ(Cell(row, RULE_COLUMN_ENABLED), QStringLiteral("Yes"));
  EXPECT_FALSE(form->WorkingCopy().GetValidationSetting(0)->Enabled);
}

TEST_F(DialogTest, DisableAllAndEnableAllWithTheDetailsInStep) {
  const std::vector<Snapshot> before = Take(catalogue);
  Show();
  QTest::mouseClick(form->btnDisableAll(), Qt::LeftButton);
  for (int row = 0; row < form->lvValidationSettings()->rowCount(); ++row) {
    EXPECT_FALSE(form->WorkingCopy().GetValidationSetting(row)->Enabled) << row;
    EXPECT_EQ(Cell(row, RULE_COLUMN_ENABLED), QStringLiteral("No"));
  }
  EXPECT_EQ(form->CurrentlySelectedItemIndex(), 0);
  EXPECT_EQ(form->lvValidationSettings()->currentRow(), 0);
  EXPECT_EQ(form->cbEnabled()->currentText(), QStringLiteral("No")) << "row 0 was selected before";
  QTest::mouseClick(form->btnEnableAll(), Qt::LeftButton);
  for (int row = 0; row < form->lvValidationSettings()->rowCount(); ++row)
    EXPECT_TRUE(form->WorkingCopy().GetValidationSetting(row)->Enabled) << row;
  EXPECT_EQ(form->cbEnabled()->currentText(), QStringLiteral("Yes"));
  EXPECT_EQ(Take(catalogue), before) << "only the working copy changes";
}

TEST_F(DialogTest, TypeZeroFromTheStoreShowsNone) {
  {
    auto key = TUserStoreKey::OpenOrCreate(VALIDATION_SETTINGS_REGISTRY_KEY);
    ASSERT_TRUE(key);
    key->WriteInteger(u"104_Type", 0);
    key->WriteInteger(u"105_Type", 7);
    ASSERT_TRUE(key->Commit());
  }
  ASSERT_TRUE(catalogue.LoadFromRegistry(HKEY_CURRENT_USER, VALIDATION_SETTINGS_REGISTRY_KEY));
  Show();
  EXPECT_EQ(Cell(RowOf(catalogue, 104), RULE_COLUMN_TYPE), QStringLiteral("None"));
  EXPECT_EQ(Cell(RowOf(catalogue, 105), RULE_COLUMN_TYPE), QStringLiteral("Unknown"));
  // The drop-down has no entry for 0: it keeps the one it showed (101's Info).
  Select(RowOf(catalogue, 104));
  EXPECT_EQ(form->cbReportType()->currentText(), QStringLiteral("Info"));
  EXPECT_EQ(form->WorkingCopy().GetValidationSetting(RowOf(catalogue, 104))->_Type, 0);
}

TEST_F(DialogTest, AdvancedOnlyWhenAskedFor) {
  Show(true);
  EXPECT_TRUE(form->btnAdvanced()->isVisible());
}

// EditValidationSettings as the module runs it: modal, OK against Cancel.
class EditTest : public DialogTest {
protected:
  // Runs the dialog; act() is called on it once it is up.
  int32_t Edit(const std::function<void(TValidationSettingsForm&)>& act) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* shown = dynamic_cast<TValidationSettingsForm*>(QApplication::activeModalWidget());
      seen = shown != nullptr;
      if (shown != nullptr) act(*shown);
    });
    const int32_t result = EditValidationSettings(catalogue, 0);
    EXPECT_TRUE(seen);
    return result;
  }
};

TEST_F(EditTest, CancelLeavesTheCatalogueOkReplacesIt) {
  const std::vector<Snapshot> before = Take(catalogue);
  struct Case {
    const char* How;
    std::function<void(TValidationSettingsForm&)> Close;
    bool Confirmed;
  };
  const Case cases[] = {
      {"Cancel",
       [](TValidationSettingsForm& f) { QTest::mouseClick(f.btnCancel(), Qt::LeftButton); }, false},
      {"Escape", [](TValidationSettingsForm& f) { QTest::keyClick(&f, Qt::Key_Escape); }, false},
      {"close box", [](TValidationSettingsForm& f) { f.close(); }, false},
  };
  for (const Case& c : cases) {
    const int32_t result = Edit([&](TValidationSettingsForm& f) {
      QTest::mouseClick(f.btnDisableAll(), Qt::LeftButton);
      c.Close(f);
    });
    EXPECT_EQ(result, 0) << c.How;
    EXPECT_EQ(Take(catalogue), before) << c.How;
  }

  const int32_t result = Edit([](TValidationSettingsForm& f) {
    QTest::mouseClick(f.btnDisableAll(), Qt::LeftButton);
    QTest::mouseClick(f.btnOK(), Qt::LeftButton);
  });
  EXPECT_EQ(result, 1);
  for (const Snapshot& s : Take(catalogue)) EXPECT_FALSE(s.Enabled) << s.ID;
  EXPECT_EQ(catalogue.ValidationSettingsCount(), BUILT_IN_VALIDATION_SETTINGS_COUNT);
}

TEST_F(DialogTest, Screenshot) {
  Show();
  DoubleClick(RowOf(catalogue, 211));
  QApplication::processEvents();
  QDir().mkpath(RIFFO_SCREENSHOT_DIR);
  const QString path = RIFFO_SCREENSHOT_DIR "/validation-settings.png";
  ASSERT_TRUE(form->grab().save(path));
  EXPECT_GT(QFileInfo(path).size(), 1000);
}

}  // namespace
}  // namespace riffo
