#include "datalog/mdlDatalogTester.h"

#include "settings/mdlPortLists.h"

TDatalogConnectionTester::TDatalogConnectionTester(IClock& clock, ITimerFactory& timers,
                                                   std::function<std::unique_ptr<ISerialPort>()> makePort,
                                                   const TPortList* ports)
    : m_clock(clock), m_timers(timers), m_makePort(std::move(makePort)), m_ports(ports)
{}

TDatalogConnectionTester::~TDatalogConnectionTester()
{
    if (m_tuner)
        m_tuner->close();
}

void TDatalogConnectionTester::testDatalog(const TSettings& settings, Done done)
{
    if (m_tuner) { // one test at a time; the window is disabled meanwhile anyway
        done(false);
        return;
    }
    if (beforeTest)
        beforeTest();
    const TComSettings& com = settings.tunerCom;
    // The stored path names the port; the index only when there is none.
    const QString portName = !com.portPath.trimmed().isEmpty() ? com.portPath.trimmed()
                             : m_ports                         ? m_ports->nameAt(com.portIndex)
                                                               : QString();
    m_port = m_makePort ? m_makePort() : nullptr;
    m_tuner = std::make_unique<TTunerForm>(m_clock, m_timers, m_port.get(), nullptr);
    m_tuner->setSettings(tunerSettingsFrom(settings, portName));
    m_tuner->test([this, done](bool connected) {
        // The connection is still inside its own call stack here: free it
        // (then its port) once that has returned.
        m_tuner.release()->deleteLater();
        if (m_port)
            m_port.release()->deleteLater();
        done(connected);
    });
}

void TDatalogConnectionTester::testEmulator(const TSettings& settings, Done done)
{
    (m_emulator ? m_emulator : &m_none)->testEmulator(settings, std::move(done));
}

void TDatalogConnectionTester::detectEmulator(const TSettings& settings, Found found)
{
    (m_emulator ? m_emulator : &m_none)->detectEmulator(settings, std::move(found));
}
