#pragma once

// CSV export of a recording: a header line naming the columns in the chosen
// units, then one line per recorded sample, CR LF terminated. The layout is
// read by spreadsheets and by users' own scripts, so every byte of it is
// fixed: quoting, number formats and the trailing comma rules included.

#include "datalog/mdlSampleDisplay.h"

#include <QByteArray>
#include <QString>
#include <array>

class QIODevice;

// The lambda toggle does not apply: every line has both lambda and AFR.
struct TCsvOptions : TSampleDisplay {
    quint32 startTime = 0; // tick of the recording start; durations count from it
};

// "hh:mm:ss.mmm" of a duration in milliseconds; minutes and seconds wrap at
// 60, hours do not.
[[nodiscard]] QByteArray durationText(quint32 ms);

// The header line, CR LF included.
[[nodiscard]] QByteArray csvHeader(const TCsvOptions& options);

// Fixed-point text of `v` with `precision` decimals, exactly as printf's
// "%.*f" gives it in the C locale (the exact binary value rounded half to
// even), written at `out` without a terminator. Returns the end of the text.
// `out` needs MaxFixedChars of room.
inline constexpr int MaxFixedChars = 330; // DBL_MAX has 309 integer digits
char* formatFixed(char* out, double v, int precision);

// Formats lines fast: every field that depends on one sample byte only is
// formatted once per byte value up front into one text pool; a line is then
// copies from the pool, a few integers and two fixed-point numbers.
class TCsvWriter {
public:
    explicit TCsvWriter(const TCsvOptions& options);
    // The most bytes one line can take, CR LF included, plus the slack the
    // field copies may overrun by: the room writeLine needs at `out`.
    [[nodiscard]] qsizetype maxLineBytes() const { return m_maxLine; }
    // Writes the line of one sample, CR LF included, at `out`; returns its end.
    char* writeLine(char* out, const DatalogSample& sample) const;
    // Appends the line of one sample, CR LF included.
    void appendLine(QByteArray& out, const DatalogSample& sample) const;
    [[nodiscard]] QByteArray line(const DatalogSample& sample) const;

private:
    struct TSpan {
        quint32 at = 0;
        quint32 size = 0;
    };
    // Which per-byte table: speed; MAP and boost; throttle; ignition; knock;
    // temperature; O2 volts, lambda and AFR.
    enum TTable { ctSpeed, ctMapBoost, ctThrottle, ctIgnition, ctKnock, ctTemp, ctO2, ctCount };

    void addField(TTable table, int byte, const QByteArray& text);
    char* copyField(char* out, TTable table, quint8 byte) const;

    quint32 m_startTime = 0;
    TSampleContext m_ctx;
    QByteArray m_pool;
    std::array<std::array<TSpan, 256>, ctCount> m_fields{};
    qsizetype m_maxLine = 0;
};

// Writes the header and one line per record of `records` (consecutive 40-byte
// samples) to the device. Throws EVexorError when a write fails.
void writeCsv(QIODevice& out, const QByteArray& records, const TCsvOptions& options);

// Exports the records to a CSV file, replacing it atomically (a failed export
// leaves an existing file as it was). An empty recording writes nothing and
// creates no file; returns whether a file was written. Throws EVexorError.
bool exportCsvFile(const QString& path, const QByteArray& records, const TCsvOptions& options);
