// The loudness settings form: the profile, the user profile's values, the
// bext tolerance and the limits of the signal checks. It edits a copy of the
// settings it is given; Apply writes the controls back into that copy.
//
// No Q_OBJECT: the form lives in a dialog library that is unloaded with its
// module, so nothing of it may stay registered with the toolkit.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSpinBox>

#include "loudlint/LoudlintSettings.h"

namespace riffo {

class TLoudnessSettingsForm final : public QDialog {
public:
  TLoudnessSettingsForm(const TLoudlintSettings& settings, QWidget* parent);
  // The settings as the controls show them.
  TLoudlintSettings Settings() const;

  QComboBox* cbProfile() const { return FProfile; }

private:
  void UpdateUserFields();

  TLoudlintSettings FSettings;
  QComboBox* FProfile = nullptr;
  QDoubleSpinBox* FTarget = nullptr;
  QDoubleSpinBox* FTolerance = nullptr;
  QDoubleSpinBox* FPeakLimit = nullptr;
  QDoubleSpinBox* FBextTolerance = nullptr;
  QSpinBox* FClipRun = nullptr;
  QSpinBox* FDcLevel = nullptr;
  QDoubleSpinBox* FCorrelation = nullptr;
};

}  // namespace riffo
