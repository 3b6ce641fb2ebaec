#include "settings/mdlFiles.h"

#include "rom/mdlErrors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

QString readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EVexorError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, f.errorString()));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw EVexorError(QStringLiteral("Cannot read file \"%1\". %2").arg(path, f.errorString()));
    return QString::fromLatin1(bytes);
}

QString readExistingFile(const QString& path)
{
    if (!QFileInfo(path).isFile())
        throw EVexorError(QStringLiteral("'%1' does not exist.").arg(path));
    return readFile(path);
}

bool writeFile(const QString& path, const QString& text)
{
    bool fitsBytes = true;
    for (const QChar c : text)
        if (c.unicode() > 0xFF) {
            fitsBytes = false;
            break;
        }
    const QByteArray bytes = fitsBytes ? text.toLatin1() : text.toUtf8();
    QSaveFile f(path);
    // flush() before commit(): Qt 6.4 commits even when the final flush fails.
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.flush() || !f.commit())
        throw EVexorError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, f.errorString()));
    return true;
}

bool writeFileAtomic(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile f(path);
    // flush() before commit(): Qt 6.4 commits even when the final flush fails.
    if (f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush() && f.commit())
        return true;
    if (error)
        *error = f.errorString();
    return false;
}

static QString withoutTrailingSeparator(QString p)
{
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p;
}

QString specialFolder(int folderId)
{
    switch (folderId) {
    case sfDesktop: return withoutTrailingSeparator(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    case sfPersonal:
        return withoutTrailingSeparator(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    case sfAppData: return appDataFolder();
    case sfLocalAppData:
        return withoutTrailingSeparator(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    case sfProfile: return withoutTrailingSeparator(QDir::homePath());
    default: return QString();
    }
}

QString appDataFolder()
{
    // The XDG rule: an empty or relative $XDG_CONFIG_HOME is ignored.
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return withoutTrailingSeparator(QDir::cleanPath(xdg));
    return QDir::homePath() + QStringLiteral("/.config");
}

QString settingsFolder()
{
    const QString home = qEnvironmentVariable("VEXOR_HOME");
    if (!home.isEmpty())
        return withoutTrailingSeparator(QDir::cleanPath(home));
    return appDataFolder() + QStringLiteral("/VEXOR");
}

QString settingsFilePath(const QString& fileName) { return settingsFolder() + QLatin1Char('/') + fileName; }

QString programFolder() { return QCoreApplication::applicationDirPath(); }

bool ensureFolder(const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    if (!info.exists() && QDir().mkpath(path) && QFileInfo(path).isDir())
        return true;
    if (error) {
        // Name what is in the way, so the user can fix it: a file where a folder
        // should be, or the deepest existing folder when it is not writable.
        QString blocker;
        QString deepest;
        for (QString p = QDir::cleanPath(QDir(path).absolutePath()); !p.isEmpty(); p = QFileInfo(p).path()) {
            const QFileInfo fi(p);
            if (fi.exists() && !fi.isDir())
                blocker = p;
            if (deepest.isEmpty() && fi.isDir())
                deepest = p;
            if (p == QLatin1String("/"))
                break;
        }
        if (!blocker.isEmpty())
            *error = QStringLiteral("Could not create the folder '%1': '%2' is not a folder.").arg(path, blocker);
        else if (!deepest.isEmpty() && !QFileInfo(deepest).isWritable())
            *error =
                QStringLiteral("Could not create the folder '%1': no permission to write in '%2'.").arg(path, deepest);
        else
            *error = QStringLiteral("Could not create the folder '%1'.").arg(path);
    }
    return false;
}
