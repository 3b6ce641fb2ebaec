#include "support/TestCli.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>

QJsonObject TCliRun::json() const { return QJsonDocument::fromJson(out).object(); }

QString cliPath()
{
    return qEnvironmentVariable("VEXOR_BIN", QCoreApplication::applicationDirPath()) + QStringLiteral("/vexor-cli");
}

bool cliBuilt() { return QFileInfo(cliPath()).isExecutable(); }

TCliRun runCli(const QStringList& args, const QString& home, int timeoutMs)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!home.isEmpty())
        env.insert(QStringLiteral("VEXOR_HOME"), home);
    p.setProcessEnvironment(env);
    p.start(cliPath(), args);
    const bool finished = p.waitForFinished(timeoutMs);
    TCliRun r;
    r.exitCode = finished && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}
