#include "datalog/clsCuddleCore.h"

#include "rom/clsRom.h"
#include "settings/mdlErrors.h"
#include "settings/mdlFiles.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstring>
#include <sys/mman.h>

QString defaultRecoveryFilePath() { return settingsFilePath(QStringLiteral("~temp.dlf")); }

TCuddleCore::TCuddleCore(IClock& clock) : m_clock(clock)
{
    m_data.reserve(InitialCapacity);
    m_lastRecoveryWrite = m_clock.tickCount();
}

QString TCuddleCore::recoveryFilePath() const
{
    return m_recoveryPath.isEmpty() ? defaultRecoveryFilePath() : m_recoveryPath;
}

void TCuddleCore::append(const DatalogSample& sample)
{
    // QByteArray grows geometrically in place; existing samples are not
    // copied on every append.
    m_data.append(reinterpret_cast<const char*>(sample.bytes.data()), DatalogSample::Size);
    if (sample.isMarker())
        m_markers.append(static_cast<quint32>(count() - 1));
    m_unsaved = true;
    if (m_crashRecovery && elapsedTicks(m_lastRecoveryWrite, m_clock.tickCount()) > m_recoveryInterval) {
        QString error;
        if (writeRecovery(&error)) {
            m_recoveryFailureReported = false;
        } else if (!m_recoveryFailureReported) {
            m_recoveryFailureReported = true;
            if (onRecoveryFailed)
                onRecoveryFailed(error);
        }
    }
}

void TCuddleCore::clear()
{
    m_data.clear();
    m_data.reserve(InitialCapacity);
    m_markers.clear();
    m_cursor = 0;
    m_unsaved = false;
    m_recoveryFailureReported = false;
    m_lastRecoveryWrite = m_clock.tickCount();
}

bool TCuddleCore::readAt(qint64 index, DatalogSample& out) const
{
    if (index < 0 || index >= count())
        return false;
    std::memcpy(out.bytes.data(), m_data.constData() + index * DatalogSample::Size, DatalogSample::Size);
    return true;
}

bool TCuddleCore::readNext(DatalogSample& out)
{
    if (!readAt(m_cursor, out))
        return false;
    ++m_cursor;
    return true;
}

double TCuddleCore::samplesPerSecond() const
{
    const qint64 n = count();
    if (n == 0)
        return 0.0;
    DatalogSample first;
    DatalogSample last;
    readAt(0, first);
    readAt(n - 1, last);
    const quint32 span = elapsedTicks(first.timeStamp(), last.timeStamp());
    if (span == 0)
        return 0.0;
    return static_cast<double>(n) / span * 1000.0;
}

int TCuddleCore::playbackPageSize() const
{
    const double page = roundEven(samplesPerSecond());
    return page < 1.0 ? 1 : static_cast<int>(page);
}

namespace {
void writeAtomically(const QString& path, const QByteArray& data)
{
    QString reason;
    if (!writeFileAtomic(path, data, &reason))
        throw EVexorError(QStringLiteral("Could not write the file '%1': %2").arg(path, reason));
}
} // namespace

namespace {
// Reads the whole file into one buffer. Long recordings run to tens of
// megabytes; backing the buffer with huge pages saves most of the cost of
// faulting in fresh memory, which otherwise dominates the load.
QByteArray readWhole(QFile& file)
{
    const qint64 size = file.size();
    if (size <= 0)
        return file.readAll(); // sequential or empty: whatever is there
    QByteArray bytes(size, Qt::Uninitialized);
#ifdef MADV_HUGEPAGE
    constexpr quintptr Huge = 2 * 1024 * 1024;
    const auto begin = reinterpret_cast<quintptr>(bytes.data());
    const quintptr first = (begin + Huge - 1) & ~(Huge - 1);
    const quintptr last = (begin + static_cast<quintptr>(size)) & ~(Huge - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.read(bytes.data() + done, size - done);
        if (n <= 0)
            break;
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}
} // namespace

void TCuddleCore::save(const QString& path)
{
    writeAtomically(path, m_data);
    const QString recovery = recoveryFilePath();
    // Saving onto the recovery file itself must not delete what was just written.
    if (QFileInfo(recovery).absoluteFilePath() != QFileInfo(path).absoluteFilePath())
        QFile::remove(recovery);
    m_lastRecoveryWrite = m_clock.tickCount();
}

void TCuddleCore::load(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        throw EVexorError(QStringLiteral("Could not open the file '%1': it does not exist.").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        throw EVexorError(QStringLiteral("Could not open the file '%1': %2").arg(path, file.errorString()));
    QByteArray bytes = readWhole(file);
    if (file.error() != QFileDevice::NoError)
        throw EVexorError(QStringLiteral("Could not read the file '%1': %2").arg(path, file.errorString()));
    // A torn last record (a file cut short) is left out.
    bytes.truncate(bytes.size() - bytes.size() % DatalogSample::Size);
    m_crashRecovery = false;
    m_unsaved = false;
    m_data = std::move(bytes);
    m_cursor = 0;
    rebuildMarkers();
}

void TCuddleCore::rebuildMarkers()
{
    m_markers.clear();
    const qint64 n = count();
    const char* p = m_data.constData() + DatalogSample::Errors;
    for (qint64 i = 0; i < n; ++i, p += DatalogSample::Size) {
        quint32 word;
        std::memcpy(&word, p, 4);
        if (word == DatalogSample::MarkerWord) // all four bytes 0xFF: byte order does not matter
            m_markers.append(static_cast<quint32>(i));
    }
}

bool TCuddleCore::writeRecovery(QString* error)
{
    m_lastRecoveryWrite = m_clock.tickCount();
    const QString path = recoveryFilePath();
    QString folderError;
    if (!ensureFolder(QFileInfo(path).absolutePath(), &folderError)) {
        if (error)
            *error = folderError;
        return false;
    }
    try {
        writeAtomically(path, m_data);
    } catch (const EVexorError& e) {
        if (error)
            *error = e.message();
        return false;
    }
    return true;
}
