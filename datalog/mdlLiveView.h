#pragma once

// The live view's content: the most recent sample (live, or the one chosen on
// the playback bar) as one row of text per item, with the colours that flag
// values outside the tuning conditions, and the single-item display. Pure
// functions of the sample and the options; the widget only paints them.

#include "datalog/mdlSampleDisplay.h"
#include "editor/mdlColorScales.h"
#include "settings/mdlSettings.h"

#include <QString>
#include <QVector>
#include <optional>

enum TLiveViewItem : int {
    lvEngineSpeed = 0,
    lvVehicleSpeed,
    lvGear,
    lvDutyCycle,
    lvInjector,
    lvIgnition,
    lvThrottle,
    lvTpsVoltage,
    lvEngineLoad,
    lvBoost,
    lvAtmospheric,
    lvAirTemp,
    lvCoolantTemp,
    lvKnock,
    lvFuelTrim,
    lvLambda,
    lvO2Voltage,
    lvBattery,
    lvVtec,
    lvCel,
    lvDuration,
    lvItemCount
};

struct TLiveViewOptions : TSampleDisplay {
    TTuningConditions tuning;      // MinRPM..MaxTemp and GearSet flag values in red
    bool connectionActive = false; // "Recording..." instead of the playback time
    quint32 startTime = 0;         // tick of the recording start
};

struct TLiveViewRow {
    QString label;
    QString value; // "" when blank
    QString item;  // the single-item display: the same number without its unit
    std::optional<TColor> background;
    std::optional<TColor> font;
};

namespace liveview {
constexpr TColor Red = RGB(255, 0, 0);
constexpr TColor Olive = RGB(128, 128, 0);
constexpr TColor Lime = RGB(0, 255, 0);
constexpr TColor Orange = RGB(255, 165, 0);
constexpr TColor Green = RGB(0, 128, 0);
} // namespace liveview

// Labels of the header row: "Data Type", "Value".
[[nodiscard]] QString liveViewHeader(int column);
// The label of an item for the options (lambda or AFR).
[[nodiscard]] QString liveViewLabel(int item, const TLiveViewOptions& options);
// Every item in order. A marker sample blanks every value; a conversion that
// fails (engine speed of a zero crank period) blanks its own row.
[[nodiscard]] QVector<TLiveViewRow> liveViewRows(const DatalogSample& sample, const TLiveViewOptions& options);
// "Playback Duration" and the CSV duration: "hh:mm:ss.mmm".
[[nodiscard]] QString playbackDurationText(quint32 ms);
