#pragma once

// vexor-sim: simulated hardware on pseudo-terminals. Each device kind is its
// own source file registering a sub-command, like the CLI's commands.

#include <QStringList>
#include <functional>

using SimHandler = std::function<int(const QStringList& args)>;

struct SimCommand {
    SimCommand(const char* name, const char* usage, SimHandler handler);
};

// A pseudo-terminal in raw mode: the master side for the simulator, the
// device path the program under test opens.
struct TPty {
    int master = -1;
    int slave = -1; // kept open so the master never sees a hang-up between host sessions
    QString path;
};
// Creates the pseudo-terminal; throws std::runtime_error on failure.
TPty openRawPty();

// Monotonic nanoseconds.
qint64 simNowNs();
// Set by SIGTERM, SIGINT or SIGHUP; simulators leave their loop when it is set.
bool simStopRequested();
