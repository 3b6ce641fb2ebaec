// The emulator and datalog port pages of the settings window.

#include "settings/mdlIniFile.h"
#include "settings/mdlPortLists.h"
#include "settings/ui/frmSettingsPages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QComboBox* newList(QWidget* parent, const QString& name, const QStringList& items, bool editable = false)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->addItems(items);
    c->setEditable(editable);
    if (editable)
        c->setInsertPolicy(QComboBox::NoInsert);
    return c;
}

constexpr int DefaultTimeout = 250;
constexpr int DefaultTries = 3;
} // namespace

// ---------------------------------------------------------------- Port group

TPortGroup::TPortGroup(const QString& prefix, TPortList& ports, QWidget* parent) : QWidget(parent), m_ports(ports)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_serial = new QGroupBox(QStringLiteral("Serial port"), this);
    m_serial->setObjectName(prefix + QStringLiteral("SerialGroup"));
    auto* form = new QFormLayout(m_serial);
    cbxPort = newList(m_serial, QStringLiteral("cbx%1Port").arg(prefix), {}, true);
    cbxBaud = newList(m_serial, QStringLiteral("cbx%1Baud").arg(prefix), baudRateList(), true);
    cbxDataBits = newList(m_serial, QStringLiteral("cbx%1DataBits").arg(prefix), dataBitsList());
    cbxParity = newList(m_serial, QStringLiteral("cbx%1Parity").arg(prefix), parityList());
    cbxStopBits = newList(m_serial, QStringLiteral("cbx%1StopBits").arg(prefix), stopBitsList());
    form->addRow(QStringLiteral("Port:"), cbxPort);
    form->addRow(QStringLiteral("Baud rate:"), cbxBaud);
    form->addRow(QStringLiteral("Data bits:"), cbxDataBits);
    form->addRow(QStringLiteral("Parity:"), cbxParity);
    form->addRow(QStringLiteral("Stop bits:"), cbxStopBits);
    outer->addWidget(m_serial);

    auto* conn = new QFormLayout;
    txtTimeout = newIntField(this, QStringLiteral("txt%1Timeout").arg(prefix).toLatin1().constData(), false);
    txtMaxTries = newIntField(this, QStringLiteral("txt%1MaxTries").arg(prefix).toLatin1().constData(), false);
    conn->addRow(QStringLiteral("Poll interval (ms):"), txtTimeout);
    conn->addRow(QStringLiteral("Tries:"), txtMaxTries);
    outer->addLayout(conn);
}

void TPortGroup::fill(const TComSettings& com, const TConnectionSettings& conn)
{
    cbxPort->clear();
    cbxPort->addItems(m_ports.entries());
    if (com.portIndex < cbxPort->count())
        cbxPort->setCurrentIndex(com.portIndex);
    else
        cbxPort->setCurrentText(QString()); // the port is gone; leave the choice open
    const qsizetype baud = baudRateList().indexOf(QString::number(com.baudRate));
    if (baud >= 0)
        cbxBaud->setCurrentIndex(static_cast<int>(baud));
    else
        cbxBaud->setEditText(QString::number(com.baudRate));
    cbxDataBits->setCurrentIndex(com.dataBitsIndex);
    cbxParity->setCurrentIndex(com.parityIndex);
    cbxStopBits->setCurrentIndex(com.stopBitsIndex);
    showInt(txtTimeout, conn.timeout);
    showInt(txtMaxTries, conn.maxTries);
}

void TPortGroup::apply(TComSettings& com, TConnectionSettings& conn) const
{
    const QString port = cbxPort->currentText().trimmed();
    if (!port.isEmpty()) {
        const int index = m_ports.indexOfOrAdd(port);
        if (index >= 0) {
            com.portIndex = index;
            com.portPath = m_ports.nameAt(index);
        }
    }
    const auto baud = TIniFile::parseInteger(cbxBaud->currentText());
    if (baud && *baud > 0)
        com.baudRate = *baud;
    if (cbxDataBits->currentIndex() >= 0)
        com.dataBitsIndex = cbxDataBits->currentIndex();
    if (cbxParity->currentIndex() >= 0)
        com.parityIndex = cbxParity->currentIndex();
    if (cbxStopBits->currentIndex() >= 0)
        com.stopBitsIndex = cbxStopBits->currentIndex();
    const int timeout = intFrom(txtTimeout, conn.timeout);
    if (timeout > 0)
        conn.timeout = timeout;
    const int tries = intFrom(txtMaxTries, conn.maxTries);
    if (tries > 0)
        conn.maxTries = tries;
}

void TPortGroup::defaults()
{
    cbxPort->clear();
    cbxPort->addItems(m_ports.entries());
    cbxPort->setCurrentIndex(cbxPort->count() > 0 ? 0 : -1);
    cbxBaud->setCurrentIndex(DefaultBaudIndex);
    cbxDataBits->setCurrentIndex(4);
    cbxParity->setCurrentIndex(2);
    cbxStopBits->setCurrentIndex(0);
    showInt(txtTimeout, DefaultTimeout);
    showInt(txtMaxTries, DefaultTries);
}

void TPortGroup::selectBaudEntry(int index) { cbxBaud->setCurrentIndex(index); }

void TPortGroup::setLineSettingsEnabled(bool on)
{
    cbxBaud->setEnabled(on);
    cbxDataBits->setEnabled(on);
    cbxParity->setEnabled(on);
    cbxStopBits->setEnabled(on);
}

void TPortGroup::setSerialGroupEnabled(bool on) { m_serial->setEnabled(on); }

QLineEdit* TPortGroup::baudField() const { return cbxBaud->lineEdit(); }

void TSettingsPage::checkPortFields(const TPortGroup& port, const QString& com, const QString& connection)
{
    checkField(port.baudField(), com, QStringLiteral("BaudRate"), QStringLiteral("Baud rate"));
    checkField(port.timeoutField(), connection, QStringLiteral("Timeout"), QStringLiteral("Poll interval (ms)"));
    checkField(port.triesField(), connection, QStringLiteral("MaxTries"), QStringLiteral("Tries"));
}

// ---------------------------------------------------------------- Emulator

TEmulatorPage::TEmulatorPage(TPortList& ports, QWidget* parent) : TSettingsPage(parent)
{
    setObjectName(QStringLiteral("tsEmulator"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QFormLayout;
    cbxHardware = newList(this, QStringLiteral("cbxHardware"), emulatorHardwareList());
    top->addRow(QStringLiteral("Hardware:"), cbxHardware);
    layout->addLayout(top);
    m_port = new TPortGroup(QStringLiteral("RTP"), ports, this);
    layout->addWidget(m_port);
    checkPortFields(*m_port, QStringLiteral("RTP Com Settings"), QStringLiteral("RTP Connection Settings"));
    chk512K = new QCheckBox(QStringLiteral("27SF512 chip (512 KB image)"), this);
    chk512K->setObjectName(QStringLiteral("chk512K"));
    chkAutoUpdate = new QCheckBox(QStringLiteral("Upload changes automatically"), this);
    chkAutoUpdate->setObjectName(QStringLiteral("chkAutoUpdate"));
    chkAutoConnect = new QCheckBox(QStringLiteral("Connect automatically"), this);
    chkAutoConnect->setObjectName(QStringLiteral("chkAutoConnect"));
    btnTestConnection = new QPushButton(QStringLiteral("Test Connection"), this);
    btnTestConnection->setObjectName(QStringLiteral("btnTestRTP"));
    layout->addWidget(chk512K);
    layout->addWidget(chkAutoUpdate);
    layout->addWidget(chkAutoConnect);
    layout->addWidget(btnTestConnection, 0, Qt::AlignLeft);
    layout->addStretch(1);
    connect(cbxHardware, &QComboBox::activated, this, [this](int index) { hardwareChanged(index, true); });
}

void TEmulatorPage::hardwareChanged(int index, bool byUser)
{
    // Hardware other than the first is found by scanning the ports at the
    // emulators' high speed.
    btnTestConnection->setText(index == 0 ? QStringLiteral("Test Connection") : QStringLiteral("Detect Connection"));
    chk512K->setVisible(index == 2);
    if (byUser && index != 0)
        m_port->selectBaudEntry(EmulatorBaudIndex);
}

void TEmulatorPage::fillPort(const TSettings& s)
{
    cbxHardware->setCurrentIndex(s.rtp.hardware);
    hardwareChanged(s.rtp.hardware, false);
    m_port->fill(s.rtpCom, s.rtpConnection);
}

void TEmulatorPage::fill(const TSettings& s)
{
    fillPort(s);
    chk512K->setChecked(s.rtp.use512K);
    chkAutoUpdate->setChecked(s.rtp.autoUpdate);
    chkAutoConnect->setChecked(s.rtp.autoConnect);
}

void TEmulatorPage::applyPort(TSettings& s) const
{
    if (cbxHardware->currentIndex() >= 0)
        s.rtp.hardware = cbxHardware->currentIndex();
    m_port->apply(s.rtpCom, s.rtpConnection);
}

void TEmulatorPage::apply(TSettings& s) const
{
    applyPort(s);
    s.rtp.use512K = chk512K->isChecked();
    s.rtp.autoUpdate = chkAutoUpdate->isChecked();
    s.rtp.autoConnect = chkAutoConnect->isChecked();
}

void TEmulatorPage::defaults()
{
    cbxHardware->setCurrentIndex(0);
    hardwareChanged(0, false);
    m_port->defaults();
}

// ---------------------------------------------------------------- Datalog

TDatalogPage::TDatalogPage(TPortList& ports, QWidget* parent) : TSettingsPage(parent)
{
    setObjectName(QStringLiteral("tsDatalog"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QFormLayout;
    cbxProtocol = newList(this, QStringLiteral("cbxProtocol"), protocolList());
    top->addRow(QStringLiteral("Protocol:"), cbxProtocol);
    layout->addLayout(top);
    m_port = new TPortGroup(QStringLiteral("Tuner"), ports, this);
    layout->addWidget(m_port);
    checkPortFields(*m_port, QStringLiteral("Tuner Com Settings"), QStringLiteral("Tuner Connection Settings"));
    btnTestConnection = new QPushButton(QStringLiteral("Test Connection"), this);
    btnTestConnection->setObjectName(QStringLiteral("btnTestTuner"));
    layout->addWidget(btnTestConnection, 0, Qt::AlignLeft);
    layout->addStretch(1);
    connect(cbxProtocol, &QComboBox::currentIndexChanged, this, &TDatalogPage::protocolChanged);
}

void TDatalogPage::protocolChanged(int index)
{
    // Protocols 2 and 3 talk through the emulator's port and its settings.
    m_port->setSerialGroupEnabled(index != 2 && index != 3);
}

void TDatalogPage::fillPort(const TSettings& s)
{
    cbxProtocol->setCurrentIndex(s.tunerCom.protocolIndex);
    protocolChanged(s.tunerCom.protocolIndex);
    m_port->fill(s.tunerCom, s.tunerConnection);
}

void TDatalogPage::fill(const TSettings& s) { fillPort(s); }

void TDatalogPage::applyPort(TSettings& s) const
{
    if (cbxProtocol->currentIndex() >= 0)
        s.tunerCom.protocolIndex = cbxProtocol->currentIndex();
    m_port->apply(s.tunerCom, s.tunerConnection);
}

void TDatalogPage::apply(TSettings& s) const { applyPort(s); }

void TDatalogPage::defaults() { m_port->defaults(); }
