#pragma once

// The datalog connection: opens the port, performs the protocol's handshake,
// keeps requesting data, counts tries against MaxTries, and hands every
// completed sample on. It has no window; the main window and the settings page
// drive it. Two single-shot timers step it: the supervisor moves between
// phases, the request timer resends an unanswered request.

#include "datalog/mdlDatalog.h"
#include "datalog/mdlEcuProtocol.h"
#include "datalog/mdlPortShare.h"
#include "datalog/mdlSerialPort.h"
#include "datalog/mdlTimers.h"

#include <QObject>
#include <functional>
#include <memory>

class IMessageService;

// The connection's settings ("Tuner Com Settings" and "Tuner Connection
// Settings"); the settings store fills it.
struct TTunerSettings {
    int protocolIndex = 0;
    TSerialSettings port;    // name, baud rate, data bits, parity, stop bits
    int timeout = 250;       // supervisor interval, ms
    int maxTries = 3;        // 0 or less: never time out
    int requestInterval = 0; // request timer, ms; 0 picks one from the baud rate

    // Long enough for the longest reply (44 bytes) and its request at the
    // baud rate, twice over, plus the ECU's turn-around; never below 100 ms.
    [[nodiscard]] int effectiveRequestInterval() const;
};

class TTunerForm : public QObject, public IDatalogLink {
    Q_OBJECT
public:
    enum TState : int {
        StateOpen = 0,
        StateHandshakeSent = 1,
        StateHandshakeAccepted = 2,
        StateStreaming = 5,
        StateTestAccepted = 6,
        StateClosed = 7,
        StatePaused = 8,
        StateFailed = 9,
    };
    enum TReason : int { ReasonCouldNotConnect = 1, ReasonBadResponse = 2, ReasonTimedOut = 3, ReasonUnknown = 4 };

    struct TStats {
        quint64 samples = 0;
        quint64 requests = 0;
        quint64 frames = 0;
        quint64 corruptFrames = 0;
        quint64 noiseBytes = 0;
        quint64 overflowBytes = 0;
    };

    // `ownPort` is used unless the port is shared with the emulator link.
    TTunerForm(IClock& clock, ITimerFactory& timers, ISerialPort* ownPort, IMessageService* messages,
               QObject* parent = nullptr);
    ~TTunerForm() override;

    void setSettings(const TTunerSettings& settings) { m_settings = settings; }
    [[nodiscard]] const TTunerSettings& settings() const { return m_settings; }
    void setEmulator(IEmulatorPortShare* emulator) { m_emulator = emulator; }

    void open();
    void close();
    // The settings page's test: runs the handshake with a 50 ms supervisor and
    // one try, reports the outcome to the user and to `done`, then restores
    // the settings. Asynchronous: the event loop keeps running meanwhile.
    void test(std::function<void(bool connected)> done = {});
    [[nodiscard]] bool isTesting() const { return m_testMode; }

    // IDatalogLink
    [[nodiscard]] bool isActive() const override { return m_active; }
    [[nodiscard]] bool isPaused() const override { return m_state == StatePaused; }
    [[nodiscard]] bool usesSharedPort() const override;
    void pause(std::function<void()> settled) override;
    void resume() override;
    void receive(const QByteArray& bytes) override;

    [[nodiscard]] int state() const { return m_state; }
    [[nodiscard]] int reason() const { return m_reason; }
    [[nodiscard]] int tries() const { return m_tries; }
    [[nodiscard]] ISerialPort* port() const { return m_port; }
    // The most recent reading (the assembly buffer).
    [[nodiscard]] const DatalogSample& sample() const { return m_sample; }
    void setSample(const DatalogSample& s)
    {
        m_sample = s;
        m_hasSample = true;
    }
    // False until a sample was received or set: until then sample() holds
    // zeros, not a reading.
    [[nodiscard]] bool hasSample() const { return m_hasSample; }
    [[nodiscard]] const TStats& stats() const { return m_stats; }
    [[nodiscard]] const ecu::TP0Decoder& p0() const { return m_p0; }

    // Texts and titles of the final message for each failure reason.
    static QString failureText(int reason);
    static QString failureTitle(int reason);

    // Timer entry points (public for tests that step them by hand).
    void supervisorTick();
    void sendRequest();

Q_SIGNALS:
    void sampleReady(const DatalogSample& sample);
    void stateChanged(int state);
    // The playback bar of the main window should be refreshed (connection ended).
    void connectionEnded();
    void warning(const QString& text);

private:
    void setState(int s);
    void startSupervisor();
    void failNow(int reason);
    void dispatch();
    void decodeHandshake();
    void decodeProtocol0();
    void startProtocol0Recovery();
    void protocol0Quiet(bool resynchronised);
    void endProtocol0Quiet();
    void decodeFramed();
    void finishTestIfDone();
    void onPortError(const QString& text);
    [[nodiscard]] QByteArray currentRequest() const;
    [[nodiscard]] bool wantsShared() const;
    void message(const QString& text, const QString& title, bool error);

    IClock& m_clock;
    ISerialPort* m_ownPort;
    ISerialPort* m_port;
    IMessageService* m_messages;
    IEmulatorPortShare* m_emulator = nullptr;
    std::unique_ptr<ILinkTimer> m_supervisor;
    std::unique_ptr<ILinkTimer> m_request;
    std::unique_ptr<ILinkTimer> m_settle;
    TTunerSettings m_settings;

    int m_state = StateClosed;
    int m_reason = ReasonUnknown;
    int m_tries = 0; // wide: MaxTries goes up to 32767
    bool m_active = false;
    bool m_testMode = false;
    bool m_shared = false;
    QByteArray m_buffer;
    int m_expected = 1;
    ecu::TP0Decoder m_p0;
    // Protocol 0 replies are single bytes without a checksum, so after an
    // unanswered request the host cannot tell a late reply from the answer
    // to a resend, and a resent "next byte" request reads one byte further.
    // Recovery asks for the re-synchronisation byte instead, takes the first
    // byte as its answer, waits two request intervals dropping whatever else
    // arrives, then asks the position again (the word's first byte for a
    // "next byte" position).
    bool m_p0Recovering = false; // the re-synchronisation request is out
    bool m_p0Quiet = false;      // waiting for replies still on their way
    bool m_p0QuietGood = false;  // the re-synchronisation reply was right
    int m_p0Resume = 0;          // the position asked after a recovery
    DatalogSample m_sample;
    bool m_hasSample = false;
    TStats m_stats;
    ecu::TFrameStats m_frameStats;
    std::function<void()> m_settled;

    // The test in progress.
    std::function<void(bool)> m_testDone;
    TTunerSettings m_testSaved;
};

struct TSettings;
// The connection's settings from the settings store; `portName` is the
// port list's entry at the stored PortIndex.
[[nodiscard]] TTunerSettings tunerSettingsFrom(const TSettings& settings, const QString& portName);
