#include "rom/mdlTableRebuild.h"

#include "rom/clsRom.h"
#include "rom/mdlUndoStep.h"
#include "settings/mdlErrors.h"
#include "settings/mdlMessages.h"

#include <algorithm>
#include <cmath>

const char* const RebuildQuestionText =
    "The changes you made may have altered the table structures. Would you like to rebuild the tables?";
const char* const RebuildQuestionTitle = "Rebuild Tables";

namespace {

constexpr quint16 ExtendedLowCamsCode = 0x09E2; // operand in the ECU code selecting the rpm encoding
constexpr int DefaultLoads[10] = {114, 201, 288, 403, 576, 750, 865, 923, 981, 1035};
constexpr int DefaultLowRpm[RebuildRpmCount] = {500,  602,  703,  797,  1000, 1250, 1500, 1750, 2000, 2248,
                                                2500, 3000, 3188, 3500, 4000, 4496, 5000, 6000, 7000, 7936};
constexpr int DefaultHighRpm[RebuildRpmCount] = {0,    3533, 4007, 4524, 4782, 5041, 5256, 5515,  5730,  6032,
                                                 6506, 7023, 7497, 8014, 8531, 9004, 9521, 10038, 10512, 10986};

TRomEntry countEntry(bool highCam, bool columns)
{
    return columns ? shownColumnsEntry(highCam) : shownRowsEntry(highCam);
}

// round(a / b), 0 for an empty table instead of a division by zero.
int stepOver(double span, int count) { return count > 0 ? int(roundEven(span / count)) : 0; }

QVector<int> arithmetic(int start, int step, int count)
{
    QVector<int> out;
    for (int k = 0; k < count; ++k)
        out << start + k * step;
    return out;
}

bool isExtendedFamily(const TRom& rom) { return rom.hasFlag(ffVexorAuFamily); }

int distributeLoadStart(const TRom& rom) { return rom.byteToMillibar(0, true); }
int distributeLoadStep(const TRom& rom)
{
    return stepOver(rom.byteToMillibar(255, true) - distributeLoadStart(rom), rebuildColumns(rom));
}
int distributeLowRpmStart(const TRom& rom) { return rom.hasFlag(ffPeriodRevScale) ? 0 : 500; }
int distributeLowRpmStep(const TRom& rom)
{
    return stepOver(rom.hasFlag(ffPeriodRevScale) ? 11000 : 7500, rebuildRows(rom));
}

} // namespace

// --- structure setters -------------------------------------------------------

void storeTableCount(TRom& rom, bool highCam, bool columns, int n)
{
    if (const int at = rom.address(countEntry(highCam, columns)))
        rom.buffer().writeByte(at, quint8(n < 3 ? 0 : n - 2));
}

bool setTableColumns(TRom& rom, bool highCam, int columns, TTableStructureMarks& marks)
{
    if (rom.address(countEntry(highCam, true)) == 0)
        return false; // the family has no adjustable shape
    const int n = std::clamp(columns, MinTableColumns, MaxTableColumns);
    if (n == rom.displayedColumns(highCam ? tkHighFuel : tkLowFuel))
        return false;
    storeTableCount(rom, highCam, true, n);
    marks.columns = marks.tablesChanged = true;
    return true;
}

bool setTableRows(TRom& rom, bool highCam, int rows, TTableStructureMarks& marks)
{
    if (rom.address(countEntry(highCam, false)) == 0)
        return false;
    const int n = std::clamp(rows, MinTableRows, MaxTableRows);
    if (n == rom.displayedRows(highCam ? tkHighFuel : tkLowFuel))
        return false;
    storeTableCount(rom, highCam, false, n);
    (highCam ? marks.highRows : marks.lowRows) = true;
    marks.tablesChanged = true;
    return true;
}

bool extendedLowCams(const TRom& rom) { return rom.hasFlag(ffPeriodRevScale); }

void setExtendedLowCams(TRom& rom, bool on, TTableStructureMarks& marks)
{
    if (!rom.traits().fixedCodeLayout)
        return;
    rom.setFeatureFlags(on ? quint16(rom.FeatureFlags | ffPeriodRevScale)
                           : quint16(rom.FeatureFlags & ~ffPeriodRevScale));
    rom.buffer().writeByte(ExtendedLowCamsCode, on ? 0xFE : 0x36);
    marks.lowRows = marks.tablesChanged = true;
}

bool alphaNIndex(const TRom& rom) { return rom.hasFlag(ffITB); }

void setAlphaNIndex(TRom& rom, bool on)
{
    if (!isExtendedFamily(rom))
        return;
    rom.setFeatureFlags(on ? quint16(rom.FeatureFlags | ffITB) : quint16(rom.FeatureFlags & ~ffITB));
    if (const int at = rom.address(aeAlphaNSwitch))
        rom.buffer().writeByte(at, on ? 0xFF : 0x00);
}

int throttleThreshold(const TRom& rom)
{
    const int at = rom.address(aeTpsLoadBlock);
    return at == 0 ? 0 : throttlePercentRounded(rom.byteAt(at + 2));
}

void setThrottleThreshold(TRom& rom, double percent)
{
    if (!std::isfinite(percent))
        throw EVexorError(QStringLiteral("Invalid value: not a finite number."));
    if (const int at = rom.address(aeTpsLoadBlock))
        rom.buffer().writeByte(
            at + 2, quint8(std::clamp(roundEven(percent * ThrottleBytesPerPercent) + ThrottleZeroByte, 0.0, 255.0)));
}

// --- the question ----------------------------------------------------------------

bool rebuildQuestionDue(const TRom& rom, const TTableStructureMarks& marks)
{
    return marks.any() && rom.isLoaded() && rom.buffer().modified();
}

bool askRebuildTables(IMessageService& messages)
{
    return messages.showMessage(QString::fromLatin1(RebuildQuestionText), QString::fromLatin1(RebuildQuestionTitle),
                                TMsgKind::Warning, TMsgButton::Yes | TMsgButton::No) == mrYes;
}

// --- sets ---------------------------------------------------------------------------

int rebuildRows(const TRom& rom) { return rom.displayedRows(rom.CurrentTable); }
int rebuildColumns(const TRom& rom) { return rom.displayedColumns(rom.CurrentTable); }

QVector<int> rebuildLoadSet(const TRom& rom, const TRebuildGroup& g)
{
    switch (g.choice) {
    case TRebuildChoice::Unchanged: return {};
    case TRebuildChoice::Default: {
        QVector<int> out(std::begin(DefaultLoads), std::end(DefaultLoads));
        const int n = rebuildColumns(rom);
        const int d = n > 10 ? stepOver(rom.byteToMillibar(255, true) - 1035, n - 10) : 0;
        while (out.size() < RebuildLoadCount)
            out << out.last() + d;
        return out;
    }
    case TRebuildChoice::Distribute:
        return arithmetic(distributeLoadStart(rom), distributeLoadStep(rom), RebuildLoadCount);
    case TRebuildChoice::Increment: return arithmetic(g.start, g.step, RebuildLoadCount);
    }
    return {};
}

QVector<int> rebuildLowRpmSet(const TRom& rom, const TRebuildGroup& g)
{
    switch (g.choice) {
    case TRebuildChoice::Unchanged: return {};
    case TRebuildChoice::Default: return QVector<int>(std::begin(DefaultLowRpm), std::end(DefaultLowRpm));
    case TRebuildChoice::Distribute:
        return arithmetic(distributeLowRpmStart(rom), distributeLowRpmStep(rom), RebuildRpmCount);
    case TRebuildChoice::Increment: return arithmetic(g.start, g.step, RebuildRpmCount);
    }
    return {};
}

QVector<int> rebuildHighRpmSet(const TRom& rom, const TRebuildGroup& g)
{
    switch (g.choice) {
    case TRebuildChoice::Unchanged: return {};
    case TRebuildChoice::Default: return QVector<int>(std::begin(DefaultHighRpm), std::end(DefaultHighRpm));
    case TRebuildChoice::Distribute: return arithmetic(0, stepOver(11000, rebuildRows(rom)), RebuildRpmCount);
    case TRebuildChoice::Increment: return arithmetic(g.start, g.step, RebuildRpmCount);
    }
    return {};
}

TRebuildRequest rebuildDefaults(const TRom& rom, const TTableStructureMarks& marks)
{
    auto preselect = [](bool mark) { return mark ? TRebuildChoice::Default : TRebuildChoice::Unchanged; };
    TRebuildRequest r;
    r.loads = {preselect(marks.columns), distributeLoadStart(rom), distributeLoadStep(rom)};
    r.lowRpm = {preselect(marks.lowRows), distributeLowRpmStart(rom), distributeLowRpmStep(rom)};
    r.highRpm = {preselect(marks.highRows), 3000, stepOver(8000, rebuildRows(rom))};
    return r;
}

bool rebuildTables(TRom& rom, const TRebuildRequest& request)
{
    if (!request.anyChange())
        return false;
    const QVector<int> loads = rebuildLoadSet(rom, request.loads);
    const QVector<int> lowRpm = rebuildLowRpmSet(rom, request.lowRpm);
    const QVector<int> highRpm = rebuildHighRpmSet(rom, request.highRpm);
    runAsOneUndoStep(rom.buffer(), ugTableRebuild, [&] {
        // Breakpoints past the image's own table shape have nowhere to go.
        const int cols = rom.columns(tkLowFuel);
        for (int i = 0; i < loads.size() && i < cols; ++i)
            rom.setLoad(false, i, loads[i]);
        const int lowRows = rom.rows(tkLowFuel);
        for (int i = 0; i < lowRpm.size() && i < lowRows; ++i)
            rom.setRpm(false, i, lowRpm[i]);
        const int highRows = rom.rows(tkHighFuel);
        for (int i = 0; i < highRpm.size() && i < highRows; ++i)
            rom.setRpm(true, i, highRpm[i]);
    });
    return true;
}
