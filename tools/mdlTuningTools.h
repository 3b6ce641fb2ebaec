#pragma once

// The tuning tools' computations: fuel multiplier and correction scalars,
// injector change, boost columns, ignition offset and throttle-sensor
// calibration. Windows and the CLI only collect input and call these; every
// refusal is an EVexorError thrown before anything is written.

#include "rom/clsRom.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>

class TInjectorDefinitions;

// Undo group kinds of the tools.
enum TToolUndoGroup : quint8 {
    ugBoostColumns = 10,
    ugFuelMultiplier = 11,
    ugInjectorChange = 40,
    ugTpsCalibration = 90,
};

// A 240 cc injector is what a unity scalar word stands for.
inline constexpr double ReferenceInjectorCc = 240.0;
inline constexpr int MaxIgnitionOffset = 30;
inline constexpr int BoostColumnMarginMbar = 67; // above atmospheric: a boost column
inline constexpr double BoostPsiZeroMbar = 1013.0;
inline constexpr double TpsVoltsPerByte = 0.0195;
inline constexpr int TpsCalibrationStart = 128;

// --- fuel multiplier --------------------------------------------------------
struct TMultiplierInputs {
    double oldInjector = 240, newInjector = 240;   // cc/min
    double oldPressure = 45, newPressure = 45;     // psi
    double oldCapacity = 1595, newCapacity = 1595; // engine displacement, cc
};
// (old/new injector) x (sqrt old/sqrt new pressure) x (new/old capacity); 1 when
// a divisor is zero or the result is not a finite number.
[[nodiscard]] double fuelMultiplier(const TMultiplierInputs& in);

// Scalar word of a factor: floor (or round) of factor x 32768, limited to
// 0..65535 so a large factor cannot wrap into a tiny one. Non-finite: refused.
[[nodiscard]] quint16 scalarWordFloor(double factor);
[[nodiscard]] quint16 scalarWordRound(double factor);
// Offset word of a value: round(value x 4), limited to 0..65535; non-finite refused.
[[nodiscard]] quint16 offsetWord(double value);

// Basic page OK: the first correction item's scalar word, or every cell of
// both fuel maps when the ROM has no correction items. One undo step.
void applyFuelMultiplier(TRom& rom, double multiplier);

// Advanced page OK: the fields of each correction item (ignored where the
// item has no such word). One undo step.
struct TFuelCorrectionValue {
    double scalar = 1.0;
    double offset = 0.0;
};
void applyFuelCorrections(TRom& rom, const QVector<TFuelCorrectionValue>& values);
[[nodiscard]] TFuelCorrectionValue fuelCorrectionValue(const TRom& rom, int index);

// --- injector change --------------------------------------------------------
// List choice: item index (1-based) and size; the dead-time block goes into
// the latency table when given. Size 0 or less is refused.
void applyInjectorChoice(TRom& rom, int listIndex, double sizeCc, const std::optional<QByteArray>& deadTimeBlock);
// The same from the definitions by injector name.
void applyInjectorByName(TRom& rom, const TInjectorDefinitions& defs, const QString& name);
// A typed size: index 0, scalars only. Text that is not a number: factor 1.
void applyCustomInjector(TRom& rom, const QString& sizeText);
// The injector box: a list item's name applies the list choice, other text a custom size.
void applyInjectorText(TRom& rom, const TInjectorDefinitions& defs, const QString& text);
// What the injector box shows: the stored list item, else the size the main scalar stands for.
[[nodiscard]] QString injectorText(const TRom& rom, const TInjectorDefinitions& defs);
// The stored list index (0: custom size) and the size the main scalar stands for.
[[nodiscard]] int injectorIndex(const TRom& rom);
[[nodiscard]] double injectorSizeCc(const TRom& rom);

// --- boost columns ------------------------------------------------------------
enum class TIgnitionBoost { NoChange, Initialize, Retard };
enum class TFuelBoost { NoChange, Initialize, Efficiency };
struct TBoostRequest {
    TIgnitionBoost ignition = TIgnitionBoost::NoChange;
    double retardPerPsi = 0;
    TFuelBoost fuel = TFuelBoost::NoChange;
    double efficiencyPercent = 0;
    int atmosphericMbar = 1013;
};
[[nodiscard]] bool isBoostedRom(const TRom& rom);
[[nodiscard]] inline bool isBoostLoad(double loadMbar, int atmosphericMbar)
{
    return loadMbar > atmosphericMbar + BoostColumnMarginMbar;
}
// First column whose load lies above atmospheric + 67 mbar; -1 when none.
[[nodiscard]] int firstBoostColumn(const TRom& rom, int kind, int atmosphericMbar);
[[nodiscard]] double boostPsi(double loadMbar);
// Checks every table first, then writes all of them as one undo step.
void applyBoost(TRom& rom, const TBoostRequest& request);

// --- ignition offset ----------------------------------------------------------
[[nodiscard]] int clampIgnitionOffset(long long degrees);
// Parses an integer and stores it clamped; non-numeric text is refused. True
// when the offset changed.
bool setIgnitionOffset(TRom& rom, const QString& text);

// --- throttle-sensor calibration ------------------------------------------------
class TTpsCalibration {
public:
    void observe(quint8 sensorByte);
    [[nodiscard]] int minimum() const { return m_min; }
    [[nodiscard]] int maximum() const { return m_max; }
    [[nodiscard]] QString minText() const;
    [[nodiscard]] QString maxText() const;
    // Refused while the maximum is not above the minimum (a sensor that never moved).
    void apply(TRom& rom) const;

private:
    int m_min = TpsCalibrationStart;
    int m_max = TpsCalibrationStart;
};
