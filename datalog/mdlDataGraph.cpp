#include "datalog/mdlDataGraph.h"

#include <cmath>
#include <limits>

namespace {

double toFahrenheit(double c) { return c * 1.8 + 32.0; }

} // namespace

TDataGraphChannelInfo dataGraphChannelInfo(int channel, const TSampleDisplay& u)
{
    const auto& table = TemperatureTable;
    const double mapLow = u.ctx.mapLookup[0];
    const double mapHigh = u.ctx.mapLookup[255];
    switch (channel) {
    case dgRPM: return {QStringLiteral("RPM"), 0, 11000};
    case dgSPD: return {QStringLiteral("SPD"), 0, 255 * (u.units.mph ? MphPerKmh : 1.0)};
    case dgGEAR: return {QStringLiteral("GEAR"), 0, 5};
    case dgMAP: return {QStringLiteral("MAP"), mapLow, mapHigh};
    case dgBOOST:
        return {QStringLiteral("BST"), 0,
                (mapHigh - u.units.atmospheric) * (u.units.psi ? PsiPerMbar : KgPerCm2PerMbar)};
    case dgTP: return {QStringLiteral("TP%"), 0, 110};
    case dgINJ: return {QStringLiteral("INJ"), 0, 20};
    case dgINJDC: return {QStringLiteral("INJ DC"), 0, 120};
    case dgIGN: return {QStringLiteral("IGN"), -10, 65};
    case dgKNCK: return {QStringLiteral("KNCK"), -20, 5};
    case dgIAT:
    case dgECT: {
        const double lo = u.units.fahrenheit ? toFahrenheit(table[255]) : table[255];
        const double hi = u.units.fahrenheit ? toFahrenheit(table[0]) : table[0];
        return {channel == dgIAT ? QStringLiteral("IAT") : QStringLiteral("ECT"), lo, hi};
    }
    case dgO2V: return {QStringLiteral("O2V"), 0, 5};
    case dgAFR:
        return u.units.afr ? TDataGraphChannelInfo{QStringLiteral("AFR"), 9, 20}
                           : TDataGraphChannelInfo{QStringLiteral("LMBD"), 0.5, 1.5};
    case dgBATT: return {QStringLiteral("BATT"), 6, 20};
    default: return {QString(), 0, 1};
    }
}

double dataGraphValue(int channel, const DatalogSample& s, const TSampleDisplay& u)
{
    using namespace datalog;
    if (s.isMarker())
        return std::numeric_limits<double>::quiet_NaN();
    switch (channel) {
    case dgRPM: return rpm(s);
    case dgSPD: return speedKmh(s) * (u.units.mph ? MphPerKmh : 1.0);
    case dgGEAR: return gear(s, u.ctx);
    case dgMAP: return mapMbar(s, u.ctx);
    case dgBOOST: return boostMbar(s, u.ctx, u.units.atmospheric) * (u.units.psi ? PsiPerMbar : KgPerCm2PerMbar);
    case dgTP: return throttlePercent(s);
    case dgINJ: return injectorMs(s);
    case dgINJDC: return dutyCycle(s);
    case dgIGN: return ignition(s, u.ctx);
    case dgKNCK: return knockRetard(s);
    case dgIAT: return u.units.fahrenheit ? toFahrenheit(airTempC(s)) : airTempC(s);
    case dgECT: return u.units.fahrenheit ? toFahrenheit(coolantTempC(s)) : coolantTempC(s);
    case dgO2V: return o2Volts(s);
    case dgAFR: {
        const double lambda = u.lambda[s.u8(DatalogSample::O2)];
        return u.units.afr ? lambda * static_cast<double>(u.units.stoich) : lambda;
    }
    case dgBATT: return batteryVolts(s);
    default: return std::numeric_limits<double>::quiet_NaN();
    }
}

QList<int> dataGraphChannels(int bits)
{
    QList<int> out;
    for (int c = dgChannelCount - 1; c >= 0; --c)
        if (bits & (1 << c))
            out.append(c);
    return out;
}

void TDataGraphSeries::clear()
{
    m_times.clear();
    for (auto& v : m_values)
        v.clear();
    m_firstRecord.clear();
}

const std::vector<float>& TDataGraphSeries::values(int channel) const
{
    static const std::vector<float> none;
    if (channel < 0 || channel >= dgChannelCount || !(m_bits & (1 << channel)))
        return none;
    return m_values[static_cast<size_t>(channel)];
}

void TDataGraphSeries::update(const QByteArray& records, const TSampleDisplay& units, int channelBits)
{
    const qsizetype n = records.size() / DatalogSample::Size;
    const bool sameStart = n > 0 && !m_firstRecord.isEmpty() &&
                           std::equal(m_firstRecord.begin(), m_firstRecord.end(), records.constBegin());
    if (!units.sameAs(m_units) || channelBits != m_bits || n < count() || !sameStart) {
        clear();
        m_units = units;
        m_bits = channelBits;
    }
    if (n == 0)
        return;
    if (m_firstRecord.isEmpty()) {
        m_firstRecord = records.left(DatalogSample::Size);
        m_firstStamp = DatalogSample::fromBytes(records.constData()).timeStamp();
    }
    const QList<int> channels = dataGraphChannels(m_bits);
    const qsizetype from = count();
    m_times.reserve(static_cast<size_t>(n));
    for (int c : channels)
        m_values[static_cast<size_t>(c)].reserve(static_cast<size_t>(n));
    for (qsizetype i = from; i < n; ++i) {
        const DatalogSample s = DatalogSample::fromBytes(records.constData() + i * DatalogSample::Size);
        // Stamps are ticks of a wrapping counter: only differences count.
        m_times.push_back(static_cast<quint32>(s.timeStamp() - m_firstStamp) / 1000.0);
        for (int c : channels)
            m_values[static_cast<size_t>(c)].push_back(static_cast<float>(dataGraphValue(c, s, m_units)));
    }
}
