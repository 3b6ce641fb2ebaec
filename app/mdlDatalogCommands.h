#pragma once

// The datalog commands of the main window: their actions in the window's
// action manager, the Datalog menu and tool bar, the command states, and the
// command bodies, which drive the session and tell the live display and the
// playback bar what to show.

#include "settings/mdlServices.h"
#include "settings/mdlSettings.h"

#include <QObject>
#include <functional>

class QAction;
class QMenu;
class QToolBar;
class TCuddleCore;
class TDatalogSession;
class TLiveDisplay;
class TMainForm;
class TPlaybackControl;
class TPortList;
class TSettingsStore;
class TTunerForm;

class TDatalogCommands : public QObject {
    Q_OBJECT
public:
    struct TParts {
        TTunerForm& tuner;
        TCuddleCore& store;
        TDatalogSession& session;
        TPortList& ports;
        TLiveDisplay& display;
        TPlaybackControl& playback;
    };
    TDatalogCommands(TMainForm& form, const TServices& services, TSettingsStore* settingsStore, TParts parts);
    ~TDatalogCommands() override;

    [[nodiscard]] QMenu* menu() const { return m_menu; }
    [[nodiscard]] QToolBar* toolBar() const { return m_toolBar; }

    // The connection settings the next Connect uses.
    void setSettings(const TSettings& s) { m_settings = s; }
    // The enabled and checked states of the datalog commands.
    void updateCommandStates();
    // Writes the recording as CSV in the display units; throws EVexorError.
    void exportCsv(const QString& path);

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

private:
    void createActions();
    void createMenus();
    void toolbarVisibilityChanged(bool visible);
    void startupStep();
    void afterSessionChange();
    QAction* addCommand(const char* name, const QString& text, std::function<void()> execute, bool checkable = false);

    TMainForm& m_form;
    TServices m_services;
    TSettingsStore* m_settingsStore;
    TParts m_parts;
    TSettings m_settings;
    bool m_toolbarShown = false;
    QMenu* m_menu = nullptr;
    QToolBar* m_toolBar = nullptr;
};
