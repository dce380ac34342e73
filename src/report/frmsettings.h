#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vorlan {

/// "Настройки": the camera clock's offset from UTC, the observatory code and the temporary
/// designation of the report line, who observed with what for the ADES report, the magnitude
/// limit of the known objects (typed, or "авто") and the observer's place typed by hand. Opened on the saved values;
/// "ОК" saves them and emits saved.
class frmSettings : public QDialog {
    Q_OBJECT
  public:
    explicit frmSettings(QWidget* parent = nullptr);

    QSpinBox* txtClockOffset;
    QLineEdit* txtStation;
    QLineEdit* txtDesignation;
    QLineEdit* txtSubmitter;
    QLineEdit* txtMeasurers;
    QLineEdit* txtTelescope;
    QDoubleSpinBox* txtAperture; ///< metres
    QComboBox* cboDetector;      ///< "CCD" or "CMO"
    QDoubleSpinBox* txtKnownLimit;
    QCheckBox* chkKnownLimitAuto; ///< the limit from picture 1's stars; typing a limit clears it
    QLineEdit* txtPlace;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    void cmdOK_Click();

  signals:
    void saved();
};

} // namespace vorlan
