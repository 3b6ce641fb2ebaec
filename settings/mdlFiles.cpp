#include "settings/mdlFiles.h"

#include "settings/mdlErrors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

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
    QString reason;
    if (!writeFileAtomic(path, encodeLatin1OrUtf8(text), &reason))
        throw EVexorError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason));
    return true;
}

bool writeFileAtomic(const QString& path, const TFileProducer& produce, QString* error)
{
    QSaveFile f(path);
    bool ok = f.open(QIODevice::WriteOnly) && produce(f);
    // Qt 6.4's commit() still renames when its own final flush fails (a full
    // disk after a buffered write), leaving a truncated file in place of the
    // old one. Flushing first catches that while the old file is still there.
    ok = ok && f.flush() && f.error() == QFileDevice::NoError && f.commit();
    if (ok)
        return true;
    if (error)
        *error = f.errorString();
    f.cancelWriting();
    return false;
}

bool writeFileAtomic(const QString& path, const QByteArray& bytes, QString* error)
{
    return writeFileAtomic(
        path, [&bytes](QIODevice& out) { return out.write(bytes) == bytes.size(); }, error);
}

bool startWriteback(QIODevice& out)
{
    auto* file = qobject_cast<QFileDevice*>(&out);
    if (!file || !file->flush() || file->handle() < 0)
        return false;
#ifdef Q_OS_LINUX
    return sync_file_range(file->handle(), 0, 0, SYNC_FILE_RANGE_WRITE) == 0;
#else
    return false;
#endif
}

bool fitsLatin1(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

QByteArray encodeLatin1OrUtf8(const QString& text, bool* usedLatin1)
{
    const bool latin1 = fitsLatin1(text);
    if (usedLatin1)
        *usedLatin1 = latin1;
    return latin1 ? text.toLatin1() : text.toUtf8();
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
