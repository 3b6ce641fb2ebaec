#include "settings/ui/frmSettings.h"

#include "settings/mdlIniFile.h"
#include "settings/mdlMessages.h"
#include "settings/mdlSettingsStore.h"
#include "settings/ui/frmSettingsPages.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
// Values as the store keeps them: a value a later load would refuse (a zero
// poll interval, say) becomes the key's default now, not after a restart.
TSettings sanitized(const TSettings& s)
{
    TIniFile ini;
    s.write(ini);
    TSettings out;
    out.read(ini);
    out.recentFiles = s.recentFiles;
    return out;
}
} // namespace

TSettingsForm::TSettingsForm(TSettingsStore& store, IMessageService& messages, TPortList* ports, QWidget* parent)
    : QDialog(parent), m_store(store), m_messages(messages),
      m_ownPorts(ports ? nullptr : std::make_unique<TPortList>()), m_ports(ports ? *ports : *m_ownPorts),
      m_tester(&m_noTester)
{
    setObjectName(QStringLiteral("SettingsForm"));
    setWindowTitle(QStringLiteral("Settings"));

    pcSettings = new QTabWidget(this);
    pcSettings->setObjectName(QStringLiteral("pcSettings"));
    // Every page's tab stays in sight: the window is as wide as its tabs
    // rather than hiding the last ones behind scroll arrows.
    pcSettings->setUsesScrollButtons(false);
    m_general = new TGeneralPage(pcSettings);
    m_options = new TOptionDeltasPage(pcSettings);
    m_emulator = new TEmulatorPage(m_ports, pcSettings);
    m_datalog = new TDatalogPage(m_ports, pcSettings);
    m_tuning = new TTuningPage(pcSettings);
    m_wideband = new TWidebandPage(m_store.widebands(), pcSettings);
    m_dyno = new TDynoPage(pcSettings);
    m_graphs = new TDataGraphsPage(pcSettings);
    pcSettings->addTab(m_general, QStringLiteral("General"));
    pcSettings->addTab(m_options, QStringLiteral("Options"));
    pcSettings->addTab(m_emulator, QStringLiteral("Emulator"));
    pcSettings->addTab(m_datalog, QStringLiteral("Datalog Port"));
    pcSettings->addTab(m_tuning, QStringLiteral("Tuning Conditions"));
    pcSettings->addTab(m_wideband, QStringLiteral("Wideband"));
    pcSettings->addTab(m_dyno, QStringLiteral("Dyno"));
    pcSettings->addTab(m_graphs, QStringLiteral("Data Graphs"));

    btnDefaults = new QPushButton(QStringLiteral("Defaults"), this);
    btnDefaults->setObjectName(QStringLiteral("btnDefaults"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btnDefaults);
    bottom->addStretch(1);
    bottom->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pcSettings, 1);
    layout->addLayout(bottom);

    connect(buttons, &QDialogButtonBox::accepted, this, &TSettingsForm::btnOKClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &TSettingsForm::btnCancelClick);
    connect(btnDefaults, &QPushButton::clicked, this, &TSettingsForm::btnDefaultsClick);
    connect(m_emulator->testButton(), &QPushButton::clicked, this, &TSettingsForm::btnTestRTPClick);
    connect(m_datalog->testButton(), &QPushButton::clicked, this, &TSettingsForm::btnTestTunerClick);
    connect(pcSettings, &QTabWidget::currentChanged, this, &TSettingsForm::currentPageChanged);
    refill();
}

TSettingsForm::~TSettingsForm() = default;

void TSettingsForm::setConnectionTester(IConnectionTester* tester) { m_tester = tester ? tester : &m_noTester; }

void TSettingsForm::setScriptConversions(std::function<QStringList()> captions)
{
    m_wideband->setScriptConversions(std::move(captions));
}

bool TSettingsForm::loadSettings()
{
    bool ok = true;
    QString error;
    if (!m_store.prepareFolder(&error)) {
        ok = false;
        m_messages.showMessage(error, QStringLiteral("Settings Folder"), TMsgKind::Warning, TMsgButton::OK);
    }
    if (!m_store.load(&error)) {
        ok = false;
        m_messages.showMessage(error + QStringLiteral("\r\n\r\nDefault settings are used."),
                               QStringLiteral("Settings Not Loaded"), TMsgKind::Warning, TMsgButton::OK);
    }
    m_store.apply();
    refill();
    return ok;
}

bool TSettingsForm::saveOrReport()
{
    QString error;
    if (m_store.save(&error))
        return true;
    m_messages.showMessage(error, QStringLiteral("Settings Not Saved"), TMsgKind::Error, TMsgButton::OK);
    return false;
}

bool TSettingsForm::saveSettings() { return saveOrReport(); }

void TSettingsForm::refill()
{
    const TSettings& s = m_store.values();
    m_general->fill(s);
    m_options->fill(s);
    m_emulator->fill(s);
    m_datalog->fill(s);
    m_tuning->fill(s);
    m_wideband->fill(s);
    m_dyno->fill(s);
    m_graphs->fill(s);
    currentPageChanged();
}

void TSettingsForm::showEvent(QShowEvent* event)
{
    // The live objects may have changed values since the last load or OK
    // (display toggles in the menus, the window size): show those.
    m_store.collect();
    refill();
    QDialog::showEvent(event);
}

void TSettingsForm::currentPageChanged()
{
    auto* page = qobject_cast<TSettingsPage*>(pcSettings->currentWidget());
    btnDefaults->setEnabled(page && page->hasDefaults());
}

void TSettingsForm::btnOKClick()
{
    // A value the settings cannot take is named and the window stays open on
    // it, instead of the value being dropped without a word.
    for (int i = 0; i < pcSettings->count(); ++i) {
        const auto* page = qobject_cast<TSettingsPage*>(pcSettings->widget(i));
        const auto refused = page ? page->refusedField() : std::nullopt;
        if (!refused)
            continue;
        pcSettings->setCurrentIndex(i);
        m_messages.showMessage(refused->message, QString(), TMsgKind::Warning, TMsgButton::OK);
        refused->focus();
        return;
    }
    // Start from the live values, so what the pages do not edit (recent
    // files, window size) is handed back as it is now, not as it was loaded.
    m_store.collect();
    // The pages in the order their consumers expect them.
    TSettings v = m_store.values();
    m_tuning->apply(v);
    m_wideband->apply(v);
    m_datalog->apply(v);
    m_options->apply(v);
    m_general->apply(v);
    m_emulator->apply(v);
    m_dyno->apply(v);
    m_graphs->apply(v);
    m_store.setValues(sanitized(v));
    m_store.apply();
    saveOrReport(); // the values are live either way; the exit save tries again
    accept();
}

void TSettingsForm::btnCancelClick() { reject(); }

void TSettingsForm::btnDefaultsClick()
{
    if (auto* page = qobject_cast<TSettingsPage*>(pcSettings->currentWidget()))
        page->defaults();
}

void TSettingsForm::beginTest()
{
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TSettingsForm::endTest() { setEnabled(true); }

void TSettingsForm::btnTestTunerClick()
{
    beginTest();
    // The page's port choice is applied before the test, as the link will use it.
    m_store.collect();
    TSettings v = m_store.values();
    m_datalog->applyPort(v);
    m_store.setValues(sanitized(v));
    QPointer<TSettingsForm> self(this);
    m_tester->testDatalog(m_store.values(), [self](bool connected) {
        QApplication::restoreOverrideCursor();
        if (!self)
            return;
        self->m_messages.showMessage(connected ? QStringLiteral("Successfully connected to the ECU.")
                                               : QStringLiteral("Could not connect to the ECU."),
                                     connected ? QStringLiteral("Connected") : QStringLiteral("Not Connected"),
                                     TMsgKind::Information, TMsgButton::OK);
        // Only this page is refilled: edits on the other pages are not lost.
        self->m_datalog->fillPort(self->m_store.values());
        self->endTest();
    });
}

void TSettingsForm::btnTestRTPClick()
{
    beginTest();
    m_store.collect();
    TSettings v = m_store.values();
    m_emulator->applyPort(v);
    m_store.setValues(sanitized(v));
    QPointer<TSettingsForm> self(this);
    const auto report = [self](bool connected) {
        self->m_messages.showMessage(connected ? QStringLiteral("Successfully connected to device.")
                                               : QStringLiteral("Could not connect to device."),
                                     connected ? QStringLiteral("Connected") : QStringLiteral("Not Connected"),
                                     TMsgKind::Information, TMsgButton::OK);
        self->m_emulator->fillPort(self->m_store.values());
        self->endTest();
    };
    if (m_store.values().rtp.hardware == 0) {
        m_tester->testEmulator(m_store.values(), [self, report](bool connected) {
            QApplication::restoreOverrideCursor();
            if (self)
                report(connected);
        });
    } else {
        m_tester->detectEmulator(m_store.values(), [self, report](std::optional<int> port) {
            QApplication::restoreOverrideCursor();
            if (!self)
                return;
            if (port) {
                self->m_store.values().rtpCom.portIndex = *port;
                self->m_store.values().rtpCom.baudRate = EmulatorBaudRate;
            }
            report(port.has_value());
        });
    }
}
