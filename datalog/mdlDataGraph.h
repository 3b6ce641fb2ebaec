#pragma once

// The channels of the two data graphs: caption, value range and the value of
// a sample in the display units, and a per-channel cache of a recording's
// values that grows with the recording, so a repaint while logging does not
// convert the whole session again.

#include "datalog/mdlSampleDisplay.h"
#include "settings/mdlSettings.h"

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QString>
#include <array>
#include <vector>

struct TDataGraphChannelInfo {
    QString caption;
    double min = 0;
    double max = 1;
};

// Channel numbers are the bits of the "DataGraphs" settings (dgRPM ... dgBATT).
[[nodiscard]] TDataGraphChannelInfo dataGraphChannelInfo(int channel, const TSampleDisplay& units);
// The value of a sample on a channel; NaN for a marker (not a reading).
[[nodiscard]] double dataGraphValue(int channel, const DatalogSample& sample, const TSampleDisplay& units);
// The channels set in a "DataGraphs" bit set, in the order they are added to
// a graph (RPM first, BATT last).
[[nodiscard]] QList<int> dataGraphChannels(int bits);

// Time (seconds since the first sample) and the values of chosen channels for
// every sample of a recording. update() converts only the samples added since
// the last call; a shorter recording, other units or other channels start over.
class TDataGraphSeries {
public:
    void update(const QByteArray& records, const TSampleDisplay& units, int channelBits);
    void clear();

    [[nodiscard]] const std::vector<double>& times() const { return m_times; }
    // Values of a channel in the bit set; empty when the channel is not in it.
    [[nodiscard]] const std::vector<float>& values(int channel) const;
    [[nodiscard]] qsizetype count() const { return static_cast<qsizetype>(m_times.size()); }
    [[nodiscard]] double lastTime() const { return m_times.empty() ? 0.0 : m_times.back(); }

private:
    TSampleDisplay m_units;
    int m_bits = 0;
    quint32 m_firstStamp = 0;
    QByteArray m_firstRecord; // to notice a different recording of the same length
    std::vector<double> m_times;
    std::array<std::vector<float>, dgChannelCount> m_values;
};
