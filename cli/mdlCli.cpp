#include "cli/mdlCli.h"

#include "settings/mdlErrors.h"

#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <map>

namespace {
struct Entry {
    QString usage;
    CliHandler handler;
};
std::map<QString, Entry>& registry()
{
    static std::map<QString, Entry> r;
    return r;
}
} // namespace

CliCommand::CliCommand(const char* name, const char* usage, CliHandler handler)
{
    registry()[QString::fromLatin1(name)] = {QString::fromLatin1(usage), std::move(handler)};
}

CliArgs::CliArgs(const QStringList& args, const QStringList& flags, const QStringList& valued)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a.startsWith(QLatin1String("-")) && a.size() > 1 && !a.at(1).isDigit() && a != QLatin1String("-")) {
            if (flags.contains(a)) {
                m_flags << a;
            } else if (valued.contains(a)) {
                if (i + 1 >= args.size())
                    throw CliError{ExitUsage, QStringLiteral("Option %1 needs a value.").arg(a)};
                m_ordered.append({a, args[++i]});
            } else {
                throw CliError{ExitUsage, QStringLiteral("Unknown option %1.").arg(a)};
            }
        } else {
            m_positional << a;
        }
    }
}

bool CliArgs::has(const QString& name) const
{
    for (const auto& p : m_ordered)
        if (p.first == name)
            return true;
    return false;
}

QString CliArgs::value(const QString& name) const
{
    if (!has(name))
        throw CliError{ExitUsage, QStringLiteral("Missing option %1.").arg(name)};
    return values(name).constLast();
}

QString CliArgs::value(const QString& name, const QString& def) const
{
    return has(name) ? values(name).constLast() : def;
}

QStringList CliArgs::values(const QString& name) const
{
    QStringList out;
    for (const auto& p : m_ordered)
        if (p.first == name)
            out << p.second;
    return out;
}

QString CliArgs::positionalAt(int i, const QString& what) const
{
    if (i >= m_positional.size())
        throw CliError{ExitUsage, QStringLiteral("Missing %1.").arg(what)};
    return m_positional.at(i);
}

void cliOut(const QString& text) { QTextStream(stdout) << text << '\n'; }

void cliErr(const QString& text) { QTextStream(stderr) << text << '\n'; }

void cliJson(const QJsonDocument& doc) { QTextStream(stdout) << doc.toJson(QJsonDocument::Indented); }

double cliNumber(const QString& text, const QString& what)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        throw CliError{ExitRefused, QStringLiteral("Invalid %1: \"%2\".").arg(what, text)};
    return v;
}

int cliInt(const QString& text, const QString& what)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok)
        throw CliError{ExitRefused, QStringLiteral("Invalid %1: \"%2\".").arg(what, text)};
    return v;
}

int cliMain(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    auto usage = [] {
        QString text = QStringLiteral("Usage: vexor-cli COMMAND [options]\n\nCommands:\n");
        for (const auto& [name, e] : registry())
            text += QStringLiteral("  %1\n").arg(e.usage);
        return text;
    };
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("help")) {
        QTextStream(args.isEmpty() ? stderr : stdout) << usage();
        return args.isEmpty() ? ExitUsage : ExitOk;
    }
    const auto it = registry().find(args.first());
    if (it == registry().end()) {
        cliErr(QStringLiteral("Unknown command \"%1\".").arg(args.first()));
        QTextStream(stderr) << usage();
        return ExitUsage;
    }
    try {
        return it->second.handler(args.mid(1));
    } catch (const CliError& e) {
        cliErr(e.message);
        if (e.exitCode == ExitUsage)
            cliErr(QStringLiteral("Usage: vexor-cli %1").arg(it->second.usage));
        return e.exitCode;
    } catch (const EVexorError& e) {
        cliErr(e.message());
        return ExitRefused;
    }
}
