#pragma once

// The main window's datalog side: the datalog tool bar and menu with their
// commands, the connection to the ECU, the recording store, the live view,
// the tracked cell on the table grid, the data graphs and the playback bar.
// It composes the core classes (TTunerForm, TCuddleCore, TDatalogSession)
// and only wires them to widgets.
//
// Painting is always scheduled: the sample pipeline asks for a refresh, and
// the refresh runs from a zero-interval single-shot timer on the next pass of
// the event loop, never from inside the receive handler. While a datalog file
// is replayed the window's input is held back, but painting goes on.

#include "datalog/clsCuddleCore.h"
#include "datalog/frmTuner.h"
#include "datalog/mdlDatalogSession.h"
#include "datalog/mdlDatalogTester.h"
#include "datalog/mdlLambdaCurve.h"
#include "datalog/mdlLiveCell.h"
#include "settings/mdlPortLists.h"
#include "settings/mdlServices.h"
#include "settings/mdlSettings.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class QAction;
class QDockWidget;
class QMenu;
class QScrollBar;
class QTimer;
class QToolBar;
class TDataGraphsPanel;
class TLiveViewPanel;
class TMainForm;
class TSettingsStore;

// What the datalog side talks through; all optional. Tests hand in a fake
// port and their own timers; the program uses the real ones.
struct TDatalogDevices {
    TPortList* ports = nullptr;  // shared with the settings window
    ISerialPort* port = nullptr; // the connection's own port
    ITimerFactory* timers = nullptr;
    std::function<std::unique_ptr<ISerialPort>()> makeTestPort; // ports of the settings page's test
};

// Lives beside the window, not inside it: its owner creates it after the
// window and destroys it before the window (a stack object declared after the
// window does both), so nothing of it runs while the window is half destroyed.
class TMainDatalog : public QObject {
    Q_OBJECT
public:
    TMainDatalog(TMainForm& form, const TServices& services, TSettingsStore* store, TDatalogDevices devices = {});
    ~TMainDatalog() override;

    [[nodiscard]] TTunerForm& tuner() { return *m_tuner; }
    [[nodiscard]] TCuddleCore& recording() { return *m_store; }
    [[nodiscard]] TDatalogSession& session() { return *m_session; }
    [[nodiscard]] IConnectionTester* connectionTester() { return m_tester.get(); }
    [[nodiscard]] TPortList& ports() { return *m_ports; }

    [[nodiscard]] QToolBar* toolBar() const { return tbTuner; }
    [[nodiscard]] QToolBar* playbackToolBar() const { return tbPlayback; }
    [[nodiscard]] QScrollBar* playbackBar() const { return sbPlayback; }
    [[nodiscard]] QDockWidget* liveViewDock() const { return dkLiveView; }
    [[nodiscard]] TLiveViewPanel* liveView() const { return m_liveView; }
    [[nodiscard]] TDataGraphsPanel* dataGraphs() const { return m_graphs; }
    [[nodiscard]] QMenu* menu() const { return mnuTuner; }

    // The cell of the sample on screen and the live view's options now.
    [[nodiscard]] const TLiveCell& liveCell() const { return m_cell; }
    [[nodiscard]] const TLambdaLookup& lambdaLookup() const { return m_lambda; }
    [[nodiscard]] bool replayBlocksInput() const { return m_inputBlocked; }
    [[nodiscard]] int refreshCount() const { return m_refreshCount; }

    // The enabled and checked states of the datalog commands.
    void updateCommandStates();
    // Runs the scheduled refresh now (tests; the program waits for the timer).
    void refreshNow();

    // Commands.
    void ToolsTunerExecute();
    void TunerStartExecute();
    void TunerCloseExecute();
    void TunerRecordExecute();
    void TunerSaveExecute();
    void TunerLoadExecute();
    void TunerSmartTrackExecute();
    void TunerViewMinimalExecute();
    void TunerLiveViewExecute();
    void TunerDataGraphsExecute();
    void TrackModeExecute(quint8 mode);
    // Types the datalog port's device path (a simulator's pseudo-terminal,
    // say) without the settings window: it joins the numbered port list.
    void TunerPortExecute();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createActions();
    void createWidgets();
    void applySettings(const TSettings& s);
    void collectSettings(TSettings& s) const;
    void scheduleRefresh();
    void scheduleGraphRefresh();
    void refresh();
    void refreshGraphs();
    void updatePlaybackBar();
    void toolbarVisibilityChanged(bool visible);
    void startupStep();
    void setInputBlocked(bool on);
    void smartTrackSwitch(bool highCam);
    void showLiveView();
    void exportCsv(const QString& path);
    void celDetails();
    [[nodiscard]] TTunerSettings connectionSettings() const;
    [[nodiscard]] bool unitChecked(const char* action) const;
    [[nodiscard]] TSampleContext sampleContext() const;
    [[nodiscard]] bool liveViewVisible() const;
    QAction* addCommand(const char* name, const QString& text, std::function<void()> execute, bool checkable = false);

    TMainForm& m_form;
    TServices m_services;
    TSettingsStore* m_store_settings;
    std::unique_ptr<IClock> m_ownClock;
    IClock* m_clock;
    std::unique_ptr<ITimerFactory> m_ownTimers;
    ITimerFactory* m_timers;
    std::unique_ptr<TPortList> m_ownPorts;
    TPortList* m_ports;
    std::unique_ptr<ISerialPort> m_ownPort;
    std::unique_ptr<TCuddleCore> m_store;
    std::unique_ptr<TTunerForm> m_tuner;
    std::unique_ptr<TDatalogSession> m_session;
    std::unique_ptr<TDatalogConnectionTester> m_tester;

    TSettings m_settings;
    TLambdaLookup m_lambda{};
    TLiveCell m_cell;
    bool m_smartTrack = true;
    quint8 m_trackMode = 0;
    bool m_minimal = false;
    bool m_startupDone = false;
    bool m_toolbarShown = false;
    bool m_inputBlocked = false;
    bool m_updatingBar = false;
    int m_refreshCount = 0;

    QTimer* m_refreshTimer;
    QTimer* m_graphTimer;
    QMenu* mnuTuner = nullptr;
    QToolBar* tbTuner = nullptr;
    QToolBar* tbPlayback = nullptr;
    QScrollBar* sbPlayback = nullptr;
    QDockWidget* dkLiveView = nullptr;
    TLiveViewPanel* m_liveView = nullptr;
    TDataGraphsPanel* m_graphs = nullptr;
};
