#pragma once

// CSV export of a recording: a header line naming the columns in the chosen
// units, then one line per recorded sample, CR LF terminated. The layout is
// read by spreadsheets and by users' own scripts, so every byte of it is
// fixed: quoting, number formats and the trailing comma rules included.

#include "datalog/mdlSampleDisplay.h"

#include <QByteArray>
#include <QString>

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

// Formats lines fast: every field that depends on one sample byte only is
// formatted once per byte value up front.
class TCsvWriter {
public:
    explicit TCsvWriter(const TCsvOptions& options);
    // Appends the line of one sample, CR LF included.
    void appendLine(QByteArray& out, const DatalogSample& sample) const;
    [[nodiscard]] QByteArray line(const DatalogSample& sample) const;

private:
    TCsvOptions m_options;
    // Per byte value: speed; MAP and boost; throttle; ignition; knock;
    // temperature; O2 volts, lambda and AFR.
    std::array<QByteArray, 256> m_speed, m_mapBoost, m_throttle, m_ignition, m_knock, m_temp, m_o2;
};

// Writes the header and one line per record of `records` (consecutive 40-byte
// samples) to the device. Throws EVexorError when a write fails.
void writeCsv(QIODevice& out, const QByteArray& records, const TCsvOptions& options);

// Exports the records to a CSV file, replacing it atomically (a failed export
// leaves an existing file as it was). An empty recording writes nothing and
// creates no file; returns whether a file was written. Throws EVexorError.
bool exportCsvFile(const QString& path, const QByteArray& records, const TCsvOptions& options);
