#pragma once

// The tuning tools' windows. They collect input and show what the core
// functions of tools/mdlTuningTools compute; OK applies through them.

#include "tools/mdlTuningTools.h"

#include <QDialog>
#include <QVector>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTabWidget;
class QTimer;

// The fuel multiplier: a basic page computing the multiplier from injector
// sizes, fuel pressures and displacements, an advanced page with each fuel
// correction item's scalar and offset.
class TMultiplierForm : public QDialog {
    Q_OBJECT
public:
    explicit TMultiplierForm(TRom& rom, QWidget* parent = nullptr);
    // Applies what the window shows (throws EVexorError on a refusal).
    void apply();
    [[nodiscard]] double multiplier() const;

    QTabWidget* pcMultiplier;
    QWidget* tsAdvanced;
    QLineEdit *txtOldInjector, *txtNewInjector, *txtOldFuelPressure, *txtNewFuelPressure;
    QComboBox *cbOldCapacity, *cbNewCapacity;
    QLineEdit* txtAdjustedMultiplier;
    QVector<QLabel*> lblCaption;
    QVector<QLineEdit*> txtScalar, txtOffset;

private:
    void recompute();
    void restoreEmpty(QLineEdit* edit, const QString& empty);
    TRom& m_rom;
};

// Prepares the boost columns of the fuel and ignition tables.
class TBoostForm : public QDialog {
    Q_OBJECT
public:
    TBoostForm(TRom& rom, int atmosphericMbar, QWidget* parent = nullptr);
    // The request the window describes; a field that is no number is refused.
    [[nodiscard]] TBoostRequest request() const;
    void apply() { applyBoost(m_rom, request()); }

    QRadioButton *rdoIgnitionNoChange, *rdoIgnitionInitialize, *rdoIgnitionRetard;
    QLineEdit* txtIgnitionRetard;
    QRadioButton *rdoFuelNoChange, *rdoFuelInitialize, *rdoFuelTurboEfficiency;
    QLineEdit* txtTurboEfficiency;

private:
    TRom& m_rom;
    int m_atmospheric;
};

// Follows the live throttle-sensor byte and keeps its lowest and highest value.
class TTPSCalibForm : public QDialog {
    Q_OBJECT
public:
    // `sample` gives the newest live throttle byte, nothing while none arrived.
    TTPSCalibForm(std::function<std::optional<quint8>()> sample, QWidget* parent = nullptr);
    [[nodiscard]] const TTpsCalibration& calibration() const { return m_cal; }
    void tick(); // one timer tick

    QLabel *lblMinThrottle, *lblMaxThrottle;
    QTimer* tmrTPSCal;

private:
    std::function<std::optional<quint8>()> m_sample;
    TTpsCalibration m_cal;
};

// The injector choice of the fuel options: an injector of the definition
// file, or a size typed in cc.
class TInjectorForm : public QDialog {
    Q_OBJECT
public:
    TInjectorForm(TRom& rom, const TInjectorDefinitions& defs, QWidget* parent = nullptr);
    void apply();

    QComboBox* cbxInjector;

private:
    TRom& m_rom;
    const TInjectorDefinitions& m_defs;
};
