#include "scripting/scptRom.h"

#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "rom/mdlEncodings.h"
#include "scripting/mdlScriptArgs.h"
#include "scripting/mdlScriptTypes.h"
#include "scripting/scptRomEvents.h"

#include <QJSEngine>

#include <cmath>

namespace {

// The feature names scripts use for address-map entries. "GEAR_TABE" is the
// name scripts have always used for the gear table; keep it as it is.
struct TFeatureName {
    const char* name;
    TRomEntry entry;
};
constexpr TFeatureName FeatureNames[] = {
    {"CHECKSUM", aeChecksum},
    {"LOW_MAP_SCALAR", aeLoadScaleLo},
    {"HIGH_MAP_SCALAR", aeLoadScaleHi},
    {"LOW_REV_SCALAR", aeRpmScaleLo},
    {"HIGH_REV_SCALAR", aeRpmScaleHi},
    {"LOW_FUEL", aeFuelLo},
    {"HIGH_FUEL", aeFuelHi},
    {"LOW_IGNITION", aeIgnitionLo},
    {"HIGH_IGNITION", aeIgnitionHi},
    {"NFO_LOW_TABLE", aeShapeLo},
    {"NFO_HIGH_TABLE", aeShapeHi},
    {"REVCUT1", aeRevLimitLo},
    {"REVRES1", aeRevResumeLo},
    {"REVCUT2", aeRevLimitHi},
    {"REVRES2", aeRevResumeHi},
    {"VTEC_TABLE", aeVtecPoints},
    {"NFO_VTEC_TABLE", aeVtecPairs},
    {"VTEC", aeVtecEnable},
    {"IDLE", aeColdIdle},
    {"KNOCK", aeKnockSwitch},
    {"ELD", aeEldSwitch},
    {"O2", aeClosedLoopSwitch},
    {"BARO", aeBaroSwitch},
    {"VTECVSS", aeVtecMinSpeed},
    {"VTECCOOL", aeVtecCoolant},
    {"DEBUGMODE", aeDebugSwitch},
    {"OXYHEAT", aeO2HeaterSwitch},
    {"INJ_TEST", aeInjectorTestSwitch},
    {"GEAR_TABE", aeGearTable},
    {"GEAR_ADJUST", aeEntry38},
    {"IACV", aeIacvDutyCorrection},
    {"LAUNCH_CUT", aeLaunchLimit},
    {"LAUNCH_RES", aeLaunchResume},
    {"SHIFT_CUT", aeShiftLimit},
    {"SHIFT_RES", aeShiftResume},
    {"SPEED_LIMIT", aeSpeedLimit},
    {"NFO_MAP_MIN", aeMapSensorMin},
    {"NFO_MAP_MAX", aeMapSensorMax},
    {"BOOST_CUT", aeBoostLimit},
    {"NFO_HIGH_RPM_DIV", aeRevScalePeriod},
    {"NFO_ITB_XOVER", aeTpsLoadPair},
    {"MTX1", aeMainFuel},
    {"MTX2", aeO2Correction},
    {"MTX3", aeStartupFuel},
    {"MTX4", aeTipInFuel},
    {"MTX5", aePostStartFuel},
    {"MTX6", aeEntry55},
    {"SHIFT_LIGHT", aeShiftLight},
    {"LOW_O2TARGET", aeCorrectionLo},
    {"HIGH_O2TARGET", aeCorrectionHi},
};

// Scripts reach only the first 64 entries of the address map.
constexpr int ScriptAddressEntries = 64;

int featureEntry(const QJSValue& feature)
{
    const QString name = feature.toString().toUpper();
    for (const auto& f : FeatureNames)
        if (name == QLatin1String(f.name))
            return f.entry;
    return -1;
}

int addressIndex(double index)
{
    const quint8 i = scriptArg<quint8>(index, "Index");
    if (i >= ScriptAddressEntries)
        throw EVexorError(QStringLiteral("Index out of bounds."));
    return i;
}

double finiteArg(double value, const char* name)
{
    if (!std::isfinite(value))
        throw EVexorError(QStringLiteral("Argument %1 is not a number.").arg(QLatin1String(name)));
    return value;
}

} // namespace

TRomScript::TRomScript(TRomDocument& doc, IScriptHost& host, TRomHookNames& names, QObject* parent)
    : QObject(parent), m_doc(doc), m_host(host), m_names(names)
{}

TRom& TRomScript::rom() const { return m_doc.rom(); }

// --- raw image ----------------------------------------------------------------

double TRomScript::byteAt(double index)
{
    return scriptGuard(this, [&] { return double(rom().buffer().readByte(scriptArg<quint16>(index, "Index"))); });
}

void TRomScript::set_byteAt(double index, double value)
{
    scriptGuard(this, [&] {
        const quint16 at = scriptArg<quint16>(index, "Index");
        rom().buffer().writeByte(at, scriptArg<quint8>(value, "value"));
    });
}

double TRomScript::wordAt(double index)
{
    return scriptGuard(this, [&] { return double(rom().buffer().readWord(scriptArg<quint16>(index, "Index"))); });
}

void TRomScript::set_wordAt(double index, double value)
{
    scriptGuard(this, [&] {
        const quint16 at = scriptArg<quint16>(index, "Index");
        rom().buffer().writeWord(at, scriptArg<quint16>(value, "value"));
    });
}

// --- working table -------------------------------------------------------------

double TRomScript::working_table() const { return rom().CurrentTable; }

void TRomScript::setWorking_table(double value)
{
    scriptGuard(this, [&] {
        const quint8 kind = scriptArg<quint8>(value, "working_table");
        // The views paint the current table; one outside the four maps would
        // make every repaint fail, so it is refused here.
        if (kind > tkHighIgn)
            throw EVexorError(QStringLiteral("Unknown table type"));
        rom().CurrentTable = kind;
    });
}

double TRomScript::tableByte(double col, double row)
{
    return scriptGuard(this, [&] {
        return double(rom().cellByte(scriptArg<quint8>(col, "Col"), scriptArg<quint8>(row, "Row"), rom().CurrentTable));
    });
}

void TRomScript::set_tableByte(double col, double row, double value)
{
    scriptGuard(this, [&] {
        const quint8 c = scriptArg<quint8>(col, "Col"), r = scriptArg<quint8>(row, "Row");
        rom().setCellByte(c, r, rom().CurrentTable, scriptArg<quint8>(value, "value"));
    });
}

double TRomScript::tableValue(double col, double row)
{
    return scriptGuard(this, [&] {
        return rom().tableValue(scriptArg<quint8>(col, "Col"), scriptArg<quint8>(row, "Row"), rom().CurrentTable);
    });
}

void TRomScript::set_tableValue(double col, double row, double value)
{
    scriptGuard(this, [&] {
        const quint8 c = scriptArg<quint8>(col, "Col"), r = scriptArg<quint8>(row, "Row");
        rom().setTableValue(c, r, finiteArg(value, "value"), rom().CurrentTable);
    });
}

double TRomScript::tableWidth()
{
    return scriptGuard(this, [&] { return double(rom().columns()); });
}

double TRomScript::tableHeight()
{
    return scriptGuard(this, [&] { return double(rom().rows()); });
}

double TRomScript::tableIValue(double ofTable, double map, double rpm)
{
    return scriptGuard(this, [&] {
        const qint8 kind = scriptArg<qint8>(ofTable, "OfTable");
        const qint32 m = scriptArg<qint32>(map, "Map"), r = scriptArg<qint32>(rpm, "RPM");
        if (kind < tkLowFuel || kind > tkHighIgn)
            throw EVexorError(QStringLiteral("Unknown table type"));
        return rom().interpolatedValue(kind, m, r);
    });
}

// --- address map -----------------------------------------------------------------

double TRomScript::addressOf(const QJSValue& feature)
{
    return scriptGuard(this, [&] {
        const int entry = featureEntry(feature);
        return entry < 0 ? 0.0 : double(rom().address(entry));
    });
}

void TRomScript::set_addressOf(const QJSValue& feature, double value)
{
    scriptGuard(this, [&] {
        const quint16 v = scriptArg<quint16>(value, "value");
        const int entry = featureEntry(feature);
        if (entry >= 0)
            rom().setAddress(entry, v);
    });
}

double TRomScript::addressIn(double index)
{
    return scriptGuard(this, [&] { return double(rom().address(addressIndex(index))); });
}

void TRomScript::set_addressIn(double index, double value)
{
    scriptGuard(this, [&] {
        const int i = addressIndex(index);
        rom().setAddress(i, scriptArg<quint16>(value, "value"));
    });
}

// --- scalars ---------------------------------------------------------------------

double TRomScript::mapScalar(double map, double col)
{
    return scriptGuard(this, [&] {
        const bool high = scriptArg<quint8>(map, "Map") != 0;
        return double(rom().load(high, scriptArg<quint8>(col, "Col")));
    });
}

void TRomScript::set_mapScalar(double map, double col, double value)
{
    scriptGuard(this, [&] {
        const bool high = scriptArg<quint8>(map, "Map") != 0;
        const quint8 c = scriptArg<quint8>(col, "Col");
        rom().setLoad(high, c, scriptArg<quint16>(value, "value"));
    });
}

double TRomScript::revScalar(double map, double row)
{
    return scriptGuard(this, [&] {
        const bool high = scriptArg<quint8>(map, "Map") != 0;
        return double(rom().rpm(high, scriptArg<quint8>(row, "Row")));
    });
}

void TRomScript::set_revScalar(double map, double row, double value)
{
    scriptGuard(this, [&] {
        const bool high = scriptArg<quint8>(map, "Map") != 0;
        const quint8 r = scriptArg<quint8>(row, "Row");
        rom().setRpm(high, r, scriptArg<quint16>(value, "value"));
    });
}

// --- feature flags ---------------------------------------------------------------

double TRomScript::flag(quint16 bit) const { return rom().hasFlag(bit) ? 1 : 0; }

void TRomScript::setFlag(quint16 bit, double value, const char* name)
{
    scriptGuard(this, [&] {
        const bool on = scriptArg<quint8>(value, name) != 0;
        TRom& r = rom();
        r.setFeatureFlags(on ? quint16(r.FeatureFlags | bit) : quint16(r.FeatureFlags & ~bit));
    });
}

double TRomScript::hasLaunchControl() const { return flag(ffLaunchControl); }
void TRomScript::setHasLaunchControl(double value) { setFlag(ffLaunchControl, value, "hasLaunchControl"); }
double TRomScript::hasFullThrottleShift() const { return flag(ffFullThrottleShift); }
void TRomScript::setHasFullThrottleShift(double value) { setFlag(ffFullThrottleShift, value, "hasFullThrottleShift"); }
double TRomScript::hasIAB() const { return flag(ffIAB); }
void TRomScript::setHasIAB(double value) { setFlag(ffIAB, value, "hasIAB"); }
double TRomScript::hasBoostLimit() const { return flag(ffBoostLimit); }
void TRomScript::setHasBoostLimit(double value) { setFlag(ffBoostLimit, value, "hasBoostLimit"); }
double TRomScript::hasITB() const { return flag(ffITB); }
void TRomScript::setHasITB(double value) { setFlag(ffITB, value, "hasITB"); }
double TRomScript::hasShiftLight() const { return flag(ffShiftLight); }

void TRomScript::setHasShiftLight(double value)
{
    scriptGuard(this, [&] {
        // The one flag declared signed.
        const bool on = scriptArg<qint8>(value, "hasShiftLight") != 0;
        TRom& r = rom();
        r.setFeatureFlags(on ? quint16(r.FeatureFlags | ffShiftLight) : quint16(r.FeatureFlags & ~ffShiftLight));
    });
}

double TRomScript::hasBoost() const
{
    const TRom& r = rom();
    if (r.hasFlag(ffBoost1))
        return 1;
    if (r.hasFlag(ffBoost2))
        return 2;
    if (r.hasFlag(ffBoost3))
        return 3;
    return 0;
}

void TRomScript::setHasBoost(double value)
{
    scriptGuard(this, [&] {
        TRom& r = rom();
        quint16 flags = r.FeatureFlags;
        switch (scriptArg<quint8>(value, "hasBoost")) {
        case 0: flags &= ~(ffBoost1 | ffBoost2); break; // the custom sensor bit stays
        case 1: flags |= ffBoost1; break;
        case 2: flags |= ffBoost2; break;
        default: flags |= ffBoost3; break;
        }
        // The model keeps one sensor bit: the custom sensor wins, then 3 bar.
        r.setFeatureFlags(flags);
    });
}

double TRomScript::hasFinalMultiplier() const { return flag(ffFinalMultiplier); }

void TRomScript::setHasFinalMultiplier(double value)
{
    scriptGuard(this, [&] {
        const bool on = scriptArg<quint8>(value, "hasFinalMultiplier") != 0;
        TRom& r = rom();
        r.clearFuelCorrections();
        // On, the model lists the four standard corrections again.
        r.setFeatureFlag(ffFinalMultiplier, on);
    });
}

double TRomScript::addFuelCorrection(const QString& caption, double scalarAdr, double offsetAdr)
{
    return scriptGuard(this, [&] {
        const quint16 s = scriptArg<quint16>(scalarAdr, "ScalarAdr"), o = scriptArg<quint16>(offsetAdr, "OffsetAdr");
        TRom& r = rom();
        const int count = r.addFuelCorrection({caption, s, o});
        // The flag word directly: the model's flag switch would refill the list.
        r.setFeatureFlags(quint16(r.FeatureFlags | ffFinalMultiplier));
        return double(count);
    });
}

// --- identification and document -------------------------------------------------

double TRomScript::base() const { return romTypeForScript(rom().BaseType); }

void TRomScript::setBase(double value)
{
    scriptGuard(this, [&] { rom().selectBase(scriptTypeToRomType(scriptArg<quint8>(value, "base"))); });
}

double TRomScript::OBDMode() const { return rom().OBDMode; }

void TRomScript::setOBDMode(double value)
{
    scriptGuard(this, [&] {
        const quint8 mode = scriptArg<quint8>(value, "OBDMode");
        rom().OBDMode = mode <= 2 ? mode : 4;
    });
}

QString TRomScript::title() const { return rom().baseName(); }
void TRomScript::setTitle(const QString& value) { rom().addresses().setBaseName(value); }
QString TRomScript::filename() const { return m_doc.path(); }
QString TRomScript::notes() const { return m_doc.notes(); }
void TRomScript::setNotes(const QString& value) { m_doc.setNotes(value); }
double TRomScript::checksum() const { return rom().checksum(); }
double TRomScript::endian() const { return rom().buffer().littleEndian() ? 1 : 0; }

void TRomScript::setEndian(double value)
{
    scriptGuard(this, [&] { rom().buffer().setLittleEndian(scriptArg<quint8>(value, "endian") != 0); });
}

void TRomScript::gup() { rom().buffer().endGroup(ScriptUndoGroup); }

QJSValue TRomScript::events()
{
    QJSEngine* engine = qjsEngine(this);
    if (!engine)
        return {};
    // Parentless, so the engine owns it and collects it.
    return engine->newQObject(new TRomEventsScript(m_doc, m_host, m_names));
}

// --- conversions ------------------------------------------------------------------

double TRomScript::byteToMillibar(double b)
{
    return scriptGuard(this, [&] { return double(rom().byteToMillibar(scriptArg<quint8>(b, "B"), true)); });
}

double TRomScript::byteToCelcius(double b)
{
    return scriptGuard(this, [&] { return TemperatureTable[scriptArg<quint8>(b, "B")]; });
}

double TRomScript::millibarToByte(double m)
{
    return scriptGuard(this, [&] { return double(rom().millibarToByte(scriptArg<qint32>(m, "M"), true)); });
}

double TRomScript::celciusToByte(double c)
{
    return scriptGuard(this, [&] { return double(celsiusToByte(finiteArg(c, "C"))); });
}
