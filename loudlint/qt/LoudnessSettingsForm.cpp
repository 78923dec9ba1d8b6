#include "loudlint/qt/LoudnessSettingsForm.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>
#include <cmath>

namespace riffo {
namespace {

QDoubleSpinBox* Decimal(QWidget* parent, const char* name, double low, double high, int32_t centi,
                        const char* suffix) {
  auto* box = new QDoubleSpinBox(parent);
  box->setObjectName(QString::fromUtf8(name));
  box->setDecimals(2);
  box->setSingleStep(0.1);
  box->setRange(low, high);
  box->setSuffix(QString::fromUtf8(suffix));
  box->setValue(centi / 100.0);
  return box;
}

int32_t Centi(const QDoubleSpinBox* box) {
  return static_cast<int32_t>(std::lround(box->value() * 100.0));
}

}  // namespace

TLoudnessSettingsForm::TLoudnessSettingsForm(const TLoudlintSettings& settings, QWidget* parent)
    : QDialog(parent), FSettings(settings) {
  setObjectName(QStringLiteral("LoudnessSettingsForm"));
  setWindowTitle(QStringLiteral("Loudness settings"));
  auto* form = new QFormLayout;
  FProfile = new QComboBox(this);
  FProfile->setObjectName(QStringLiteral("cbProfile"));
  FProfile->addItems({QStringLiteral("EBU R128 (-23 LUFS +/- 0.5 LU, -1 dBTP)"),
                      QStringLiteral("ATSC A/85 (-24 LKFS +/- 2 dB, -2 dBTP)"),
                      QStringLiteral("User")});
  const int32_t profile = settings.Profile;
  FProfile->setCurrentIndex(profile == PROFILE_ATSC_A85 || profile == PROFILE_USER ? profile : 0);
  form->addRow(QStringLiteral("Profile"), FProfile);
  FTarget = Decimal(this, "edUserTarget", -70, 0, settings.UserTargetCentiLUFS, " LUFS");
  form->addRow(QStringLiteral("User target"), FTarget);
  FTolerance = Decimal(this, "edUserTolerance", 0, 20, settings.UserToleranceCentiLU, " LU");
  form->addRow(QStringLiteral("User tolerance"), FTolerance);
  FPeakLimit = Decimal(this, "edUserPeakLimit", -30, 6, settings.UserPeakLimitCentidBTP, " dBTP");
  form->addRow(QStringLiteral("User true peak limit"), FPeakLimit);
  FBextTolerance = Decimal(this, "edBextTolerance", 0, 10, settings.BextToleranceCentiLU, " LU");
  form->addRow(QStringLiteral("bext loudness tolerance"), FBextTolerance);
  FClipRun = new QSpinBox(this);
  FClipRun->setObjectName(QStringLiteral("edClipRun"));
  FClipRun->setRange(1, 100000);
  FClipRun->setSuffix(QStringLiteral(" samples"));
  FClipRun->setValue(std::max(1, settings.ClipRunSamples));
  form->addRow(QStringLiteral("Shortest clipping run"), FClipRun);
  FDcLevel = new QSpinBox(this);
  FDcLevel->setObjectName(QStringLiteral("edDcLevel"));
  FDcLevel->setRange(-140, 0);
  FDcLevel->setSuffix(QStringLiteral(" dBFS"));
  FDcLevel->setValue(std::clamp(settings.DcOffsetLeveldBFS, -140, 0));
  form->addRow(QStringLiteral("DC offset level"), FDcLevel);
  FCorrelation = Decimal(this, "edCorrelationLimit", -1, 1, settings.CorrelationLimitCenti, "");
  form->addRow(QStringLiteral("Correlation limit"), FCorrelation);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOK"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(FProfile, &QComboBox::currentIndexChanged, this, [this] { UpdateUserFields(); });
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  UpdateUserFields();
}

void TLoudnessSettingsForm::UpdateUserFields() {
  const bool user = FProfile->currentIndex() == PROFILE_USER;
  FTarget->setEnabled(user);
  FTolerance->setEnabled(user);
  FPeakLimit->setEnabled(user);
}

TLoudlintSettings TLoudnessSettingsForm::Settings() const {
  TLoudlintSettings settings = FSettings;
  settings.Profile = FProfile->currentIndex();
  settings.UserTargetCentiLUFS = Centi(FTarget);
  settings.UserToleranceCentiLU = Centi(FTolerance);
  settings.UserPeakLimitCentidBTP = Centi(FPeakLimit);
  settings.BextToleranceCentiLU = Centi(FBextTolerance);
  settings.ClipRunSamples = FClipRun->value();
  settings.DcOffsetLeveldBFS = FDcLevel->value();
  settings.CorrelationLimitCenti = Centi(FCorrelation);
  return settings;
}

}  // namespace riffo
