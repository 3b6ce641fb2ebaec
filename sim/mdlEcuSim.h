#pragma once

// A simulated ECU (or, for protocol 2, the adapter in front of it): an engine
// model that drives a plausible loop (idle, pulling away, cruise, full-throttle
// pulls through VTEC, deceleration, a stored error code) and a responder that
// answers the host's requests byte for byte as the ECU would, with optional
// line faults. vexor-sim serves it on a pseudo-terminal; tests use it directly.

#include "datalog/mdlDatalog.h"
#include "datalog/mdlEcuProtocol.h"

#include <QByteArray>
#include <functional>
#include <vector>

// The engine's state at a moment of the drive loop.
struct TEngineState {
    double rpm = 800;
    double speedKmh = 0;
    double throttlePct = 0;
    double mapMbar = 330;
    double injectorMs = 2.2;
    double ignitionDeg = 15;
    double knockDeg = 0;
    double lambda = 1.0;  // what the exhaust really is
    double o2Volts = 2.5; // the wideband controller's output for it
    double fuelTrimPct = 0;
    double batteryVolts = 14.1;
    double airTempC = 30;
    double coolantC = 80;
    double atmosphericMbar = 1013;
    bool vtec = false;
    quint32 errorWord = 0;
};

// A map cell (as the ECU indexes it) where the engine runs at another lambda
// than its fuel map intends: a badly tuned cell for auto-tune to find.
struct TRichCell {
    int col = 0;
    int row = 0;
    bool highCam = false;
    double lambda = 0.9;
};

class TEngineModel {
public:
    static constexpr quint32 LoopMs = 60000;
    // The wideband controller's output: linear 0-5 V over lambda 0.5-1.5, the
    // first conversion the program ships.
    static constexpr double LambdaAtZeroVolts = 0.5;
    static constexpr double LambdaPerVolt = 0.2;
    [[nodiscard]] static double widebandVolts(double lambda);

    // Cells where the engine runs off its intended lambda.
    std::vector<TRichCell> richCells;
    // The diagnostic code the simulated ECU has stored (EGR lift sensor).
    static constexpr int StoredCode = 12;

    [[nodiscard]] TEngineState stateAt(quint64 ms) const;
    // The ECU's channel bytes at that moment; the time stamp holds `ms`.
    [[nodiscard]] DatalogSample sampleAt(quint64 ms) const;
    static DatalogSample encode(const TEngineState& state, quint64 ms);
};

struct TEcuFaults {
    int noiseEvery = 0; // every Nth frame is preceded by line noise
    int noiseBytes = 7;
    int badChecksumEvery = 0; // every Nth frame carries a wrong checksum
    int dropEvery = 0;        // every Nth request after the handshake goes unanswered
    qint64 silenceAfter = -1; // stop answering after this many requests
    quint32 seed = 1;
};

struct TEcuStats {
    quint64 requests = 0;   // requests received (a protocol 2 handshake counts once)
    quint64 unanswered = 0; // requests received during silence
    quint64 dropped = 0;    // requests deliberately left unanswered
    quint64 samples = 0;    // valid samples sent
    quint64 corruptFrames = 0;
    quint64 noiseBursts = 0;
    quint64 replyBytes = 0;
};

class TEcuResponder {
public:
    TEcuResponder(int protocol, const TEngineModel& engine, TEcuFaults faults = {});

    // Bytes from the host at model time `ms`; returns the reply bytes to send.
    QByteArray receive(const QByteArray& bytes, quint64 ms);

    // Each complete sample the host should decode from what was sent, with
    // exactly the bytes the protocol carries (others stay 0; protocol 2 also
    // carries byte 28 in byte 21). Called as the sample goes out.
    std::function<void(const DatalogSample&)> onSampleSent;

    [[nodiscard]] const TEcuStats& stats() const { return m_stats; }
    [[nodiscard]] int protocol() const { return m_protocol; }

    // The frame the ECU sends for a sample (for tests of the host decoder).
    static QByteArray frame(int protocol, const DatalogSample& sample, bool corruptChecksum = false);
    // Sample bytes as they arrive through a protocol (bytes it cannot carry zeroed).
    static DatalogSample carried(int protocol, const DatalogSample& sample);
    // The ECU's answer for a protocol 0 request byte: which sample byte it
    // reads (-1 for the handshake), given the request before it.
    static int p0ReadOffset(quint8 request, quint8 previousRequest);

private:
    QByteArray answerRequest(quint8 request, quint64 ms);
    QByteArray answerFrame(quint64 ms);
    bool consumeRequestFault();
    quint8 noiseByte();

    int m_protocol;
    const TEngineModel& m_engine;
    TEcuFaults m_faults;
    TEcuStats m_stats;
    bool m_handshaken = false;
    QByteArray m_p2Pending;
    quint8 m_p0Previous = 0;
    // Where the host stands in its 15-position sample, followed from the
    // requests, so the sent samples have the host's boundaries even when it
    // re-synchronises and re-reads after a lost reply.
    int m_p0Position = 0;
    int m_p0Cycle = 0;
    DatalogSample m_p0Image;
    quint64 m_frames = 0;
    quint64 m_dataRequests = 0;
    quint32 m_rng;
};
