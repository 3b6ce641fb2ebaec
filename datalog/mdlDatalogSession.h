#pragma once

// The main window's datalog commands without the window: the sample pipeline
// (tracking, recording, display pacing), start and close with the
// unsaved-recording check, save and load of datalog files, crash recovery and
// the playback bar. The window wires its widgets to the signals and hooks;
// tests and the CLI drive it directly.

#include "datalog/clsCuddleCore.h"
#include "datalog/frmTuner.h"
#include "datalog/mdlTimers.h"

#include <QObject>
#include <functional>
#include <memory>

class IMessageService;
class IFileDialogService;

struct TPlaybackBar {
    bool visible = false;
    qint64 max = 0;
    qint64 position = 0;
    int pageSize = 1;
};

class TDatalogSession : public QObject {
    Q_OBJECT
public:
    TDatalogSession(TTunerForm& tuner, TCuddleCore& store, IClock& clock, ITimerFactory& timers,
                    IMessageService* messages, IFileDialogService* fileDialogs, QObject* parent = nullptr);
    ~TDatalogSession() override;

    // "Tuning Conditions" the pipeline uses.
    int samplingPriority = 4;
    bool recordMode = true;
    bool autoSaveLogs = true;

    // Tracking and auto-tune processing of one sample (replay: no view
    // switching, no live adjustment). Unset: nothing is tracked.
    std::function<void(const DatalogSample&, bool replay)> trackSample;
    // Clears the auto-tune accumulators before a file is loaded.
    std::function<void()> clearAccumulators;
    // Finds the map cell of a played-back sample and switches cams (SmartTrack).
    std::function<void(const DatalogSample&)> locateSample;
    // Writes the recording as CSV; throws EVexorError on failure.
    std::function<void(const QString& path)> exportCsv;

    // Every completed sample from the connection comes here.
    void samplePipeline(const DatalogSample& sample);

    // Commands.
    void tunerStart();
    void tunerClose();
    // Asks to save an unsaved recording; false when the user cancelled.
    bool unsavedRecordingCheck();
    void tunerSave();
    void tunerLoad();
    // Offered when the datalog tool bar is shown.
    void crashRecoveryCheck();

    // Loads a datalog file as TunerLoad does after its dialog. With `paced`
    // the replay runs in slices between which the event loop paints (input is
    // blocked through busyChanged); otherwise it runs to the end at once.
    // Returns false (after telling the user) when the file cannot be read.
    bool loadDatalog(const QString& path, bool paced);
    [[nodiscard]] bool isReplaying() const { return m_replaying; }

    // Saves as a datalog file and clears the store once the write succeeded.
    // Errors go to the user; returns whether it was saved.
    bool saveDatalog(const QString& path);

    // Moving the playback bar.
    void playbackMove(qint64 position);
    [[nodiscard]] const TPlaybackBar& playbackBar() const { return m_bar; }

    [[nodiscard]] quint32 recordingStart() const { return m_startTime; }
    // (sample time - recording start) / 1000.
    [[nodiscard]] double secondsSinceStart(const DatalogSample& s) const;

Q_SIGNALS:
    // Coalesced: at most once per pass of the event loop, never from inside
    // the receive handler.
    void refreshRequested();
    void playbackBarChanged();
    void graphCursorMoved(double seconds);
    // True while a paced replay runs; the window blocks input meanwhile.
    void busyChanged(bool busy);
    void replayFinished();

private:
    void scheduleRefresh();
    void replaySlice();
    void finishLoad();
    void error(const QString& text);

    TTunerForm& m_tuner;
    TCuddleCore& m_store;
    IClock& m_clock;
    IMessageService* m_messages;
    IFileDialogService* m_fileDialogs;
    std::unique_ptr<ILinkTimer> m_refreshTimer;
    std::unique_ptr<ILinkTimer> m_replayTimer;
    int m_sinceRefresh = 0;
    quint32 m_startTime = 0;
    TPlaybackBar m_bar;
    bool m_replaying = false;
};
