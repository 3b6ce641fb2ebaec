#pragma once

// The settings window's emulator buttons on a link of their own: "Test
// Connection" runs one handshake on the configured port, "Detect Connection"
// tries each existing port of the numbered list (at most the first 32) at
// 920000 baud and stops at the first that answers. Each handshake has a 50 ms
// time-out and one try; the port is closed afterwards.

#include "emulator/frmRTP.h"
#include "settings/mdlConnectionTester.h"

#include <QObject>
#include <functional>
#include <memory>

class TPortList;

class TRTPConnectionTester : public IConnectionTester {
public:
    static constexpr int MaxPorts = 32;
    static constexpr int TestTimeout = 50;

    TRTPConnectionTester(ITimerFactory& timers, std::function<std::unique_ptr<ISerialPort>()> makePort,
                         const TPortList* ports);
    ~TRTPConnectionTester() override;

    // Runs before a test: the program's emulator link lets go of the port.
    std::function<void()> beforeTest;
    // Whether a numbered port exists (serialPortExists by default).
    std::function<bool(const QString&)> portExists;

    void testDatalog(const TSettings&, Done done) override { done(false); }
    void testEmulator(const TSettings& settings, Done done) override;
    void detectEmulator(const TSettings& settings, Found found) override;

    [[nodiscard]] bool isTesting() const { return m_link && m_link->busy(); }

private:
    bool prepare(const TSettings& settings, const QString& portName, qint32 baud);
    void tryPort(int index);

    ITimerFactory& m_timers;
    std::function<std::unique_ptr<ISerialPort>()> m_makePort;
    const TPortList* m_ports;
    std::unique_ptr<ISerialPort> m_port;
    std::unique_ptr<TRTPForm> m_link;
    QObject m_anchor; // the context of the step to the next port
    std::unique_ptr<TSettings> m_settings;
    Found m_found;
};
