#pragma once

#include <QJsonDocument>
#include <QString>
#include <QStringList>
#include <functional>

// Exit codes of the command-line front end.
enum CliExit { ExitOk = 0, ExitUsage = 1, ExitRefused = 2 };

// A usage error (exit 1) or a refused file or value (exit 2), with its text.
struct CliError {
    int exitCode;
    QString message;
};

// Options of one command: positional arguments, repeatable `--name value`
// options and `--flag` switches.
class CliArgs {
public:
    CliArgs(const QStringList& args, const QStringList& flags, const QStringList& valued);
    [[nodiscard]] const QStringList& positional() const { return m_positional; }
    [[nodiscard]] bool flag(const QString& name) const { return m_flags.contains(name); }
    [[nodiscard]] bool has(const QString& name) const;
    [[nodiscard]] QString value(const QString& name) const; // last given; throws usage error if absent
    [[nodiscard]] QString value(const QString& name, const QString& def) const;
    [[nodiscard]] QStringList values(const QString& name) const;
    // Ordered (name, value) pairs as given, for commands whose options apply in order.
    [[nodiscard]] const QList<QPair<QString, QString>>& ordered() const { return m_ordered; }
    [[nodiscard]] QString positionalAt(int i, const QString& what) const;

private:
    QStringList m_positional;
    QStringList m_flags;
    QList<QPair<QString, QString>> m_ordered;
};

using CliHandler = std::function<int(const QStringList& args)>;

// Each command registers itself from its own source file.
struct CliCommand {
    CliCommand(const char* name, const char* usage, CliHandler handler);
};

void cliOut(const QString& text);                           // standard output, with a newline
void cliErr(const QString& text);                           // standard error, with a newline
void cliJson(const QJsonDocument& doc);                     // indented JSON on standard output
double cliNumber(const QString& text, const QString& what); // refused (exit 2) unless finite
int cliInt(const QString& text, const QString& what);       // refused (exit 2) unless an integer
