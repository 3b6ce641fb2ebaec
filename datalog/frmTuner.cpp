#include "datalog/frmTuner.h"

#include "settings/mdlMessages.h"
#include "settings/mdlSettings.h"

#include <algorithm>

int TTunerSettings::effectiveRequestInterval() const
{
    if (requestInterval > 0)
        return requestInterval;
    const qint64 baud = port.baudRate > 0 ? port.baudRate : 38400;
    const qint64 wireMs = (45 * 10 * 1000 + baud - 1) / baud; // longest request and reply
    return static_cast<int>(std::max<qint64>(100, 2 * wireMs + 20));
}

TTunerSettings tunerSettingsFrom(const TSettings& settings, const QString& portName)
{
    TTunerSettings t;
    const TComSettings& com = settings.tunerCom;
    t.protocolIndex = com.protocolIndex;
    t.port =
        TSerialSettings::fromIndices(portName, com.baudRate, com.dataBitsIndex, com.parityIndex, com.stopBitsIndex);
    t.timeout = settings.tunerConnection.timeout;
    t.maxTries = settings.tunerConnection.maxTries;
    return t;
}

namespace {

const QString NoPortText =
    QStringLiteral("No datalog port is chosen. Type one in Datalog > Datalog Port or pick one in the settings.");

} // namespace

TTunerForm::TTunerForm(IClock& clock, ITimerFactory& timers, ISerialPort* ownPort, IMessageService* messages,
                       QObject* parent)
    : QObject(parent), m_clock(clock), m_ownPort(ownPort), m_port(ownPort), m_messages(messages),
      m_supervisor(timers.createTimer()), m_request(timers.createTimer()), m_settle(timers.createTimer())
{
    m_supervisor->onTimeout = [this] { supervisorTick(); };
    m_request->onTimeout = [this] {
        if (m_p0Quiet) {
            endProtocol0Quiet();
        } else {
            if (m_state == StateStreaming && m_settings.protocolIndex == 0)
                startProtocol0Recovery();
            sendRequest();
        }
        finishTestIfDone();
    };
    m_settle->onTimeout = [this] {
        if (auto settled = std::move(m_settled)) {
            m_settled = nullptr;
            settled();
        }
    };
    if (m_ownPort) {
        connect(m_ownPort, &ISerialPort::bytesReceived, this, [this](const QByteArray& b) {
            if (m_port == m_ownPort)
                receive(b);
        });
        connect(m_ownPort, &ISerialPort::warning, this, &TTunerForm::warning);
        connect(m_ownPort, &ISerialPort::portError, this, [this](const QString& t) {
            if (m_port == m_ownPort)
                onPortError(t);
        });
    }
}

TTunerForm::~TTunerForm()
{
    m_supervisor->onTimeout = nullptr;
    m_request->onTimeout = nullptr;
    m_settle->onTimeout = nullptr;
}

QString TTunerForm::failureText(int reason)
{
    switch (reason) {
    case ReasonCouldNotConnect: return QStringLiteral("Could not connect to the ECU.");
    case ReasonBadResponse: return QStringLiteral("Bad response received. Check your settings.");
    case ReasonTimedOut: return QStringLiteral("Connection timed out.");
    default: return QStringLiteral("An unknown datalogging error occured.");
    }
}

QString TTunerForm::failureTitle(int reason)
{
    return reason == ReasonCouldNotConnect || reason == ReasonBadResponse ? QStringLiteral("Connection Error")
                                                                          : QStringLiteral("Datalog Error");
}

bool TTunerForm::wantsShared() const
{
    return m_emulator && m_emulator->port() &&
           datalogSharesEmulatorPort(m_emulator->hardwareCode(), m_settings.protocolIndex);
}

bool TTunerForm::usesSharedPort() const { return m_shared; }

void TTunerForm::setState(int s)
{
    if (m_state == s)
        return;
    m_state = s;
    Q_EMIT stateChanged(s);
}

void TTunerForm::message(const QString& text, const QString& title, bool error)
{
    if (m_messages)
        m_messages->showMessage(text, title, error ? TMsgKind::Error : TMsgKind::Information, TMsgButton::OK);
}

void TTunerForm::startSupervisor()
{
    if (m_active)
        m_supervisor->start(m_settings.timeout > 0 ? m_settings.timeout : 250);
}

void TTunerForm::open()
{
    m_supervisor->stop();
    m_request->stop();
    m_shared = wantsShared();
    m_port = m_shared ? m_emulator->port() : m_ownPort;
    if (!m_port) {
        message(NoPortText, QStringLiteral("Bad Port"), true);
        setState(StateFailed);
        m_active = false;
        finishTestIfDone();
        return;
    }
    if (!m_port->isOpen()) {
        // A shared port keeps the emulator link's own settings.
        if (!m_shared)
            m_port->applySettings(m_settings.port);
        // An empty name would open whatever the system takes it for.
        const bool unnamed = !m_shared && m_port->portName().trimmed().isEmpty();
        if (unnamed || !m_port->open()) {
            message(unnamed ? NoPortText : m_port->portName() + QStringLiteral(" failed to open."),
                    QStringLiteral("Bad Port"), true);
            setState(StateFailed);
            m_supervisor->stop();
            m_active = false;
            finishTestIfDone();
            return;
        }
    }
    m_tries = 0;
    m_buffer.clear();
    setState(StateOpen);
    m_active = true;
    startSupervisor();
}

void TTunerForm::close()
{
    m_p0Recovering = m_p0Quiet = false;
    setState(StateClosed);
    m_supervisor->stop();
    m_request->stop();
    m_buffer.clear();
    const bool keepOpen = m_shared && m_emulator && m_emulator->toolbarVisible();
    if (m_port && !keepOpen)
        m_port->close();
    m_active = false;
}

void TTunerForm::supervisorTick()
{
    m_supervisor->stop();
    switch (m_state) {
    case StateOpen:
        m_reason = ReasonCouldNotConnect;
        // Only replies to this handshake count: a previous session's reply
        // may still be on its way or in the driver.
        if (m_port)
            m_port->clearInput();
        m_buffer.clear();
        setState(StateHandshakeSent);
        m_expected = ecu::expectedReplyLength(m_settings.protocolIndex, true);
        sendRequest();
        break;
    case StateHandshakeAccepted:
        m_reason = ReasonTimedOut;
        m_p0.reset();
        m_p0Recovering = m_p0Quiet = false;
        setState(m_testMode ? StateTestAccepted : StateStreaming);
        m_expected = ecu::expectedReplyLength(m_settings.protocolIndex, false);
        m_buffer.clear();
        sendRequest();
        break;
    case StateTestAccepted:
    case StateClosed: close(); break;
    case StateFailed: {
        for (int i = 0; i < 3 && m_active; ++i)
            close();
        Q_EMIT connectionEnded();
        if (!m_testMode)
            message(failureText(m_reason), failureTitle(m_reason), true);
        break;
    }
    default: break;
    }
    startSupervisor();
    finishTestIfDone();
}

QByteArray TTunerForm::currentRequest() const
{
    const int protocol = m_settings.protocolIndex;
    if (m_state == StateHandshakeSent)
        return ecu::handshakeRequest(protocol);
    if (m_state == StateStreaming || m_state == StateTestAccepted) {
        if (protocol == 0)
            return QByteArray(1, static_cast<char>(m_p0Recovering ? ecu::P0Handshake : m_p0.request()));
        return ecu::frameRequest(protocol);
    }
    return {};
}

void TTunerForm::sendRequest()
{
    m_request->stop();
    if (!m_active || m_state == StateTestAccepted || m_state == StatePaused || m_state == StateFailed ||
        m_state == StateClosed)
        return;
    // Between an accepted handshake and the supervisor's next tick there is
    // nothing to ask; waiting for our own timer must not use up tries.
    if (m_state == StateHandshakeAccepted || m_state == StateOpen)
        return;
    if (m_settings.maxTries > 0 && m_tries > m_settings.maxTries) {
        // A handshake answered with the wrong byte is reported as such, not
        // as a time-out.
        if (!(m_state == StateHandshakeSent && m_reason == ReasonBadResponse))
            m_reason = ReasonTimedOut;
        setState(StateFailed);
        return;
    }
    const QByteArray req = currentRequest();
    if (!req.isEmpty() && m_port) {
        m_port->write(req);
        ++m_stats.requests;
    }
    ++m_tries;
    if (m_active)
        m_request->start(m_settings.effectiveRequestInterval());
}

void TTunerForm::failNow(int reason)
{
    m_reason = reason;
    m_request->stop();
    setState(StateFailed);
}

void TTunerForm::onPortError(const QString& text)
{
    if (!m_active || m_state == StateFailed || m_state == StateClosed)
        return;
    Q_EMIT warning(text);
    failNow(ReasonUnknown);
}

void TTunerForm::receive(const QByteArray& bytes)
{
    if (!m_active || bytes.isEmpty())
        return;
    switch (m_state) {
    case StateOpen:
        // Nothing was asked yet: the rest of a reply to the previous session
        // (the ECU answers one more request after a disconnect). Failing here
        // failed the first Connect after every streaming session.
        return;
    case StateHandshakeSent:
    case StateStreaming: break;
    default: return; // paused, accepted, closed or failed: dropped
    }
    if (m_p0Quiet) {
        m_stats.noiseBytes += static_cast<quint64>(bytes.size());
        return;
    }
    m_buffer += bytes;
    if (m_buffer.size() > ecu::MaxReceiveBuffer) {
        const qsizetype drop = m_buffer.size() - ecu::MaxReceiveBuffer;
        m_stats.overflowBytes += static_cast<quint64>(drop);
        m_buffer.remove(0, drop);
    }
    if (m_buffer.size() < m_expected)
        return;
    if (m_state == StateHandshakeSent)
        decodeHandshake();
    else if (m_settings.protocolIndex == 0)
        decodeProtocol0();
    else if (ecu::isSupported(m_settings.protocolIndex))
        decodeFramed();
    else
        m_buffer.clear();
    finishTestIfDone();
}

void TTunerForm::decodeHandshake()
{
    m_request->stop();
    const ecu::THandshake r = ecu::checkHandshake(m_settings.protocolIndex, m_buffer);
    m_buffer.clear();
    switch (r) {
    case ecu::THandshake::Accepted:
        m_tries = 0;
        setState(StateHandshakeAccepted);
        return; // the supervisor sends the first data request
    case ecu::THandshake::Rejected:
        ++m_tries;
        m_reason = ReasonBadResponse;
        break;
    case ecu::THandshake::Ignored: break;
    }
    if (m_active)
        m_request->start(m_settings.effectiveRequestInterval());
}

void TTunerForm::dispatch()
{
    m_sample.setTimeStamp(m_clock.tickCount());
    m_hasSample = true;
    ++m_stats.samples;
    Q_EMIT sampleReady(m_sample);
}

void TTunerForm::decodeProtocol0()
{
    m_request->stop();
    const QByteArray bytes = m_buffer;
    m_buffer.clear();
    if (m_p0Recovering) {
        // The first byte answers the re-synchronisation request (or is a late
        // answer to an earlier one); anything after it is not trusted.
        m_stats.noiseBytes += static_cast<quint64>(bytes.size() - 1);
        protocol0Quiet(static_cast<quint8>(bytes.at(0)) == ecu::P0HandshakeReply);
        return;
    }
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        ecu::TP0Decoder::TSlot0 slot0;
        const bool complete = m_p0.consume(static_cast<quint8>(bytes[i]), m_sample, slot0);
        if (slot0 == ecu::TP0Decoder::TSlot0::Good) {
            m_tries = 0;
            m_reason = ReasonBadResponse;
        } else if (slot0 == ecu::TP0Decoder::TSlot0::Bad) {
            // One reply more or less than requests on the line: every byte
            // from here on would land in the wrong channel.
            m_reason = ReasonTimedOut;
            m_stats.noiseBytes += static_cast<quint64>(bytes.size() - i - 1);
            protocol0Quiet(false);
            return;
        }
        if (complete) {
            dispatch();
            if (m_state != StateStreaming || !m_active)
                return; // the consumer stopped the connection
        }
    }
    m_tries = 0;
    sendRequest();
}

void TTunerForm::startProtocol0Recovery()
{
    // The decoder stays where it stopped while it recovers.
    const int position = m_p0.position();
    m_p0Resume = m_p0.request() == ecu::P0NextByteRequest && position > 1 ? position - 1 : position;
    m_buffer.clear();
    if (m_port)
        m_port->clearInput();
    m_p0Recovering = true;
}

void TTunerForm::protocol0Quiet(bool resynchronised)
{
    m_p0Recovering = false;
    m_p0Quiet = true;
    m_p0QuietGood = resynchronised;
    // A reply later than twice the interval counts as lost for good.
    m_request->start(2 * m_settings.effectiveRequestInterval());
}

void TTunerForm::endProtocol0Quiet()
{
    m_p0Quiet = false;
    m_buffer.clear();
    if (m_port)
        m_port->clearInput();
    if (m_p0QuietGood) {
        m_tries = 0; // aligned again: the position is asked as usual
        m_p0.resumeAt(m_p0Resume);
    } else {
        startProtocol0Recovery(); // counts as a try: a line that never answers right fails
    }
    sendRequest();
}

void TTunerForm::decodeFramed()
{
    std::array<quint8, ecu::FramePayload> payload{};
    bool accepted = false;
    for (;;) {
        const ecu::TFrameStep step = ecu::frameStep(m_settings.protocolIndex, m_buffer, payload, m_frameStats);
        if (step == ecu::TFrameStep::NeedMore)
            break;
        if (step == ecu::TFrameStep::Rejected)
            continue;
        accepted = true;
        ecu::mapPayload(m_settings.protocolIndex, payload, m_sample);
        dispatch();
        if (m_state != StateStreaming || !m_active)
            break;
    }
    m_stats.frames = m_frameStats.frames;
    m_stats.corruptFrames = m_frameStats.corrupt;
    m_stats.noiseBytes = m_frameStats.noiseBytes;
    if (accepted && m_state == StateStreaming && m_active) {
        m_tries = 0;
        sendRequest();
    }
}

// ------------------------------------------------------------ emulator sharing

void TTunerForm::pause(std::function<void()> settled)
{
    m_p0Recovering = m_p0Quiet = false;
    m_request->stop();
    m_buffer.clear();
    setState(StatePaused);
    m_settled = std::move(settled);
    m_settle->start(200);
}

void TTunerForm::resume()
{
    m_settle->stop();
    m_settled = nullptr;
    m_tries = 0;
    m_p0.reset();
    open();
}

// ------------------------------------------------------------ test mode

void TTunerForm::test(std::function<void(bool)> done)
{
    if (m_testMode)
        return;
    if (m_active)
        close();
    m_testSaved = m_settings;
    m_settings.timeout = 50;
    m_settings.maxTries = 1;
    if (m_port)
        m_port->close();
    m_testMode = true;
    m_testDone = std::move(done);
    open();
}

void TTunerForm::finishTestIfDone()
{
    if (!m_testMode)
        return;
    if (m_state != StateTestAccepted && m_state != StateClosed && m_state != StateFailed)
        return;
    const bool ok = m_state == StateTestAccepted;
    m_testMode = false;
    close();
    m_settings = m_testSaved;
    if (ok)
        message(QStringLiteral("Successfully connected to the ECU."), QStringLiteral("Connected"), false);
    else
        message(QStringLiteral("Could not connect to the ECU."), QStringLiteral("Not Connected"), true);
    if (auto done = std::move(m_testDone)) {
        m_testDone = nullptr;
        done(ok);
    }
}
