#pragma once

// The emulator commands of the main window: the link TRTPForm with its port,
// the Emulator menu and tool bar, the transfer window, the silent connection
// of the idle handler, the automatic-update pane of the status bar, and the
// settings window's emulator tests. Lives beside the window like the datalog
// side: created after it, destroyed before it.

#include "emulator/frmRTP.h"
#include "emulator/mdlRTPAutoConnect.h"
#include "emulator/mdlRTPTester.h"
#include "settings/mdlServices.h"
#include "settings/mdlSettings.h"

#include <QObject>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QTimer;
class QToolBar;
class TMainDatalog;
class TMainForm;
class TPortList;
class TRTPTransferForm;
class TSettingsStore;
class TTunerForm;

// What the emulator side talks through; all optional. Tests hand in a port
// wired to a simulated emulator and their own port check.
struct TRTPDevices {
    TPortList* ports = nullptr;
    ISerialPort* port = nullptr;
    ITimerFactory* timers = nullptr;
    std::function<std::unique_ptr<ISerialPort>()> makeTestPort;
    std::function<bool(const QString&)> portExists;
};

class TRTPCommands : public QObject {
    Q_OBJECT
public:
    // Idle handler interval, ms.
    static constexpr int IdleInterval = 500;

    TRTPCommands(TMainForm& form, const TServices& services, TSettingsStore* store, TRTPDevices devices = {});
    ~TRTPCommands() override;

    // Emulate and log on one cable: the datalog connection shares the port,
    // and the settings window's emulator buttons reach this side's tester.
    void attachDatalog(TMainDatalog& datalog);

    [[nodiscard]] TRTPForm& link() { return *m_link; }
    [[nodiscard]] TRTPConnectionTester& tester() { return *m_tester; }
    [[nodiscard]] QToolBar* toolBar() const { return m_toolBar; }
    [[nodiscard]] QMenu* menu() const { return m_menu; }
    [[nodiscard]] TRTPTransferForm* transferWindow() const { return m_transfer; }
    [[nodiscard]] bool connected() const { return m_link->connected(); }

    void updateCommandStates();
    // One pass of the idle handler (public for tests).
    void idleTick();

    void ToolsRTPExecute();
    void RTPGetExecute() { readImage(rtp::KindRead); }
    void RTPGrabExecute() { readImage(rtp::KindChipRead); }
    void RTPPutExecute() { writeImage(rtp::KindWrite); }
    void RTPBurnExecute() { writeImage(rtp::KindChipWrite); }
    void RTPVerifyExecute();
    void RTPAutoExecute();
    void RTPUpdateTablesExecute();
    void RTPRomDumpExecute();
    void RTP27SF512Execute();
    // Types the emulator port's device path (a simulator's pseudo-terminal).
    void RTPPortExecute();

private:
    void createActions();
    void createMenus();
    void applySettings(const TSettings& s);
    void collectSettings(TSettings& s) const;
    void applyLinkSettings();
    [[nodiscard]] QString portName() const;
    // Connects (detect) or, when connected, disconnects. A silent attempt
    // shows no message.
    void connectLink(bool byUser);
    void disconnectLink();
    void setToolbarShown(bool shown);
    bool startShown(int kind, const QByteArray& image, TRTPForm::Done done);
    void readImage(int kind);
    void writeImage(int kind);
    [[nodiscard]] QByteArray currentImage() const;
    void setUpdatePane(const QString& text);
    QAction* addCommand(const char* name, const QString& text, std::function<void()> execute, bool checkable = false);

    TMainForm& m_form;
    TServices m_services;
    TSettingsStore* m_settingsStore;
    TSettings m_settings;
    std::unique_ptr<IClock> m_ownClock;
    IClock* m_clock;
    std::unique_ptr<ITimerFactory> m_ownTimers;
    std::unique_ptr<TPortList> m_ownPorts;
    TPortList* m_ports;
    std::unique_ptr<ISerialPort> m_ownPort;
    std::unique_ptr<TRTPForm> m_link;
    std::unique_ptr<TRTPConnectionTester> m_tester;
    std::function<bool(const QString&)> m_portExists;
    TRTPAutoConnect m_auto;
    QTimer* m_idle = nullptr;
    QMenu* m_menu = nullptr;
    QToolBar* m_toolBar = nullptr;
    TRTPTransferForm* m_transfer = nullptr;
    QLabel* m_updatePane = nullptr;
    TTunerForm* m_tuner = nullptr;
    bool m_connecting = false;
};
