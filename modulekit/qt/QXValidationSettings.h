// The rule settings dialog: the rule catalogue as a list, one rule's details
// beside it, and the severity and on/off switch of the rules that allow it.
// The dialog edits a working copy; the module's catalogue changes only when
// the user confirms with OK.
//
// The dialog lives inside a module's dialog library, which goes when the
// module goes. Its classes therefore carry no meta-object of their own (no
// Q_OBJECT): nothing of the library stays registered with Qt once the dialog
// is gone.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "modulekit/RuleCatalogue.h"

namespace riffo {

// Colours of a rule row: enabled rules light green in bold, the others light
// grey in italics. The row's "Enabled" cell decides, at drawing time.
inline constexpr QRgb RULE_ENABLED_BACKGROUND = 0xFFCFFFCF;
inline constexpr QRgb RULE_DISABLED_BACKGROUND = 0xFFDFDFDF;

// Columns of the rule list; the last one carries the rule's Code and is hidden.
enum TRuleColumn : int {
  RULE_COLUMN_ID = 0,
  RULE_COLUMN_NAME,
  RULE_COLUMN_TYPE,
  RULE_COLUMN_ENABLED,
  RULE_COLUMN_DESCRIPTION,
  RULE_COLUMN_CODE,
  RULE_COLUMN_COUNT
};

class TRuleRowDelegate final : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  // Public so that the drawing rule can be checked without painting.
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

class TValidationSettingsForm final : public QDialog {
public:
  // validationSettingList: the module's catalogue, borrowed for the dialog's
  // lifetime; the dialog fills its own working copy from it.
  TValidationSettingsForm(TRuleCatalogue& validationSettingList, bool showAdvanced,
                          QWidget* parent = nullptr);
  ~TValidationSettingsForm() override;

  // After OK: copies the working copy back into the module's catalogue.
  bool ApplyToOriginal();

  // What the Advanced button does (a module's further settings); the button
  // shows when the dialog was made with showAdvanced.
  void SetAdvancedHandler(std::function<void(QWidget& dialog)> handler) {
    FAdvancedHandler = std::move(handler);
  }

  const TRuleCatalogue& WorkingCopy() const { return FTempValidationSettingList; }
  int32_t CurrentlySelectedItemIndex() const { return FCurrentlySelectedItemIndex; }

  QTableWidget* lvValidationSettings() const { return FlvValidationSettings; }
  QLineEdit* edID() const { return FedID; }
  QLineEdit* edName() const { return FedName; }
  QComboBox* cbReportType() const { return FcbReportType; }
  QComboBox* cbEnabled() const { return FcbEnabled; }
  QPlainTextEdit* memDescription() const { return FmemDescription; }
  QPushButton* btnEnableAll() const { return FbtnEnableAll; }
  QPushButton* btnDisableAll() const { return FbtnDisableAll; }
  QPushButton* btnAdvanced() const { return FbtnAdvanced; }
  QPushButton* btnOK() const { return FbtnOK; }
  QPushButton* btnCancel() const { return FbtnCancel; }

  // The handlers, public so that tests can run each step by itself.
  void FormShow();
  void UpdateSelected();
  void cbReportTypePropertiesChange();
  void cbEnabledPropertiesChange();
  void lvValidationSettingsDblClick();
  void btnEnableAllClick();
  void btnDisableAllClick();
  void btnAdvancedClick();

protected:
  void showEvent(QShowEvent* event) override;

private:
  void BuildControls(bool showAdvanced);
  // Shows one record of the working copy in the detail group.
  void ShowDetails(int32_t row);
  // Sets Enabled of the selected record and its row's "Enabled" cell.
  void ApplyEnabled(bool enabled);
  void SetAllEnabled(bool enabled);
  PValidationSetting SelectedSetting() const;

  TRuleCatalogue& FOriginalValidationSettingList;
  TRuleCatalogue FTempValidationSettingList;
  int32_t FCurrentlySelectedItemIndex = -1;
  bool FFilled = false;
  std::function<void(QWidget& dialog)> FAdvancedHandler;

  QTableWidget* FlvValidationSettings = nullptr;
  QLineEdit* FedID = nullptr;
  QLineEdit* FedName = nullptr;
  QComboBox* FcbReportType = nullptr;
  QComboBox* FcbEnabled = nullptr;
  QPlainTextEdit* FmemDescription = nullptr;
  QPushButton* FbtnEnableAll = nullptr;
  QPushButton* FbtnDisableAll = nullptr;
  QPushButton* FbtnAdvanced = nullptr;
  QPushButton* FbtnOK = nullptr;
  QPushButton* FbtnCancel = nullptr;
};

// Shows the dialog modally on the catalogue; true (non-zero) when the user
// confirmed with OK, and only then is the catalogue changed.
int32_t EditValidationSettings(TRuleCatalogue& validationSettingList, int32_t showAdvanced);

// The window a module's dialog belongs to: the host's modal dialog or its
// active window. Throws when the process has no widget application to show a
// dialog in (a command-line host), so that Configure reports the failure.
QWidget* ModuleDialogOwner();

// What a module's Configure runs: the dialog above, owned by
// ModuleDialogOwner(). The advanced handler, when given, runs from the
// Advanced button. Throws as ModuleDialogOwner does.
int32_t ConfigureValidationSettings(TRuleCatalogue& validationSettingList, int32_t showAdvanced,
                                    std::function<void(QWidget& dialog)> advanced = {});

}  // namespace riffo
