#include "emulator/frmRTP.h"

#include "rom/clsBinEdit.h"
#include "settings/mdlMessages.h"
#include "settings/mdlPortLists.h"
#include "settings/mdlSettings.h"

#include <algorithm>

using namespace rtp;

TRTPLinkSettings rtpSettingsFrom(const TSettings& settings, const QString& portName, int currentCode)
{
    TRTPLinkSettings r;
    int code = emulatorHardwareCode(settings.rtp.hardware, currentCode);
    // The model a "VV" handshake identified stays until the family changes.
    if (code == 3 && currentCode >= 4 && currentCode <= 6)
        code = currentCode;
    r.hardwareCode = code;
    r.use512K = settings.rtp.use512K;
    r.timeout = settings.rtpConnection.timeout;
    r.maxTries = settings.rtpConnection.maxTries;
    const TComSettings& com = settings.rtpCom;
    r.port =
        TSerialSettings::fromIndices(portName, com.baudRate, com.dataBitsIndex, com.parityIndex, com.stopBitsIndex);
    return r;
}

TRTPForm::TRTPForm(ITimerFactory& timers, ISerialPort* port, IMessageService* messages, QObject* parent)
    : QObject(parent), m_timers(timers), m_port(port), m_messages(messages), m_commander(timers.createTimer()),
      m_reply(timers.createTimer()), m_autoTimer(timers.createTimer())
{
    m_commander->onTimeout = [this] { step(); };
    m_reply->onTimeout = [this] { replyTimeout(); };
    m_autoTimer->onTimeout = [this] { pollAutoUpdate(); };
    if (m_port) {
        connect(m_port, &ISerialPort::bytesReceived, this, &TRTPForm::receive);
        connect(m_port, &ISerialPort::portError, this, [this](const QString&) {
            if (busy())
                fail(ErrorException);
        });
    }
}

TRTPForm::~TRTPForm()
{
    m_commander->onTimeout = nullptr;
    m_reply->onTimeout = nullptr;
    m_autoTimer->onTimeout = nullptr;
    if (m_buffer) {
        m_buffer->unsubscribe(&m_queue);
        m_buffer->unsubscribe(&m_kick);
    }
}

void TRTPForm::setSettings(const TRTPLinkSettings& settings)
{
    m_settings = settings;
    m_code = settings.hardwareCode;
}

void TRTPForm::setRetries(int timeout, int maxTries)
{
    m_settings.timeout = timeout;
    m_settings.maxTries = maxTries;
}

// ------------------------------------------------------------ automatic update

void TRTPForm::setEditBuffer(TBinEdit* buffer)
{
    if (m_buffer) {
        m_buffer->unsubscribe(&m_queue);
        m_buffer->unsubscribe(&m_kick);
    }
    m_buffer = buffer;
    syncRecording();
}

void TRTPForm::setConnected(bool connected)
{
    m_connected = connected;
    syncRecording();
}

void TRTPForm::setAutoUpdate(bool on)
{
    m_autoUpdate = on;
    m_queue.clear();
    syncRecording();
}

bool TRTPForm::recording() const { return m_buffer && m_connected && m_autoUpdate && m_buffer->autoUpload(); }

void TRTPForm::syncRecording()
{
    const bool want = m_connected && m_autoUpdate;
    if (m_buffer) {
        if (want) {
            m_buffer->subscribe(&m_queue);
            m_buffer->subscribe(&m_kick); // after the queue: the entry is there when it runs
            // Loading or closing a ROM resets the buffer's flag; it comes back here.
            if (!m_buffer->autoUpload())
                m_buffer->setAutoUpload(true);
        } else {
            if (m_buffer->autoUpload())
                m_buffer->setAutoUpload(false);
            m_buffer->unsubscribe(&m_queue);
            m_buffer->unsubscribe(&m_kick);
            m_queue.clear();
        }
    }
    if (want && !m_autoTimer->isActive())
        m_autoTimer->start(AutoUpdateInterval);
    else if (!want)
        m_autoTimer->stop();
}

void TRTPForm::TKick::imageByteChanged(quint16, quint8)
{
    // The first change of an idle link starts the update on the next pass of
    // the event loop (the edits of one command are all queued by then)
    // instead of waiting for the polling interval.
    if (!m_form.busy() && m_form.m_queue.count() == 1)
        m_form.m_autoTimer->start(0);
}

void TRTPForm::pollAutoUpdate()
{
    syncRecording();
    if (busy() || !m_connected || !m_autoUpdate || m_queue.isEmpty() || !m_port || !m_port->isOpen())
        return;
    // Raised for code 2, dropped for the others, before each update.
    const bool raised = m_code == 2;
    m_port->setDtr(raised);
    m_port->setRts(raised);
    start(KindAutoUpdate, {}, {}, false);
}

// ------------------------------------------------------------ port

bool TRTPForm::openPort(QString* error)
{
    if (!m_port) {
        if (error)
            *error = QStringLiteral("No port.");
        return false;
    }
    const bool sharedOpen = m_datalog && m_datalog->isActive() && m_datalog->usesSharedPort() && m_port->isOpen();
    if (isFramed(m_code) && sharedOpen)
        return true;
    m_port->close();
    TSerialSettings s = m_settings.port;
    if (isFramed(m_code))
        s.baudRate = HighSpeedBaud;
    m_port->applySettings(s);
    if (s.portName.trimmed().isEmpty() || !m_port->open()) {
        if (error)
            *error = s.portName.trimmed().isEmpty() ? QStringLiteral("No port is chosen.") : m_port->errorString();
        return false;
    }
    if (m_code == 2) {
        m_port->setDtr(true);
        m_port->setRts(true);
    }
    return true;
}

void TRTPForm::closePort()
{
    if (!m_port)
        return;
    if (m_datalog && m_datalog->isActive() && m_datalog->usesSharedPort())
        return;
    if (m_code == 2 && m_port->isOpen()) {
        m_port->setDtr(false);
        m_port->setRts(false);
    }
    m_port->close();
}

bool TRTPForm::reopenAt(qint32 baud)
{
    m_port->close();
    m_port->setBaudRate(baud);
    return m_port->open();
}

// ------------------------------------------------------------ operations

bool TRTPForm::start(int kind, const QByteArray& image, Done done, bool quiet)
{
    if (busy() || !m_port)
        return false;
    m_kind = kind;
    m_state = StateStart;
    m_error = 0;
    m_waitingResend = false;
    m_address = 0;
    m_tries = 0;
    m_image = image.left(MaxImage);
    m_received = isRead(kind) ? QByteArray(m_image.size(), '\0') : QByteArray();
    m_done = std::move(done);
    m_quiet = quiet;
    m_burnVerify = false;
    m_retriedSlow = false;
    m_replyInterval = m_settings.timeout;
    m_autoTimer->stop();
    const quint64 operation = ++m_operation;
    Q_EMIT started(kind);
    if (kind != KindAutoUpdate)
        setStatus(transferText(KindDetect));
    // A datalog session on the same cable stops first and waits for quiet.
    if (m_datalog && m_datalog->isActive() && m_datalog->usesSharedPort() && !m_datalog->isPaused()) {
        m_pausedDatalog = true;
        m_datalog->pause([this, operation] {
            if (m_operation == operation && busy())
                m_commander->start(0);
        });
    } else {
        m_commander->start(0);
    }
    return true;
}

void TRTPForm::cancel()
{
    if (!busy())
        return;
    m_state = StateCancelled;
    finish(StateCancelled);
}

void TRTPForm::abort()
{
    if (!busy())
        return;
    m_quiet = true;
    finish(StateCancelled);
}

void TRTPForm::setState(int state) { m_state = state; }

void TRTPForm::setStatus(const QString& text)
{
    if (m_status == text)
        return;
    m_status = text;
    Q_EMIT statusChanged(text);
}

void TRTPForm::step()
{
    m_commander->stop();
    if (!busy())
        return;
    switch (m_state) {
    case StateStart:
        if (m_kind != KindAutoUpdate)
            setStatus(transferText(KindDetect));
        setState(StateHandshakeSent);
        // Only the reply to this handshake counts.
        m_port->clearInput();
        send(handshake(m_code), handshakeReplyLength(m_code));
        break;
    case StateHandshakeAccepted:
        if (m_kind == KindDetect) {
            finish(StateFinished);
        } else if (m_kind == KindAutoUpdate) {
            if (m_queue.isEmpty()) {
                finish(StateFinished);
                return;
            }
            popEntry();
            setState(StateTransferring);
            sendCurrent();
        } else if (hasHighSpeed(m_code)) {
            setState(StateHighSpeedSent);
            if (m_port->baudRate() == HighSpeedBaud) {
                afterHighSpeed();
            } else {
                setStatus(QStringLiteral("Upgrading to High Speed protocol..."));
                send(highSpeedRequest(), 1);
            }
        } else {
            setState(StateTransferring);
            setStatus(transferText(m_kind));
            sendCurrent();
        }
        break;
    case StateHighSpeedSwitch:
        if (!reopenAt(HighSpeedBaud)) {
            fail(ErrorException);
            return;
        }
        afterHighSpeed();
        break;
    case StateEraseDone:
        m_replyInterval = m_settings.timeout;
        setState(StateTransferring);
        setStatus(transferText(m_kind));
        sendCurrent();
        break;
    case StateFailed:
        // No answer from a framed model at high speed: once more at 115200 baud.
        if (m_error == ErrorNoConnection && hasHighSpeed(m_code) && m_port->baudRate() != FallbackBaud &&
            !m_retriedSlow) {
            m_retriedSlow = true;
            if (!reopenAt(FallbackBaud)) {
                m_error = ErrorException;
                finish(StateFailed);
                return;
            }
            m_error = 0;
            setState(StateStart);
            m_commander->start(0);
            return;
        }
        finish(StateFailed);
        break;
    default: break;
    }
}

void TRTPForm::afterHighSpeed()
{
    if (eraseDue(m_kind, m_code, m_settings.use512K)) {
        setState(StateEraseSent);
        setStatus(QStringLiteral("Erasing Chip..."));
        send(eraseCommand(), 1, EraseTimeout);
        return;
    }
    setState(StateTransferring);
    setStatus(transferText(m_kind));
    sendCurrent();
}

void TRTPForm::popEntry()
{
    m_entry = m_queue.pop();
    Q_EMIT queueChanged(m_queue.count() + 1);
    setStatus(QStringLiteral("Sending data... %1 bytes left").arg(m_queue.count() + 1));
}

void TRTPForm::sendCurrent()
{
    const bool framed = isFramed(m_code);
    if (m_kind == KindAutoUpdate) {
        const QByteArray cmd = framed ? byteCommand(m_code, m_settings.use512K, m_entry.address, m_entry.value)
                                      : code0Write(m_entry.address, m_entry.value);
        send(cmd, 1);
        return;
    }
    if (m_address >= m_image.size()) {
        finish(StateFinished);
        return;
    }
    const quint16 address = static_cast<quint16>(m_address);
    if (framed) {
        if (isRead(m_kind) || isVerify(m_kind))
            send(blockCommand(m_kind, m_code, m_settings.use512K, address), ReadReplyLength);
        else
            send(blockCommand(m_kind, m_code, m_settings.use512K, address, m_image.mid(m_address, BlockSize)), 1);
    } else if (isWrite(m_kind)) {
        send(code0Write(address, static_cast<quint8>(m_image.at(m_address))), 1);
    } else {
        send(QByteArray(1, Code0Read), 1);
    }
}

void TRTPForm::send(const QByteArray& command, int expected, int timeout)
{
    m_last = command;
    m_expected = expected;
    m_tries = 0;
    m_waitingResend = false;
    m_rx.clear();
    if (timeout > 0)
        m_replyInterval = timeout;
    if (m_port->write(command) < 0) {
        fail(ErrorException);
        return;
    }
    armReplyTimer();
}

void TRTPForm::resend()
{
    // What arrived of the rejected or late reply would put every later reply
    // out of step.
    m_rx.clear();
    m_port->clearInput();
    m_waitingResend = false;
    ++m_tries;
    ++m_resends;
    if (m_port->write(m_last) < 0) {
        fail(ErrorException);
        return;
    }
    armReplyTimer();
}

void TRTPForm::armReplyTimer()
{
    // The time-out counts from when the reply can have arrived: at low baud
    // rates a block takes a good part of it on the wire.
    const qint64 baud = std::max<qint32>(m_port->baudRate(), 300);
    const int wireMs = static_cast<int>(((m_last.size() + m_expected) * 10LL * 1000 + baud - 1) / baud);
    m_reply->start(m_replyInterval + wireMs);
}

void TRTPForm::replyTimeout()
{
    m_reply->stop();
    if (!busy())
        return;
    // Code 0 reads and updates cannot be repeated: the device answers a
    // read with its next byte.
    if (m_code == 0 && m_state == StateTransferring && (m_kind == KindRead || m_kind == KindAutoUpdate)) {
        fail(ErrorTimedOut);
        return;
    }
    if (m_tries >= m_settings.maxTries) {
        fail(m_state == StateHandshakeSent ? ErrorNoConnection : ErrorTimedOut);
        return;
    }
    resend();
}

void TRTPForm::receive(const QByteArray& bytes)
{
    if (!busy()) {
        // While the link is idle a datalog session on the same port gets the bytes.
        if (m_datalog && m_datalog->isActive() && m_datalog->usesSharedPort())
            m_datalog->receive(bytes);
        return;
    }
    switch (m_state) {
    case StateHandshakeSent:
    case StateHighSpeedSent:
    case StateEraseSent:
    case StateTransferring: break;
    default: return; // nothing is asked now: stray bytes
    }
    m_rx += bytes;
    examine();
}

void TRTPForm::examine()
{
    // A rejected reply waits for the resend; whatever follows it is dropped then.
    if (!busy() || m_waitingResend || m_rx.size() < m_expected)
        return;
    // One command is answered at a time and the device's reply comes last:
    // bytes before it are line noise, not the start of the reply.
    const QByteArray reply = m_rx.right(m_expected);
    m_rx.clear();
    {
        switch (m_state) {
        case StateHandshakeSent: checkHandshake(reply); break;
        case StateHighSpeedSent:
            if (reply.at(0) == 'O') {
                m_reply->stop();
                setState(StateHighSpeedSwitch);
                m_commander->start(0);
            } else {
                reject(ErrorHighSpeed);
            }
            break;
        case StateEraseSent:
            if (reply.at(0) == 'O') {
                m_reply->stop();
                setState(StateEraseDone);
                m_commander->start(0);
            } else {
                reject(ErrorWriteRefused);
            }
            break;
        case StateTransferring:
            if (isFramed(m_code))
                checkFramed(reply);
            else
                checkCode0(reply);
            break;
        default: return;
        }
    }
}

void TRTPForm::checkHandshake(const QByteArray& reply)
{
    const int code = acceptHandshake(m_code, reply);
    if (code < 0) {
        reject(ErrorNoConnection);
        return;
    }
    m_reply->stop();
    m_code = code;
    setState(StateHandshakeAccepted);
    m_commander->start(0);
}

void TRTPForm::reject(int error)
{
    m_waitingResend = true;
    m_rx.clear();
    if (m_tries >= m_settings.maxTries)
        fail(error);
    // else the reply timer resends
}

void TRTPForm::accept(int advance)
{
    m_reply->stop();
    m_address += advance;
    Q_EMIT progress(std::min(m_address, static_cast<int>(m_image.size())), static_cast<int>(m_image.size()));
    sendCurrent();
}

void TRTPForm::checkFramed(const QByteArray& reply)
{
    if (m_kind == KindAutoUpdate) {
        if (reply.at(0) != 'O') {
            reject(ErrorUpdateRefused);
            return;
        }
        m_reply->stop();
        if (m_queue.isEmpty()) {
            finish(StateFinished);
            return;
        }
        popEntry();
        sendCurrent();
        return;
    }
    if (isWrite(m_kind)) {
        if (reply.at(0) == 'O')
            accept(BlockSize);
        else
            reject(ErrorWriteRefused);
        return;
    }
    const QByteArray data = reply.left(BlockSize);
    if (sum(data) != static_cast<quint8>(reply.at(BlockSize))) {
        reject(ErrorReadSum);
        return;
    }
    const int n = std::min<int>(BlockSize, static_cast<int>(m_image.size()) - m_address);
    if (isRead(m_kind)) {
        // Copied in only now that the sum checked: a failed read leaves no
        // half-written block behind.
        std::copy(data.constBegin(), data.constBegin() + n, m_received.begin() + m_address);
        accept(BlockSize);
        return;
    }
    if (data.left(n) != m_image.mid(m_address, n)) {
        if (m_tries >= m_settings.maxTries) {
            m_reply->stop();
            finish(StateMismatch);
        } else {
            m_waitingResend = true; // the reply timer asks again
            m_rx.clear();
        }
        return;
    }
    accept(BlockSize);
}

void TRTPForm::checkCode0(const QByteArray& reply)
{
    const char r = reply.at(0);
    if (isRead(m_kind)) {
        m_received[m_address] = r;
        accept(1);
        return;
    }
    if (isVerify(m_kind)) {
        if (r != m_image.at(m_address)) {
            m_reply->stop();
            finish(StateMismatch);
            return;
        }
        accept(1);
        return;
    }
    const bool update = m_kind == KindAutoUpdate;
    if (r == '$') {
        if (!update) {
            accept(1);
            return;
        }
        m_reply->stop();
        if (m_queue.isEmpty()) {
            finish(StateFinished);
            return;
        }
        popEntry();
        sendCurrent();
        return;
    }
    if (r == '3')
        reject(ErrorEcuWrite);
    else if (r == 'f')
        reject(ErrorWriteRefused);
    else
        reject(update ? ErrorBadUpdateReply : ErrorBadWriteReply);
}

void TRTPForm::fail(int error)
{
    m_reply->stop();
    m_error = error;
    setState(StateFailed);
    // The failed state is handled by the commander: it may retry slower.
    m_commander->start(0);
}

void TRTPForm::finish(int state)
{
    m_reply->stop();
    m_commander->stop();
    m_rx.clear();
    TRTPResult result;
    result.kind = m_kind;
    result.state = state;
    result.error = state == StateFailed ? m_error : 0;
    result.afterBurn = m_burnVerify;
    if (isRead(m_kind))
        result.image = m_received;

    // A burn is verified at once, on the same connection.
    if (m_kind == KindChipWrite && state == StateFinished && m_settings.verifyAfterBurn) {
        m_kind = KindChipVerify;
        m_burnVerify = true;
        m_state = StateStart;
        m_address = 0;
        m_error = 0;
        Q_EMIT started(m_kind);
        m_commander->start(0);
        return;
    }

    const int kind = m_kind;
    const bool quiet = m_quiet;
    m_kind = KindIdle;
    m_state = StateStart;
    m_burnVerify = false;
    if (kind == KindAutoUpdate) {
        if (state == StateFailed) {
            m_autoUpdate = false;
            syncRecording();
            Q_EMIT autoUpdateSwitchedOff();
            setStatus(QString());
        } else {
            setStatus(QStringLiteral("Ready"));
        }
    } else {
        setStatus(QString());
    }
    if (m_pausedDatalog) {
        m_pausedDatalog = false;
        if (m_datalog && m_datalog->isPaused())
            m_datalog->resume();
    }
    syncRecording();
    Done done = std::move(m_done);
    m_done = nullptr;
    Q_EMIT finished(result);

    if (!quiet && m_messages) {
        if (state == StateFailed)
            m_messages->showMessage(errorText(result.error, m_settings.maxTries, m_settings.timeout),
                                    errorTitle(result.error), TMsgKind::Error, TMsgButton::OK);
        else if (result.afterBurn && state == StateFinished)
            m_messages->showMessage(QStringLiteral("ROM data successfully written."), QStringLiteral("Burning Success"),
                                    TMsgKind::Information, TMsgButton::OK);
        else if (result.afterBurn)
            m_messages->showMessage(
                QStringLiteral("ROM verification failed.\r\n\r\nPlease check the EPROM for propper connection."),
                QStringLiteral("Burning Fail"), TMsgKind::Error, TMsgButton::OK);
    }
    if (done)
        done(result);
}
