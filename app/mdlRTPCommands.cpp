#include "app/mdlRTPCommands.h"

#include "app/frmMain.h"
#include "app/frmMainDatalog.h"
#include "app/mdlActionManager.h"
#include "datalog/mdlDatalogTester.h"
#include "emulator/ui/frmRTPTransfer.h"
#include "settings/mdlMessages.h"
#include "settings/mdlPortLists.h"
#include "settings/mdlSettingsStore.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <optional>

using namespace rtp;

TRTPCommands::TRTPCommands(TMainForm& form, const TServices& services, TSettingsStore* store, TRTPDevices devices)
    : QObject(nullptr), m_form(form), m_services(services), m_settingsStore(store), m_clock(services.clock)
{
    setObjectName(QStringLiteral("RTPSide"));
    if (!m_clock) {
        m_ownClock = std::make_unique<TSystemClock>();
        m_clock = m_ownClock.get();
    }
    ITimerFactory* timers = devices.timers;
    if (!timers) {
        m_ownTimers = std::make_unique<TQtTimerFactory>();
        timers = m_ownTimers.get();
    }
    m_ports = devices.ports;
    if (!m_ports) {
        m_ownPorts = std::make_unique<TPortList>();
        m_ports = m_ownPorts.get();
    }
    ISerialPort* port = devices.port;
    if (!port) {
        m_ownPort = std::make_unique<TQtSerialPort>();
        port = m_ownPort.get();
    }
    m_portExists = devices.portExists ? devices.portExists : serialPortExists;
    auto makeTestPort = devices.makeTestPort;
    if (!makeTestPort)
        makeTestPort = [] { return std::unique_ptr<ISerialPort>(std::make_unique<TQtSerialPort>()); };

    m_link = std::make_unique<TRTPForm>(*timers, port, services.messages);
    m_link->setEditBuffer(&m_form.rom().buffer());
    m_tester = std::make_unique<TRTPConnectionTester>(*timers, makeTestPort, m_ports);
    m_tester->portExists = m_portExists;
    m_tester->beforeTest = [this] {
        // The test opens the port itself.
        if (connected() && !m_link->busy())
            disconnectLink();
    };
    m_transfer = new TRTPTransferForm(*m_link, &m_form);
    m_updatePane = m_form.findChild<QLabel*>(QStringLiteral("spRTPUpdate"));

    connect(m_link.get(), &TRTPForm::statusChanged, this, [this](const QString& text) {
        if (m_link->kind() == KindAutoUpdate || text == QLatin1String("Ready"))
            setUpdatePane(text);
    });
    connect(m_link.get(), &TRTPForm::finished, this, [this](const TRTPResult& r) {
        if (r.kind == KindAutoUpdate)
            setUpdatePane(m_link->statusText());
        updateCommandStates();
    });
    connect(m_link.get(), &TRTPForm::started, this, [this] { updateCommandStates(); });
    connect(m_link.get(), &TRTPForm::autoUpdateSwitchedOff, this, [this] {
        m_settings.rtp.autoUpdate = false;
        if (m_settingsStore)
            m_settingsStore->values().rtp.autoUpdate = false;
        updateCommandStates();
    });

    createActions();
    createMenus();

    if (m_settingsStore) {
        m_settingsStore->addConsumer([this](const TSettings& s) { applySettings(s); },
                                     [this](TSettings& s) { collectSettings(s); }, this);
        applySettings(m_settingsStore->values());
    } else {
        applySettings(TSettings{});
    }

    m_idle = new QTimer(this);
    m_idle->setInterval(IdleInterval);
    connect(m_idle, &QTimer::timeout, this, &TRTPCommands::idleTick);
    m_idle->start();
}

TRTPCommands::~TRTPCommands()
{
    m_idle->stop();
    m_link->abort();
    if (m_tuner)
        m_tuner->setEmulator(nullptr);
    m_link->setDatalog(nullptr);
    m_link->setEditBuffer(nullptr);
    m_link->closePort();
    delete m_transfer;
    delete m_toolBar;
    delete m_menu;
}

void TRTPCommands::attachDatalog(TMainDatalog& datalog)
{
    m_tuner = &datalog.tuner();
    m_tuner->setEmulator(m_link.get());
    m_link->setDatalog(m_tuner);
    if (auto* tester = dynamic_cast<TDatalogConnectionTester*>(datalog.connectionTester()))
        tester->setEmulatorTester(m_tester.get());
}

// ------------------------------------------------------------ actions

QAction* TRTPCommands::addCommand(const char* name, const QString& text, std::function<void()> execute, bool checkable)
{
    QAction* a = addGroupCommand(*m_form.actionManager(), this, name, text, std::move(execute), checkable);
    m_form.addAction(a);
    return a;
}

void TRTPCommands::createActions()
{
    addCommand(
        "ToolsRTP", tr("&Emulator Tool Bar"), [this] { ToolsRTPExecute(); }, true);
    addCommand("RTPGet", tr("&Get from Emulator"), [this] { RTPGetExecute(); });
    addCommand("RTPPut", tr("&Put to Emulator"), [this] { RTPPutExecute(); });
    addCommand("RTPVerify", tr("&Verify Emulator"), [this] { RTPVerifyExecute(); });
    addCommand(
        "RTPAuto", tr("&Automatic Update"), [this] { RTPAutoExecute(); }, true);
    addCommand("RTPUpdateTables", tr("Update &Tables"), [this] { RTPUpdateTablesExecute(); });
    addCommand("RTPRomDump", tr("Update &Whole ROM"), [this] { RTPRomDumpExecute(); });
    addCommand("RTPGrab", tr("&Read Chip"), [this] { RTPGrabExecute(); });
    addCommand("RTPBurn", tr("&Burn Chip"), [this] { RTPBurnExecute(); });
    addCommand(
        "RTP27SF512", tr("27SF&512 Chip"), [this] { RTP27SF512Execute(); }, true);
    addCommand("RTPPort", tr("Emulator P&ort..."), [this] { RTPPortExecute(); });
}

void TRTPCommands::createMenus()
{
    auto act = [this](const char* name) { return m_form.action(QLatin1String(name)); };
    m_menu = m_form.menuBar()->addMenu(tr("E&mulator"));
    m_menu->setObjectName(QStringLiteral("mnuRTP"));
    for (const char* n : std::initializer_list<const char*>{
             "ToolsRTP", nullptr, "RTPGet", "RTPPut", "RTPVerify", nullptr, "RTPAuto", "RTPUpdateTables", "RTPRomDump",
             nullptr, "RTPGrab", "RTPBurn", "RTP27SF512", nullptr, "RTPPort"}) {
        if (n)
            m_menu->addAction(act(n));
        else
            m_menu->addSeparator();
    }
    if (QMenu* tools = m_form.toolsMenu())
        tools->addAction(act("ToolsRTP"));

    // Short labels on the tool bar, so it fits beside the view tool bar.
    const std::pair<const char*, QString> shortTexts[] = {{"RTPGet", tr("Get")},
                                                          {"RTPPut", tr("Put")},
                                                          {"RTPVerify", tr("Verify")},
                                                          {"RTPAuto", tr("Auto Update")},
                                                          {"RTPUpdateTables", tr("Tables")},
                                                          {"RTPRomDump", tr("Whole ROM")},
                                                          {"RTPGrab", tr("Read Chip")},
                                                          {"RTPBurn", tr("Burn")},
                                                          {"RTP27SF512", tr("27SF512")}};
    for (const auto& [name, text] : shortTexts)
        act(name)->setIconText(text);
    m_toolBar = new QToolBar(tr("Emulator"), &m_form);
    m_toolBar->setObjectName(QStringLiteral("tbRTP"));
    for (const char* n : {"RTPGet", "RTPPut", "RTPVerify", "RTPAuto", "RTPUpdateTables", "RTPRomDump"})
        m_toolBar->addAction(act(n));
    m_toolBar->addSeparator();
    for (const char* n : {"RTPGrab", "RTPBurn", "RTP27SF512"})
        m_toolBar->addAction(act(n));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // Shown and hidden by connecting, never by the tool bar area's menu.
    m_toolBar->toggleViewAction()->setVisible(false);
    m_form.addToolBar(Qt::TopToolBarArea, m_toolBar);
    m_toolBar->hide();
}

void TRTPCommands::updateCommandStates()
{
    const bool shown = connected();
    const bool busy = m_link->busy() || m_connecting;
    const bool rom = m_form.rom().isLoaded();
    const int code = m_link->hardwareCode();
    const bool emu = hasEmulatorCommands(code) || code == 0;
    const bool chip = hasChipCommands(code);
    TCommandStates st;
    auto set = [&st](const char* name, bool enabled, std::optional<bool> checked = std::nullopt) {
        st[QLatin1String(name)] = TCommandState{enabled, true, checked};
    };
    set("ToolsRTP", !busy, shown);
    set("RTPGet", shown && emu && !busy);
    set("RTPPut", shown && emu && rom && !busy);
    set("RTPVerify", shown && emu && rom && !busy);
    set("RTPAuto", shown && emu, m_link->autoUpdate());
    set("RTPUpdateTables", shown && emu && rom && !busy);
    set("RTPRomDump", shown && emu && rom && !busy);
    set("RTPGrab", shown && chip && !busy);
    set("RTPBurn", shown && chip && rom && !busy);
    set("RTP27SF512", !busy, m_settings.rtp.use512K);
    set("RTPPort", !shown && !busy);
    m_form.actionManager()->apply(st);
}

// ------------------------------------------------------------ settings

void TRTPCommands::applySettings(const TSettings& s)
{
    const QString before = portName();
    m_settings = s;
    // A stored port path joins the numbered list and selects its entry.
    const int port = m_ports->indexOfChoice(s.rtpCom.portIndex, s.rtpCom.portPath);
    if (port != s.rtpCom.portIndex) {
        m_settings.rtpCom.portIndex = port;
        if (m_settingsStore)
            m_settingsStore->values().rtpCom.portIndex = port;
    }
    if (m_link->autoUpdate() != s.rtp.autoUpdate)
        m_link->setAutoUpdate(s.rtp.autoUpdate);
    if (portName() != before)
        m_auto.reset();
    applyLinkSettings();
    updateCommandStates();
}

void TRTPCommands::collectSettings(TSettings& s) const
{
    s.rtp.autoUpdate = m_link->autoUpdate();
    s.rtp.use512K = m_settings.rtp.use512K;
}

void TRTPCommands::applyLinkSettings()
{
    if (!m_link->busy())
        m_link->setSettings(rtpSettingsFrom(m_settings, portName(), m_link->hardwareCode()));
}

QString TRTPCommands::portName() const { return m_ports->nameAt(m_settings.rtpCom.portIndex); }

// ------------------------------------------------------------ connecting

void TRTPCommands::ToolsRTPExecute() { connectLink(true); }

void TRTPCommands::setToolbarShown(bool shown)
{
    m_toolBar->setVisible(shown);
    m_link->setConnected(shown);
    if (!shown)
        setUpdatePane(QString());
    updateCommandStates();
}

void TRTPCommands::disconnectLink()
{
    m_link->abort();
    setToolbarShown(false);
    m_link->closePort();
}

void TRTPCommands::connectLink(bool byUser)
{
    if (m_link->busy() || m_connecting)
        return;
    if (connected()) {
        disconnectLink();
        return;
    }
    applyLinkSettings();
    QString error;
    if (!m_link->openPort(&error)) {
        m_link->closePort();
        setToolbarShown(false);
        if (byUser && m_services.messages)
            m_services.messages->showMessage(QStringLiteral("Unable to open serial port. Please ensure that the port "
                                                            "exists and is not being used by another application."),
                                             QStringLiteral("Com Port Not Found"), TMsgKind::Error, TMsgButton::OK);
        else
            m_auto.connectFailed(m_clock->tickCount());
        return;
    }
    m_connecting = true;
    const QPointer<TRTPCommands> self(this);
    TRTPForm::Done done = [self, byUser](const TRTPResult& r) {
        if (!self)
            return;
        self->m_connecting = false;
        if (r.ok()) {
            self->setToolbarShown(true);
        } else {
            self->m_link->closePort();
            if (!byUser)
                self->m_auto.connectFailed(self->m_clock->tickCount());
        }
        self->updateCommandStates();
    };
    const bool startedOk = byUser ? startShown(KindDetect, {}, done) : m_link->start(KindDetect, {}, done, true);
    if (!startedOk)
        m_connecting = false;
    updateCommandStates();
}

void TRTPCommands::idleTick()
{
    if (!m_form.started())
        return;
    const QString name = portName();
    const bool exists = !name.trimmed().isEmpty() && m_portExists(name);
    // A port that disappears disconnects, whatever AutoConnect says.
    if (connected() && !exists) {
        disconnectLink();
        return;
    }
    if (m_link->busy() || m_connecting)
        return;
    if (m_auto.tick(m_settings.rtp.autoConnect, connected(), exists, m_clock->tickCount()) == TRTPAutoConnect::Connect)
        connectLink(false);
}

// ------------------------------------------------------------ transfers

bool TRTPCommands::startShown(int kind, const QByteArray& image, TRTPForm::Done done)
{
    if (!m_link->start(kind, image, std::move(done), false))
        return false;
    m_transfer->showTransfer();
    updateCommandStates();
    return true;
}

QByteArray TRTPCommands::currentImage() const
{
    const TBinEdit& b = m_form.rom().buffer();
    return QByteArray(reinterpret_cast<const char*>(b.data()), b.size());
}

void TRTPCommands::readImage(int kind)
{
    if (m_link->busy() || !connected())
        return;
    const int size = m_form.rom().isLoaded() && m_form.rom().buffer().size() >= TBinEdit::LargeImage
                         ? TBinEdit::LargeImage
                         : TBinEdit::SmallImage;
    // The question about unsaved changes; Cancel leaves image and emulator alone.
    if (!m_form.document().close())
        return;
    const QPointer<TRTPCommands> self(this);
    startShown(kind, QByteArray(size, '\0'), [self](const TRTPResult& r) {
        if (!self || !r.ok())
            return;
        // An all-zero image is no ROM: it stays unloaded.
        if (std::all_of(r.image.cbegin(), r.image.cend(), [](char c) { return c == 0; }))
            return;
        self->m_form.rom().buffer().loadBytes(r.image);
        self->m_form.document().loadReceivedImage();
        self->m_form.refreshViews();
    });
}

void TRTPCommands::writeImage(int kind)
{
    if (m_link->busy() || !connected() || !m_form.rom().isLoaded())
        return;
    startShown(kind, currentImage(), {});
}

void TRTPCommands::RTPVerifyExecute()
{
    if (m_link->busy() || !connected() || !m_form.rom().isLoaded())
        return;
    IMessageService* messages = m_services.messages;
    startShown(KindVerify, currentImage(), [messages](const TRTPResult& r) {
        if (!messages)
            return;
        const QString text = r.ok() ? QStringLiteral("Emulator data successfuly verified.")
                             : r.state == StateMismatch
                                 ? QStringLiteral("Emulator data is not the same as the current file.")
                                 : QStringLiteral("An unexpected error occured.");
        messages->showMessage(text, QStringLiteral("Verify"), r.ok() ? TMsgKind::Information : TMsgKind::Warning,
                              TMsgButton::OK);
    });
}

// ------------------------------------------------------------ automatic update

void TRTPCommands::setUpdatePane(const QString& text)
{
    if (m_updatePane)
        m_updatePane->setText(text);
}

void TRTPCommands::RTPAutoExecute()
{
    const bool on = !m_link->autoUpdate();
    m_link->setAutoUpdate(on);
    m_settings.rtp.autoUpdate = on;
    if (m_settingsStore)
        m_settingsStore->values().rtp.autoUpdate = on;
}

void TRTPCommands::RTPUpdateTablesExecute()
{
    if (!m_link->autoUpdate())
        RTPAutoExecute();
    TRom& rom = m_form.rom();
    if (!m_link->recording() || !rom.isLoaded())
        return;
    const TBinEdit& b = rom.buffer();
    for (int kind = tkLowFuel; kind <= tkHighIgn; ++kind) {
        const int start = rom.tableAddress(kind);
        if (start == 0 || !rom.tableFits(kind))
            continue;
        const int n = rom.rows(kind) * rom.columns(kind);
        for (int i = 0; i < n && start + i < b.size(); ++i)
            m_link->queue().push(static_cast<quint16>(start + i), b.readByte(start + i));
    }
}

void TRTPCommands::RTPRomDumpExecute()
{
    if (!m_link->autoUpdate())
        RTPAutoExecute();
    if (m_link->recording())
        m_form.rom().buffer().queueWholeImage();
}

void TRTPCommands::RTP27SF512Execute()
{
    m_settings.rtp.use512K = !m_settings.rtp.use512K;
    if (m_settingsStore)
        m_settingsStore->values().rtp.use512K = m_settings.rtp.use512K;
    applyLinkSettings();
}

void TRTPCommands::RTPPortExecute()
{
    if (!m_services.messages)
        return;
    const std::optional<QString> typed =
        m_services.messages->inputQuery(tr("Emulator Port"), tr("Serial device of the emulator:"), portName());
    if (!typed || typed->trimmed().isEmpty())
        return;
    const int index = m_ports->indexOfOrAdd(typed->trimmed());
    if (index < 0)
        return;
    for (TComSettings* com : {&m_settings.rtpCom, m_settingsStore ? &m_settingsStore->values().rtpCom : nullptr})
        if (com) {
            com->portIndex = index;
            com->portPath = m_ports->nameAt(index);
        }
    m_auto.reset();
    applyLinkSettings();
}
