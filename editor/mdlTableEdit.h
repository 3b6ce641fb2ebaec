#pragma once

#include "editor/mdlGridDisplay.h"
#include "editor/mdlGridTypes.h"
#include "rom/clsRom.h"

#include <QLocale>
#include <QPoint>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>

class IClipboardService;

// Undo group kinds of the block edits, so one undo reverts a whole command.
enum TTableEditGroup : quint8 {
    ugAdjustments = 12,
    ugPaste = 14,
    ugDelete = 15,
    ugIncrease = 16,
    ugDecrease = 17,
    ugInterpolate = 18,
    ugSmoothing = 25,
};

// The step sizes of the increase, decrease and smoothing commands, as the
// settings give them.
struct TEditSteps {
    double IgnitionStep = 0.25;   // degrees
    double FuelStepPercent = 3.0; // percent of the cell
    int FuelMinStep = 5;          // smallest absolute fuel step (signed 16-bit)
    double LambdaStep = 0.01;
    int SmoothingTolerance = 30; // thousandths
};

// The three choices of the adjustments window.
enum class TAdjustKind : quint8 { Percent, Add, Set };

// What a paste did.
enum class TPasteResult : quint8 {
    Pasted,
    DoesNotFit, // shape of the text differs from the selection: nothing written
};

// The block edits of the current table: clipboard copy and paste, delete,
// step increase and decrease, adjustments, interpolation and smoothing. They
// act on rectangles in data coordinates (load column, rpm row) of the ROM's
// current table, write only through the ROM model's accessors and bracket
// every command with its own undo group, closed on every exit path.
//
// Errors of the model (EVexorError) and conversion errors of pasted text
// propagate to the caller, which shows them; by then the undo group is closed
// and, for paste, nothing has been written.
class TTableEditor {
public:
    explicit TTableEditor(TRom& rom) : m_rom(rom) { setLocale(QLocale()); }

    // What the grid shows decides what the commands edit: table values in
    // view modes 0 and 5, target lambdas in view mode 3.
    quint8 ViewMode = vmValues;
    TEditSteps Steps;
    // Per-cell datalog results: cells marked not tunable are skipped by the
    // steps. Null: every cell is tunable.
    const IGridCellData* CellData = nullptr;
    // Clearing of recorded samples (measured-lambda view) and knock (knock
    // view) by Delete; set by the owner of the auto-tune accumulator.
    std::function<void(int cam, int col, int row)> ClearLambdaSamples;
    std::function<void(int cam, int col, int row)> ClearKnock;

    void setClipboard(IClipboardService* clipboard) { m_clipboard = clipboard; }
    // Number formatting and parsing of the clipboard text (default: the
    // user's locale).
    void setLocale(const QLocale& locale);
    [[nodiscard]] const QLocale& locale() const { return m_locale; }

    // The data rectangle covering the whole current table.
    [[nodiscard]] TGridRect wholeTable() const;
    // The rectangle clipped to the current table (empty when outside).
    [[nodiscard]] TGridRect clipToTable(const TGridRect& area) const;

    // --- clipboard ----------------------------------------------------------
    // Tab-separated "%.2f" values, every row ending in CR LF; rows are empty
    // in views that show no editable value.
    [[nodiscard]] QString copyText(const TGridRect& sel) const;
    void copy(const TGridRect& sel);
    // Every field of the text is checked before any cell is written: a text
    // of the wrong shape gives DoesNotFit, a field that is not a number
    // throws EVexorError; in both cases no byte changes.
    TPasteResult pasteText(const TGridRect& sel, const QString& text);
    TPasteResult paste(const TGridRect& sel);
    [[nodiscard]] bool clipboardHasText() const;
    // Copy followed by delete.
    void cut(const TGridRect& sel);
    // Splits clipboard text into lines and lines into fields, as paste does.
    [[nodiscard]] static QVector<QStringList> splitClipboardText(const QString& text);

    // --- block edits ----------------------------------------------------------
    void deleteCells(const TGridRect& sel);
    // Step commands on the given cells (see stepCells / trackedCells).
    void increase(const QVector<QPoint>& cells);
    void decrease(const QVector<QPoint>& cells);
    // The adjustments window's choice over the selection. Percent and add
    // with 0 change nothing and leave no undo step. Returns whether it wrote.
    bool adjust(const TGridRect& sel, TAdjustKind kind, double amount);
    // Linear in rpm between the top and bottom selected rows, per column.
    // Needs at least three rows; returns whether it wrote.
    bool interpolate(const TGridRect& sel);
    // Smooths the area along rpm (four rows or more) and load (four columns
    // or more). Returns whether a cell changed; no change leaves no undo step.
    bool smooth(const TGridRect& area);

    // --- one typed value --------------------------------------------------------
    // What the encoding kept of a value typed into one cell: the value read
    // back, and whether the typed one lay beyond the encoding's range (it was
    // clamped) rather than between two storable steps (it was rounded).
    struct TTypedValue {
        double Stored = 0;
        bool Limited = false;
    };
    // Writes the cell the view edits (table value, or target lambda in view
    // mode 3); outside the table or in a view without values nothing is
    // written and the result is {0, false}.
    TTypedValue typeValue(int col, int row, double value);

    // --- targets of the step commands --------------------------------------------
    // The cells of a rectangle, row by row.
    [[nodiscard]] static QVector<QPoint> rectCells(const TGridRect& sel);
    // The cells around the live cell chosen by the track mode, clipped to a
    // table of cols x rows.
    [[nodiscard]] static QVector<QPoint> trackedCells(const TLivePosition& live, int cols, int rows);

    // Value pieces the commands share, public for the tests.
    [[nodiscard]] static double fuelStepUp(double value, const TEditSteps& steps);
    [[nodiscard]] static double fuelStepDown(double value, const TEditSteps& steps);

private:
    enum class Target : quint8 { None, Table, TargetLambda };
    [[nodiscard]] Target editTarget() const;
    [[nodiscard]] bool highCam() const;
    [[nodiscard]] int dataCam() const;
    [[nodiscard]] bool insideTarget(Target t, int col, int row) const;
    [[nodiscard]] double readCell(Target t, int col, int row) const;
    void writeCell(Target t, int col, int row, double value);
    [[nodiscard]] bool tunable(int col, int row) const;
    void step(const QVector<QPoint>& cells, bool up);
    [[nodiscard]] double parseField(const QString& field) const;
    bool smoothLine(const QVector<QPoint>& line, const QVector<double>& axis, double tolerance,
                    std::optional<TUndoGroupGuard>& group);

    TRom& m_rom;
    IClipboardService* m_clipboard = nullptr;
    QLocale m_locale;
};
