#include "modulekit/qt/QXValidationSettings.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <stdexcept>

#include "platform/DebugTrace.h"
#include "platform/Guard.h"
#include "platform/Text.h"
#include "platform/qt/WidgetHelpers.h"

namespace riffo {
namespace {

constexpr int FORM_WIDTH = 842;
constexpr int FORM_HEIGHT = 293;
constexpr int FORM_MIN_WIDTH = 600;
constexpr int FORM_MIN_HEIGHT = 270;  // the window's 300 less its title bar
constexpr int DETAIL_GROUP_WIDTH = 260;

const char16_t* const ENABLED_YES = u"Yes";
const char16_t* const ENABLED_NO = u"No";

// Rule names and descriptions are 8-bit texts.
QString Q8(const std::string& text) { return Q(AnsiToUtf16(text)); }

QString EnabledText(bool enabled) { return Q(enabled ? ENABLED_YES : ENABLED_NO); }

// The drop-down entry of a report type: 0 Info, 1 Warning, 2 Error; -1 for
// any other type (the drop-down then keeps its entry).
int ReportTypeEntry(int32_t reportType) {
  return reportType >= REPORT_TYPE_INFO && reportType <= REPORT_TYPE_ERROR
             ? reportType - REPORT_TYPE_INFO
             : -1;
}

}  // namespace

// --------------------------------------------------------------- drawing ----

void TRuleRowDelegate::initStyleOption(QStyleOptionViewItem* option,
                                       const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  const QString enabled =
      index.siblingAtColumn(RULE_COLUMN_ENABLED).data(Qt::DisplayRole).toString();
  const bool yes = enabled == Q(ENABLED_YES);
  option->backgroundBrush =
      QColor::fromRgb(yes ? RULE_ENABLED_BACKGROUND : RULE_DISABLED_BACKGROUND);
  option->font.setBold(yes);
  option->font.setItalic(!yes);
}

// ---------------------------------------------------------------- dialog ----

TValidationSettingsForm::TValidationSettingsForm(TRuleCatalogue& validationSettingList,
                                                 bool showAdvanced, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      FOriginalValidationSettingList(validationSettingList) {
  // The controls edit independent copies of the records.
  FTempValidationSettingList.AssignValidationSettingList(FOriginalValidationSettingList);
  BuildControls(showAdvanced);
}

TValidationSettingsForm::~TValidationSettingsForm() = default;

void TValidationSettingsForm::BuildControls(bool showAdvanced) {
  setObjectName(QStringLiteral("ValidationSettingsForm"));
  setWindowTitle(QStringLiteral("Validation Settings"));
  setModal(true);
  resize(FORM_WIDTH, FORM_HEIGHT);
  setMinimumSize(FORM_MIN_WIDTH, FORM_MIN_HEIGHT);

  FlvValidationSettings = new QTableWidget(0, RULE_COLUMN_COUNT, this);
  FlvValidationSettings->setObjectName(QStringLiteral("lvValidationSettings"));
  FlvValidationSettings->setHorizontalHeaderLabels(
      {QStringLiteral("ID"), QStringLiteral("Name"), QStringLiteral("Type"),
       QStringLiteral("Enabled"), QStringLiteral("Description"), QStringLiteral("Code")});
  const int widths[] = {40, 200, 80, 60, 200};
  for (int column = 0; column < RULE_COLUMN_CODE; ++column)
    FlvValidationSettings->setColumnWidth(column, widths[column]);
  FlvValidationSettings->setColumnHidden(RULE_COLUMN_CODE, true);
  FlvValidationSettings->horizontalHeader()->setHighlightSections(false);
  FlvValidationSettings->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  FlvValidationSettings->verticalHeader()->setVisible(false);
  FlvValidationSettings->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  FlvValidationSettings->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FlvValidationSettings->setSelectionBehavior(QAbstractItemView::SelectRows);
  FlvValidationSettings->setSelectionMode(QAbstractItemView::SingleSelection);
  FlvValidationSettings->setWordWrap(false);
  FlvValidationSettings->setItemDelegate(new TRuleRowDelegate(FlvValidationSettings));
  KeepSelectionVisible(FlvValidationSettings);

  auto* group = new QGroupBox(QStringLiteral("Validation"), this);
  group->setFixedWidth(DETAIL_GROUP_WIDTH);
  auto* details = new QVBoxLayout(group);
  details->setSpacing(2);
  details->setContentsMargins(6, 4, 6, 6);
  auto addLabelled = [&](const char* caption, QWidget* widget) {
    auto* label = new QLabel(QString::fromUtf8(caption), group);
    label->setBuddy(widget);
    details->addWidget(label);
    details->addWidget(widget);
  };
  FedID = new QLineEdit(group);
  FedID->setObjectName(QStringLiteral("edID"));
  FedID->setReadOnly(true);
  FedName = new QLineEdit(group);
  FedName->setObjectName(QStringLiteral("edName"));
  FedName->setReadOnly(true);
  FcbReportType = new QComboBox(group);
  FcbReportType->setObjectName(QStringLiteral("cbReportType"));
  FcbReportType->addItems(
      {QStringLiteral("Info"), QStringLiteral("Warning"), QStringLiteral("Error")});
  FcbEnabled = new QComboBox(group);
  FcbEnabled->setObjectName(QStringLiteral("cbEnabled"));
  FcbEnabled->addItems({Q(ENABLED_YES), Q(ENABLED_NO)});
  FmemDescription = new QPlainTextEdit(group);
  FmemDescription->setObjectName(QStringLiteral("memDescription"));
  FmemDescription->setReadOnly(true);
  addLabelled("ID", FedID);
  addLabelled("Name", FedName);
  addLabelled("Report Type", FcbReportType);
  addLabelled("Enabled", FcbEnabled);
  addLabelled("Description", FmemDescription);

  auto makeButton = [&](const char* caption, const char* name) {
    auto* button = new QPushButton(QString::fromUtf8(caption), this);
    button->setObjectName(QString::fromUtf8(name));
    button->setAutoDefault(false);
    return button;
  };
  FbtnEnableAll = makeButton("Enable All", "btnEnableAll");
  FbtnDisableAll = makeButton("Disable All", "btnDisableAll");
  FbtnAdvanced = makeButton("Advanced", "btnAdvanced");
  FbtnAdvanced->setVisible(showAdvanced);
  FbtnOK = makeButton("OK", "btnOK");
  FbtnOK->setDefault(true);
  FbtnCancel = makeButton("Cancel", "btnCancel");

  auto* top = new QHBoxLayout;
  top->addWidget(FlvValidationSettings, 1);
  top->addWidget(group);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(FbtnEnableAll);
  bottom->addWidget(FbtnDisableAll);
  bottom->addWidget(FbtnAdvanced);
  bottom->addStretch(1);
  bottom->addWidget(FbtnOK);
  bottom->addWidget(FbtnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(bottom);

  connect(FlvValidationSettings, &QTableWidget::itemSelectionChanged, this,
          [this] { UpdateSelected(); });
  connect(FlvValidationSettings, &QTableWidget::cellDoubleClicked, this,
          [this](int, int) { lvValidationSettingsDblClick(); });
  connect(FcbReportType, &QComboBox::currentIndexChanged, this,
          [this](int) { cbReportTypePropertiesChange(); });
  connect(FcbEnabled, &QComboBox::currentIndexChanged, this,
          [this](int) { cbEnabledPropertiesChange(); });
  connect(FbtnEnableAll, &QPushButton::clicked, this, [this] { btnEnableAllClick(); });
  connect(FbtnDisableAll, &QPushButton::clicked, this, [this] { btnDisableAllClick(); });
  connect(FbtnAdvanced, &QPushButton::clicked, this, [this] { btnAdvancedClick(); });
  connect(FbtnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(FbtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TValidationSettingsForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!FFilled) FormShow();
}

void TValidationSettingsForm::FormShow() {
  GuardedVoid(u"Error in TValidationSettingsForm.FormShow call...", [&] {
    FFilled = true;
    FCurrentlySelectedItemIndex = -1;
    FlvValidationSettings->setShowGrid(true);
    {
      const QSignalBlocker quiet(FlvValidationSettings);
      FlvValidationSettings->clearContents();
      FlvValidationSettings->setRowCount(0);
      const int32_t count = FOriginalValidationSettingList.ValidationSettingsCount();
      FlvValidationSettings->setRowCount(count);
      for (int32_t row = 0; row < count; ++row) {
        const PValidationSetting setting = FOriginalValidationSettingList.GetValidationSetting(row);
        if (setting == nullptr) continue;
        FlvValidationSettings->setItem(row, RULE_COLUMN_ID,
                                       ReadOnlyCell(QString::number(setting->ID)));
        FlvValidationSettings->setItem(row, RULE_COLUMN_NAME, ReadOnlyCell(Q8(setting->Name)));
        FlvValidationSettings->setItem(row, RULE_COLUMN_TYPE,
                                       ReadOnlyCell(Q(ReportTypeName(setting->_Type))));
        FlvValidationSettings->setItem(row, RULE_COLUMN_ENABLED,
                                       ReadOnlyCell(EnabledText(setting->Enabled)));
        FlvValidationSettings->setItem(row, RULE_COLUMN_DESCRIPTION,
                                       ReadOnlyCell(Q8(setting->Description)));
        FlvValidationSettings->setItem(row, RULE_COLUMN_CODE,
                                       ReadOnlyCell(QString::number(setting->Code)));
      }
    }
    if (FlvValidationSettings->rowCount() > 0) FlvValidationSettings->selectRow(0);
  });
}

void TValidationSettingsForm::UpdateSelected() {
  GuardedVoid(u"Error in TValidationSettingsForm.UpdateSelected call...", [&] {
    const QModelIndexList rows = FlvValidationSettings->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    const int32_t row = rows.first().row();
    if (row == FCurrentlySelectedItemIndex) return;
    FCurrentlySelectedItemIndex = row;
    ShowDetails(row);
  });
}

void TValidationSettingsForm::ShowDetails(int32_t row) {
  const PValidationSetting setting = FTempValidationSettingList.GetValidationSetting(row);
  if (setting == nullptr) return;  // outside the working copy: nothing to show
  // Showing a record is not a change by the user.
  const QSignalBlocker quietType(FcbReportType);
  const QSignalBlocker quietEnabled(FcbEnabled);
  FedID->setText(QString::number(setting->ID));
  FedName->setText(Q8(setting->Name));
  const int entry = ReportTypeEntry(setting->_Type);
  if (entry >= 0) FcbReportType->setCurrentIndex(entry);
  FcbReportType->setEnabled(setting->CanChangeType);
  FcbEnabled->setCurrentIndex(setting->Enabled ? 0 : 1);
  FcbEnabled->setEnabled(setting->CanChangeEnable);
  FmemDescription->setPlainText(Q8(setting->Description));
}

PValidationSetting TValidationSettingsForm::SelectedSetting() const {
  if (FCurrentlySelectedItemIndex < 0) return nullptr;
  return FTempValidationSettingList.GetValidationSetting(FCurrentlySelectedItemIndex);
}

void TValidationSettingsForm::cbReportTypePropertiesChange() {
  GuardedVoid(u"Error in TValidationSettingsForm.cbReportTypePropertiesChange call...", [&] {
    const PValidationSetting setting = SelectedSetting();
    const int entry = FcbReportType->currentIndex();
    if (setting == nullptr || entry < 0) return;
    setting->_Type = REPORT_TYPE_INFO + entry;
    if (QTableWidgetItem* cell =
            FlvValidationSettings->item(FCurrentlySelectedItemIndex, RULE_COLUMN_TYPE))
      cell->setText(Q(ReportTypeName(setting->_Type)));
  });
}

void TValidationSettingsForm::ApplyEnabled(bool enabled) {
  const PValidationSetting setting = SelectedSetting();
  if (setting == nullptr) return;
  setting->Enabled = enabled;
  if (QTableWidgetItem* cell =
          FlvValidationSettings->item(FCurrentlySelectedItemIndex, RULE_COLUMN_ENABLED))
    cell->setText(EnabledText(enabled));
}

void TValidationSettingsForm::cbEnabledPropertiesChange() {
  GuardedVoid(u"Error in TValidationSettingsForm.cbEnabledPropertiesChange call...", [&] {
    const int entry = FcbEnabled->currentIndex();
    if (entry < 0) return;
    ApplyEnabled(entry == 0);
  });
}

void TValidationSettingsForm::lvValidationSettingsDblClick() {
  GuardedVoid(u"Error in TValidationSettingsForm.lvValidationSettingsDblClick call...", [&] {
    // The press of the double click has moved the selection already.
    UpdateSelected();
    const PValidationSetting setting = SelectedSetting();
    if (setting == nullptr || !setting->CanChangeEnable) return;
    const bool enabled = !setting->Enabled;
    {
      const QSignalBlocker quiet(FcbEnabled);
      FcbEnabled->setCurrentIndex(enabled ? 0 : 1);
    }
    ApplyEnabled(enabled);
    FlvValidationSettings->viewport()->update();
  });
}

void TValidationSettingsForm::SetAllEnabled(bool enabled) {
  const int rows = FlvValidationSettings->rowCount();
  if (rows == 0) return;
  for (int row = 0; row < rows; ++row) {
    const PValidationSetting setting = FTempValidationSettingList.GetValidationSetting(row);
    if (setting == nullptr || !setting->CanChangeEnable) continue;
    setting->Enabled = enabled;
    if (QTableWidgetItem* cell = FlvValidationSettings->item(row, RULE_COLUMN_ENABLED))
      cell->setText(EnabledText(enabled));
  }
  FlvValidationSettings->setFocus();
  FlvValidationSettings->selectRow(0);
  // Row 0 may have been the selected row already; its details must show the
  // new state, or the drop-down would contradict the record it edits.
  FCurrentlySelectedItemIndex = 0;
  ShowDetails(0);
  FlvValidationSettings->viewport()->update();
}

void TValidationSettingsForm::btnEnableAllClick() {
  GuardedVoid(u"Error in TValidationSettingsForm.btnEnableAllClick call...",
              [&] { SetAllEnabled(true); });
}

void TValidationSettingsForm::btnDisableAllClick() {
  GuardedVoid(u"Error in TValidationSettingsForm.btnDisableAllClick call...",
              [&] { SetAllEnabled(false); });
}

void TValidationSettingsForm::btnAdvancedClick() {
  GuardedVoid(u"Error in TValidationSettingsForm.btnAdvancedClick call...", [&] {
    if (FAdvancedHandler) FAdvancedHandler(*this);
  });
}

bool TValidationSettingsForm::ApplyToOriginal() {
  return FOriginalValidationSettingList.AssignValidationSettingList(FTempValidationSettingList) !=
         0;
}

// ------------------------------------------------------------ entry points ----

namespace {

int32_t RunDialog(TRuleCatalogue& validationSettingList, int32_t showAdvanced, QWidget* owner,
                  std::function<void(QWidget& dialog)> advanced) {
  return Guarded(u"Error in EditValidationSettings call...", int32_t{0}, [&] {
    TValidationSettingsForm form(validationSettingList, showAdvanced != 0, owner);
    form.SetAdvancedHandler(std::move(advanced));
    if (form.exec() != QDialog::Accepted) return int32_t{0};
    form.ApplyToOriginal();
    return int32_t{1};
  });
}

}  // namespace

int32_t EditValidationSettings(TRuleCatalogue& validationSettingList, int32_t showAdvanced) {
  return RunDialog(validationSettingList, showAdvanced, nullptr, {});
}

QWidget* ModuleDialogOwner() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
    throw std::runtime_error("no widget application");
  // The host's window owns the dialog, which is centred over it.
  QWidget* owner = QApplication::activeModalWidget();
  if (owner == nullptr) owner = QApplication::activeWindow();
  return owner;
}

int32_t ConfigureValidationSettings(TRuleCatalogue& validationSettingList, int32_t showAdvanced,
                                    std::function<void(QWidget& dialog)> advanced) {
  QWidget* owner = ModuleDialogOwner();
  return RunDialog(validationSettingList, showAdvanced, owner, std::move(advanced));
}

}  // namespace riffo
