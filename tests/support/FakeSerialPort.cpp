#include "support/FakeSerialPort.h"

bool TFakeSerialPort::open()
{
    if (refuseOpen) {
        m_error = QStringLiteral("No such file or directory");
        return false;
    }
    m_open = true;
    ++m_openCount;
    return true;
}

qint64 TFakeSerialPort::write(const QByteArray& bytes)
{
    if (!m_open)
        return -1;
    m_writes << bytes;
    return bytes.size();
}

bool TFakeSerialPort::setDtr(bool on)
{
    if (refuseModemLines || !m_open) {
        Q_EMIT warning(QStringLiteral("%1: DTR not supported.").arg(portName()));
        return false;
    }
    m_dtr = on;
    return true;
}

bool TFakeSerialPort::setRts(bool on)
{
    if (refuseModemLines || !m_open) {
        Q_EMIT warning(QStringLiteral("%1: RTS not supported.").arg(portName()));
        return false;
    }
    m_rts = on;
    return true;
}

QByteArray TFakeSerialPort::written() const
{
    QByteArray all;
    for (const QByteArray& w : m_writes)
        all += w;
    return all;
}
