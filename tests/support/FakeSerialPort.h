#pragma once

#include "datalog/mdlSerialPort.h"

#include <QList>
#include <utility>

// In-memory port for unit tests: records what is written, delivers what the
// test injects, and can be told to refuse opening or the modem lines.
class TFakeSerialPort : public ISerialPort {
    Q_OBJECT
public:
    using ISerialPort::ISerialPort;

    void setPortName(const QString& name) override { m_settings.portName = name; }
    [[nodiscard]] QString portName() const override { return m_settings.portName; }
    void setBaudRate(qint32 baud) override { m_settings.baudRate = baud; }
    [[nodiscard]] qint32 baudRate() const override { return m_settings.baudRate; }
    void setDataBits(int bits) override { m_settings.dataBits = bits; }
    [[nodiscard]] int dataBits() const override { return m_settings.dataBits; }
    void setParity(TParity parity) override { m_settings.parity = parity; }
    [[nodiscard]] TParity parity() const override { return m_settings.parity; }
    void setStopBits(TStopBits stopBits) override { m_settings.stopBits = stopBits; }
    [[nodiscard]] TStopBits stopBits() const override { return m_settings.stopBits; }

    bool open() override;
    void close() override { m_open = false; }
    [[nodiscard]] bool isOpen() const override { return m_open; }
    [[nodiscard]] QString errorString() const override { return m_open ? QString() : m_error; }
    void clearInput() override { m_unread.clear(); }
    qint64 write(const QByteArray& bytes) override;
    bool setDtr(bool on) override;
    bool setRts(bool on) override;

    // Test side.
    void inject(const QByteArray& bytes) { Q_EMIT bytesReceived(bytes); }
    void failPort(const QString& text) { Q_EMIT portError(text); }
    // Bytes the driver holds that were not read yet: delivered by
    // deliverUnread() unless clearInput() dropped them first.
    void leaveUnread(const QByteArray& bytes) { m_unread += bytes; }
    void deliverUnread()
    {
        const QByteArray bytes = std::exchange(m_unread, {});
        if (!bytes.isEmpty())
            inject(bytes);
    }
    [[nodiscard]] const QList<QByteArray>& writes() const { return m_writes; }
    [[nodiscard]] QByteArray written() const;
    void clearWrites() { m_writes.clear(); }
    [[nodiscard]] int openCount() const { return m_openCount; }
    [[nodiscard]] bool dtr() const { return m_dtr; }
    [[nodiscard]] bool rts() const { return m_rts; }

    bool refuseOpen = false;
    bool refuseModemLines = false;

private:
    TSerialSettings m_settings;
    QList<QByteArray> m_writes;
    QByteArray m_unread;
    QString m_error;
    bool m_open = false;
    bool m_dtr = false;
    bool m_rts = false;
    int m_openCount = 0;
};
