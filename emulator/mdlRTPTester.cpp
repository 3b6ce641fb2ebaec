#include "emulator/mdlRTPTester.h"

#include "settings/mdlPortLists.h"
#include "settings/mdlSettings.h"

TRTPConnectionTester::TRTPConnectionTester(ITimerFactory& timers,
                                           std::function<std::unique_ptr<ISerialPort>()> makePort,
                                           const TPortList* ports)
    : m_timers(timers), m_makePort(std::move(makePort)), m_ports(ports)
{
    portExists = serialPortExists;
}

TRTPConnectionTester::~TRTPConnectionTester() = default;

bool TRTPConnectionTester::prepare(const TSettings& settings, const QString& portName, qint32 baud)
{
    // A link of the previous test is done with by now: its result was reported.
    m_link.reset();
    m_port = m_makePort();
    m_link = std::make_unique<TRTPForm>(m_timers, m_port.get(), nullptr);
    TRTPLinkSettings s = rtpSettingsFrom(settings, portName, 0);
    s.timeout = TestTimeout;
    s.maxTries = 1;
    if (baud > 0)
        s.port.baudRate = baud;
    m_link->setSettings(s);
    m_port->applySettings(s.port);
    return !portName.trimmed().isEmpty() && m_port->open();
}

void TRTPConnectionTester::testEmulator(const TSettings& settings, Done done)
{
    if (beforeTest)
        beforeTest();
    const QString name = m_ports ? m_ports->nameAt(settings.rtpCom.portIndex) : QString();
    if (!prepare(settings, name, 0)) {
        m_port->close();
        done(false);
        return;
    }
    m_link->start(
        rtp::KindDetect, {},
        [this, done](const TRTPResult& r) {
            m_port->close();
            done(r.ok());
        },
        true);
}

void TRTPConnectionTester::detectEmulator(const TSettings& settings, Found found)
{
    if (beforeTest)
        beforeTest();
    m_settings = std::make_unique<TSettings>(settings);
    m_found = std::move(found);
    tryPort(0);
}

void TRTPConnectionTester::tryPort(int index)
{
    const QStringList names = m_ports ? m_ports->entries() : QStringList();
    for (; index < std::min<int>(MaxPorts, static_cast<int>(names.size())); ++index) {
        const QString name = names.at(index);
        if (!portExists || !portExists(name))
            continue;
        if (!prepare(*m_settings, name, rtp::HighSpeedBaud)) {
            m_port->close();
            continue;
        }
        m_link->start(
            rtp::KindDetect, {},
            [this, index](const TRTPResult& r) {
                m_port->close();
                if (r.ok()) {
                    if (Found f = std::move(m_found))
                        f(index);
                    return;
                }
                // Not from inside the link that just ended: the next port gets a new one.
                QMetaObject::invokeMethod(
                    &m_anchor, [this, index] { tryPort(index + 1); }, Qt::QueuedConnection);
            },
            true);
        return;
    }
    if (Found f = std::move(m_found))
        f(std::nullopt);
}
