#pragma once

// The main window's datalog side: composes the core classes (the connection
// TTunerForm, the recording store TCuddleCore, the session TDatalogSession)
// with three window parts: the commands (menu, tool bar, command bodies), the
// live display (live view, graphs, tracked cell) and the playback bar. It
// binds them to the settings and hands the live display the window's display
// units whenever they change; no part reads the window's widgets.

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
#include <functional>
#include <memory>

class QDockWidget;
class TAutoTuneCommands;
class QMenu;
class QScrollBar;
class QToolBar;
class TDataGraphsPanel;
class TDatalogCommands;
class TLiveDisplay;
class TLiveViewPanel;
class TMainForm;
class TPlaybackControl;
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
    [[nodiscard]] TDatalogCommands& commands() { return *m_commands; }
    [[nodiscard]] TLiveDisplay& display() { return *m_display; }
    [[nodiscard]] TPlaybackControl& playback() { return *m_playback; }
    [[nodiscard]] TAutoTuneCommands& autoTune() { return *m_autoTune; }

    [[nodiscard]] QToolBar* toolBar() const;
    [[nodiscard]] QToolBar* playbackToolBar() const;
    [[nodiscard]] QScrollBar* playbackBar() const;
    [[nodiscard]] QDockWidget* liveViewDock() const;
    [[nodiscard]] TLiveViewPanel* liveView() const;
    [[nodiscard]] TDataGraphsPanel* dataGraphs() const;
    [[nodiscard]] QMenu* menu() const;

    [[nodiscard]] const TLiveCell& liveCell() const;
    [[nodiscard]] const TLambdaLookup& lambdaLookup() const;
    [[nodiscard]] bool replayBlocksInput() const;
    [[nodiscard]] int refreshCount() const;
    void updateCommandStates();
    void refreshNow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applySettings(const TSettings& s);
    void collectSettings(TSettings& s) const;

    TMainForm& m_form;
    TServices m_services;
    TSettingsStore* m_settingsStore;
    std::unique_ptr<IClock> m_ownClock;
    std::unique_ptr<ITimerFactory> m_ownTimers;
    std::unique_ptr<TPortList> m_ownPorts;
    TPortList* m_ports;
    std::unique_ptr<ISerialPort> m_ownPort;
    std::unique_ptr<TCuddleCore> m_store;
    std::unique_ptr<TTunerForm> m_tuner;
    std::unique_ptr<TDatalogSession> m_session;
    std::unique_ptr<TDatalogConnectionTester> m_tester;
    // The window parts, destroyed before the core above.
    std::unique_ptr<TLiveDisplay> m_display;
    std::unique_ptr<TPlaybackControl> m_playback;
    std::unique_ptr<TDatalogCommands> m_commands;
    std::unique_ptr<TAutoTuneCommands> m_autoTune;
};
