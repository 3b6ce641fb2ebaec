#include "datalog/mdlSerialPort.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>

TSerialSettings TSerialSettings::fromIndices(const QString& portName, qint32 baud, int dataBitsIndex, int parityIndex,
                                             int stopBitsIndex)
{
    TSerialSettings s;
    s.portName = portName;
    s.baudRate = baud > 0 ? baud : 38400;
    s.dataBits = dataBitsIndex >= 0 && dataBitsIndex <= 4 ? 4 + dataBitsIndex : 8;
    s.parity = parityIndex >= 0 && parityIndex <= 4 ? static_cast<TParity>(parityIndex) : TParity::None;
    s.stopBits = stopBitsIndex >= 0 && stopBitsIndex <= 2 ? static_cast<TStopBits>(stopBitsIndex) : TStopBits::One;
    return s;
}

void ISerialPort::applySettings(const TSerialSettings& s)
{
    setPortName(s.portName);
    setBaudRate(s.baudRate);
    setDataBits(s.dataBits);
    setParity(s.parity);
    setStopBits(s.stopBits);
}

bool serialPortExists(const QString& name)
{
    if (name.isEmpty())
        return false;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& p : ports)
        if (p.portName() == name || p.systemLocation() == name)
            return true;
    // Pseudo-terminals and udev links are not listed but open by path.
    const QFileInfo fi(name);
    return fi.exists() && !fi.isDir() && !fi.isFile();
}

QStringList serialPortNames()
{
    QStringList out;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& p : ports)
        out << p.systemLocation();
    return out;
}

// ---------------------------------------------------------------- Qt port

namespace {
QSerialPort::DataBits qtDataBits(int bits)
{
    switch (bits) {
    case 5: return QSerialPort::Data5;
    case 6: return QSerialPort::Data6;
    case 7: return QSerialPort::Data7;
    default: return QSerialPort::Data8;
    }
}

QSerialPort::Parity qtParity(TParity p)
{
    switch (p) {
    case TParity::Even: return QSerialPort::EvenParity;
    case TParity::Odd: return QSerialPort::OddParity;
    case TParity::Mark: return QSerialPort::MarkParity;
    case TParity::Space: return QSerialPort::SpaceParity;
    case TParity::None: break;
    }
    return QSerialPort::NoParity;
}

// Linux has no one-and-a-half stop bits; two is the nearest the driver takes.
QSerialPort::StopBits qtStopBits(TStopBits s)
{
    return s == TStopBits::One ? QSerialPort::OneStop : QSerialPort::TwoStop;
}
} // namespace

TQtSerialPort::TQtSerialPort(QObject* parent) : ISerialPort(parent), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, &TQtSerialPort::onReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        // Only errors that end the link; setting refusals are handled in open().
        if (e == QSerialPort::ResourceError || e == QSerialPort::ReadError || e == QSerialPort::WriteError) {
            m_error = m_port->errorString();
            Q_EMIT portError(m_error);
        }
    });
}

TQtSerialPort::~TQtSerialPort() = default;

void TQtSerialPort::setPortName(const QString& name)
{
    m_settings.portName = name;
    if (!m_port->isOpen())
        m_port->setPortName(name);
}

void TQtSerialPort::setBaudRate(qint32 baud)
{
    m_settings.baudRate = baud;
    if (m_port->isOpen() && !m_port->setBaudRate(baud))
        Q_EMIT warning(
            QStringLiteral("%1: baud rate %2 not accepted (%3).").arg(portName()).arg(baud).arg(m_port->errorString()));
}

void TQtSerialPort::setDataBits(int bits)
{
    m_settings.dataBits = bits;
    if (m_port->isOpen())
        applyLineSettings();
}

void TQtSerialPort::setParity(TParity parity)
{
    m_settings.parity = parity;
    if (m_port->isOpen())
        applyLineSettings();
}

void TQtSerialPort::setStopBits(TStopBits stopBits)
{
    m_settings.stopBits = stopBits;
    if (m_port->isOpen())
        applyLineSettings();
}

void TQtSerialPort::applyLineSettings()
{
    const auto warn = [this](const QString& what) {
        Q_EMIT warning(QStringLiteral("%1: %2 not accepted (%3).").arg(portName(), what, m_port->errorString()));
        m_port->clearError();
    };
    if (m_port->dataBits() != qtDataBits(m_settings.dataBits) && !m_port->setDataBits(qtDataBits(m_settings.dataBits)))
        warn(QStringLiteral("%1 data bits").arg(m_settings.dataBits));
    if (m_port->parity() != qtParity(m_settings.parity) && !m_port->setParity(qtParity(m_settings.parity)))
        warn(QStringLiteral("parity"));
    if (m_port->stopBits() != qtStopBits(m_settings.stopBits) && !m_port->setStopBits(qtStopBits(m_settings.stopBits)))
        warn(QStringLiteral("stop bits"));
}

bool TQtSerialPort::open()
{
    if (m_port->isOpen())
        return true;
    // Open as plain 8N1 first: some devices (pseudo-terminals among them)
    // refuse parity or 7 data bits, and that must not fail the connection.
    m_port->setPortName(m_settings.portName);
    m_port->setBaudRate(m_settings.baudRate);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_error = m_port->errorString();
        m_port->clearError();
        return false;
    }
    m_error.clear();
    applyLineSettings();
    // Whatever the device held from before (a reply to the last session's
    // request) is not an answer to anything this connection asks.
    clearInput();
    return true;
}

void TQtSerialPort::clearInput()
{
    if (!m_port->isOpen())
        return;
    m_port->clear(QSerialPort::Input);
    m_port->readAll();
}

void TQtSerialPort::close()
{
    if (m_port->isOpen())
        m_port->close();
}

bool TQtSerialPort::isOpen() const { return m_port->isOpen(); }

qint64 TQtSerialPort::write(const QByteArray& bytes)
{
    if (!m_port->isOpen())
        return -1;
    const qint64 n = m_port->write(bytes);
    // Push the bytes to the driver now instead of on the next loop pass: the
    // request/reply turn-around is what limits the sample rate.
    m_port->flush();
    return n;
}

bool TQtSerialPort::setDtr(bool on)
{
    if (m_port->isOpen() && m_port->setDataTerminalReady(on))
        return true;
    Q_EMIT warning(QStringLiteral("%1: DTR not supported (%2).").arg(portName(), m_port->errorString()));
    m_port->clearError();
    return false;
}

bool TQtSerialPort::setRts(bool on)
{
    if (m_port->isOpen() && m_port->setRequestToSend(on))
        return true;
    Q_EMIT warning(QStringLiteral("%1: RTS not supported (%2).").arg(portName(), m_port->errorString()));
    m_port->clearError();
    return false;
}

void TQtSerialPort::onReadyRead()
{
    const QByteArray bytes = m_port->readAll();
    if (!bytes.isEmpty())
        Q_EMIT bytesReceived(bytes);
}
