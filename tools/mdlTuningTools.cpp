#include "tools/mdlTuningTools.h"

#include "rom/mdlEncodings.h"
#include "settings/mdlErrors.h"
#include "settings/mdlInjectors.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr TRomEntry InjectorScalarEntries[] = {aeMainFuel, aeO2Correction, aeStartupFuel, aeTipInFuel, aePostStartFuel};
constexpr int FuelKinds[] = {tkLowFuel, tkHighFuel};
constexpr int IgnitionKinds[] = {tkLowIgn, tkHighIgn};

quint16 clampWord(double v)
{
    if (!std::isfinite(v))
        throw EVexorError(QStringLiteral("The value is not a finite number."));
    return quint16(std::clamp(v, 0.0, 65535.0));
}

void requireInImage(const TRom& rom, int at, int count, const char* what)
{
    if (at == 0 || at + count > rom.buffer().size())
        throw EVexorError(QStringLiteral("This ROM has no %1.").arg(QLatin1String(what)));
}

// Keeps the current table selection across writes to other tables.
class TableSelectionKeeper {
public:
    explicit TableSelectionKeeper(TRom& rom) : m_rom(rom), m_kind(rom.CurrentTable) {}
    ~TableSelectionKeeper() { m_rom.CurrentTable = m_kind; }
    TableSelectionKeeper(const TableSelectionKeeper&) = delete;
    TableSelectionKeeper& operator=(const TableSelectionKeeper&) = delete;

private:
    TRom& m_rom;
    quint8 m_kind;
};

void writeInjectorScalars(TRom& rom, double sizeCc)
{
    if (!std::isfinite(sizeCc) || sizeCc <= 0)
        throw EVexorError(QStringLiteral("The injector size must be above 0 cc."));
    const quint16 word = scalarWordRound(ReferenceInjectorCc / sizeCc);
    for (TRomEntry e : InjectorScalarEntries)
        requireInImage(rom, rom.address(e), 2, "injector scalars");
    for (TRomEntry e : InjectorScalarEntries)
        rom.buffer().writeWord(rom.address(e), word);
}

void writeInjectorIndex(TRom& rom, int index)
{
    // The index is a byte in the image (the settings dump reads it as one).
    const int at = rom.address(aeInjectorIndex);
    if (at != 0 && at < rom.buffer().size())
        rom.buffer().writeByte(at, quint8(std::clamp(index, 0, 255)));
}

} // namespace

double fuelMultiplier(const TMultiplierInputs& in)
{
    const double divisor = in.newInjector * std::sqrt(in.newPressure) * in.oldCapacity;
    if (divisor == 0)
        return 1.0;
    const double m = in.oldInjector * std::sqrt(in.oldPressure) * in.newCapacity / divisor;
    return std::isfinite(m) ? m : 1.0;
}

quint16 scalarWordFloor(double factor) { return clampWord(std::floor(factor * UnityScalarWord)); }
quint16 scalarWordRound(double factor) { return clampWord(roundEven(factor * UnityScalarWord)); }
quint16 offsetWord(double value) { return clampWord(roundEven(value * 4)); }

void applyFuelMultiplier(TRom& rom, double multiplier)
{
    if (!std::isfinite(multiplier) || multiplier < 0)
        throw EVexorError(QStringLiteral("The multiplier must be a finite number of 0 or more."));
    if (rom.fuelCorrectionCount() > 0) {
        const TFuelCorrItem& first = rom.fuelCorrection(0);
        requireInImage(rom, first.scalarAddress, 2, "fuel scalar");
        const quint16 word = scalarWordFloor(multiplier);
        TUndoGroupGuard undo(rom.buffer(), ugFuelMultiplier);
        rom.buffer().writeWord(first.scalarAddress, word);
        return;
    }
    for (int kind : FuelKinds)
        if (!rom.tableFits(kind))
            throw EVexorError(QStringLiteral("The fuel tables do not lie inside the image."));
    TableSelectionKeeper keep(rom);
    TUndoGroupGuard undo(rom.buffer(), ugFuelMultiplier);
    for (int kind : FuelKinds) {
        rom.CurrentTable = quint8(kind);
        // Read the whole map first: a cell write may rescale its column.
        QVector<double> values;
        for (int row = 0; row < rom.rows(kind); ++row)
            for (int col = 0; col < rom.columns(kind); ++col)
                values << rom.tableValue(col, row, kind);
        int i = 0;
        for (int row = 0; row < rom.rows(kind); ++row)
            for (int col = 0; col < rom.columns(kind); ++col)
                rom.setTableValue(col, row, values[i++] * multiplier, kind);
    }
}

TFuelCorrectionValue fuelCorrectionValue(const TRom& rom, int index)
{
    const TFuelCorrItem& item = rom.fuelCorrection(index);
    TFuelCorrectionValue v;
    if (item.scalarAddress != 0)
        v.scalar = rom.wordAt(item.scalarAddress) / double(UnityScalarWord);
    if (item.offsetAddress != 0)
        v.offset = rom.wordAt(item.offsetAddress) / 4.0;
    return v;
}

void applyFuelCorrections(TRom& rom, const QVector<TFuelCorrectionValue>& values)
{
    const int n = std::min(int(values.size()), rom.fuelCorrectionCount());
    // Convert everything before the first write: a refusal leaves the image alone.
    QVector<std::pair<int, quint16>> writes;
    for (int i = 0; i < n; ++i) {
        const TFuelCorrItem& item = rom.fuelCorrection(i);
        if (item.scalarAddress != 0) {
            requireInImage(rom, item.scalarAddress, 2, "fuel scalar");
            writes.push_back({item.scalarAddress, scalarWordFloor(values[i].scalar)});
        }
        if (item.offsetAddress != 0) {
            requireInImage(rom, item.offsetAddress, 2, "fuel offset");
            writes.push_back({item.offsetAddress, offsetWord(values[i].offset)});
        }
    }
    TUndoGroupGuard undo(rom.buffer(), ugFuelMultiplier);
    for (const auto& [at, word] : writes)
        rom.buffer().writeWord(at, word);
}

void applyInjectorChoice(TRom& rom, int listIndex, double sizeCc, const std::optional<QByteArray>& deadTimeBlock)
{
    if (!std::isfinite(sizeCc) || sizeCc <= 0)
        throw EVexorError(QStringLiteral("The injector size must be above 0 cc."));
    if (deadTimeBlock)
        requireInImage(rom, rom.address(aeBatteryLatency), int(deadTimeBlock->size()), "injector latency table");
    TUndoGroupGuard undo(rom.buffer(), ugInjectorChange);
    writeInjectorScalars(rom, sizeCc);
    writeInjectorIndex(rom, listIndex);
    if (deadTimeBlock) {
        const int at = rom.address(aeBatteryLatency);
        for (int i = 0; i < deadTimeBlock->size(); ++i)
            rom.buffer().writeByte(at + i, quint8(deadTimeBlock->at(i)));
    }
}

void applyInjectorByName(TRom& rom, const TInjectorDefinitions& defs, const QString& name)
{
    const int index = int(defs.names().indexOf(name));
    if (index < 0)
        throw EVexorError(QStringLiteral("Unknown injector \"%1\".").arg(name));
    applyInjectorChoice(rom, index + 1, defs.size(name), defs.deadTimeBlock(name));
}

void applyCustomInjector(TRom& rom, const QString& sizeText)
{
    bool ok = false;
    const double size = sizeText.trimmed().toDouble(&ok);
    if (ok && !(std::isfinite(size) && size > 0))
        throw EVexorError(QStringLiteral("The injector size must be above 0 cc."));
    TUndoGroupGuard undo(rom.buffer(), ugInjectorChange);
    writeInjectorScalars(rom, ok ? size : ReferenceInjectorCc);
    writeInjectorIndex(rom, 0);
}

void applyInjectorText(TRom& rom, const TInjectorDefinitions& defs, const QString& text)
{
    if (defs.names().contains(text))
        applyInjectorByName(rom, defs, text);
    else
        applyCustomInjector(rom, text);
}

QString injectorText(const TRom& rom, const TInjectorDefinitions& defs)
{
    const int index = injectorIndex(rom);
    const QStringList names = defs.names();
    if (index > 0 && index <= names.size())
        return names[index - 1];
    return QString::asprintf("%.0f", injectorSizeCc(rom));
}

int injectorIndex(const TRom& rom)
{
    const int at = rom.address(aeInjectorIndex);
    return at == 0 ? 0 : rom.byteAt(at);
}

double injectorSizeCc(const TRom& rom)
{
    const int at = rom.address(aeMainFuel);
    const int word = at == 0 ? 0 : rom.wordAt(at);
    return word == 0 ? 0.0 : double(UnityScalarWord) / word * ReferenceInjectorCc;
}

bool isBoostedRom(const TRom& rom) { return rom.hasFlag(ffBoost1 | ffBoost2 | ffBoost3 | ffVexorAuFamily); }

int firstBoostColumn(const TRom& rom, int kind, int atmosphericMbar)
{
    const bool high = TRom::isHighCamKind(kind);
    for (int col = 0; col < rom.columns(kind); ++col)
        if (isBoostLoad(rom.load(high, col), atmosphericMbar))
            return col;
    return -1;
}

double boostPsi(double loadMbar) { return (loadMbar - BoostPsiZeroMbar) / 1000.0 * PsiPerBar; }

void applyBoost(TRom& rom, const TBoostRequest& request)
{
    for (double v : {request.retardPerPsi, request.efficiencyPercent})
        if (!std::isfinite(v))
            throw EVexorError(QStringLiteral("The value is not a finite number."));
    struct Job {
        int kind;
        int first; // first boost column
    };
    QVector<Job> jobs;
    auto plan = [&](const int(&kinds)[2], bool wanted, bool needsLoad) {
        if (!wanted)
            return;
        for (int kind : kinds) {
            if (!rom.tableFits(kind))
                throw EVexorError(QStringLiteral("The tables do not lie inside the image."));
            const int first = firstBoostColumn(rom, kind, request.atmosphericMbar);
            if (first < 0)
                continue; // no boost column: nothing to prepare
            if (first == 0)
                throw EVexorError(QStringLiteral("The first load column is already a boost column: there is no "
                                                 "naturally aspirated column to start from."));
            if (needsLoad && rom.load(TRom::isHighCamKind(kind), first - 1) <= 0)
                throw EVexorError(QStringLiteral("The last naturally aspirated load is 0 mbar: the turbo "
                                                 "efficiency cannot be applied."));
            jobs.push_back({kind, first});
        }
    };
    plan(IgnitionKinds, request.ignition != TIgnitionBoost::NoChange, false);
    plan(FuelKinds, request.fuel != TFuelBoost::NoChange, request.fuel == TFuelBoost::Efficiency);
    if (jobs.isEmpty())
        return;

    TableSelectionKeeper keep(rom);
    TUndoGroupGuard undo(rom.buffer(), ugBoostColumns);
    const double x = request.efficiencyPercent / 100.0;
    for (const Job& job : jobs) {
        rom.CurrentTable = quint8(job.kind);
        const bool high = TRom::isHighCamKind(job.kind);
        const int n = job.first - 1;
        const double loadN = rom.load(high, n);
        const bool fuel = TRom::isFuelKind(job.kind);
        for (int row = 0; row < rom.rows(job.kind); ++row) {
            const double v = rom.tableValue(n, row, job.kind);
            for (int col = job.first; col < rom.columns(job.kind); ++col) {
                double value = v;
                if (!fuel && request.ignition == TIgnitionBoost::Retard)
                    value = v - boostPsi(rom.load(high, col)) * request.retardPerPsi;
                else if (fuel && request.fuel == TFuelBoost::Efficiency)
                    value = v * (1 + x * (rom.load(high, col) - loadN) / loadN);
                rom.setTableValue(col, row, value, job.kind);
            }
        }
    }
}

int clampIgnitionOffset(long long degrees)
{
    return int(std::clamp<long long>(degrees, -MaxIgnitionOffset, MaxIgnitionOffset));
}

bool setIgnitionOffset(TRom& rom, const QString& text)
{
    bool ok = false;
    const long long v = text.trimmed().toLongLong(&ok);
    if (!ok)
        throw EVexorError(QStringLiteral("'%1' is not a valid integer value.").arg(text));
    const int offset = clampIgnitionOffset(v);
    if (offset == rom.IgnitionOffset)
        return false;
    rom.IgnitionOffset = qint8(offset);
    return true;
}

void TTpsCalibration::observe(quint8 sensorByte)
{
    m_min = std::min(m_min, int(sensorByte));
    m_max = std::max(m_max, int(sensorByte));
}

QString TTpsCalibration::minText() const { return QString::asprintf("Min. Throttle: %.2fV", m_min * TpsVoltsPerByte); }

QString TTpsCalibration::maxText() const { return QString::asprintf("Max. Throttle: %.2fV", m_max * TpsVoltsPerByte); }

void TTpsCalibration::apply(TRom& rom) const
{
    if (m_max <= m_min)
        throw EVexorError(QStringLiteral("The throttle sensor did not move: open and close the throttle fully "
                                         "before pressing OK."));
    const int at = rom.address(aeTpsVoltagePair);
    requireInImage(rom, at, 3, "throttle calibration");
    TUndoGroupGuard undo(rom.buffer(), ugTpsCalibration);
    rom.buffer().writeByte(at, quint8(m_max));
    rom.buffer().writeByte(at + 2, quint8(m_min));
}
