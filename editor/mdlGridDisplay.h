#pragma once

#include "editor/mdlGridTypes.h"
#include "settings/mdlDisplayUnits.h"

#include <QString>
#include <optional>

class TRom;

// What the table grid shows in its data cells.
enum TViewMode : quint8 {
    vmValues = 0,       // ignition degrees or fuel values
    vmDifference = 1,   // target vs measured lambda, percent
    vmLambda = 2,       // measured lambda
    vmTargetLambda = 3, // target lambda of the ROM
    vmKnock = 4,        // recorded knock retard
    vmDutyCycle = 5,    // injector duty cycle
};

// Which cells follow the live engine position.
enum TTrackMode : quint8 {
    tmSingleCell = 0,
    tmQuadCell = 1,
    tmSingleColumn = 2,
    tmSingleRow = 3,
    tmDoubleColumn = 4,
    tmDoubleRow = 5,
};

// How much datalog evidence a cell holds.
enum class TCellSamples : quint8 { None, Few, Enough };

// Per-cell datalog results, as the auto-tune accumulator keeps them. Cam 0 is
// the low cam, 1 the high cam; col/row index the fuel map. Implementations
// answer None / 0 / tunable for cells outside their grids.
class IGridCellData {
public:
    virtual ~IGridCellData() = default;
    [[nodiscard]] virtual TCellSamples samples(int cam, int col, int row) const = 0;
    // Average measured lambda of the cell (meaningful when samples != None).
    [[nodiscard]] virtual double measuredLambda(int cam, int col, int row) const = 0;
    // Highest knock-retard byte seen in the cell; degrees = byte / 4.
    [[nodiscard]] virtual quint8 knockByte(int cam, int col, int row) const = 0;
    [[nodiscard]] virtual bool isTunable(int cam, int col, int row) const = 0;
};

// Where the engine is running, as the datalog link reports it.
struct TLivePosition {
    bool Active = false; // live data is being shown
    int Col = 0;         // live cell, data coordinates
    int Row = 0;
    bool HighCam = false; // the engine is on the high cam
    quint8 TrackMode = tmSingleCell;
    // The engine's own values, where the graphs put their live marker.
    double Rpm = 0;
    double LoadMbar = 0;
    double InjectorRaw = 0; // injector value as the ECU reports it
    double InjectorMs = 0;
    double Ignition = 0; // degrees, with the ROM's ignition offset
};

class ILivePositionSource {
public:
    virtual ~ILivePositionSource() = default;
    [[nodiscard]] virtual TLivePosition livePosition() const = 0;
};

// A plain holder for owners that keep the live position themselves.
class TLivePositionState : public ILivePositionSource {
public:
    TLivePosition Position;
    [[nodiscard]] TLivePosition livePosition() const override { return Position; }
};

// The cell the user is dragging in the 2D graph: every view shows it as
// holding Value (table units) until the button is released.
struct TDragCell {
    int Col = 0;
    int Row = 0;
    double Value = 0;
    friend bool operator==(const TDragCell&, const TDragCell&) = default;
};

// Display options of the main window that change what the grid shows.
struct TGridDisplayOptions {
    quint8 ViewMode = vmValues;
    TDisplayUnits Units;       // AFR, psi, reference for vacuum/boost, AFR of lambda 1
    int InjectorLatency = 148; // latency word read with the option pages
    bool Loading = false;      // a ROM is being loaded: draw nothing
    std::optional<TDragCell> Drag;
};

// The table grid's captions, alignments and colours, computed from the ROM
// model at paint time. One fixed column (rpm) and three fixed rows (column
// number, load in mbar, vacuum/boost); grid column c >= 1 is load column
// c - 1 of the current table, grid row r >= 3 rpm row r - 3.
//
// Nothing here throws: a cell the ROM cannot produce (outside the table, a
// failing script hook, an unsupported encoding) is drawn blank, because a
// paint handler has nowhere to report an error to.
class TGridDisplay {
public:
    static constexpr int FixedCols = 1;
    static constexpr int FixedRows = 3;
    static constexpr int NoRomCols = 11;
    static constexpr int NoRomRows = 23;

    explicit TGridDisplay(const TRom* rom = nullptr) : m_rom(rom) {}

    void setRom(const TRom* rom) { m_rom = rom; }
    [[nodiscard]] const TRom* rom() const { return m_rom; }
    TGridDisplayOptions& options() { return m_options; }
    [[nodiscard]] const TGridDisplayOptions& options() const { return m_options; }
    // Without a cell-data source the difference, measured-lambda and knock
    // views stay blank and every cell counts as tunable.
    void setCellData(const IGridCellData* data) { m_cellData = data; }
    [[nodiscard]] const IGridCellData* cellData() const { return m_cellData; }
    void setLiveSource(const ILivePositionSource* live) { m_live = live; }

    // A ROM is open and not in the middle of loading.
    [[nodiscard]] bool active() const;
    // Grid shape for the current table: (columns + 1) x (rows + 3), or
    // 11 x 23 with no ROM.
    [[nodiscard]] int gridColCount() const;
    [[nodiscard]] int gridRowCount() const;

    // Event bodies of the grid (grid coordinates for fixed cells, data
    // coordinates for data cells). Colours come in as the grid's defaults
    // and are changed only where the view says so.
    void fixedCell(int ACol, int ARow, QString& Caption, TAlignment& AlignTo) const;
    void colorCell(int Col, int Row, QString& Caption, TColor& BkgndColor, TColor& FontColor, TAlignment& AlignTo,
                   bool Selected) const;

    // The in-place editor: its key filter, and the text it opens with for a
    // cell (grid coordinates). For a data cell the value shown is that of
    // valueCol/valueRow (data coordinates: the selection's top-left cell).
    // Returns false where no editor opens.
    [[nodiscard]] static bool acceptEditKey(QChar key);
    [[nodiscard]] bool editText(int ACol, int ARow, int valueCol, int valueRow, QString& Text) const;

    // Pieces of the display, public for the graphs and the tests.
    [[nodiscard]] bool highCamTable() const;
    [[nodiscard]] int dataCam() const; // cam of the accumulator grids shown
    [[nodiscard]] bool isThrottleColumn(int col) const;
    [[nodiscard]] bool isTracked(int col, int row) const;
    [[nodiscard]] bool isTunable(int col, int row) const;
    // Injector pulse in ms for a fuel value, with the final multiplier.
    [[nodiscard]] double injectorDuration(double fuelValue) const;
    // Duty cycle of a fuel cell in percent (0 for cells outside the table).
    [[nodiscard]] double dutyCycle(int col, int row) const;
    // The value of a cell of the current table, the dragged value included.
    [[nodiscard]] double cellValue(int col, int row) const;

private:
    [[nodiscard]] bool insideTable(int col, int row) const;
    void dataCaption(int col, int row, QString& caption, TColor& bkgnd) const;
    void valuesCell(int col, int row, QString& caption, TColor& bkgnd) const;
    void dutyCell(int col, int row, QString& caption, TColor& bkgnd) const;
    [[nodiscard]] QString fixedCaption(int col, int row, TAlignment& align) const;

    const TRom* m_rom = nullptr;
    const IGridCellData* m_cellData = nullptr;
    const ILivePositionSource* m_live = nullptr;
    TGridDisplayOptions m_options;
};
