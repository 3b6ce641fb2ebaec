// vexor-sim emu: a ROM emulator on a pseudo-terminal. Bytes are paced at the
// line's current baud rate (as the host set it on the terminal): a command
// counts as received once its bytes would have crossed the wire, and no reply
// byte leaves before the previous one has been shifted out.

#include "sim/mdlEmuSim.h"
#include "sim/mdlSim.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <asm/termbits.h>
#include <cerrno>
#include <deque>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const char* const Usage =
    "emu --hardware 0|2|3 [--model O|D|B|F|A] [--baud B] [--load IMAGE] [--dump FILE] [--erase-ms 100] "
    "[--bad-sum N] [--reject-writes N] [--silence-after N] [--noise] [--seed S]";

struct TOptions {
    int hardware = -1;
    char model = 'O';
    qint64 baud = 0; // 0: follow the line
    int eraseMs = 100;
    TEmuFaults faults;
    QString load;
    QString dump;
};

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

QString text(const QStringList& args, int& i, const QString& name)
{
    if (i + 1 >= args.size())
        throw std::runtime_error(QStringLiteral("Option %1 needs a value.").arg(name).toStdString());
    return args.at(++i);
}

TOptions parse(const QStringList& args)
{
    TOptions o;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--hardware"))
            o.hardware = static_cast<int>(number(args, i, a));
        else if (a == QLatin1String("--model")) {
            const QString m = text(args, i, a).toUpper();
            if (m.size() != 1 || !QStringLiteral("ODBFA").contains(m))
                throw std::runtime_error("--model is one of O, D, B, F, A.");
            o.model = m.at(0).toLatin1();
        } else if (a == QLatin1String("--baud"))
            o.baud = number(args, i, a);
        else if (a == QLatin1String("--erase-ms"))
            o.eraseMs = static_cast<int>(number(args, i, a));
        else if (a == QLatin1String("--bad-sum"))
            o.faults.badSumEvery = static_cast<int>(number(args, i, a));
        else if (a == QLatin1String("--reject-writes"))
            o.faults.rejectWritesEvery = static_cast<int>(number(args, i, a));
        else if (a == QLatin1String("--silence-after"))
            o.faults.silenceAfter = number(args, i, a);
        else if (a == QLatin1String("--noise"))
            o.faults.noise = true;
        else if (a == QLatin1String("--seed"))
            o.faults.seed = static_cast<quint32>(number(args, i, a));
        else if (a == QLatin1String("--load"))
            o.load = text(args, i, a);
        else if (a == QLatin1String("--dump"))
            o.dump = text(args, i, a);
        else
            throw std::runtime_error(
                QStringLiteral("Unknown option %1.\nUsage: vexor-sim %2").arg(a, QLatin1String(Usage)).toStdString());
    }
    if (o.hardware != 0 && o.hardware != 2 && o.hardware != 3)
        throw std::runtime_error(std::string("Missing or invalid --hardware.\nUsage: vexor-sim ") + Usage);
    return o;
}

// The baud rate the host set on the terminal; 0 when it cannot be read.
qint64 lineBaud(int fd)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    return static_cast<qint64>(t.c_ospeed);
}

void writeAll(int fd, const QByteArray& out)
{
    qsizetype off = 0;
    while (off < out.size()) {
        const ssize_t n = ::write(fd, out.constData() + off, static_cast<size_t>(out.size() - off));
        if (n > 0) {
            off += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return; // nobody listens; drop
        } else {
            pollfd w{fd, POLLOUT, 0};
            ::poll(&w, 1, 10);
        }
    }
}

constexpr qint64 ChunkNs = 1000000;

int runEmu(const QStringList& args)
{
    const TOptions opt = parse(args);
    prctl(PR_SET_TIMERSLACK, 1000UL);
    TEmuModel model(opt.hardware, opt.model, opt.faults);
    model.eraseMs = opt.eraseMs;
    if (!opt.load.isEmpty()) {
        QFile f(opt.load);
        if (!f.open(QIODevice::ReadOnly))
            throw std::runtime_error("Cannot read the --load image.");
        model.loadImage(f.readAll(), model.code() == 5);
    }

    const TPty pty = openRawPty();
    {
        QTextStream out(stdout);
        out << pty.path << '\n';
        out.flush();
    }

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
        if (!out.isEmpty())
            writeAll(pty.master, out);
        now = simNowNs();
        qint64 next = now + 100000000LL;
        // Bytes leave in chunks of up to a millisecond, as a USB serial
        // adapter hands them on, but the last byte of a reply is never late.
        if (!tx.empty())
            next = std::min({next, tx.front().second + ChunkNs, tx.back().second});
        const qint64 waitNs = std::max<qint64>(0, next - now);
        pollfd p{pty.master, POLLIN, 0};
        timespec ts{static_cast<time_t>(waitNs / 1000000000LL), static_cast<long>(waitNs % 1000000000LL)};
        const int r = ::ppoll(&p, 1, &ts, nullptr);
        if (r > 0 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(pty.master, buf, sizeof buf);
            if (n > 0) {
                qint64 baud = opt.baud > 0 ? opt.baud : lineBaud(pty.slave);
                if (baud <= 0)
                    baud = model.highSpeed() ? 920000 : 38400;
                const qint64 byteNs = 10LL * 1000000000LL / baud; // start bit, 8 data bits, stop bit
                const qint64 t = simNowNs();
                rxFree = std::max(t, rxFree) + n * byteNs;
                int delayMs = 0;
                const QByteArray reply = model.receive(QByteArray(buf, static_cast<qsizetype>(n)), &delayMs);
                qint64 at = std::max(txFree, rxFree + delayMs * 1000000LL);
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

    if (!opt.dump.isEmpty()) {
        QFile f(opt.dump);
        if (f.open(QIODevice::WriteOnly))
            f.write(model.memory());
        if (model.hasChip()) {
            QFile c(opt.dump + QStringLiteral(".chip"));
            if (c.open(QIODevice::WriteOnly))
                c.write(model.chip());
        }
    }
    const TEmuStats& s = model.stats();
    QTextStream out(stdout);
    out << QStringLiteral("commands=%1 reads=%2 writes=%3 bytes=%4 badsums=%5 refused=%6 badcommands=%7 "
                          "unanswered=%8 noise=%9 erases=%10")
               .arg(s.commands)
               .arg(s.blockReads)
               .arg(s.blockWrites)
               .arg(s.byteWrites)
               .arg(s.badSums)
               .arg(s.refusedWrites)
               .arg(s.badCommands)
               .arg(s.unanswered)
               .arg(s.noiseBytes)
               .arg(s.erases)
        << '\n';
    out.flush();
    ::close(pty.master);
    ::close(pty.slave);
    return 0;
}

SimCommand reg("emu", Usage, runEmu);

} // namespace
