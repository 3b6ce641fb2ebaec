#pragma once

// Runs vexor-cli as a user runs it, for the tests of its commands.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

struct TCliRun {
    int exitCode = -1; // -1: crashed, or did not finish in time
    QByteArray out;
    QByteArray err;
    [[nodiscard]] QString outText() const { return QString::fromUtf8(out); }
    [[nodiscard]] QString errText() const { return QString::fromUtf8(err); }
    [[nodiscard]] QJsonObject json() const;
};

// The program: $VEXOR_BIN/vexor-cli, else beside the test program.
[[nodiscard]] QString cliPath();
// Whether the program is there to run (the tests skip otherwise).
[[nodiscard]] bool cliBuilt();
// Runs the program with the arguments; with `home`, as VEXOR_HOME.
TCliRun runCli(const QStringList& args, const QString& home = {}, int timeoutMs = 60000);
