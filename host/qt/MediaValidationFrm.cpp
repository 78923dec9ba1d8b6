#include "host/qt/MediaValidationFrm.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QKeyEvent>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/DebugTrace.h"
#include "platform/Guard.h"
#include "platform/qt/MessageBoxes.h"
#include "platform/qt/NativeNames.h"
#include "platform/qt/ThemeColours.h"
#include "platform/qt/WidgetHelpers.h"

namespace riffo {
namespace {

constexpr int FORM_WIDTH = 1004;
constexpr int FORM_HEIGHT = 352;
constexpr int RIGHT_COLUMN_WIDTH = 200;

IValidationDialogs*& InstalledDialogs() {
  static IValidationDialogs* dialogs = nullptr;
  return dialogs;
}

QString ProgramTitle() {
  const QString name = QCoreApplication::applicationName();
  return name.isEmpty() ? QStringLiteral("Riffoscope") : name;
}

// Home and End in the report list go to the first and the last line: a
// table takes them as the first and last column of the row, and with whole
// rows selected that moves nothing.
class TRowHomeEndFilter final : public QObject {
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() != Qt::Key_Home && key->key() != Qt::Key_End) ||
        (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
      return false;
    auto* table = qobject_cast<QTableWidget*>(watched);
    if (table == nullptr || table->rowCount() == 0) return false;
    // The column stays, so the list does not scroll sideways.
    const int row = key->key() == Qt::Key_Home ? 0 : table->rowCount() - 1;
    table->setCurrentCell(row, std::max(0, table->currentColumn()));
    return true;
  }
};

}  // namespace

// ------------------------------------------------------------- helpers ----

TReportRowStyle ReportRowStyle(const QString& typeText) {
  if (typeText == QLatin1String("Info")) return {true, REPORT_INFO_BACKGROUND, IMAGE_INFO};
  if (typeText == QLatin1String("Warning")) return {true, REPORT_WARNING_BACKGROUND, IMAGE_WARNING};
  if (typeText == QLatin1String("Error")) return {true, REPORT_ERROR_BACKGROUND, IMAGE_ERROR};
  return {};
}

QString ProgressText(double progress) {
  return QStringLiteral("Progress: ") + QLocale().toString(progress, 'f', 2) + QLatin1Char('%');
}

QStringList SaveDialogNameFilters(const std::u16string& filter) {
  const QStringList parts = Q(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    // The description may show its patterns already: "Text File (*.txt)".
    const qsizetype open = description.lastIndexOf(QLatin1Char('('));
    if (open > 0 && description.endsWith(QLatin1Char(')')))
      description = description.left(open).trimmed();
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    // "*.*" means every file, also one without a dot in its name.
    for (QString& pattern : patterns)
      if (pattern.trimmed() == QLatin1String("*.*")) pattern = QStringLiteral("*");
    filters << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')');
  }
  return filters;
}

// ------------------------------------------------------------ dialogs ----

void TQtValidationDialogs::ShowMessage(const std::u16string& text) {
  ExecMessageBox(FOwner, QMessageBox::Information, ProgramTitle(), Q(text), QMessageBox::Ok);
}

bool TQtValidationDialogs::ConfirmYesNo(const std::u16string& text) {
  return ExecMessageBox(FOwner, QMessageBox::Question, ProgramTitle(), Q(text),
                        QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool TQtValidationDialogs::SaveFileDialog(const std::u16string& filter,
                                          const std::u16string& defaultExtension,
                                          std::u16string& fileName) {
  QFileDialog dialog(FOwner);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(SaveDialogNameFilters(filter));
  dialog.setDefaultSuffix(Q(defaultExtension));
  // The window asks about replacing an existing file itself.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (!fileName.empty()) dialog.selectFile(Q(fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  fileName = NameFromToolkit(dialog.selectedFiles().first());
  return true;
}

void TQtValidationDialogs::OpenDocument(const std::u16string& fileName) {
  QDesktopServices::openUrl(LocalFileUrl(fileName));
}

TValidationDialogsOverride::TValidationDialogsOverride(IValidationDialogs& dialogs)
    : FPrevious(InstalledDialogs()) {
  InstalledDialogs() = &dialogs;
}

TValidationDialogsOverride::~TValidationDialogsOverride() { InstalledDialogs() = FPrevious; }

// -------------------------------------------------------------- window ----

TMediaValidationForm::TMediaValidationForm(TMediaValidationSession& session,
                                           IValidationDialogs* dialogs, QWidget* parent)
    : QDialog(parent), FSession(session), FDialogs(dialogs), FQtDialogs(this) {
  GuardedVoid(u"Error in TMediaValidationForm.FormCreate call...", [&] {
    for (int i = 0; i < IMAGE_COUNT; ++i) FImageList1[static_cast<size_t>(i)] = ValidationImage(i);
    BuildControls();
  });
}

TMediaValidationForm::~TMediaValidationForm() = default;

IValidationDialogs& TMediaValidationForm::Dialogs() {
  if (FDialogs != nullptr) return *FDialogs;
  if (IValidationDialogs* installed = InstalledDialogs()) return *installed;
  return FQtDialogs;
}

void TMediaValidationForm::BuildControls() {
  setObjectName(QStringLiteral("MediaValidationForm"));
  setWindowTitle(QStringLiteral("Media Validation"));
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  resize(FORM_WIDTH, FORM_HEIGHT);

  auto icon = [this](int index) { return FImageList1[static_cast<size_t>(index)]; };

  // The report list.
  auto* reportGroup = new QGroupBox(QStringLiteral("Media Validation Report"), this);
  FlvReport = new QTableWidget(0, REPORT_COLUMN_COUNT, reportGroup);
  FlvReport->setObjectName(QStringLiteral("lvReport"));
  FlvReport->setHorizontalHeaderLabels({QStringLiteral("#"), QStringLiteral("Module"),
                                        QStringLiteral("Stream"), QStringLiteral("Type"),
                                        QStringLiteral("Message")});
  const int widths[] = {50, 160, 50, 60, 460};
  for (int column = 0; column < REPORT_COLUMN_COUNT; ++column)
    FlvReport->setColumnWidth(column, widths[column]);
  FlvReport->horizontalHeader()->setHighlightSections(false);
  FlvReport->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  FlvReport->horizontalHeader()->setStretchLastSection(true);
  FlvReport->verticalHeader()->setVisible(false);
  FlvReport->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  FlvReport->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FlvReport->setSelectionBehavior(QAbstractItemView::SelectRows);
  FlvReport->setSelectionMode(QAbstractItemView::SingleSelection);
  FlvReport->setWordWrap(false);
  FlvReport->setIconSize(QSize(16, 16));
  KeepSelectionVisible(FlvReport);
  FlvReport->installEventFilter(new TRowHomeEndFilter(FlvReport));
  auto* reportLayout = new QVBoxLayout(reportGroup);
  reportLayout->addWidget(FlvReport);

  // The modules.
  auto* modulesGroup = new QGroupBox(QStringLiteral("Validation Modules"), this);
  FclbValidationModules = new QListWidget(modulesGroup);
  FclbValidationModules->setObjectName(QStringLiteral("clbValidationModules"));
  FbtnSettings = new QPushButton(icon(IMAGE_SETTINGS), QStringLiteral("Validation Module Settings"),
                                 modulesGroup);
  FbtnSettings->setObjectName(QStringLiteral("btnSettings"));
  auto* modulesLayout = new QVBoxLayout(modulesGroup);
  modulesLayout->addWidget(FclbValidationModules, 1);
  modulesLayout->addWidget(FbtnSettings);

  // The counters.
  auto* countersGroup = new QGroupBox(QStringLiteral("Validation Reports"), this);
  auto* countersLayout = new QGridLayout(countersGroup);
  auto counter = [&](const char* caption, const char* name, int row) {
    auto* box = new QLineEdit(QStringLiteral("0"), countersGroup);
    box->setObjectName(QString::fromUtf8(name));
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* label = new QLabel(QString::fromUtf8(caption), countersGroup);
    label->setBuddy(box);
    countersLayout->addWidget(label, row, 0);
    countersLayout->addWidget(box, row, 1);
    return box;
  };
  FedInfos = counter("Infos", "edInfos", 0);
  FedWarnings = counter("Warnings", "edWarnings", 1);
  FedErrors = counter("Errors", "edErrors", 2);

  auto* rightColumn = new QVBoxLayout;
  rightColumn->addWidget(modulesGroup, 1);
  rightColumn->addWidget(countersGroup);
  auto* rightHolder = new QWidget(this);
  rightHolder->setFixedWidth(RIGHT_COLUMN_WIDTH);
  rightHolder->setLayout(rightColumn);
  rightColumn->setContentsMargins(0, 0, 0, 0);

  // The bottom row.
  auto button = [&](int image, const char* caption, const char* name) {
    auto* b = new QPushButton(icon(image), QString::fromUtf8(caption), this);
    b->setObjectName(QString::fromUtf8(name));
    b->setAutoDefault(false);
    return b;
  };
  FbtnStartValidation = button(IMAGE_START, "Start Validation", "btnStartValidation");
  FbtnStoptValidation = button(IMAGE_STOP, "Stop Validation", "btnStoptValidation");
  FbtnStoptValidation->setEnabled(false);
  FbtnSaveReport = button(IMAGE_SAVE, "Save Report", "btnSaveReport");
  FbtnSaveReport->setEnabled(false);
  FlbPorgress = new QLabel(QStringLiteral("Progress:"), this);
  FlbPorgress->setObjectName(QStringLiteral("lbPorgress"));
  FlbPorgress->setMinimumWidth(
      fontMetrics().horizontalAdvance(QStringLiteral("Progress: 100.00%...Done.")) + 8);
  FprbProgress = new QProgressBar(this);
  FprbProgress->setObjectName(QStringLiteral("prbProgress"));
  FprbProgress->setRange(0, 100);
  FprbProgress->setValue(0);
  FbtnClose = button(IMAGE_CLOSE, "Close", "btnClose");

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(FbtnStartValidation);
  bottom->addWidget(FbtnStoptValidation);
  bottom->addWidget(FbtnSaveReport);
  bottom->addWidget(FlbPorgress);
  bottom->addWidget(FprbProgress, 1);
  bottom->addWidget(FbtnClose);

  auto* top = new QHBoxLayout;
  top->addWidget(reportGroup, 1);
  top->addWidget(rightHolder);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(bottom);

  connect(FbtnStartValidation, &QPushButton::clicked, this, [this] { btnStartValidationClick(); });
  connect(FbtnStoptValidation, &QPushButton::clicked, this, [this] { btnStoptValidationClick(); });
  connect(FbtnSaveReport, &QPushButton::clicked, this, [this] { btnSaveReportClick(); });
  connect(FbtnSettings, &QPushButton::clicked, this, [this] { btnSettingsClick(); });
  connect(FbtnClose, &QPushButton::clicked, this, &QDialog::accept);
  connect(FclbValidationModules, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    FSession.SetModuleTicked(static_cast<size_t>(FclbValidationModules->row(item)),
                             item->checkState() == Qt::Checked);
  });
}

void TMediaValidationForm::showEvent(QShowEvent* event) {
  if (!FShown) {
    FShown = true;
    if (QScreen* screen = this->screen())
      move(screen->availableGeometry().center() - rect().center());
    FormShow();
  }
  QDialog::showEvent(event);
}

void TMediaValidationForm::FormShow() {
  GuardedVoid(u"Error in TMediaValidationForm.FormShow call...", [&] {
    FlvReport->setShowGrid(true);
    const QSignalBlocker quiet(FclbValidationModules);
    FclbValidationModules->clear();
    for (size_t i = 0; i < FSession.ModuleCount(); ++i) {
      auto* item =
          new QListWidgetItem(Q(FSession.Module(i).ValidationModuleName()), FclbValidationModules);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
      item->setCheckState(FSession.ModuleTicked(i) ? Qt::Checked : Qt::Unchecked);
    }
    if (FclbValidationModules->count() > 0) FclbValidationModules->setCurrentRow(0);
    setWindowTitle(Q(FSession.Caption()));
  });
}

void TMediaValidationForm::SetIdle(bool idle) {
  FbtnSettings->setEnabled(idle);
  FbtnClose->setEnabled(idle);
  FbtnStartValidation->setEnabled(idle);
  FbtnSaveReport->setEnabled(idle);
  FbtnStoptValidation->setEnabled(!idle);
}

void TMediaValidationForm::btnStartValidationClick() {
  GuardedVoid(u"Error in TMediaValidationForm.btnValidationClick call...", [&] {
    FRunStarted = false;
    switch (FSession.RunValidation(*this)) {
      case TRunResult::NoFile: Dialogs().ShowMessage(MSG_NO_FILE_LOADED); break;
      case TRunResult::NoModules: Dialogs().ShowMessage(MSG_NO_MODULES_SELECTED); break;
      case TRunResult::Failed:
        // A run that broke off must not leave the window without a way out.
        if (FRunStarted) SetIdle(true);
        break;
      default: break;
    }
  });
}

void TMediaValidationForm::btnStoptValidationClick() { FSession.RequestStop(); }

void TMediaValidationForm::btnSettingsClick() {
  GuardedVoid(u"Error in TMediaValidationForm.btnSettingsClick call...", [&] {
    const int row = FclbValidationModules->currentRow();
    if (row < 0) return;
    FSession.ConfigureModule(static_cast<size_t>(row));
  });
}

void TMediaValidationForm::btnSaveReportClick() {
  GuardedVoid(u"Error in TMediaValidationForm.btnSaveReportClick call...", [&] {
    if (FSession.ReportCount() == 0) {
      Dialogs().ShowMessage(MSG_REPORT_LIST_EMPTY);
      return;
    }
    std::u16string reportFileName = FSession.DefaultReportFileName();
    if (!Dialogs().SaveFileDialog(SAVE_REPORT_FILTER, SAVE_REPORT_DEFAULT_EXTENSION,
                                  reportFileName))
      return;
    const TSaveResult result = FSession.SaveReportFile(
        reportFileName, [this] { return Dialogs().ConfirmYesNo(MSG_CONFIRM_OVERWRITE); });
    switch (result) {
      case TSaveResult::Saved: Dialogs().OpenDocument(reportFileName); break;
      case TSaveResult::EmptyReport: Dialogs().ShowMessage(MSG_REPORT_LIST_EMPTY); break;
      case TSaveResult::CannotDelete: Dialogs().ShowMessage(MSG_CANNOT_DELETE); break;
      case TSaveResult::Failed: Dialogs().ShowMessage(MSG_ERROR_SAVING); break;
      case TSaveResult::NotConfirmed: break;
    }
  });
}

bool TMediaValidationForm::FormCloseQuery() const { return FbtnStartValidation->isEnabled(); }

void TMediaValidationForm::FormClose() {
  GuardedVoid(u"Error in TMediaValidationForm.FormClose call...", [&] {
    if (FClosed) return;
    FClosed = true;
    FSession.ClearReports();
    // Records the ticked modules in the last-used mask.
    FSession.UnloadValidationModules();
  });
}

void TMediaValidationForm::done(int result) {
  if (!FormCloseQuery()) return;
  FormClose();
  QDialog::done(result);
}

// ------------------------------------------------------ the run's view ----

void TMediaValidationForm::RunStarted() {
  FRunStarted = true;
  SetIdle(false);
  FlvReport->setRowCount(0);
}

void TMediaValidationForm::ShowReport(size_t index, const TCustomReport& line) {
  const int row = FlvReport->rowCount();
  FlvReport->insertRow(row);
  const QString typeText = Q(ReportTypeName(line.ReportType));
  FlvReport->setItem(row, REPORT_COLUMN_NUMBER, ReadOnlyCell(QString::number(index + 1)));
  FlvReport->setItem(row, REPORT_COLUMN_MODULE, ReadOnlyCell(Q(ModuleDisplayName(line.Module))));
  FlvReport->setItem(row, REPORT_COLUMN_STREAM,
                     ReadOnlyCell(line.StreamID < 0 ? QString() : QString::number(line.StreamID)));
  FlvReport->setItem(row, REPORT_COLUMN_TYPE, ReadOnlyCell(typeText));
  FlvReport->setItem(row, REPORT_COLUMN_MESSAGE, ReadOnlyCell(Q(line.ReportMessage)));
  GuardedVoid(u"Error in TMediaValidationForm.lvReportCustomDrawItem call...", [&] {
    const TReportRowStyle style = ReportRowStyle(FlvReport->item(row, REPORT_COLUMN_TYPE)->text());
    if (!style.Styled) return;
    for (int column = 0; column < REPORT_COLUMN_COUNT; ++column)
      FlvReport->item(row, column)
          ->setBackground(ThemedBackground(style.Background, FlvReport->palette()));
    FlvReport->item(row, REPORT_COLUMN_NUMBER)
        ->setIcon(FImageList1[static_cast<size_t>(style.ImageIndex)]);
  });
}

void TMediaValidationForm::ShowProgress(double progress) {
  FlbPorgress->setText(ProgressText(progress));
  const double clamped = progress < 0.0 ? 0.0 : (progress > 100.0 ? 100.0 : progress);
  FprbProgress->setValue(static_cast<int>(clamped));
}

void TMediaValidationForm::ShowCounters(int32_t infos, int32_t warnings, int32_t errors) {
  FedInfos->setText(QString::number(infos));
  FedWarnings->setText(QString::number(warnings));
  FedErrors->setText(QString::number(errors));
}

void TMediaValidationForm::ProcessEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TMediaValidationForm::RunFinished(bool stopped) {
  SetIdle(true);
  if (stopped) return;  // label and bar keep their last polled values
  FlbPorgress->setText(ProgressText(100.0) + QStringLiteral("...Done."));
  FprbProgress->setValue(100);
}

// --------------------------------------------------------- entry point ----

bool ShowMediaValidation(const std::u16string& modulesFolder, const std::u16string& fileName,
                         uint32_t modulesFlags, uint32_t& lastUsedModulesMask) {
  return Guarded(u"Error in ShowMediaValidation call...", false, [&] {
    // The modules' interfaces need no component library set up here.
    TMediaValidationSession session(modulesFolder, fileName, modulesFlags, lastUsedModulesMask);
    TMediaValidationForm form(session, nullptr, QApplication::activeWindow());
    if (!session.LoadValidationModules()) return false;
    form.exec();
    form.FormClose();  // no-op when closing ran it already
    lastUsedModulesMask = session.LastUsedModulesMask();
    return true;
  });
}

}  // namespace riffo
