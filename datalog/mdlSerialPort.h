#pragma once

// The serial line as the datalog and emulator links see it: a small interface
// with a QSerialPort implementation for real ports and pseudo-terminals.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QSerialPort;

// Index orders of the settings file's ParityIndex and StopBitsIndex lists.
enum class TParity { Even = 0, Odd = 1, None = 2, Mark = 3, Space = 4 };
enum class TStopBits { One = 0, OneAndHalf = 1, Two = 2 };

// Everything needed to open a port.
struct TSerialSettings {
    QString portName;
    qint32 baudRate = 38400;
    int dataBits = 8;
    TParity parity = TParity::None;
    TStopBits stopBits = TStopBits::One;

    // From the settings file's list indices: data bits list "4".."8" (index 4
    // is 8 bits), parity even/odd/none/mark/space, stop bits one/one and a
    // half/two. Out-of-range indices fall back to 8N1.
    static TSerialSettings fromIndices(const QString& portName, qint32 baud, int dataBitsIndex, int parityIndex,
                                       int stopBitsIndex);
};

class ISerialPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ISerialPort() override = default;

    virtual void setPortName(const QString& name) = 0;
    [[nodiscard]] virtual QString portName() const = 0;
    virtual void setBaudRate(qint32 baud) = 0;
    [[nodiscard]] virtual qint32 baudRate() const = 0;
    virtual void setDataBits(int bits) = 0;
    [[nodiscard]] virtual int dataBits() const = 0;
    virtual void setParity(TParity parity) = 0;
    [[nodiscard]] virtual TParity parity() const = 0;
    virtual void setStopBits(TStopBits stopBits) = 0;
    [[nodiscard]] virtual TStopBits stopBits() const = 0;

    void applySettings(const TSerialSettings& s);

    // Opens the named port. False when the port cannot be opened at all; a
    // line setting the device refuses (pseudo-terminals refuse parity, 7 data
    // bits...) is only reported through warning().
    virtual bool open() = 0;
    virtual void close() = 0;
    [[nodiscard]] virtual bool isOpen() const = 0;
    [[nodiscard]] virtual QString errorString() const = 0;
    // Drops what was received and not read yet, the driver's buffer included.
    virtual void clearInput() = 0;

    // Queues the bytes for sending; returns the count accepted or -1.
    virtual qint64 write(const QByteArray& bytes) = 0;

    // Modem lines. False (and a warning) when the device does not support them.
    virtual bool setDtr(bool on) = 0;
    virtual bool setRts(bool on) = 0;

Q_SIGNALS:
    // Each chunk of received bytes, in order, on the GUI thread.
    void bytesReceived(const QByteArray& bytes);
    // A setting or modem line the device refused; the port stays usable.
    void warning(const QString& text);
    // The open port failed (device removed, read error).
    void portError(const QString& text);
};

// Whether a port of that name exists: a system serial device or a path to a
// character device (pseudo-terminals, links under /dev/serial/...).
bool serialPortExists(const QString& name);
// The system's serial devices, by name.
QStringList serialPortNames();

class TQtSerialPort : public ISerialPort {
    Q_OBJECT
public:
    explicit TQtSerialPort(QObject* parent = nullptr);
    ~TQtSerialPort() override;

    void setPortName(const QString& name) override;
    [[nodiscard]] QString portName() const override { return m_settings.portName; }
    void setBaudRate(qint32 baud) override;
    [[nodiscard]] qint32 baudRate() const override { return m_settings.baudRate; }
    void setDataBits(int bits) override;
    [[nodiscard]] int dataBits() const override { return m_settings.dataBits; }
    void setParity(TParity parity) override;
    [[nodiscard]] TParity parity() const override { return m_settings.parity; }
    void setStopBits(TStopBits stopBits) override;
    [[nodiscard]] TStopBits stopBits() const override { return m_settings.stopBits; }

    bool open() override;
    void close() override;
    [[nodiscard]] bool isOpen() const override;
    [[nodiscard]] QString errorString() const override { return m_error; }
    void clearInput() override;
    qint64 write(const QByteArray& bytes) override;
    bool setDtr(bool on) override;
    bool setRts(bool on) override;

private:
    void applyLineSettings();
    void onReadyRead();

    QSerialPort* m_port;
    TSerialSettings m_settings;
    QString m_error;
};
