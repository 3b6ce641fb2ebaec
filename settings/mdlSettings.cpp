#include "settings/mdlSettings.h"

#include "settings/mdlIniFile.h"

#include <cmath>

namespace {

const QString General = QStringLiteral("General Settings");
const QString Option = QStringLiteral("Option Settings");
const QString RTPCom = QStringLiteral("RTP Com Settings");
const QString TunerCom = QStringLiteral("Tuner Com Settings");
const QString RTP = QStringLiteral("RTP Settings");
const QString RTPConnection = QStringLiteral("RTP Connection Settings");
const QString TunerConnection = QStringLiteral("Tuner Connection Settings");
const QString Tuning = QStringLiteral("Tuning Conditions");
const QString Lambda = QStringLiteral("Lambda Conversion");
const QString Dyno = QStringLiteral("Dyno Settings");
const QString Graphs = QStringLiteral("DataGraphs");
const QString Notes = QStringLiteral("Notes Form");
const QString Recent = QStringLiteral("Most Recently Used");

// One key: how to read it into a TSettings, write it out, and show its value.
// Numeric keys carry the range a tuner can use; a value outside it (or one that
// does not parse) leaves the default, so no absurd number from a hand-edited
// file ever reaches a conversion.
struct TKey {
    QString section;
    QString key;
    std::function<void(TSettings&, const TIniFile&)> read;
    std::function<void(const TSettings&, TIniFile&)> write;
    std::function<QVariant(const TSettings&)> value;
    std::optional<TSettingRange> range;
};

// `field` is a generic lambda returning a reference to the member, so the same
// accessor serves the const (write, value) and mutable (read) paths.
template <class Field>
TKey intKey(const QString& section, const QString& key, Field field, int lo, int hi)
{
    return {section,
            key,
            [=](TSettings& s, const TIniFile& ini) {
                int& v = field(s);
                const int r = ini.readInteger(section, key, v);
                if (r >= lo && r <= hi)
                    v = r;
            },
            [=](const TSettings& s, TIniFile& ini) { ini.writeInteger(section, key, field(s)); },
            [=](const TSettings& s) { return QVariant(field(s)); },
            TSettingRange{double(lo), double(hi), true}};
}

// An integer whose default is "whatever the window has now": unset unless the
// file holds a usable value, and not written while unset.
template <class Field>
TKey optionalIntKey(const QString& section, const QString& key, Field field, int lo, int hi)
{
    return {section,
            key,
            [=](TSettings& s, const TIniFile& ini) {
                const auto text = ini.value(section, key);
                const auto r = text ? TIniFile::parseInteger(*text) : std::nullopt;
                if (r && *r >= lo && *r <= hi)
                    field(s) = *r;
            },
            [=](const TSettings& s, TIniFile& ini) {
                if (field(s))
                    ini.writeInteger(section, key, *field(s));
            },
            [=](const TSettings& s) { return field(s) ? QVariant(*field(s)) : QVariant(); },
            TSettingRange{double(lo), double(hi), true}};
}

template <class Field>
TKey floatKey(const QString& section, const QString& key, Field field, double lo, double hi)
{
    return {section,
            key,
            [=](TSettings& s, const TIniFile& ini) {
                double& v = field(s);
                const double r = ini.readFloat(section, key, v);
                if (r >= lo && r <= hi)
                    v = r;
            },
            [=](const TSettings& s, TIniFile& ini) { ini.writeFloat(section, key, field(s)); },
            [=](const TSettings& s) { return QVariant(field(s)); },
            TSettingRange{lo, hi, false}};
}

template <class Field>
TKey boolKey(const QString& section, const QString& key, Field field)
{
    return {section,
            key,
            [=](TSettings& s, const TIniFile& ini) { field(s) = ini.readBool(section, key, field(s)); },
            [=](const TSettings& s, TIniFile& ini) { ini.writeBool(section, key, field(s)); },
            [=](const TSettings& s) { return QVariant(field(s)); },
            std::nullopt};
}

template <class Field>
TKey stringKey(const QString& section, const QString& key, Field field)
{
    return {section,
            key,
            [=](TSettings& s, const TIniFile& ini) { field(s) = ini.readString(section, key, field(s)); },
            [=](const TSettings& s, TIniFile& ini) { ini.writeString(section, key, field(s)); },
            [=](const TSettings& s) { return QVariant(field(s)); },
            std::nullopt};
}

#define F(path)                                                                                                        \
    [](auto& s) -> auto& { return s.path; }
#define FI(path)                                                                                                       \
    [i](auto& s) -> auto& { return s.path; }

void addComKeys(std::vector<TKey>& k, const QString& sec, TComSettings TSettings::*com, bool withProtocol)
{
    // A baud rate is read as text and written as a number; either way it must
    // be a positive number of bits per second.
    if (withProtocol)
        k.push_back(intKey(
            sec, QStringLiteral("ProtocolIndex"), [com](auto& s) -> auto& { return (s.*com).protocolIndex; }, 0, 5));
    k.push_back(intKey(
        sec, QStringLiteral("PortIndex"), [com](auto& s) -> auto& { return (s.*com).portIndex; }, 0, 65535));
    k.push_back(intKey(
        sec, QStringLiteral("BaudRate"), [com](auto& s) -> auto& { return (s.*com).baudRate; }, 1, 4000000));
    k.push_back(intKey(
        sec, QStringLiteral("DataBitsIndex"), [com](auto& s) -> auto& { return (s.*com).dataBitsIndex; }, 0, 4));
    k.push_back(intKey(
        sec, QStringLiteral("ParityIndex"), [com](auto& s) -> auto& { return (s.*com).parityIndex; }, 0, 4));
    k.push_back(intKey(
        sec, QStringLiteral("StopBitsIndex"), [com](auto& s) -> auto& { return (s.*com).stopBitsIndex; }, 0, 2));
}

void addConnectionKeys(std::vector<TKey>& k, const QString& sec, TConnectionSettings TSettings::*c)
{
    // A zero interval would spin the link's timer; zero tries would never send.
    k.push_back(intKey(
        sec, QStringLiteral("Timeout"), [c](auto& s) -> auto& { return (s.*c).timeout; }, 1, 65535));
    k.push_back(intKey(
        sec, QStringLiteral("MaxTries"), [c](auto& s) -> auto& { return (s.*c).maxTries; }, 1, 32767));
}

// Every key with its range, in file order. The ranges are wide enough for any
// engine and sensor a tuner meets and narrow enough that no product or sum
// built from them (air-fuel ratio, offset lambda, boost) can overflow.
std::vector<TKey> buildKeys()
{
    std::vector<TKey> k;
    constexpr int Rpm = 20000;    // engine speed, rpm
    constexpr int Mbar = 10000;   // absolute pressure, mbar
    constexpr int Many = 1000000; // counts and intervals
    constexpr int Screen = 32767; // pixels, either sign

    k.push_back(floatKey(General, QStringLiteral("IgnitionAdjustment"), F(general.ignitionAdjustment), 0.01, 10));
    k.push_back(floatKey(General, QStringLiteral("FuelAdjustment1"), F(general.fuelAdjustment1), 0.01, 100));
    k.push_back(intKey(General, QStringLiteral("FuelAdjustment2"), F(general.fuelAdjustment2), -32768, 32767));
    k.push_back(floatKey(General, QStringLiteral("LambdaAdjustment"), F(general.lambdaAdjustment), 0.001, 1));
    k.push_back(intKey(General, QStringLiteral("MapSmoothing"), F(general.mapSmoothing), 0, 1000));
    // Sea level to high mountain passes, with weather.
    k.push_back(intKey(General, QStringLiteral("Atmospheric"), F(general.atmospheric), 500, 1100));
    // Nitromethane (1.7) to hydrogen (34).
    k.push_back(floatKey(General, QStringLiteral("StoichValue"), F(general.stoichValue), 1, 40));
    k.push_back(intKey(General, QStringLiteral("IgnitionOffset"), F(general.ignitionOffset), -128, 127));
    k.push_back(intKey(General, QStringLiteral("FullScreenResX"), F(general.fullScreenResX), 1, 65535));
    k.push_back(intKey(General, QStringLiteral("FullScreenResY"), F(general.fullScreenResY), 1, 65535));
    k.push_back(optionalIntKey(General, QStringLiteral("WindowWidth"), F(general.windowWidth), 1, 65535));
    k.push_back(optionalIntKey(General, QStringLiteral("WindowHeight"), F(general.windowHeight), 1, 65535));
    k.push_back(boolKey(General, QStringLiteral("ShowDuration"), F(general.showDuration)));
    k.push_back(boolKey(General, QStringLiteral("ShowAFR"), F(general.showAFR)));
    k.push_back(boolKey(General, QStringLiteral("ShowMph"), F(general.showMph)));
    k.push_back(boolKey(General, QStringLiteral("ShowPsi"), F(general.showPsi)));
    k.push_back(boolKey(General, QStringLiteral("ShowFahrenheit"), F(general.showFahrenheit)));
    k.push_back(boolKey(General, QStringLiteral("MinimalLiveView"), F(general.minimalLiveView)));
    k.push_back(boolKey(General, QStringLiteral("GraphInThreeD"), F(general.graphInThreeD)));
    k.push_back(intKey(General, QStringLiteral("ScriptTimeout"), F(general.scriptTimeout), 0, 3600));

    k.push_back(intKey(Option, QStringLiteral("RevDelta"), F(options.revDelta), 0, TOptionDeltas::Max));
    k.push_back(intKey(Option, QStringLiteral("LaunchDelta"), F(options.launchDelta), 0, TOptionDeltas::Max));
    k.push_back(intKey(Option, QStringLiteral("ShiftDelta"), F(options.shiftDelta), 0, TOptionDeltas::Max));
    k.push_back(intKey(Option, QStringLiteral("VTECDelta"), F(options.vtecDelta), 0, TOptionDeltas::Max));
    k.push_back(intKey(Option, QStringLiteral("IABDelta"), F(options.iabDelta), 0, TOptionDeltas::Max));

    addComKeys(k, RTPCom, &TSettings::rtpCom, false);
    k.push_back(stringKey(RTPCom, QStringLiteral("PortPath"), F(rtpCom.portPath)));
    addComKeys(k, TunerCom, &TSettings::tunerCom, true);
    k.push_back(stringKey(TunerCom, QStringLiteral("PortPath"), F(tunerCom.portPath)));

    k.push_back(intKey(RTP, QStringLiteral("Hardware"), F(rtp.hardware), 0, 2));
    k.push_back(boolKey(RTP, QStringLiteral("Use512K"), F(rtp.use512K)));
    k.push_back(boolKey(RTP, QStringLiteral("AutoUpdate"), F(rtp.autoUpdate)));
    k.push_back(boolKey(RTP, QStringLiteral("AutoConnect"), F(rtp.autoConnect)));

    addConnectionKeys(k, RTPConnection, &TSettings::rtpConnection);
    addConnectionKeys(k, TunerConnection, &TSettings::tunerConnection);

    k.push_back(intKey(Tuning, QStringLiteral("SensorIndex"), F(tuning.sensorIndex), 0, 65535));
    k.push_back(intKey(Tuning, QStringLiteral("MinThrottle"), F(tuning.minThrottle), 0, 100));
    k.push_back(intKey(Tuning, QStringLiteral("MaxThrottle"), F(tuning.maxThrottle), 0, 100));
    k.push_back(floatKey(Tuning, QStringLiteral("MinLambda"), F(tuning.minLambda), 0, 10));
    k.push_back(floatKey(Tuning, QStringLiteral("MaxLambda"), F(tuning.maxLambda), 0, 10));
    k.push_back(intKey(Tuning, QStringLiteral("MinRPM"), F(tuning.minRPM), 0, Rpm));
    k.push_back(intKey(Tuning, QStringLiteral("MaxRPM"), F(tuning.maxRPM), 0, Rpm));
    k.push_back(intKey(Tuning, QStringLiteral("MinLoad"), F(tuning.minLoad), 0, Mbar));
    k.push_back(intKey(Tuning, QStringLiteral("MaxLoad"), F(tuning.maxLoad), 0, Mbar));
    k.push_back(intKey(Tuning, QStringLiteral("MinTemp"), F(tuning.minTemp), -40, 150)); // coolant, deg C
    k.push_back(intKey(Tuning, QStringLiteral("MaxTemp"), F(tuning.maxTemp), -40, 150));
    k.push_back(stringKey(Tuning, QStringLiteral("GearSet"), F(tuning.gearSet)));
    k.push_back(floatKey(Tuning, QStringLiteral("LambdaOffset"), F(tuning.lambdaOffset), -1, 1));
    // Used as "every n-th sample"; 0 would divide by zero.
    k.push_back(intKey(Tuning, QStringLiteral("SamplingPriority"), F(tuning.samplingPriority), 1, 1000));
    k.push_back(boolKey(Tuning, QStringLiteral("RecordMode"), F(tuning.recordMode)));
    k.push_back(floatKey(Tuning, QStringLiteral("MinFuelAdj"), F(tuning.minFuelAdj), 0, 100)); // percent
    // Fuel is divided by (1 - adjustment): 100 % and more would divide by zero
    // or turn the cell negative.
    k.push_back(floatKey(Tuning, QStringLiteral("MaxFuelAdj"), F(tuning.maxFuelAdj), 0, 99.99));
    k.push_back(boolKey(Tuning, QStringLiteral("ClearLog"), F(tuning.clearLog)));
    k.push_back(boolKey(Tuning, QStringLiteral("MapSmooth"), F(tuning.mapSmooth)));
    k.push_back(boolKey(Tuning, QStringLiteral("FilterData"), F(tuning.filterData)));
    k.push_back(boolKey(Tuning, QStringLiteral("SmartFill"), F(tuning.smartFill)));
    k.push_back(intKey(Tuning, QStringLiteral("SmartFillPasses"), F(tuning.smartFillPasses), 0, 100));
    k.push_back(intKey(Tuning, QStringLiteral("MinSample"), F(tuning.minSample), 0, Many));
    k.push_back(intKey(Tuning, QStringLiteral("MinInterval"), F(tuning.minInterval), 0, Many)); // ms
    k.push_back(boolKey(Tuning, QStringLiteral("AutoSaveLogs"), F(tuning.autoSaveLogs)));
    k.push_back(boolKey(Tuning, QStringLiteral("SmartTrack"), F(tuning.smartTrack)));
    // A qualified cell needs this many samples; its weight must not be 0.
    k.push_back(intKey(Tuning, QStringLiteral("Acceptance"), F(tuning.acceptance), 1, Many));
    k.push_back(floatKey(Tuning, QStringLiteral("StdDeviation"), F(tuning.stdDeviation), 0, 10)); // sigmas
    k.push_back(intKey(Tuning, QStringLiteral("TrackMode"), F(tuning.trackMode), 0, 5));

    for (size_t i = 0; i < 16; ++i)
        k.push_back(floatKey(Lambda, QStringLiteral("Voltage%1").arg(i), FI(lambdaConversion[i].voltage), 0, 5));
    for (size_t i = 0; i < 16; ++i)
        k.push_back(floatKey(Lambda, QStringLiteral("Lambda%1").arg(i), FI(lambdaConversion[i].lambda), 0, 10));

    k.push_back(intKey(Dyno, QStringLiteral("MinThrottle"), F(dyno.minThrottle), 0, 100));
    k.push_back(intKey(Dyno, QStringLiteral("Gear"), F(dyno.gear), 1, 6));
    k.push_back(intKey(Dyno, QStringLiteral("VehicleWeight"), F(dyno.vehicleWeight), 1, 100000));

    k.push_back(intKey(Graphs, QStringLiteral("Graph1"), F(dataGraphs.graph1), 0, (1 << dgChannelCount) - 1));
    k.push_back(intKey(Graphs, QStringLiteral("Graph2"), F(dataGraphs.graph2), 0, (1 << dgChannelCount) - 1));

    k.push_back(optionalIntKey(Notes, QStringLiteral("WindowLeft"), F(notesForm.windowLeft), -Screen, Screen));
    k.push_back(optionalIntKey(Notes, QStringLiteral("WindowTop"), F(notesForm.windowTop), -Screen, Screen));
    k.push_back(optionalIntKey(Notes, QStringLiteral("WindowWidth"), F(notesForm.windowWidth), 1, 65535));
    k.push_back(optionalIntKey(Notes, QStringLiteral("WindowHeight"), F(notesForm.windowHeight), 1, 65535));

    // The recent list is read as a whole (below); these entries only write and show it.
    for (int i = 0; i < TRecentFiles::MaxCount; ++i) {
        const QString key = QStringLiteral("File%1").arg(i);
        k.push_back({Recent, key, [](TSettings&, const TIniFile&) {},
                     [key, i](const TSettings& s, TIniFile& ini) {
                         ini.writeString(Recent, key, s.recentFiles.paths().value(i));
                     },
                     [i](const TSettings& s) { return QVariant(s.recentFiles.paths().value(i)); }, std::nullopt});
    }
    return k;
}

#undef F
#undef FI

const std::vector<TKey>& keys()
{
    static const std::vector<TKey> k = buildKeys();
    return k;
}

} // namespace

quint8 TTuningConditions::gears() const
{
    quint8 set = 0;
    for (const QChar c : gearSet)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('5'))
            set |= static_cast<quint8>(1u << (c.unicode() - u'0'));
    return set;
}

QString dataGraphChannelName(int channel)
{
    static const char* const names[dgChannelCount] = {"BATT", "AFR", "O2V",   "ECT", "IAT",  "KNCK", "IGN", "INJDC",
                                                      "INJ",  "TP",  "BOOST", "MAP", "GEAR", "SPD",  "RPM"};
    if (channel < 0 || channel >= dgChannelCount)
        return QString();
    return QString::fromLatin1(names[channel]);
}

void TRecentFiles::add(const QString& path)
{
    if (path.isEmpty())
        return;
    m_paths.removeAll(path);
    m_paths.prepend(path);
    while (m_paths.size() > MaxCount)
        m_paths.removeLast();
}

void TRecentFiles::remove(const QString& path) { m_paths.removeAll(path); }

void TRecentFiles::assign(const QStringList& paths)
{
    m_paths.clear();
    for (const QString& p : paths)
        if (!p.isEmpty() && !m_paths.contains(p) && m_paths.size() < MaxCount)
            m_paths << p;
}

void TSettings::read(const TIniFile& ini)
{
    for (const TKey& k : keys())
        k.read(*this, ini);
    QStringList recent;
    for (int i = 0; i < TRecentFiles::MaxCount; ++i)
        recent << ini.readString(Recent, QStringLiteral("File%1").arg(i), QString());
    recentFiles.assign(recent);
}

void TSettings::write(TIniFile& ini) const
{
    for (const TKey& k : keys())
        k.write(*this, ini);
}

std::vector<TSettingValue> settingValues(const TSettings& settings)
{
    std::vector<TSettingValue> out;
    out.reserve(keys().size());
    for (const TKey& k : keys())
        out.push_back({k.section, k.key, k.value(settings)});
    return out;
}

std::optional<TSettingRange> settingRange(const QString& section, const QString& key)
{
    for (const TKey& k : keys())
        if (k.section.compare(section, Qt::CaseInsensitive) == 0 && k.key.compare(key, Qt::CaseInsensitive) == 0)
            return k.range;
    return std::nullopt;
}

QString settingText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool: return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Double: return TIniFile::formatFloat(value.toDouble());
    default: return value.toString();
    }
}
