// The validation window: the loaded modules with their ticks, the collected
// report lines with their counters, the progress of a run, and the saving of
// a report. Everything it does is the session's (host/MediaValidationSession);
// the window shows the session and forwards the user's clicks to it.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <array>
#include <cstdint>
#include <string>

#include "host/MediaValidationSession.h"
#include "host/qt/ValidationIcons.h"

namespace riffo {

// The boxes, the save dialog and the opening of a saved report, as the window
// uses them. The running program shows the real ones; tests install their own
// stand-in, which answers and records without blocking.
class IValidationDialogs {
public:
  virtual ~IValidationDialogs() = default;
  virtual void ShowMessage(const std::u16string& text) = 0;  // plain box, OK
  virtual bool ConfirmYesNo(const std::u16string& text) = 0;
  // fileName holds the preset name on entry and the chosen one on return;
  // false when the user cancelled.
  virtual bool SaveFileDialog(const std::u16string& filter, const std::u16string& defaultExtension,
                              std::u16string& fileName) = 0;
  // Opens a file with the desktop's default application for it.
  virtual void OpenDocument(const std::u16string& fileName) = 0;
};

class TQtValidationDialogs final : public IValidationDialogs {
public:
  explicit TQtValidationDialogs(QWidget* owner = nullptr) : FOwner(owner) {}
  void ShowMessage(const std::u16string& text) override;
  bool ConfirmYesNo(const std::u16string& text) override;
  bool SaveFileDialog(const std::u16string& filter, const std::u16string& defaultExtension,
                      std::u16string& fileName) override;
  void OpenDocument(const std::u16string& fileName) override;

private:
  QWidget* FOwner;
};

// For its lifetime, every validation window made without dialogs of its own
// uses the given ones (tests reach the window opened by the main window so).
class TValidationDialogsOverride {
public:
  explicit TValidationDialogsOverride(IValidationDialogs& dialogs);
  ~TValidationDialogsOverride();
  TValidationDialogsOverride(const TValidationDialogsOverride&) = delete;
  TValidationDialogsOverride& operator=(const TValidationDialogsOverride&) = delete;

private:
  IValidationDialogs* FPrevious;
};

inline constexpr char16_t SAVE_REPORT_FILTER[] =
    u"HTMLl File (*.html)|*.html|PDFl File (*.pdf)|*.pdf|XML File (*.xml)|*.xml|CSV File "
    u"(*.csv)|*.csv|"
    u"Text File (*.txt)|*.txt|All Files (*.*)|*.*";
inline constexpr char16_t SAVE_REPORT_DEFAULT_EXTENSION[] = u"xml";

// Row backgrounds by report type.
inline constexpr QRgb REPORT_INFO_BACKGROUND = 0xFFF7F7FF;
inline constexpr QRgb REPORT_WARNING_BACKGROUND = 0xFFFFFFCC;
inline constexpr QRgb REPORT_ERROR_BACKGROUND = 0xFFFFCCCC;

// How a report row is drawn, chosen by the text of its "Type" column.
struct TReportRowStyle {
  bool Styled = false;  // false: the row keeps the default background and no icon
  QRgb Background = 0;
  int ImageIndex = -1;
};
TReportRowStyle ReportRowStyle(const QString& typeText);

// "Progress: " and the value with two decimals and the locale's separator.
QString ProgressText(double progress);

// A filter written as "Text|*.a|All|*.*" in the name filters a file dialog
// takes: "Text (*.a)", "All (*)".
QStringList SaveDialogNameFilters(const std::u16string& filter);

// Columns of the report list.
enum TReportColumn : int {
  REPORT_COLUMN_NUMBER = 0,
  REPORT_COLUMN_MODULE,
  REPORT_COLUMN_STREAM,
  REPORT_COLUMN_TYPE,
  REPORT_COLUMN_MESSAGE,
  REPORT_COLUMN_COUNT
};

class TMediaValidationForm final : public QDialog, private TValidationRunView {
  Q_OBJECT
public:
  // session: loaded (or to be loaded) before the window is shown, and alive
  // for as long as the window. dialogs: null for the installed override or
  // the real ones.
  explicit TMediaValidationForm(TMediaValidationSession& session,
                                IValidationDialogs* dialogs = nullptr, QWidget* parent = nullptr);
  ~TMediaValidationForm() override;

  TMediaValidationSession& Session() { return FSession; }

  QTableWidget* lvReport() const { return FlvReport; }
  QListWidget* clbValidationModules() const { return FclbValidationModules; }
  QPushButton* btnStartValidation() const { return FbtnStartValidation; }
  QPushButton* btnStoptValidation() const { return FbtnStoptValidation; }
  QPushButton* btnSaveReport() const { return FbtnSaveReport; }
  QPushButton* btnSettings() const { return FbtnSettings; }
  QPushButton* btnClose() const { return FbtnClose; }
  QLabel* lbPorgress() const { return FlbPorgress; }
  QProgressBar* prbProgress() const { return FprbProgress; }
  QLineEdit* edInfos() const { return FedInfos; }
  QLineEdit* edWarnings() const { return FedWarnings; }
  QLineEdit* edErrors() const { return FedErrors; }

  // The handlers, public so that tests can run each step by itself.
  void FormShow();
  bool FormCloseQuery() const;
  void FormClose();
  void btnStartValidationClick();
  void btnStoptValidationClick();
  void btnSettingsClick();
  void btnSaveReportClick();

  // Closing is refused while a run is in progress (also for Escape and
  // the Close result).
  void done(int result) override;

protected:
  void showEvent(QShowEvent* event) override;

private:
  // What the session shows through the window during a run.
  void RunStarted() override;
  void ShowReport(size_t index, const TCustomReport& line) override;
  void ShowProgress(double progress) override;
  void ShowCounters(int32_t infos, int32_t warnings, int32_t errors) override;
  void ProcessEvents() override;
  void RunFinished(bool stopped) override;

  void BuildControls();
  void SetIdle(bool idle);
  IValidationDialogs& Dialogs();

  TMediaValidationSession& FSession;
  IValidationDialogs* FDialogs;
  TQtValidationDialogs FQtDialogs;
  std::array<QIcon, IMAGE_COUNT> FImageList1;
  bool FShown = false;
  bool FClosed = false;
  bool FRunStarted = false;

  QTableWidget* FlvReport = nullptr;
  QListWidget* FclbValidationModules = nullptr;
  QPushButton* FbtnStartValidation = nullptr;
  QPushButton* FbtnStoptValidation = nullptr;
  QPushButton* FbtnSaveReport = nullptr;
  QPushButton* FbtnSettings = nullptr;
  QPushButton* FbtnClose = nullptr;
  QLabel* FlbPorgress = nullptr;
  QProgressBar* FprbProgress = nullptr;
  QLineEdit* FedInfos = nullptr;
  QLineEdit* FedWarnings = nullptr;
  QLineEdit* FedErrors = nullptr;
};

// Runs the validation window on a file: loads the modules named by
// modulesFlags from modulesFolder (ending in the path separator), shows the
// window modally and, once it closed, writes the ticked modules back into
// lastUsedModulesMask. False when the modules could not be loaded or
// something failed (traced).
bool ShowMediaValidation(const std::u16string& modulesFolder, const std::u16string& fileName,
                         uint32_t modulesFlags, uint32_t& lastUsedModulesMask);

}  // namespace riffo
