#pragma once

// The settings window's datalog Test button on the real link: a handshake
// with the page's port and protocol, a 50 ms supervisor and one try. The test
// runs on a connection of its own (no messages: the window reports the
// outcome), after the program's running connection has been closed so the
// two never hold the same port. The emulator tests go to the emulator link's
// tester when there is one.

#include "datalog/frmTuner.h"
#include "settings/mdlConnectionTester.h"

#include <functional>
#include <memory>

class TPortList;

class TDatalogConnectionTester : public IConnectionTester {
public:
    // `makePort` creates the test's port (a TQtSerialPort in the program).
    TDatalogConnectionTester(IClock& clock, ITimerFactory& timers,
                             std::function<std::unique_ptr<ISerialPort>()> makePort, const TPortList* ports);
    ~TDatalogConnectionTester() override;

    // Called before a datalog test starts: closes the program's connection.
    std::function<void()> beforeTest;
    // Receives the emulator tests (none: they report no connection).
    void setEmulatorTester(IConnectionTester* tester) { m_emulator = tester; }

    void testDatalog(const TSettings& settings, Done done) override;
    void testEmulator(const TSettings& settings, Done done) override;
    void detectEmulator(const TSettings& settings, Found found) override;

    [[nodiscard]] bool isTesting() const { return m_tuner != nullptr; }

private:
    IClock& m_clock;
    ITimerFactory& m_timers;
    std::function<std::unique_ptr<ISerialPort>()> m_makePort;
    const TPortList* m_ports;
    TNoConnectionTester m_none;
    IConnectionTester* m_emulator = nullptr;
    std::unique_ptr<ISerialPort> m_port;
    std::unique_ptr<TTunerForm> m_tuner;
};
