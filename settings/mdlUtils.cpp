#include "settings/mdlUtils.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <cmath>

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return 0;
}

int hexTextValue(const QString& text)
{
    quint32 sum = 0;
    for (const QChar c : text)
        sum = sum * 16u + static_cast<quint32>(hexDigitValue(c));
    return static_cast<int>(sum);
}

QChar randomCapital()
{
    // The global generator is seeded once from the system; re-seeding from the
    // clock on every call would repeat one letter within a millisecond.
    return QChar(static_cast<char16_t>(u'A' + QRandomGenerator::global()->bounded(25)));
}

QString randomCapitals(int count)
{
    QString s;
    for (int i = 0; i < count; ++i)
        s += randomCapital();
    return s;
}

std::optional<QChar> integerKeyFilter(QChar key, bool isSigned)
{
    const char16_t u = key.unicode();
    if (u == 8 || u == 127 || (u >= u'0' && u <= u'9'))
        return key;
    if (isSigned && (u == u'+' || u == u'-'))
        return key;
    return std::nullopt;
}

std::optional<QChar> realKeyFilter(QChar key, bool isSigned)
{
    if (key == QLatin1Char('.'))
        return key;
    return integerKeyFilter(key, isSigned);
}

QString reformatNumber(const QString& text, int decimals, double defaultValue)
{
    bool ok = false;
    double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        v = defaultValue;
    return QString::number(v, 'f', qMax(0, decimals));
}

QString captureCommandOutput(const QString& commandLine)
{
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.setProgram(QStringLiteral("/bin/sh"));
    p.setArguments({QStringLiteral("-c"), commandLine});
    p.start(QIODevice::ReadOnly);
    if (!p.waitForStarted())
        return QString();
    QByteArray out;
    while (!p.waitForFinished(100)) {
        if (p.state() == QProcess::NotRunning)
            break;
        out += p.readAllStandardOutput();
        QCoreApplication::processEvents();
    }
    out += p.readAllStandardOutput();
    return QString::fromLocal8Bit(out);
}
