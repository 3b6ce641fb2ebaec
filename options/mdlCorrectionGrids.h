#pragma once

// The correction grids of the option tree: small tables whose columns are the
// break points of a sensor axis and whose rows are the corrections at them.
// One class serves all of them, parameterised by a row of the grid table.

#include "editor/mdlColorScales.h"
#include "options/mdlOptionFields.h"

#include <vector>

enum class TGridAxis : quint8 {
    Temperature, // axis byte through the temperature table (°C / °F)
    Index,       // 1, 2, 3 ... (cylinders, gears)
    GearChange,  // "  1 to 2", "  2 to 3" ...
    ExponentRpm, // axis byte in the exponent rpm encoding
    BatteryVolts,
    WidebandLambda, // lambda 128 / axis byte, or AFR with the AFR unit; reverse order
    HalfPercent,    // solenoid duty: axis byte / 2 %
};

enum class TGridCellKind : quint8 {
    UnityPercent, // (value / unity - 1) x 100, "%.1f"
    Degrees,      // signed quarter degrees, "%.1f"
    Retard,       // quarter degrees, shown "-%.1f"
    PeriodRpm,    // 1875000 / word, "%d"
    Latency,      // word in µs, "%.0f"
    SensorVolts,  // byte x 0.0196, "%.2f"
    Raw,          // the stored number, "%.0f"
    BoostPsi,     // load byte as psi above the atmospheric pressure setting, "%.1f"
    Scaled,       // the stored number times `scale` (signed when `signedValue`), "%.1f" or "%.0f"
};

struct TCorrectionGridSpec {
    QString name;
    QString page;
    QString title;                     // caption of the grid's group on the page
    QString header;                    // caption of the fixed row's first cell (temperature headers get their unit)
    QStringList rowCaptions;           // one per data row
    std::vector<TRomEntry> rowEntries; // table of each data row (0 entry: row absent)
    TRomEntry countEntry;              // packed count (low byte) and unity (high byte), or a plain count
    bool countPacked = false;          // countEntry holds unity << 8 | count
    int fixedCount = 0;                // used when countEntry is aeChecksum
    int fixedUnity = 0;                // unity of a grid without a packed count
    int stride = 2;                    // bytes per break point
    int valueOffset = 1;               // where the value lies in a break point
    std::vector<int> rowOffsets;       // per data row, where rows share one entry (else valueOffset)
    int valueWidth = 1;
    TGridAxis axis = TGridAxis::Temperature;
    TGridCellKind kind = TGridCellKind::UnityPercent;
    std::vector<TGridCellKind> rowKinds; // per data row, where rows differ (else kind)
    double colorHi = 80, colorMid = 0, colorLo = -80;
    int firstColumnWidth = 72;
    int unreadable = 0; // shown for a period word of 0 (0: show 0)
    double scale = 1;   // Scaled cells: shown value per stored unit
    bool signedValue = false;
    int decimals = 1; // Scaled cells
    int event = -1;   // an event's grid: editable only while the event has an input
};

[[nodiscard]] const std::vector<TCorrectionGridSpec>& correctionGrids();
[[nodiscard]] const TCorrectionGridSpec* findCorrectionGrid(const QString& name);

class TCorrectionGrid {
public:
    TCorrectionGrid(const TCorrectionGridSpec& gridDef, const TOptionContext& ctx);

    [[nodiscard]] const TCorrectionGridSpec& gridDef() const { return m_spec; }
    [[nodiscard]] bool present() const;
    // False while the grid's event has no input (its cells are then refused).
    [[nodiscard]] bool enabled() const;
    [[nodiscard]] int columnCount() const;
    [[nodiscard]] int rowCount() const; // data rows present
    [[nodiscard]] QString headerCaption() const;
    [[nodiscard]] QString columnCaption(int col) const;
    [[nodiscard]] QString rowCaption(int row) const;
    [[nodiscard]] QString cellText(int col, int row) const;
    [[nodiscard]] double cellValue(int col, int row) const;
    [[nodiscard]] TColor cellColor(int col, int row) const;
    [[nodiscard]] int storedValue(int col, int row) const;
    // A typed value: converted and written when it differs. Not a number, a
    // zero unity or a cell outside the grid throws EVexorError, image unchanged.
    void setCellText(int col, int row, const QString& text);
    // The small step changes the stored value by 1, the large one by a tenth
    // of unity (10 where there is no unity); both stop at the value's range.
    void step(int col, int row, int direction, bool large);
    // The break point nearest a live sensor byte (-1 for a non-sensor axis).
    [[nodiscard]] int liveColumn(int sensorByte) const;
    [[nodiscard]] int unity() const;
    [[nodiscard]] TGridCellKind kindOf(int row) const;

private:
    [[nodiscard]] int rowAddress(int row) const;
    [[nodiscard]] int cellAddress(int col, int row) const;
    [[nodiscard]] int axisByte(int col) const;
    void writeStored(int col, int row, int value);
    void requireEnabled() const;

    const TCorrectionGridSpec& m_spec;
    TOptionContext m_ctx;
    std::vector<int> m_rows; // indices into gridDef rows that are present
};
