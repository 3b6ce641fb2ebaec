#pragma once

// Table structure of the extended family and the rebuild of its breakpoints.
// The extended family lets the user choose each cam's row and column counts,
// the period encoding of the low-cam rpm scale and throttle-position (alpha-N)
// load indexing. Such a change usually leaves the breakpoints meaningless, so
// the changes are remembered in marks and the user is offered a rebuild that
// writes a whole new set of load and rpm breakpoints as one undo step.

#include <QString>
#include <QVector>

class TRom;
class IMessageService;

// What changed since the last rebuild offer. The owner (the main window)
// keeps it, clears it when a ROM is opened or closed, and the Rebuild Tables
// dialog clears it when it closes. `tablesChanged` is also set by changes that
// have no mark of their own (the MAP sensor choice).
struct TTableStructureMarks {
    bool tablesChanged = false;
    bool columns = false;
    bool lowRows = false;
    bool highRows = false;
    [[nodiscard]] bool any() const { return tablesChanged || columns || lowRows || highRows; }
    void clear() { *this = TTableStructureMarks{}; }
};

constexpr int MinTableColumns = 2, MaxTableColumns = 24;
constexpr int MinTableRows = 2, MaxTableRows = 20;
constexpr int RebuildLoadCount = 24; // load breakpoints written (low-cam scale, shared by both cams)
constexpr int RebuildRpmCount = 20;  // rpm breakpoints written per cam

// --- structure setters (the option page fields call these) ------------------

// Clamps to 2..24; when the result differs from the cam's displayed column
// count, stores it and sets the columns mark. Returns true when stored.
bool setTableColumns(TRom& rom, bool highCam, int columns, TTableStructureMarks& marks);
// Clamps to 2..20; when different from the cam's displayed row count, stores
// it and sets that cam's rows mark. Returns true when stored.
bool setTableRows(TRom& rom, bool highCam, int rows, TTableStructureMarks& marks);
// The count store: only when the entry is non-zero, n - 2 (0 when n < 3) at
// entry 132/133 (low cam) or 134/135 (high cam).
void storeTableCount(TRom& rom, bool highCam, bool columns, int n);

// Period-encoded low-cam rpm scale (flag 0x0800); only for the extended family
// with its built-in map. Sets the low-cam rows mark.
[[nodiscard]] bool extendedLowCams(const TRom& rom);
void setExtendedLowCams(TRom& rom, bool on, TTableStructureMarks& marks);
// Throttle-indexed load axis (flag 0x0400, byte at entry 159).
[[nodiscard]] bool alphaNIndex(const TRom& rom);
void setAlphaNIndex(TRom& rom, bool on);
// The throttle threshold in percent: the throttle byte two bytes into the TPS load-scale block.
[[nodiscard]] int throttleThreshold(const TRom& rom);
void setThrottleThreshold(TRom& rom, double percent);

// --- the rebuild question -------------------------------------------------------

extern const char* const RebuildQuestionText;
extern const char* const RebuildQuestionTitle;

// True when entering the grid or a graph should ask the rebuild question:
// a mark is set and the image is modified.
[[nodiscard]] bool rebuildQuestionDue(const TRom& rom, const TTableStructureMarks& marks);
// Asks the question (warning, Yes/No); true on Yes.
bool askRebuildTables(IMessageService& messages);

// --- breakpoint sets -----------------------------------------------------------

enum class TRebuildChoice { Unchanged, Default, Distribute, Increment };

struct TRebuildGroup {
    TRebuildChoice choice = TRebuildChoice::Unchanged;
    int start = 0; // used by Increment
    int step = 0;
};

struct TRebuildRequest {
    TRebuildGroup loads;
    TRebuildGroup lowRpm;
    TRebuildGroup highRpm;
    [[nodiscard]] bool anyChange() const
    {
        return loads.choice != TRebuildChoice::Unchanged || lowRpm.choice != TRebuildChoice::Unchanged ||
               highRpm.choice != TRebuildChoice::Unchanged;
    }
};

// The counts the sets are built for: the displayed counts of the current table's cam.
[[nodiscard]] int rebuildRows(const TRom& rom);
[[nodiscard]] int rebuildColumns(const TRom& rom);

// 24 loads (millibar) / 20 rpm values of a group's choice; empty for Unchanged.
[[nodiscard]] QVector<int> rebuildLoadSet(const TRom& rom, const TRebuildGroup& group);
[[nodiscard]] QVector<int> rebuildLowRpmSet(const TRom& rom, const TRebuildGroup& group);
[[nodiscard]] QVector<int> rebuildHighRpmSet(const TRom& rom, const TRebuildGroup& group);

// What the dialog shows when it opens: a group's Default is preselected when
// its mark is set (columns -> loads, low-cam rows -> low-cam rpm, high-cam rows
// -> high-cam rpm), else Unchanged; the Increment fields hold the distribute
// start and step (high cam: 3000 and round(8000 / rows)).
[[nodiscard]] TRebuildRequest rebuildDefaults(const TRom& rom, const TTableStructureMarks& marks);

// Writes the chosen sets as one undo step (group kind 55); nothing, not even
// an undo step, when every group is Unchanged. Loads go through the load-scale
// write (index 0..23), rpm values through the rpm-scale write (index 0..19) of
// their cam; breakpoints past the image's own table shape are left alone, and
// the rpm write never stores the last row. Returns true when a step was recorded.
// On failure throws EVexorError with the image unchanged.
bool rebuildTables(TRom& rom, const TRebuildRequest& request);
