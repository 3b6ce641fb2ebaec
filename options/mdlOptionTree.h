#pragma once

// The option tree of the extended family: its 38 nodes, the page and sub-page
// each selects, and the control Enter focuses. Also the presets behind the MAP
// sensor, wideband sensor and gear-set lists, and the custom gear setup.

#include "options/mdlOptionFields.h"

#include <QString>
#include <array>
#include <optional>

struct TOptionNode {
    const char* caption;
    int parent;        // -1 for a top-level node
    int page;          // index into OptionPages
    const char* sub;   // sub-page control selected with the node (or null)
    int subIndex;      // its page index
    const char* focus; // first control of the node's topic
};

inline constexpr int OptionNodeCount = 38;
extern const std::array<TOptionNode, OptionNodeCount> OptionNodes;
extern const std::array<const char*, 15> OptionPages;

// Pages inside a top-level page: their name, the top-level page, the page
// control holding them and their index there.
struct TOptionSubPage {
    const char* name;
    const char* top;
    const char* control;
    int index;
};
extern const std::array<TOptionSubPage, 7> OptionSubPages;

// --- MAP sensor -------------------------------------------------------------------
struct TMapSensorPreset {
    int mbarAt0V;
    int mbarAt5V;
};
extern const std::array<TMapSensorPreset, 5> MapSensorPresets;
inline constexpr int CustomMapSensorItem = 5;
inline constexpr TMapSensorPreset CustomMapSensorStart = {0, 2000};
// Sensor volts at standard atmosphere for a range ("%.2f").
[[nodiscard]] QString mapAtmosphereVolts(int minMbar, int maxMbar);

// --- wideband sensor ----------------------------------------------------------------
inline constexpr int WidebandPresetCount = 9;
extern const std::array<quint8, WidebandPresetCount> WidebandStoichBytes;
extern const std::array<quint8, 12> WidebandAxisBytes;
extern const std::array<std::array<quint8, 12>, WidebandPresetCount> WidebandSensorBytes; // row 0 unused

// --- gears --------------------------------------------------------------------------
inline constexpr int GearSetCount = 22;
inline constexpr int CustomGearSetItem = 21;
// The 8 threshold bytes of a preset item, or nothing (items 9, 10 and 21).
[[nodiscard]] std::optional<std::array<quint8, 8>> gearPresetBytes(int item);

struct TGearSetup {
    QString rpm = QStringLiteral("4000");
    std::array<QString, 5> speeds;
};
// The defaults a refused field is reset to.
[[nodiscard]] QString defaultGearRpm();
[[nodiscard]] QString defaultGearSpeed(int gear, bool mph); // gear 0..4
extern const char* const InvalidValueText;
extern const char* const InvalidValueTitle;
// Computes the four thresholds from the setup and writes them as one undo
// group of kind 44 unless all are unchanged. A field that is not a number (or
// an engine speed of 0) is refused: with a message service "Invalid value
// entered." is shown, the field is reset to its default in `setup` and false
// returned; without one EVexorError is thrown. Returns true when accepted.
bool applyGearSetup(TOptionContext& ctx, TGearSetup& setup);
// The threshold word between gears of road speeds a and b (km/h) at `rpm`.
[[nodiscard]] int gearThreshold(int rpm, double a, double b);
