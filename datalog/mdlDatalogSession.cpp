#include "datalog/mdlDatalogSession.h"

#include "settings/mdlErrors.h"
#include "settings/mdlFileDialogs.h"
#include "settings/mdlMessages.h"

#include <QFile>
#include <QFileInfo>

namespace {
// Samples replayed between two paints while a file loads.
constexpr qint64 ReplaySlice = 20000;
} // namespace

TDatalogSession::TDatalogSession(TTunerForm& tuner, TCuddleCore& store, IClock& clock, ITimerFactory& timers,
                                 IMessageService* messages, IFileDialogService* fileDialogs, QObject* parent)
    : QObject(parent), m_tuner(tuner), m_store(store), m_clock(clock), m_messages(messages), m_fileDialogs(fileDialogs),
      m_refreshTimer(timers.createTimer()), m_replayTimer(timers.createTimer())
{
    m_refreshTimer->onTimeout = [this] { Q_EMIT refreshRequested(); };
    m_replayTimer->onTimeout = [this] { replaySlice(); };
    connect(&m_tuner, &TTunerForm::sampleReady, this, &TDatalogSession::samplePipeline);
    connect(&m_tuner, &TTunerForm::connectionEnded, this, &TDatalogSession::playbackBarChanged);
}

TDatalogSession::~TDatalogSession()
{
    m_refreshTimer->onTimeout = nullptr;
    m_replayTimer->onTimeout = nullptr;
}

void TDatalogSession::error(const QString& text)
{
    if (m_messages)
        m_messages->showMessage(text, QString(), TMsgKind::Error, TMsgButton::OK);
}

void TDatalogSession::scheduleRefresh()
{
    // The receive handler must not paint or pump events (that re-enters the
    // decoder); the repaint runs on the next pass of the event loop instead.
    if (!m_refreshTimer->isActive())
        m_refreshTimer->start(0);
}

void TDatalogSession::samplePipeline(const DatalogSample& sample)
{
    if (trackSample)
        trackSample(sample, false);
    if (recordMode)
        m_store.append(sample);
    if (m_sinceRefresh >= samplingPriority) {
        scheduleRefresh();
        m_sinceRefresh = 0;
    }
    ++m_sinceRefresh;
}

bool TDatalogSession::unsavedRecordingCheck()
{
    if (!m_store.unsaved())
        return true;
    const int answer =
        m_messages ? m_messages->showMessage(
                         QStringLiteral("You currently have an unsaved recording\r\n\r\nDo want to save it first?"),
                         QStringLiteral("Unsaved Data"), TMsgKind::Confirmation,
                         TMsgButton::Yes | TMsgButton::No | TMsgButton::Cancel)
                   : mrCancel;
    if (answer == mrNo) {
        // The user gave the recording up: nothing is left to recover, and an
        // offer to load it at the next start would contradict that answer.
        m_store.setCrashRecovery(false);
        QFile::remove(m_store.recoveryFilePath());
        return true;
    }
    if (answer != mrYes || !m_fileDialogs)
        return false;
    TFileDialogRequest req;
    req.title = QStringLiteral("Save Datalog File");
    req.filter = QStringLiteral("Datalog Files|*.dlf|All Files|*.*");
    req.defaultExt = QStringLiteral("dlf");
    const auto path = m_fileDialogs->saveFile(req);
    if (!path)
        return false;
    return saveDatalog(*path);
}

void TDatalogSession::tunerStart()
{
    if (!m_tuner.isActive() && unsavedRecordingCheck()) {
        m_bar.position = 0;
        m_startTime = m_clock.tickCount();
        m_store.setCrashRecovery(autoSaveLogs);
        m_store.clear();
        m_sinceRefresh = 0;
        m_tuner.open();
    } else {
        m_tuner.close();
        Q_EMIT playbackBarChanged();
    }
}

void TDatalogSession::tunerClose()
{
    if (!unsavedRecordingCheck())
        return;
    m_tuner.close();
    m_store.clear();
}

bool TDatalogSession::saveDatalog(const QString& path)
{
    try {
        m_store.save(path);
    } catch (const EVexorError& e) {
        // The recording stays in memory and the recovery file stays on disk.
        error(e.message());
        return false;
    }
    m_store.clear();
    return true;
}

void TDatalogSession::tunerSave()
{
    if (!m_fileDialogs)
        return;
    TFileDialogRequest req;
    req.title = QStringLiteral("Save Datalog File");
    req.filter = QStringLiteral("Datalog Files|*.dlf|CSV Export|*.csv|All Files|*.*");
    req.defaultExt = QStringLiteral("dlf");
    const auto path = m_fileDialogs->saveFile(req);
    if (!path)
        return;
    if (QFileInfo(*path).suffix().toUpper() == QLatin1String("CSV")) {
        if (!exportCsv) {
            error(QStringLiteral("CSV export is not available."));
            return;
        }
        try {
            exportCsv(*path); // the recording stays as it is
        } catch (const EVexorError& e) {
            error(e.message());
        }
        return;
    }
    saveDatalog(*path);
}

void TDatalogSession::tunerLoad()
{
    if (!m_fileDialogs || !unsavedRecordingCheck())
        return;
    TFileDialogRequest req;
    req.title = QStringLiteral("Load Datalog File");
    req.filter = QStringLiteral("Datalog Files|*.dlf|All Files|*.*");
    const auto path = m_fileDialogs->openFile(req);
    if (path)
        loadDatalog(*path, true);
}

bool TDatalogSession::loadDatalog(const QString& path, bool paced)
{
    m_replayTimer->stop();
    if (clearAccumulators)
        clearAccumulators();
    m_store.clear();
    try {
        m_store.load(path);
    } catch (const EVexorError& e) {
        m_bar = TPlaybackBar{};
        Q_EMIT playbackBarChanged();
        error(e.message());
        return false;
    }
    m_store.rewind();
    if (paced) {
        m_replaying = true;
        Q_EMIT busyChanged(true);
        m_replayTimer->start(0);
        return true;
    }
    DatalogSample s;
    while (m_store.readNext(s))
        if (trackSample)
            trackSample(s, true);
    finishLoad();
    return true;
}

void TDatalogSession::replaySlice()
{
    DatalogSample s;
    for (qint64 n = 0; n < ReplaySlice && m_store.readNext(s); ++n)
        if (trackSample)
            trackSample(s, true);
    if (!m_store.atEnd()) {
        Q_EMIT refreshRequested();
        m_replayTimer->start(0);
        return;
    }
    finishLoad();
}

void TDatalogSession::finishLoad()
{
    m_store.rewind();
    DatalogSample first = m_tuner.sample();
    if (m_store.readNext(first)) {
        m_startTime = first.timeStamp();
        m_tuner.setSample(first);
        m_bar.visible = true;
        m_bar.max = m_store.count() - 1;
        m_bar.position = 0;
        m_bar.pageSize = m_store.playbackPageSize();
    } else {
        m_bar = TPlaybackBar{}; // an empty file: no playback
    }
    Q_EMIT playbackBarChanged();
    Q_EMIT refreshRequested();
    if (m_replaying) {
        m_replaying = false;
        Q_EMIT busyChanged(false);
        Q_EMIT replayFinished();
    }
}

void TDatalogSession::crashRecoveryCheck()
{
    const QString path = m_store.recoveryFilePath();
    if (!QFile::exists(path) || !m_messages)
        return;
    const int answer = m_messages->showMessage(
        QStringLiteral("There is an unsaved datalogging session found.\r\nDo you want to load it?"),
        QStringLiteral("Unsaved Session Found"), TMsgKind::Confirmation, TMsgButton::Yes | TMsgButton::No);
    if (answer == mrYes) {
        // The recovered session counts as unsaved, so the next recording or
        // load asks before it is discarded (the recovery file is overwritten
        // by the next session's first recovery write).
        if (loadDatalog(path, false))
            m_store.markUnsaved();
    } else {
        QFile::remove(path);
    }
}

double TDatalogSession::secondsSinceStart(const DatalogSample& s) const
{
    return static_cast<qint32>(s.timeStamp() - m_startTime) / 1000.0;
}

void TDatalogSession::playbackMove(qint64 position)
{
    DatalogSample s = m_tuner.sample();
    m_store.seek(position);
    if (!m_store.readNext(s))
        return;
    m_tuner.setSample(s);
    m_bar.position = position;
    if (locateSample)
        locateSample(s);
    Q_EMIT graphCursorMoved(secondsSinceStart(s));
    Q_EMIT refreshRequested();
}
