// Calibration files (".ct2" INI text and ".ctv" table bytes).
#include "rom/mdlCalibration.h"
#include "settings/mdlFiles.h"

#include "rom/clsRom.h"
#include "rom/clsTableTranslator.h"
#include "rom/mdlUndoStep.h"
#include "settings/mdlErrors.h"
#include "settings/mdlIniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

const char* const CalibrationExportFilter = "VEXOR Calibrations|*.ct2|VEXOR Table Values|*.ctv|All Files|*.*";
const char* const CalibrationExportTitle = "Export Tables To...";
const char* const CalibrationImportFilter =
    "All Supported Files|*.ct2;*.ctv;*.skl;*.kal|VEXOR Calibrations|*.ct2|VEXOR Tables Values|*.ctv|All Files|*.*";
const char* const CalibrationImportTitle = "Import Tables From...";
const char* const CalibrationDefaultExt = ".ct2";

namespace {

[[noreturn]] void refuse(const QString& why) { throw EVexorError(why); }

// The four map sections in file order and the table kind each one holds.
struct Ct2Section {
    const char* name;
    int kind;
};
const Ct2Section Ct2Sections[] = {
    {"Table0", tkLowIgn}, {"Table1", tkHighIgn}, {"Table2", tkLowFuel}, {"Table3", tkHighFuel}};

QString str(const char* s) { return QString::fromLatin1(s); }

// Shortest decimal text that reads back to the same double, never in
// exponent form and never "-0".
QString shortestDecimal(double v)
{
    if (v == 0 || !std::isfinite(v))
        return QStringLiteral("0");
    return QString::number(v, 'f', QLocale::FloatingPointShortest);
}

int T(int x) { return throttlePercentRounded(x); }

// Reads of the settings dump. An entry of 0 means the item is absent: it reads 0.
class SettingsReader {
public:
    explicit SettingsReader(const TRom& rom) : m_rom(rom) {}
    [[nodiscard]] int byte(int entry, int offset = 0) const
    {
        const int at = m_rom.address(entry);
        return at == 0 ? 0 : m_rom.byteAt(at + offset);
    }
    [[nodiscard]] int word(int entry) const
    {
        const int at = m_rom.address(entry);
        return at == 0 ? 0 : m_rom.wordAt(at);
    }
    // A zero word reads 0 instead of dividing by zero.
    [[nodiscard]] int periodRpm(int entry) const { return periodWordToRpm(word(entry)); }
    // round((word / W - 1) * 100) with W the main fuel word; 0 when W is 0.
    [[nodiscard]] int trimPercent(int entry) const
    {
        const int w = word(aeMainFuel);
        return w == 0 ? 0 : int(roundEven((double(word(entry)) / w - 1) * 100));
    }
    [[nodiscard]] int D(int entry, int offset = 0) const
    {
        return TRom::decodeExponentRpm(quint8(byte(entry, offset)));
    }
    [[nodiscard]] int M(int entry) const { return m_rom.byteToMillibar(byte(entry), true); }
    [[nodiscard]] double C(int entry) const { return TemperatureTable[size_t(byte(entry))]; }

private:
    const TRom& m_rom;
};

void writeSettings(TIniFile& ini, const TRom& rom)
{
    const SettingsReader r(rom);
    const QString s = QStringLiteral("Settings");
    auto integer = [&](const char* key, int v) { ini.writeInteger(s, str(key), v); };
    auto decimal = [&](const char* key, double v) { ini.writeString(s, str(key), shortestDecimal(v)); };
    auto boolean = [&](const char* key, bool v) { ini.writeBool(s, str(key), v); };

    const int w = r.word(aeMainFuel);
    integer("Injector Index", r.byte(aeInjectorIndex));
    integer("Injector Size", w == 0 ? 0 : int(roundEven(InjectorSizeConstant / w)));
    integer("Injector Offset", r.word(aeInjectorOffset));
    integer("Cranking Fuel Trim", r.trimPercent(aeStartupFuel));
    integer("Throttle Tipin Trim", r.trimPercent(aeTipInFuel));
    integer("Post Startup Adj", r.trimPercent(aePostStartFuel));
    integer("Target Idle", r.periodRpm(aeTargetIdle));
    integer("IACV Duty Correction", rom.iacvDutyCorrection());
    integer("Low Cam Rev Limit", r.periodRpm(aeRevLimitLo));
    integer("Low Cam Rev Resume", r.periodRpm(aeRevResumeLo));
    integer("High Cam Rev Limit", r.periodRpm(aeRevLimitHi));
    integer("High Cam Rev Resume", r.periodRpm(aeRevResumeHi));
    integer("Standstill Rev Limit", r.periodRpm(aeLaunchLimit));
    integer("InShift Rev Limit", r.periodRpm(aeShiftLimit));
    integer("Rising Rev Limit", r.word(aeRisingRevLimit) * RisingRevLimitRpmPerUnit);
    integer("Full Throttle Threshold", T(r.byte(aeFullThrottleThreshold)));
    integer("Standstill Threshold", r.byte(aeStandstillThreshold));
    decimal("Standstill Boost Retard", r.byte(aeStandstillBoostRetard) / IgnitionBytesPerDegree);
    integer("Standstill Boost Enrich", int(roundEven(r.word(aeStandstillBoostEnrich) * BoostEnrichPerUnit)));
    boolean("Enable VTEC", r.byte(aeVtecEnable) == 0xFF);
    decimal("VTEC Temp", r.C(aeVtecCoolant));
    integer("VTEC Speed", r.byte(aeVtecMinSpeed));
    integer("VTEC Throttle", T(r.byte(aeVtecThrottle)));
    integer("VTEC Enable Low", r.D(aeVtecPoints, 0));
    integer("VTEC Disable Low", r.D(aeVtecPoints, 1));
    integer("VTEC Enable High", r.D(aeVtecPoints, 2));
    integer("VTEC Disable High", r.D(aeVtecPoints, 3));
    integer("VTEC Load Threshold", r.M(aeVtecLoad));
    integer("IAB Enable", r.D(aeIabEnable));
    integer("IAB Disable", r.D(aeIabDisable));
    boolean("IAB Inverted", r.byte(aeIabInverted) == 0x80);
    decimal("Min TPS Voltage", r.byte(aeTpsVoltagePair, 2) * TpsCalibrationVoltsPerBit);
    decimal("Max TPS Voltage", r.byte(aeTpsVoltagePair) * TpsCalibrationVoltsPerBit);
    integer("Min MAP", rom.mapCalibrationMin());
    integer("Max MAP", rom.mapCalibrationMax());
    integer("Safety Boost Limit", r.M(aeSafetyBoostLimit));
    integer("Cold Boost Limit", r.M(aeColdBoostLimit));
    integer("Hot Boost Limit", r.M(aeHotBoostLimit));
    decimal("Boost Limit Threshold", r.C(aeBoostLimitTemp));
    boolean("CEL Boost Limit Enable", r.byte(aeCelBoostLimitSwitch) != 0);
    integer("AC RPM Disable", r.D(aeAcRpmDisable));
    integer("AC RPM Enable", r.D(aeAcRpmEnable));
    boolean("IAT Disable", (r.byte(aeIatSwitch) & 0xF0) == 0);
    boolean("IACV Disable", r.byte(aeIacvSwitch) == 0);
    boolean("VSS Disable", (r.byte(aeVssSwitch) & 0xF0) == 0);
    boolean("PAS Disable", r.byte(aeBaroSwitch) == 0);
    boolean("Injector TestDisable", r.byte(aeInjectorTestSwitch) == 0xFF);
    boolean("ELD Disable", r.byte(aeEldSwitch) == 0);
    boolean("VTS Disable", r.byte(aeVtsCheck) != 133);
    boolean("VTP Disable", r.byte(aeVtpCheck) != 133);
    boolean("Knock Sensor Disable", r.byte(aeKnockSwitch) == 0);
    boolean("O2 Heater Disable", r.byte(aeO2HeaterSwitch) == 0);
}

// (w / divisor - 1) * 100 for a correction word; 0 where the divisor or the
// table is missing.
double correctionPercent(int w, double divisor) { return divisor == 0 ? 0 : (w / divisor - 1) * 100; }

void writeFuelCorrections(TIniFile& ini, const TRom& rom)
{
    const QString s = QStringLiteral("Fuel Correction Tables");
    auto wordAtEntry = [&](int entry, int offset) {
        const int at = rom.address(entry);
        return at == 0 ? -1 : int(rom.wordAt(at + offset));
    };

    const int iat = rom.address(aeIatShape);
    QStringList items;
    for (int i = 0; i < (iat & 0xFF); ++i) {
        const int w = wordAtEntry(aeIatCorrection, 3 * i + 1);
        items << shortestDecimal(w < 0 ? 0 : correctionPercent(w, (iat >> 8) * 256.0));
    }
    ini.writeString(s, QStringLiteral("IAT Correction"), formatCommaText(items));

    const int ect = rom.address(aeEctShape);
    const char* const ectKeys[] = {"ECT Correction Open Loop Low", "ECT Correction Open Loop High",
                                   "ECT Correction Close Loop Low", "ECT Correction Close Loop High"};
    constexpr TRomEntry EctEntries[] = {aeEctOpenLo, aeEctOpenHi, aeEctClosedLo, aeEctClosedHi};
    for (int k = 0; k < 4; ++k) {
        items.clear();
        for (int i = 0; i < (ect & 0xFF); ++i) {
            const int w = wordAtEntry(EctEntries[k], 2 * i + 1);
            // The ECT divisor is the high byte itself, not multiplied by 256.
            items << shortestDecimal(w < 0 ? 0 : correctionPercent(w, ect >> 8));
        }
        ini.writeString(s, str(ectKeys[k]), formatCommaText(items));
    }

    items.clear();
    const int cyl = rom.address(aeCylinderCorrection);
    for (int offset : {0, 2, 3, 1}) // cylinder order of the ECU
        items << shortestDecimal(cyl == 0 ? 0 : (rom.byteAt(cyl + offset) / CorrectionUnityByte - 1) * 100);
    ini.writeString(s, QStringLiteral("Individual Cylinder Correction"), formatCommaText(items));
}

// A table is read or written through its encodings only when it lies inside
// the image, unless a script hook stands in for it.
void requireTableInImage(const TRom& rom, int kind, bool writing)
{
    const bool hooked = rom.hasHook(writing ? TRom::OnSetTableValue : TRom::OnGetTableValue);
    if (rom.rows(kind) > 0 && rom.columns(kind) > 0 && !hooked && !rom.tableFits(kind))
        refuse(QStringLiteral("The %1 table of this image does not lie inside the image.")
                   .arg(str(TRom::isFuelKind(kind) ? "fuel" : "ignition") +
                        str(TRom::isHighCamKind(kind) ? " (high cam)" : " (low cam)")));
}

void writeTableSection(TIniFile& ini, const TRom& rom, const Ct2Section& sec)
{
    const QString s = str(sec.name);
    const int kind = sec.kind;
    const bool high = TRom::isHighCamKind(kind);
    const int rows = rom.rows(kind), cols = rom.columns(kind);
    ini.writeInteger(s, QStringLiteral("Rows"), rows);
    ini.writeInteger(s, QStringLiteral("Cols"), cols);
    ini.writeInteger(s, QStringLiteral("HighSpeed"), 0);
    QStringList items;
    for (int i = 0; i < rows; ++i)
        items << QString::number(rom.rpm(high, i));
    ini.writeString(s, QStringLiteral("Rpm"), formatCommaText(items));
    items.clear();
    for (int i = 0; i < cols; ++i)
        items << QString::asprintf("%.3f", rom.load(high, i) / 1000.0);
    ini.writeString(s, QStringLiteral("Load"), formatCommaText(items));
    for (int r = 0; r < rows; ++r) {
        items.clear();
        for (int c = 0; c < cols; ++c)
            items << QString::asprintf("%.2f", rom.tableValue(c, r, kind));
        ini.writeString(s, QStringLiteral("Row%1").arg(r), formatCommaText(items));
    }
}

// --- .ct2 reading ------------------------------------------------------------

class Ct2Reader {
public:
    Ct2Reader(const TIniFile& ini, const QString& source) : m_ini(ini), m_source(source) {}

    // The translator of one section; every fault is reported before anything is written.
    TTableTranslator read(const QString& section) const
    {
        if (!m_ini.sectionExists(section))
            fail(section, QStringLiteral("the section is missing."));
        const int rows = count(section, QStringLiteral("Rows"));
        const int cols = count(section, QStringLiteral("Cols"));
        TTableTranslator t(cols, rows);
        const QStringList rpm = list(section, QStringLiteral("Rpm"), rows);
        for (int i = 0; i < rows; ++i)
            t.setRpm(i, toInteger(section, QStringLiteral("Rpm"), i, rpm[i]));
        const QStringList load = list(section, QStringLiteral("Load"), cols);
        for (int i = 0; i < cols; ++i) {
            const double bar = toNumber(section, QStringLiteral("Load"), i, load[i]);
            const double mbar = roundEven(bar * 1000);
            if (std::fabs(mbar) > std::numeric_limits<qint32>::max())
                fail(section, QStringLiteral("\"Load\" item %1 (%2) is out of range.").arg(i + 1).arg(load[i]));
            t.setLoad(i, qint32(mbar));
        }
        for (int r = 0; r < rows; ++r) {
            const QString key = QStringLiteral("Row%1").arg(r);
            const QStringList values = list(section, key, cols);
            for (int c = 0; c < cols; ++c)
                t.setCell(c, r, toNumber(section, key, c, values[c]));
        }
        return t;
    }

private:
    [[noreturn]] void fail(const QString& section, const QString& what) const
    {
        refuse(QStringLiteral("Could not import '%1': in section [%2] %3\r\nNothing was imported.")
                   .arg(m_source, section, what));
    }

    int count(const QString& section, const QString& key) const
    {
        const auto text = m_ini.value(section, key);
        if (!text)
            fail(section, QStringLiteral("the key \"%1\" is missing.").arg(key));
        const auto n = TIniFile::parseInteger(*text);
        if (!n || *n < 2 || *n > 255)
            fail(section, QStringLiteral("\"%1\" must be a whole number from 2 to 255, not \"%2\".").arg(key, *text));
        return *n;
    }

    QStringList list(const QString& section, const QString& key, int needed) const
    {
        const auto text = m_ini.value(section, key);
        if (!text)
            fail(section, QStringLiteral("the key \"%1\" is missing.").arg(key));
        const QStringList items = parseCommaText(*text);
        if (items.size() < needed)
            fail(section,
                 QStringLiteral("\"%1\" holds %2 items where %3 are needed.").arg(key).arg(items.size()).arg(needed));
        return items;
    }

    double toNumber(const QString& section, const QString& key, int index, const QString& item) const
    {
        // Group separators are refused: "0,187" is a decimal comma, never 187.
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::RejectGroupSeparator);
        bool ok = false;
        double v = c.toDouble(item, &ok);
        if (!ok) { // written where the decimal separator is a comma (the item is then quoted)
            QString t = item;
            t.replace(QLatin1Char(','), QLatin1Char('.'));
            v = c.toDouble(t, &ok);
        }
        if (!ok || !std::isfinite(v))
            fail(section,
                 QStringLiteral("\"%1\" item %2 (\"%3\") is not a valid number.").arg(key).arg(index + 1).arg(item));
        return v;
    }

    qint32 toInteger(const QString& section, const QString& key, int index, const QString& item) const
    {
        bool ok = false;
        const int v = item.toInt(&ok, 10);
        if (!ok)
            fail(section, QStringLiteral("\"%1\" item %2 (\"%3\") is not a valid integer value.")
                              .arg(key)
                              .arg(index + 1)
                              .arg(item));
        return v;
    }

    const TIniFile& m_ini;
    QString m_source;
};

// --- .ctv layout -------------------------------------------------------------

struct CtvBlock {
    int entry;
    int length;
    bool correction; // per-cell corrections: unreadable bytes are exported as 0x96
};

std::vector<CtvBlock> ctvBlocks(int cLo, int rLo, int cHi, int rHi)
{
    return {{aeLoadScaleLo, cLo + 1, false},        {aeLoadScaleHi, cHi + 1, false},
            {aeRpmScaleLo, rLo + 1, false},         {aeRpmScaleHi, rHi + 1, false},
            {aeFuelLo, cLo * (rLo + 1) + 1, false}, {aeFuelHi, cHi * (rHi + 1) + 1, false},
            {aeIgnitionLo, rLo * cLo + 1, false},   {aeIgnitionHi, cHi * rHi + 1, false},
            {aeCorrectionLo, rLo * cLo + 1, true},  {aeCorrectionHi, cHi * rHi + 1, true}};
}

// The exporter leaves out a block whose last address would pass 0xFFFF.
bool blockSkipped(int start, int length) { return start + length - 1 > 0xFFFF; }

void importCt2Ini(TRom& rom, const TIniFile& ini, const QString& sourceName);

} // namespace

// --- comma text ----------------------------------------------------------------

QStringList parseCommaText(const QString& text)
{
    QStringList out;
    const qsizetype n = text.size();
    qsizetype p = 0;
    auto blank = [&](qsizetype i) { return i < n && text.at(i).unicode() >= 1 && text.at(i).unicode() <= 32; };
    while (blank(p))
        ++p;
    while (p < n) {
        QString item;
        if (text.at(p) == QLatin1Char('"')) {
            ++p;
            while (p < n) {
                if (text.at(p) == QLatin1Char('"')) {
                    if (p + 1 < n && text.at(p + 1) == QLatin1Char('"')) {
                        item += QLatin1Char('"');
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text.at(p++);
            }
        } else {
            // Everything up to a blank or a comma belongs to the item, control
            // characters such as NUL included: the scan must always move on, and a
            // damaged item is then refused as a number instead of being skipped.
            const qsizetype start = p;
            while (p < n && !blank(p) && text.at(p) != QLatin1Char(','))
                ++p;
            item = text.mid(start, p - start);
        }
        out << item;
        while (blank(p))
            ++p;
        if (p < n && text.at(p) == QLatin1Char(',')) {
            if (p + 1 == n)
                out << QString();
            do
                ++p;
            while (blank(p));
        }
    }
    return out;
}

QString formatCommaText(const QStringList& items)
{
    QStringList parts;
    for (const QString& item : items) {
        bool quote = item.isEmpty() && items.size() > 1;
        for (const QChar c : item)
            if (c.unicode() <= 32 || c == QLatin1Char(',') || c == QLatin1Char('"'))
                quote = true;
        if (quote) {
            QString q = item;
            q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            parts << QLatin1Char('"') + q + QLatin1Char('"');
        } else {
            parts << item;
        }
    }
    return parts.join(QLatin1Char(','));
}

// --- dispatch --------------------------------------------------------------------

int calibrationKindForFile(const QString& fileName)
{
    return QFileInfo(fileName).suffix().toUpper() == QLatin1String("CTV") ? ckTableValues : ckCalibration;
}

void exportCalibration(const TRom& rom, const QString& fileName, int kind)
{
    if (kind == ckCalibration)
        exportCt2(rom, fileName);
    else if (kind == ckTableValues)
        exportCtv(rom, fileName);
}

void importCalibration(TRom& rom, const QString& fileName, int kind)
{
    if (kind == ckCalibration)
        importCt2(rom, fileName);
    else if (kind == ckTableValues)
        importCtv(rom, fileName);
}

// --- .ct2 --------------------------------------------------------------------------

void exportCt2(const TRom& rom, const QString& fileName)
{
    for (const auto& sec : Ct2Sections)
        requireTableInImage(rom, sec.kind, false);
    TIniFile ini;
    QString error;
    if (!ini.load(fileName, &error))
        refuse(error);
    if (rom.traits().extended) {
        writeSettings(ini, rom);
        writeFuelCorrections(ini, rom);
    }
    const QString list = QStringLiteral("TableList");
    ini.writeString(list, QStringLiteral("0"), QStringLiteral("Ignition"));
    ini.writeString(list, QStringLiteral("1"), QStringLiteral("Ignition"));
    ini.writeString(list, QStringLiteral("2"), QStringLiteral("Fuel"));
    ini.writeString(list, QStringLiteral("3"), QStringLiteral("Fuel"));
    for (const auto& sec : Ct2Sections)
        writeTableSection(ini, rom, sec);
    if (!ini.save(&error))
        refuse(error);
}

void importCt2(TRom& rom, const QString& fileName)
{
    if (!QFileInfo::exists(fileName))
        refuse(QStringLiteral("'%1' does not exist.").arg(fileName));
    TIniFile ini;
    QString error;
    if (!ini.load(fileName, &error))
        refuse(error);
    importCt2Ini(rom, ini, QFileInfo(fileName).fileName());
}

void importCt2Text(TRom& rom, const QString& iniText, const QString& sourceName)
{
    TIniFile ini;
    ini.setText(iniText);
    importCt2Ini(rom, ini, sourceName);
}

namespace {

void importCt2Ini(TRom& rom, const TIniFile& ini, const QString& sourceName)
{
    // Every section is read and checked first: a damaged file changes nothing.
    const Ct2Reader reader(ini, sourceName);
    std::vector<std::pair<int, TTableTranslator>> maps;
    for (const auto& sec : Ct2Sections)
        maps.emplace_back(sec.kind, reader.read(str(sec.name)));
    for (const auto& sec : Ct2Sections)
        requireTableInImage(rom, sec.kind, true);

    runAsOneUndoStep(rom.buffer(), ugCalibrationImport, [&] {
        for (const auto& [kind, translator] : maps) {
            const bool high = TRom::isHighCamKind(kind);
            const int rows = rom.rows(kind), cols = rom.columns(kind);
            std::vector<int> loads(size_t(std::max(cols, 0))), rpms(size_t(std::max(rows, 0)));
            for (int c = 0; c < cols; ++c)
                loads[size_t(c)] = rom.load(high, c);
            for (int r = 0; r < rows; ++r)
                rpms[size_t(r)] = rom.rpm(high, r);
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < cols; ++c)
                    rom.setTableValue(c, r, translator.interpolate(loads[size_t(c)], rpms[size_t(r)]), kind);
        }
    });
}

} // namespace

// --- .ctv --------------------------------------------------------------------------

QByteArray ctvBytes(const TRom& rom)
{
    const int cLo = quint8(rom.columns(0)), rLo = quint8(rom.rows(0));
    const int cHi = quint8(rom.columns(1)), rHi = quint8(rom.rows(1));
    QByteArray out;
    out.append(char(cLo)).append(char(rLo)).append(char(cHi)).append(char(rHi));
    const int size = rom.buffer().size();
    for (const CtvBlock& b : ctvBlocks(cLo, rLo, cHi, rHi)) {
        // An absent item (entry 0) is still written, copied from image offset 0,
        // so that every file of one shape has the same layout.
        const int start = rom.address(b.entry);
        if (blockSkipped(start, b.length))
            continue;
        for (int i = 0; i < b.length; ++i) {
            const int p = start + i;
            if (p < size)
                out.append(char(rom.buffer().readByte(p)));
            else if (b.correction)
                out.append(char(0x96));
            else
                refuse(QStringLiteral("The table area of this image runs past the end of the image."));
        }
    }
    return out;
}

void exportCtv(const TRom& rom, const QString& fileName)
{
    const QByteArray bytes = ctvBytes(rom);
    QString error;
    if (!writeFileAtomic(fileName, bytes, &error))
        refuse(QStringLiteral("Could not write '%1': %2").arg(fileName, error));
}

void importCtv(TRom& rom, const QString& fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists() || info.isDir())
        refuse(QStringLiteral("'%1' does not exist.").arg(fileName));
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        refuse(QStringLiteral("Could not read '%1': %2").arg(fileName, f.errorString()));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        refuse(QStringLiteral("Could not read '%1': %2").arg(fileName, f.errorString()));
    importCtvBytes(rom, bytes, info.fileName());
}

void importCtvBytes(TRom& rom, const QByteArray& bytes, const QString& sourceName)
{
    if (bytes.size() < 4)
        refuse(bytes.isEmpty() ? QStringLiteral("'%1' is empty: it holds no table values.").arg(sourceName)
                               : QStringLiteral("'%1' is not a table values file: it is only %2 bytes long.")
                                     .arg(sourceName)
                                     .arg(bytes.size()));
    const auto u = [&bytes](int i) { return int(quint8(bytes[i])); };
    const int cLo = u(0), rLo = u(1), cHi = u(2), rHi = u(3);
    // The header must match the family's shape entries and the shape the
    // image itself uses: an extended-family image keeps its own shape in the
    // image while its entries hold the default one, and a file of the default
    // shape would land across its tables. Rev scales of 16-bit words do not
    // fit the one-byte-per-row blocks.
    if (rom.address(aeShapeLo) != rLo * 256 + cLo || rom.address(aeShapeHi) != rHi * 256 + cHi || rom.WideRevScalar ||
        rom.rows(tkLowFuel) != rLo || rom.columns(tkLowFuel) != cLo || rom.rows(tkHighFuel) != rHi ||
        rom.columns(tkHighFuel) != cHi)
        refuse(QStringLiteral("Table sizes do not match"));

    const std::vector<CtvBlock> blocks = ctvBlocks(cLo, rLo, cHi, rHi);
    qsizetype expected = 4;
    for (const CtvBlock& b : blocks)
        if (!blockSkipped(rom.address(b.entry), b.length))
            expected += b.length;
    if (bytes.size() < expected)
        refuse(QStringLiteral(
                   "'%1' is incomplete: its header announces %2 bytes but it holds only %3. Nothing was imported.")
                   .arg(sourceName)
                   .arg(expected)
                   .arg(bytes.size()));
    if (bytes.size() > expected)
        refuse(
            QStringLiteral("'%1' is longer than its header announces (%2 bytes instead of %3). Nothing was imported.")
                .arg(sourceName)
                .arg(bytes.size())
                .arg(expected));
    const int size = rom.buffer().size();
    for (const CtvBlock& b : blocks) {
        const int start = rom.address(b.entry);
        if (start != 0 && !b.correction && start + b.length - 1 > size)
            refuse(QStringLiteral("Table sizes do not match"));
    }

    runAsOneUndoStep(rom.buffer(), ugCalibrationImport, [&] {
        int p = 4;
        for (const CtvBlock& b : blocks) {
            const int start = rom.address(b.entry);
            if (blockSkipped(start, b.length))
                continue;
            // The block's last byte is one past its item: it is read, never written.
            // An absent item (entry 0) is read and skipped, never written at offset 0.
            if (start != 0)
                for (int i = 0; i < b.length - 1; ++i) {
                    const int at = start + i;
                    if (at >= size)
                        continue; // only correction cells can lie past the image
                    rom.buffer().writeByte(at, quint8(bytes[p + i]));
                }
            p += b.length;
        }
    });
}
