// vexor-sim ecu: an ECU (or the protocol 2 adapter) on a pseudo-terminal.
// Bytes are paced as on a real line: a request counts as received only after
// its bytes would have crossed the wire at the configured baud rate, and each
// reply byte leaves when the previous one has been shifted out.

#include "sim/mdlEcuSim.h"
#include "sim/mdlSim.h"

#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <deque>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const char* const Usage = "ecu --protocol 0|1|2 [--baud 38400] [--latency-us 0] [--noise N] [--noise-bytes K] "
                          "[--bad-checksum N] [--drop N] [--silence-after N] [--sent-log FILE.dlf] [--seed S] "
                          "[--rich COL,ROW[,LAMBDA[,high]]]...\n"
                          "      (--noise and --bad-checksum do not apply to protocol 0: its one-byte replies "
                          "carry no checksum)";

struct TOptions {
    int protocol = -1;
    qint64 baud = 38400;
    qint64 latencyUs = 0;
    TEcuFaults faults;
    QString sentLog;
    std::vector<TRichCell> richCells;
};

// "COL,ROW[,LAMBDA[,high]]": a cell the engine runs off target in.
TRichCell richCell(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    bool okCol = false, okRow = false, okLambda = true;
    TRichCell c;
    if (parts.size() >= 2) {
        c.col = parts.at(0).toInt(&okCol);
        c.row = parts.at(1).toInt(&okRow);
    }
    if (parts.size() >= 3)
        c.lambda = parts.at(2).toDouble(&okLambda);
    c.highCam = parts.size() >= 4 && parts.at(3) == QLatin1String("high");
    if (!okCol || !okRow || !okLambda || parts.size() > 4 || c.lambda <= 0)
        throw std::runtime_error(QStringLiteral("Invalid value for --rich: %1").arg(text).toStdString());
    return c;
}

qint64 number(const QStringList& args, int& i, const QString& name)
{
    if (i + 1 >= args.size())
        throw std::runtime_error(QStringLiteral("Option %1 needs a value.").arg(name).toStdString());
    bool ok = false;
    const qint64 v = args.at(++i).toLongLong(&ok);
    if (!ok || v < 0)
        throw std::runtime_error(QStringLiteral("Invalid value for %1: %2").arg(name, args.at(i)).toStdString());
    return v;
}

TOptions parse(const QStringList& args)
{
    TOptions o;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--protocol"))
            o.protocol = static_cast<int>(number(args, i, a));
        else if (a == QLatin1String("--baud"))
            o.baud = number(args, i, a);
        else if (a == QLatin1String("--latency-us"))
            o.latencyUs = number(args, i, a);
        else if (a == QLatin1String("--noise"))
            o.faults.noiseEvery = static_cast<int>(number(args, i, a));
        else if (a == QLatin1String("--noise-bytes"))
            o.faults.noiseBytes = static_cast<int>(number(args, i, a));
        else if (a == QLatin1String("--bad-checksum"))
            o.faults.badChecksumEvery = static_cast<int>(number(args, i, a));
        else if (a == QLatin1String("--drop"))
            o.faults.dropEvery = static_cast<int>(number(args, i, a));
        else if (a == QLatin1String("--silence-after"))
            o.faults.silenceAfter = number(args, i, a);
        else if (a == QLatin1String("--seed"))
            o.faults.seed = static_cast<quint32>(number(args, i, a));
        else if (a == QLatin1String("--sent-log")) {
            if (i + 1 >= args.size())
                throw std::runtime_error("Option --sent-log needs a value.");
            o.sentLog = args.at(++i);
        } else if (a == QLatin1String("--rich")) {
            if (i + 1 >= args.size())
                throw std::runtime_error("Option --rich needs a value.");
            o.richCells.push_back(richCell(args.at(++i)));
        } else
            throw std::runtime_error(
                QStringLiteral("Unknown option %1.\nUsage: vexor-sim %2").arg(a, QLatin1String(Usage)).toStdString());
    }
    if (o.protocol < 0 || o.protocol > 2)
        throw std::runtime_error(std::string("Missing or invalid --protocol.\nUsage: vexor-sim ") + Usage);
    if (o.baud <= 0)
        throw std::runtime_error("Invalid --baud.");
    return o;
}

int runEcu(const QStringList& args)
{
    const TOptions opt = parse(args);
    // Byte times of a few hundred microseconds need a tight timer slack.
    prctl(PR_SET_TIMERSLACK, 1000UL);
    FILE* sentLog = nullptr;
    if (!opt.sentLog.isEmpty()) {
        sentLog = std::fopen(opt.sentLog.toLocal8Bit().constData(), "wb");
        if (!sentLog)
            throw std::runtime_error("Cannot create the sent-sample log.");
    }

    const TPty pty = openRawPty();
    {
        QTextStream out(stdout);
        out << pty.path << '\n';
        out.flush();
    }

    const qint64 start = simNowNs();
    const qint64 byteNs = 10LL * 1000000000LL / opt.baud; // start bit, 8 data bits, stop bit
    const qint64 latencyNs = opt.latencyUs * 1000;
    TEngineModel engine;
    engine.richCells = opt.richCells;
    TEcuResponder responder(opt.protocol, engine, opt.faults);
    responder.onSampleSent = [&](const DatalogSample& s) {
        if (sentLog) {
            std::fwrite(s.bytes.data(), 1, DatalogSample::Size, sentLog);
            std::fflush(sentLog);
        }
    };

    std::deque<std::pair<char, qint64>> tx; // reply bytes with the time each has been shifted out
    qint64 rxFree = 0;
    qint64 txFree = 0;
    char buf[4096];

    while (!simStopRequested()) {
        qint64 now = simNowNs();
        QByteArray out;
        while (!tx.empty() && tx.front().second <= now) {
            out += tx.front().first;
            tx.pop_front();
        }
        if (!out.isEmpty()) {
            qsizetype off = 0;
            while (off < out.size()) {
                const ssize_t n = ::write(pty.master, out.constData() + off, static_cast<size_t>(out.size() - off));
                if (n > 0) {
                    off += n;
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    break; // nobody listens; drop
                } else {
                    pollfd w{pty.master, POLLOUT, 0};
                    ::poll(&w, 1, 10);
                }
            }
        }
        now = simNowNs();
        qint64 next = now + 100000000LL;
        if (!tx.empty())
            next = std::min(next, tx.front().second);
        const qint64 waitNs = std::max<qint64>(0, next - now);
        pollfd p{pty.master, POLLIN, 0};
        timespec ts{static_cast<time_t>(waitNs / 1000000000LL), static_cast<long>(waitNs % 1000000000LL)};
        const int r = ::ppoll(&p, 1, &ts, nullptr);
        if (r > 0 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(pty.master, buf, sizeof buf);
            if (n > 0) {
                // The request is complete once its bytes have crossed the
                // line; the reply starts then (plus the ECU's latency). It is
                // worked out now and queued, so the simulator wakes up only
                // to put bytes on the line.
                const qint64 t = simNowNs();
                rxFree = std::max(t, rxFree) + n * byteNs;
                const QByteArray reply = responder.receive(QByteArray(buf, static_cast<qsizetype>(n)),
                                                           static_cast<quint64>((rxFree - start) / 1000000));
                qint64 at = std::max(txFree, rxFree + latencyNs);
                for (char c : reply) {
                    at += byteNs;
                    tx.emplace_back(c, at);
                }
                txFree = at;
            }
        } else if (r > 0 && (p.revents & (POLLHUP | POLLERR))) {
            ::usleep(2000);
        }
    }

    const TEcuStats& s = responder.stats();
    QTextStream out(stdout);
    out << QStringLiteral("requests=%1 samples=%2 unanswered=%3 dropped=%4 corrupt=%5 noise=%6")
               .arg(s.requests)
               .arg(s.samples)
               .arg(s.unanswered)
               .arg(s.dropped)
               .arg(s.corruptFrames)
               .arg(s.noiseBursts)
        << '\n';
    out.flush();
    if (sentLog)
        std::fclose(sentLog);
    ::close(pty.master);
    ::close(pty.slave);
    return 0;
}

SimCommand reg("ecu", Usage, runEcu);

} // namespace
