#pragma once

// The recording store: the samples of one datalog session in arrival order,
// the only source for playback, CSV export and replay through auto-tune. A
// datalog file (.dlf) is these 40-byte records back to back, nothing else.
// While crash recovery is on, the whole store is rewritten to the recovery
// file at most once a minute from the sample path.

#include "datalog/mdlDatalog.h"
#include "settings/mdlClock.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <functional>

class TCuddleCore {
public:
    static constexpr int InitialCapacity = 150000;
    static constexpr quint32 DefaultRecoveryInterval = 60000;

    explicit TCuddleCore(IClock& clock);

    void append(const DatalogSample& sample);
    void clear();

    [[nodiscard]] qint64 count() const { return m_data.size() / DatalogSample::Size; }
    [[nodiscard]] bool isEmpty() const { return m_data.isEmpty(); }
    [[nodiscard]] bool atEnd() const { return m_cursor >= count(); }
    [[nodiscard]] qint64 cursor() const { return m_cursor; }

    // Reads the record at the index; past the end nothing is read, the
    // destination stays as it was and false is returned.
    bool readAt(qint64 index, DatalogSample& out) const;
    void seek(qint64 index) { m_cursor = index < 0 ? 0 : index; }
    // Reads the record at the cursor and advances it.
    bool readNext(DatalogSample& out);
    void rewind() { m_cursor = 0; }

    [[nodiscard]] bool unsaved() const { return m_unsaved; }
    // A recovered session is not on disk under a name of the user's yet.
    void markUnsaved() { m_unsaved = !isEmpty(); }
    void setCrashRecovery(bool on) { m_crashRecovery = on; }
    [[nodiscard]] bool crashRecovery() const { return m_crashRecovery; }

    // Indices of the marker records (error word 0xFFFFFFFF), in order.
    [[nodiscard]] const QVector<quint32>& markers() const { return m_markers; }
    // count / (last time stamp - first time stamp) x 1000; 0 when the store is
    // empty or the two stamps are equal.
    [[nodiscard]] double samplesPerSecond() const;
    // The playback bar's page: samples per second rounded, at least 1.
    [[nodiscard]] int playbackPageSize() const;

    // Writes the store to the file atomically (the old file survives a failed
    // write) and deletes the recovery file. Throws EVexorError with the reason.
    // The store itself is left as it is: the caller clears it once this returned.
    void save(const QString& path);
    // Replaces the store with the file's whole records; crash recovery off.
    // Throws EVexorError when the file cannot be read (the store is then unchanged).
    void load(const QString& path);

    [[nodiscard]] const QByteArray& data() const { return m_data; }

    // The recovery file; "~temp.dlf" in the settings folder unless set.
    [[nodiscard]] QString recoveryFilePath() const;
    void setRecoveryFilePath(const QString& path) { m_recoveryPath = path; }
    void setRecoveryInterval(quint32 ms) { m_recoveryInterval = ms; }
    [[nodiscard]] quint32 recoveryInterval() const { return m_recoveryInterval; }
    // Writes the whole store to the recovery file now (atomically). Returns
    // false and sets *error when it fails.
    bool writeRecovery(QString* error = nullptr);
    // Told once when recovery writes start failing (again after one succeeded
    // or the store was cleared), not on every sample.
    std::function<void(const QString& error)> onRecoveryFailed;

private:
    void rebuildMarkers();

    IClock& m_clock;
    QByteArray m_data;
    QVector<quint32> m_markers;
    qint64 m_cursor = 0;
    bool m_unsaved = false;
    bool m_crashRecovery = false;
    bool m_recoveryFailureReported = false;
    quint32 m_lastRecoveryWrite = 0;
    quint32 m_recoveryInterval = DefaultRecoveryInterval;
    QString m_recoveryPath;
};

// "~temp.dlf" in the settings folder.
[[nodiscard]] QString defaultRecoveryFilePath();
