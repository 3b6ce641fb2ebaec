#pragma once

// The emulator link: one transfer operation at a time over the emulator's
// serial port, stepped by timers on the GUI thread. A commander timer moves
// between the states, a reply timer resends an unanswered command and counts
// the tries, and a polling timer starts the automatic update when edits are
// queued. It has no window: the transfer window and the tool bar show its
// signals, the CLI waits for its result.

#include "datalog/mdlPortShare.h"
#include "datalog/mdlSerialPort.h"
#include "datalog/mdlTimers.h"
#include "emulator/clsRTPCommandQueue.h"
#include "emulator/mdlRTPProtocol.h"

#include <QByteArray>
#include <QObject>
#include <functional>
#include <memory>

class IMessageService;
class TBinEdit;
struct TSettings;

// What the link runs with: "RTP Settings", "RTP Com Settings" and "RTP
// Connection Settings" as one record.
struct TRTPLinkSettings {
    int hardwareCode = 0; // 0, 2 or 3; a "VV" handshake turns 3 into 4, 5 or 6
    bool use512K = false;
    int timeout = 250; // reply time-out, ms
    int maxTries = 3;  // resends allowed
    bool verifyAfterBurn = true;
    TSerialSettings port;
};

// The link settings from the settings store; `portName` is the port list's
// entry for the stored choice. `currentCode` is the code the link identified
// last (kept while the hardware index still selects its family).
[[nodiscard]] TRTPLinkSettings rtpSettingsFrom(const TSettings& settings, const QString& portName, int currentCode);

// How an operation ended.
struct TRTPResult {
    int kind = 0;
    int state = rtp::StateFinished; // finished, cancelled, mismatch or failed
    int error = 0;
    QByteArray image;       // what a read received (complete only when ok())
    bool afterBurn = false; // the chip verification that follows a burn
    [[nodiscard]] bool ok() const { return state == rtp::StateFinished; }
};

class TRTPForm : public QObject, public IEmulatorPortShare {
    Q_OBJECT
public:
    using Done = std::function<void(const TRTPResult&)>;

    // Polling interval of the automatic update, ms.
    static constexpr int AutoUpdateInterval = 10;

    TRTPForm(ITimerFactory& timers, ISerialPort* port, IMessageService* messages, QObject* parent = nullptr);
    ~TRTPForm() override;

    void setSettings(const TRTPLinkSettings& settings);
    [[nodiscard]] const TRTPLinkSettings& settings() const { return m_settings; }
    // For the settings page's test: the time-out and tries of the next operations.
    void setRetries(int timeout, int maxTries);

    // IEmulatorPortShare
    [[nodiscard]] int hardwareCode() const override { return m_code; }
    [[nodiscard]] ISerialPort* port() override { return m_port; }
    [[nodiscard]] bool toolbarVisible() const override { return m_connected; }

    // The datalog connection that may share the port: paused around each
    // operation, handed the bytes that arrive while the link is idle.
    void setDatalog(IDatalogLink* datalog) { m_datalog = datalog; }
    // The edit buffer whose changes are queued while the tool bar is
    // visible and automatic update is on.
    void setEditBuffer(TBinEdit* buffer);
    void setConnected(bool connected);
    [[nodiscard]] bool connected() const { return m_connected; }
    void setAutoUpdate(bool on);
    [[nodiscard]] bool autoUpdate() const { return m_autoUpdate; }
    // Whether edits reach the queue now.
    [[nodiscard]] bool recording() const;
    [[nodiscard]] TRTPCommandQueue& queue() { return m_queue; }

    // Opens the port for the hardware code: codes 0 and 1 with the configured
    // settings, the framed codes at 920000 baud (unless the datalog
    // connection runs on the port already). False with *error on failure.
    bool openPort(QString* error = nullptr);
    // Closes the port unless the datalog connection runs on it.
    void closePort();

    // Starts an operation of `kind`. For writes and verifies `image` is the
    // image to send or compare with; for reads its length is the length to
    // read. False (and nothing happens) while another operation runs. `done`
    // runs once, after the link is idle again. A quiet operation shows no
    // message; the result says what happened.
    bool start(int kind, const QByteArray& image, Done done = {}, bool quiet = false);
    // Escape in the transfer window.
    void cancel();
    // Ends the running operation as cancelled without a message (the port vanished).
    void abort();

    [[nodiscard]] bool busy() const { return m_kind != rtp::KindIdle; }
    [[nodiscard]] int kind() const { return m_kind; }
    [[nodiscard]] int state() const { return m_state; }
    [[nodiscard]] int error() const { return m_error; }
    [[nodiscard]] int address() const { return m_address; }
    [[nodiscard]] int length() const { return m_image.size(); }
    [[nodiscard]] int tries() const { return m_tries; }
    [[nodiscard]] const QString& statusText() const { return m_status; }
    // Resends over the link's life (retries after a rejected or late reply).
    [[nodiscard]] quint64 resends() const { return m_resends; }

    // Timer entry points (public for tests that step them by hand).
    void step();
    void replyTimeout();
    void pollAutoUpdate();

Q_SIGNALS:
    void started(int kind);
    void statusChanged(const QString& text);
    void progress(int address, int length);
    // Entries left in the change queue during an automatic update.
    void queueChanged(int count);
    void finished(const TRTPResult& result);
    // A failed automatic update switched automatic update off.
    void autoUpdateSwitchedOff();

private:
    void receive(const QByteArray& bytes);
    void examine();
    void send(const QByteArray& command, int expected, int timeout = -1);
    void resend();
    void armReplyTimer();
    void sendCurrent();
    void afterHighSpeed();
    void reject(int error);
    void accept(int advance);
    void fail(int error);
    void finish(int state);
    void setState(int state);
    void setStatus(const QString& text);
    void syncRecording();
    bool reopenAt(qint32 baud);
    void checkHandshake(const QByteArray& reply);
    void checkFramed(const QByteArray& reply);
    void checkCode0(const QByteArray& reply);
    void popEntry();

    // Wakes the polling timer when an edit arrives at an empty queue.
    class TKick : public IImageChangeObserver {
    public:
        explicit TKick(TRTPForm& form) : m_form(form) {}
        void imageByteChanged(quint16 address, quint8 value) override;
        void imageChangesDiscarded() override {}

    private:
        TRTPForm& m_form;
    };

    ITimerFactory& m_timers;
    ISerialPort* m_port;
    IMessageService* m_messages;
    IDatalogLink* m_datalog = nullptr;
    TBinEdit* m_buffer = nullptr;
    std::unique_ptr<ILinkTimer> m_commander;
    std::unique_ptr<ILinkTimer> m_reply;
    std::unique_ptr<ILinkTimer> m_autoTimer;
    TRTPLinkSettings m_settings;
    TRTPCommandQueue m_queue;
    TKick m_kick{*this};
    int m_code = 0;
    bool m_connected = false;
    bool m_autoUpdate = false;

    // The operation in progress.
    int m_kind = rtp::KindIdle;
    int m_state = rtp::StateStart;
    int m_error = 0;
    bool m_waitingResend = false; // a reply was rejected: the rest waits for the resend
    int m_address = 0;
    int m_tries = 0;
    int m_expected = 1;
    int m_replyInterval = 250;
    QByteArray m_image;
    QByteArray m_last;
    QByteArray m_received; // what a read collected, block by block once each sum checked
    QByteArray m_rx;       // the reply being received
    TRTPCommand m_entry;
    bool m_quiet = false;
    bool m_burnVerify = false;
    bool m_pausedDatalog = false;
    bool m_retriedSlow = false;
    quint64 m_operation = 0;
    Done m_done;
    QString m_status;
    quint64 m_resends = 0;
};
