#include "datalog/mdlCsvExport.h"

#include "settings/mdlErrors.h"
#include "settings/mdlFiles.h"

#include <QIODevice>
#include <cstdio>

namespace {

QByteArray fmt(const char* format, double v)
{
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, format, v);
    return QByteArray(buf, n);
}

// Unsigned decimal without leading zeros, or with at least `width` digits.
void appendUInt(QByteArray& out, quint64 v, int width = 1)
{
    char buf[24];
    int n = 0;
    do {
        buf[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n < width)
        buf[n++] = '0';
    while (n > 0)
        out.append(buf[--n]);
}

void appendInt(QByteArray& out, int v)
{
    if (v < 0) {
        out.append('-');
        appendUInt(out, static_cast<quint64>(-static_cast<qint64>(v)));
    } else {
        appendUInt(out, static_cast<quint64>(v));
    }
}

double toFahrenheit(double c) { return c * 1.8 + 32.0; }

} // namespace

QByteArray durationText(quint32 ms)
{
    QByteArray out;
    appendUInt(out, ms / 3600000u, 2);
    out.append(':');
    appendUInt(out, ms / 60000u % 60u, 2);
    out.append(':');
    appendUInt(out, ms / 1000u % 60u, 2);
    out.append('.');
    appendUInt(out, ms % 1000u, 3);
    return out;
}

QByteArray csvHeader(const TCsvOptions& o)
{
    QByteArray h = "Duration,\"Engine Speed (RPM)\",";
    h += o.units.mph ? "\"Vehicle Speed (Mph)\"," : "\"Vehicle Speed (Kph)\",";
    h += "Gear,\"Manifold Pressure (mbar)\",";
    h += o.units.psi ? "\"Boost (psi)\"," : "\"Boost (kg/cm^2)\",";
    h += "\"Throttle Position (%)\",\"Injector Duration (ms)\",\"Duty Cycle (%)\",\"Ignition Advance\",\"Knock "
         "Retard\",";
    h += o.units.fahrenheit ? "\"Air Temperature (F)\",\"Coolant Temperature (F)\","
                            : "\"Air Temperature (C)\",\"Coolant Temperature (C)\",";
    h += "\"O2 Voltage\",Lambda,\"Air Fuel Ratio\",VTEC,CEL\r\n";
    return h;
}

TCsvWriter::TCsvWriter(const TCsvOptions& options) : m_options(options)
{
    const TCsvOptions& o = m_options;
    for (int b = 0; b < 256; ++b) {
        const size_t i = static_cast<size_t>(b);
        DatalogSample s;
        s.setU8(DatalogSample::Speed, static_cast<quint8>(b));
        s.setU8(DatalogSample::Map, static_cast<quint8>(b));
        s.setU8(DatalogSample::Throttle, static_cast<quint8>(b));
        s.setU8(DatalogSample::Ignition, static_cast<quint8>(b));
        s.setU8(DatalogSample::Knock, static_cast<quint8>(b));
        s.setU8(DatalogSample::AirTemp, static_cast<quint8>(b));
        s.setU8(DatalogSample::O2, static_cast<quint8>(b));

        if (o.units.mph) {
            m_speed[i] = fmt("\"%.1f\",", datalog::speedMph(s));
        } else {
            m_speed[i].clear();
            appendInt(m_speed[i], datalog::speedKmh(s));
            m_speed[i].append(',');
        }

        QByteArray& mb = m_mapBoost[i];
        appendInt(mb, datalog::mapMbar(s, o.ctx));
        mb.append(',');
        const int boost = datalog::boostMbar(s, o.ctx, o.units.atmospheric);
        mb += o.units.psi ? fmt("\"%.1f\",", boost / 1000.0 * PsiPerBar) : fmt("\"%.2f\",", boost * KgPerCm2PerMbar);

        m_throttle[i] = fmt("\"%.0f\",", datalog::throttlePercent(s));
        m_ignition[i] = fmt("\"%.2f\",", datalog::ignition(s, o.ctx));
        m_knock[i] = o.ctx.knockSensor ? fmt("\"%.2f\",", datalog::knockRetard(s)) : QByteArray("0.00,");
        const double c = datalog::airTempC(s);
        m_temp[i] = fmt("\"%.2f\",", o.units.fahrenheit ? toFahrenheit(c) : c);

        const double lambda = o.lambda[i];
        m_o2[i] = fmt("\"%.2f\",", datalog::o2Volts(s)) + fmt("\"%.2f\",", lambda) +
                  fmt("\"%.2f\",", lambda * static_cast<double>(o.units.stoich));
    }
}

void TCsvWriter::appendLine(QByteArray& out, const DatalogSample& s) const
{
    out.append('"');
    out += durationText(s.timeStamp() - m_options.startTime);
    out.append("\",", 2);
    appendInt(out, datalog::rpm(s));
    out.append(',');
    out += m_speed[s.u8(DatalogSample::Speed)];
    appendInt(out, datalog::gear(s, m_options.ctx));
    out.append(',');
    out += m_mapBoost[s.u8(DatalogSample::Map)];
    out += m_throttle[s.u8(DatalogSample::Throttle)];
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "\"%.2f\",", datalog::injectorMs(s));
    out.append(buf, n);
    n = std::snprintf(buf, sizeof buf, "\"%.0f\",", datalog::dutyCycle(s));
    out.append(buf, n);
    out += m_ignition[s.u8(DatalogSample::Ignition)];
    out += m_knock[s.u8(DatalogSample::Knock)];
    out += m_temp[s.u8(DatalogSample::AirTemp)];
    out += m_temp[s.u8(DatalogSample::Coolant)];
    out += m_o2[s.u8(DatalogSample::O2)];
    if (s.vtec())
        out.append("ON,", 3);
    else
        out.append("OFF,", 4);
    const quint32 errors = s.errorWord();
    if (errors != 0) {
        out.append('"');
        for (int bit = 0; bit < 32; ++bit)
            if (errors & (1u << bit)) {
                appendUInt(out, static_cast<quint64>(bit + 1));
                out.append(' ');
            }
        out.append('"');
    }
    out.append("\r\n", 2);
}

QByteArray TCsvWriter::line(const DatalogSample& sample) const
{
    QByteArray out;
    appendLine(out, sample);
    return out;
}

void writeCsv(QIODevice& out, const QByteArray& records, const TCsvOptions& options)
{
    const auto fail = [&out] {
        throw EVexorError(QStringLiteral("Could not write the CSV file: %1").arg(out.errorString()));
    };
    const QByteArray header = csvHeader(options);
    if (out.write(header) != header.size())
        fail();
    const TCsvWriter writer(options);
    constexpr qsizetype Chunk = 1 << 20;
    QByteArray buf;
    buf.reserve(Chunk + 512);
    const qsizetype count = records.size() / DatalogSample::Size;
    const char* p = records.constData();
    for (qsizetype i = 0; i < count; ++i, p += DatalogSample::Size) {
        writer.appendLine(buf, DatalogSample::fromBytes(p));
        if (buf.size() >= Chunk) {
            if (out.write(buf) != buf.size())
                fail();
            buf.resize(0);
        }
    }
    if (!buf.isEmpty() && out.write(buf) != buf.size())
        fail();
}

bool exportCsvFile(const QString& path, const QByteArray& records, const TCsvOptions& options)
{
    if (records.size() < DatalogSample::Size)
        return false;
    const auto produce = [&](QIODevice& out) {
        try {
            writeCsv(out, records, options);
            return true;
        } catch (const EVexorError&) {
            return false; // the reason is the file's own error
        }
    };
    QString reason;
    if (!writeFileAtomic(path, produce, &reason))
        throw EVexorError(QStringLiteral("Could not write the file '%1': %2").arg(path, reason));
    return true;
}
