#include "datalog/mdlCsvExport.h"

#include "settings/mdlErrors.h"
#include "settings/mdlFiles.h"

#include <QIODevice>
#include <charconv>
#include <cstring>

namespace {

// Field copies move this many bytes at once (two vector moves) whatever the
// field's length; the pool and every line buffer keep this much slack.
constexpr int CopyBlock = 32;
// The longest integer text: a 64-bit integer with its sign.
constexpr int MaxIntChars = 20;
// "hh:mm:ss.mmm" with the most hours a 32-bit millisecond count holds (1193).
constexpr int MaxHourChars = 4;
constexpr int MaxDurationChars = MaxHourChars + 10;
// The longest error code list: "1 2 ... 32 ".
constexpr int MaxErrorChars = 9 * 2 + 23 * 3;
// Bytes a line takes besides its fields: quotes, commas, "OFF," and CR LF.
constexpr int LineFramingChars = 32;
// Lines are gathered into blocks of this size before each write.
constexpr qsizetype WriteBlock = qsizetype(1) << 20;
// Every this many blocks the system is asked to start writing them to disk.
constexpr int WritebackBlocks = 8;

char* appendFixedField(char* out, double v, int precision)
{
    *out++ = '"';
    out = formatFixed(out, v, precision);
    *out++ = '"';
    *out++ = ',';
    return out;
}

QByteArray fixedField(double v, int precision)
{
    char buf[MaxFixedChars + 3];
    return QByteArray(buf, appendFixedField(buf, v, precision) - buf);
}

char* appendInt(char* out, qint64 v) { return std::to_chars(out, out + MaxIntChars, v).ptr; }

// Two decimal digits of 0..99.
char* appendTwoDigits(char* out, quint32 v)
{
    out[0] = static_cast<char>('0' + v / 10);
    out[1] = static_cast<char>('0' + v % 10);
    return out + 2;
}

// "hh:mm:ss.mmm"; minutes and seconds wrap at 60, hours do not.
char* appendDuration(char* out, quint32 ms)
{
    const quint32 hours = ms / 3600000u;
    if (hours < 100)
        out = appendTwoDigits(out, hours);
    else
        out = std::to_chars(out, out + MaxHourChars, hours).ptr;
    *out++ = ':';
    out = appendTwoDigits(out, ms / 60000u % 60u);
    *out++ = ':';
    out = appendTwoDigits(out, ms / 1000u % 60u);
    *out++ = '.';
    const quint32 fraction = ms % 1000u;
    *out++ = static_cast<char>('0' + fraction / 100);
    return appendTwoDigits(out, fraction % 100);
}

double toFahrenheit(double c) { return c * 1.8 + 32.0; }

} // namespace

char* formatFixed(char* out, double v, int precision)
{
    // With a precision, to_chars is specified to give printf's text, and
    // the buffer is large enough for any double, so it cannot fail.
    return std::to_chars(out, out + MaxFixedChars, v, std::chars_format::fixed, precision).ptr;
}

QByteArray durationText(quint32 ms)
{
    char buf[MaxDurationChars];
    return QByteArray(buf, appendDuration(buf, ms) - buf);
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

void TCsvWriter::addField(TTable table, int byte, const QByteArray& text)
{
    m_fields[table][static_cast<size_t>(byte)] = {static_cast<quint32>(m_pool.size()),
                                                  static_cast<quint32>(text.size())};
    m_pool += text;
}

TCsvWriter::TCsvWriter(const TCsvOptions& o) : m_startTime(o.startTime), m_ctx(o.ctx)
{
    for (int b = 0; b < 256; ++b) {
        DatalogSample s;
        s.setU8(DatalogSample::Speed, static_cast<quint8>(b));
        s.setU8(DatalogSample::Map, static_cast<quint8>(b));
        s.setU8(DatalogSample::Throttle, static_cast<quint8>(b));
        s.setU8(DatalogSample::Ignition, static_cast<quint8>(b));
        s.setU8(DatalogSample::Knock, static_cast<quint8>(b));
        s.setU8(DatalogSample::AirTemp, static_cast<quint8>(b));
        s.setU8(DatalogSample::O2, static_cast<quint8>(b));

        addField(ctSpeed, b,
                 o.units.mph ? fixedField(datalog::speedMph(s), 1)
                             : QByteArray::number(datalog::speedKmh(s)).append(','));

        const int boost = datalog::boostMbar(s, o.ctx, o.units.atmospheric);
        addField(
            ctMapBoost, b,
            QByteArray::number(datalog::mapMbar(s, o.ctx)).append(',') +
                (o.units.psi ? fixedField(boost / 1000.0 * PsiPerBar, 1) : fixedField(boost * KgPerCm2PerMbar, 2)));

        addField(ctThrottle, b, fixedField(datalog::throttlePercent(s), 0));
        addField(ctIgnition, b, fixedField(datalog::ignition(s, o.ctx), 2));
        addField(ctKnock, b, o.ctx.knockSensor ? fixedField(datalog::knockRetard(s), 2) : QByteArray("0.00,"));
        const double c = datalog::airTempC(s);
        addField(ctTemp, b, fixedField(o.units.fahrenheit ? toFahrenheit(c) : c, 2));

        const double lambda = o.lambda[static_cast<size_t>(b)];
        addField(ctO2, b,
                 fixedField(datalog::o2Volts(s), 2) + fixedField(lambda, 2) +
                     fixedField(lambda * static_cast<double>(o.units.stoich), 2));
    }
    m_pool.append(CopyBlock, '\0');

    // Duration, engine speed and gear; injector time and duty cycle; every
    // table field (the temperature twice); the error list; the framing.
    m_maxLine = MaxDurationChars + 2 * MaxIntChars + 2 * MaxFixedChars + MaxErrorChars + LineFramingChars + CopyBlock;
    for (int t = 0; t < ctCount; ++t) {
        quint32 longest = 0;
        for (const TSpan& f : m_fields[static_cast<size_t>(t)])
            longest = std::max(longest, f.size);
        m_maxLine += (t == ctTemp ? 2 : 1) * static_cast<qsizetype>(longest);
    }
}

char* TCsvWriter::copyField(char* out, TTable table, quint8 byte) const
{
    const TSpan f = m_fields[table][byte];
    const char* from = m_pool.constData() + f.at;
    if (f.size <= CopyBlock)
        std::memcpy(out, from, CopyBlock); // the pool and the line have the slack
    else
        std::memcpy(out, from, f.size);
    return out + f.size;
}

char* TCsvWriter::writeLine(char* p, const DatalogSample& s) const
{
    *p++ = '"';
    p = appendDuration(p, s.timeStamp() - m_startTime);
    *p++ = '"';
    *p++ = ',';
    p = appendInt(p, datalog::rpm(s));
    *p++ = ',';
    p = copyField(p, ctSpeed, s.u8(DatalogSample::Speed));
    p = appendInt(p, datalog::gear(s, m_ctx));
    *p++ = ',';
    p = copyField(p, ctMapBoost, s.u8(DatalogSample::Map));
    p = copyField(p, ctThrottle, s.u8(DatalogSample::Throttle));
    p = appendFixedField(p, datalog::injectorMs(s), 2);
    p = appendFixedField(p, datalog::dutyCycle(s), 0);
    p = copyField(p, ctIgnition, s.u8(DatalogSample::Ignition));
    p = copyField(p, ctKnock, s.u8(DatalogSample::Knock));
    p = copyField(p, ctTemp, s.u8(DatalogSample::AirTemp));
    p = copyField(p, ctTemp, s.u8(DatalogSample::Coolant));
    p = copyField(p, ctO2, s.u8(DatalogSample::O2));
    if (s.vtec()) {
        std::memcpy(p, "ON,", 3);
        p += 3;
    } else {
        std::memcpy(p, "OFF,", 4);
        p += 4;
    }
    const quint32 errors = s.errorWord();
    if (errors != 0) {
        *p++ = '"';
        for (int bit = 0; bit < 32; ++bit)
            if (errors & (1u << bit)) {
                p = appendInt(p, bit + 1);
                *p++ = ' ';
            }
        *p++ = '"';
    }
    *p++ = '\r';
    *p++ = '\n';
    return p;
}

void TCsvWriter::appendLine(QByteArray& out, const DatalogSample& sample) const
{
    const qsizetype at = out.size();
    out.resize(at + m_maxLine);
    char* begin = out.data() + at;
    out.resize(at + (writeLine(begin, sample) - begin));
}

QByteArray TCsvWriter::line(const DatalogSample& sample) const
{
    QByteArray out;
    appendLine(out, sample);
    return out;
}

void writeCsv(QIODevice& out, const QByteArray& records, const TCsvOptions& options)
{
    const auto put = [&out](const char* data, qsizetype size) {
        if (out.write(data, size) != size)
            throw EVexorError(QStringLiteral("Could not write the CSV file: %1").arg(out.errorString()));
    };
    const QByteArray header = csvHeader(options);
    put(header.constData(), header.size());
    const TCsvWriter writer(options);
    // One buffer, filled line by line and written whenever a block is full.
    QByteArray block(WriteBlock + writer.maxLineBytes(), Qt::Uninitialized);
    char* const begin = block.data();
    char* p = begin;
    int blocks = 0;
    const qsizetype count = records.size() / DatalogSample::Size;
    const char* record = records.constData();
    for (qsizetype i = 0; i < count; ++i, record += DatalogSample::Size) {
        p = writer.writeLine(p, DatalogSample::fromBytes(record));
        if (p - begin >= WriteBlock) {
            put(begin, p - begin);
            p = begin;
            // The disk writes while the next blocks are formatted.
            if (++blocks % WritebackBlocks == 0)
                startWriteback(out);
        }
    }
    if (p != begin)
        put(begin, p - begin);
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
