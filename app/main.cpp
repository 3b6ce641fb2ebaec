// Start-up: the application, the on-screen services, the main window (which
// owns the ROM model), then the settings window, which reads vexor.ini and
// hands it to everything created before it. The first command-line argument
// is opened by the main window's first activation.
//
// `vexor ROM --startup-time` prints the milliseconds from entering main to the
// first paint of the table grid with the ROM loaded, then quits: the start-up
// figure of the benchmarks.

#include "app/frmMain.h"
#include "app/frmMainDatalog.h"
#include "app/mdlAdvTablesCommand.h"
#include "app/mdlAutoTuneCommands.h"
#include "app/mdlRTPCommands.h"
#include "app/mdlScriptCommands.h"
#include "app/mdlToolCommands.h"
#include "settings/mdlClock.h"
#include "settings/mdlFiles.h"
#include "settings/mdlSettingsStore.h"
#include "settings/ui/frmSettings.h"
#include "settings/ui/mdlQtClipboard.h"
#include "settings/ui/mdlQtFileDialogs.h"
#include "settings/ui/mdlQtMessages.h"

#include "editor/ui/VexorGrid.h"
#include "rom/clsRom.h"
#ifdef VEXOR_WEBENGINE
#include "scripting/ui/frmBrowser.h"
#endif

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTimer>

#include <cstdio>

namespace {

// Quits after the first paint of the grid that shows a loaded ROM.
class TStartupTimer : public QObject {
public:
    TStartupTimer(const QElapsedTimer& since, TRom& rom) : m_since(since), m_rom(rom) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_rom.isLoaded() && !m_done) {
            m_done = true;
            // Reported after the paint event itself has been handled.
            QTimer::singleShot(0, this, [this] {
                std::printf("Start-up to first painted grid: %lld ms\n", static_cast<long long>(m_since.elapsed()));
                std::fflush(stdout);
                QApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    const QElapsedTimer& m_since;
    TRom& m_rom;
    bool m_done = false;
};

} // namespace

int main(int argc, char** argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
#ifdef VEXOR_WEBENGINE
    // The web engine of the browser windows shares its GL contexts with the
    // application's; that must be set before the application exists.
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vexor"));

    TQtMessageService messages;
    TQtFileDialogService fileDialogs;
    TQtClipboardService clipboard;
    TSystemClock clock;
    const TServices services{&messages, &fileDialogs, &clipboard, &clock};
    TSettingsStore store(settingsFolder());
    store.setShippedWidebandPath(TSettingsStore::shippedWidebandPath());

    QStringList args = QApplication::arguments();
    const bool startupTime = args.removeAll(QStringLiteral("--startup-time")) > 0;
    TPortList ports; // the numbered serial ports, shared by the links and the settings window
    TMainForm mainForm(services, &store, args.size() > 1 ? args.at(1) : QString());
    messages.setParentWindow(&mainForm);
    fileDialogs.setParentWindow(&mainForm);
    // The datalog side of the window; the settings window shares its port
    // list and tests its link.
    TMainDatalog datalog(mainForm, services, &store, TDatalogDevices{&ports});
    // The emulator side: shares the port list, the cable with the datalog
    // connection, and answers the settings window's emulator buttons.
    // The tuning tools of the Tools and Edit menus.
    TToolCommands toolCommands(mainForm, services);
    toolCommands.injectors = &store.injectors();
    toolCommands.linkConnected = [&datalog] { return datalog.tuner().isActive(); };
    toolCommands.liveThrottle = [&datalog]() -> std::optional<quint8> {
        const TTunerForm& tuner = datalog.tuner();
        if (!tuner.hasSample())
            return std::nullopt;
        return tuner.sample().u8(DatalogSample::TpsVolts);
    };
    TRTPCommands emulator(mainForm, services, &store, TRTPDevices{&ports});
    emulator.attachDatalog(datalog);

    // The script host: loads autoload.js and plugins.js now; script wideband
    // conversions evaluate through it.
#ifdef VEXOR_WEBENGINE
    TBrowserScriptDialogs scriptDialogs(&mainForm); // window.showBrowser in windows of our own
    TScriptCommands scripts(mainForm, services, &store, &datalog.autoTune().widebandConversions(), &scriptDialogs);
#else
    TScriptCommands scripts(mainForm, services, &store, &datalog.autoTune().widebandConversions());
#endif
    datalog.autoTune().setWidebandEvaluator(&scripts.widebandEvaluator());
    scripts.loadAtStartup();
    // View > Advance Tables: the custom tables the scripts registered.
    TAdvTablesCommand advTables(mainForm, scripts.host());

    TSettingsForm settingsForm(store, messages, &ports, &mainForm);
    settingsForm.setConnectionTester(datalog.connectionTester());
    // The conversion list ends with the conversions scripts registered.
    settingsForm.setScriptConversions([&datalog] { return datalog.autoTune().widebandConversions().captions(); });
    settingsForm.loadSettings();
    // Preferences are edited in the settings window, reached from the Tools menu.
    if (QMenu* tools = mainForm.findChild<QMenu*>(QStringLiteral("mnuTools"))) {
        QAction* open = tools->addAction(QObject::tr("&Settings..."));
        open->setObjectName(QStringLiteral("ToolsSettings"));
        QObject::connect(open, &QAction::triggered, &settingsForm, [&settingsForm] { settingsForm.exec(); });
    }

    TStartupTimer startupTimer(sinceStart, mainForm.rom());
    if (startupTime)
        mainForm.grid()->viewport()->installEventFilter(&startupTimer);

    mainForm.show();
    const int result = QApplication::exec();
    datalog.autoTune().setWidebandEvaluator(nullptr); // the script host goes first
    settingsForm.saveSettings();
    return result;
}
