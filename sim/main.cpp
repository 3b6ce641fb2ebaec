#include "sim/mdlSim.h"

#include <QCoreApplication>
#include <QTextStream>

#include <atomic>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <pty.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
struct Entry {
    QString usage;
    SimHandler handler;
};
std::map<QString, Entry>& registry()
{
    static std::map<QString, Entry> r;
    return r;
}

std::atomic<bool> g_stop{false};

void onSignal(int) { g_stop = true; }
} // namespace

SimCommand::SimCommand(const char* name, const char* usage, SimHandler handler)
{
    registry()[QString::fromLatin1(name)] = {QString::fromLatin1(usage), std::move(handler)};
}

bool simStopRequested() { return g_stop.load(); }

qint64 simNowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

TPty openRawPty()
{
    TPty p;
    char name[256] = {};
    if (openpty(&p.master, &p.slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error(std::string("openpty failed: ") + std::strerror(errno));
    termios t{};
    tcgetattr(p.slave, &t);
    cfmakeraw(&t);
    tcsetattr(p.slave, TCSANOW, &t);
    fcntl(p.master, F_SETFL, fcntl(p.master, F_GETFL) | O_NONBLOCK);
    p.path = QString::fromLocal8Bit(name);
    return p;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // A simulator outliving the test that started it would hold its terminal forever.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    QStringList args = app.arguments().mid(1);
    auto usage = [] {
        QString text = QStringLiteral("Usage: vexor-sim DEVICE [options]\n\nDevices:\n");
        for (const auto& [name, e] : registry())
            text += QStringLiteral("  %1\n").arg(e.usage);
        return text;
    };
    if (args.isEmpty() || !registry().count(args.first())) {
        QTextStream(stderr) << usage();
        return args.isEmpty() || args.first() != QLatin1String("--help") ? 1 : 0;
    }
    const QString name = args.takeFirst();
    try {
        return registry()[name].handler(args);
    } catch (const std::exception& e) {
        QTextStream(stderr) << e.what() << '\n';
        return 2;
    }
}
