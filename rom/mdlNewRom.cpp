#include "rom/mdlNewRom.h"

#include "settings/mdlFiles.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

QString newRomTemplateFolder() { return settingsFolder() + QStringLiteral("/NEW"); }

bool ensureNewRomTemplateFolder(QString* error) { return ensureFolder(newRomTemplateFolder(), error); }

bool isRomTemplateFile(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("new"), Qt::CaseInsensitive) == 0;
}

QList<TNewRomTemplate> listNewRomTemplates(const QString& folder)
{
    QList<TNewRomTemplate> out;
    const QDir dir(folder);
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::Readable, QDir::NoSort);
    for (const QFileInfo& f : files) {
        if (!isRomTemplateFile(f.fileName()) || f.fileName().size() <= 4)
            continue;
        out.append({f.fileName().left(f.fileName().size() - 4), f.absoluteFilePath()});
    }
    std::sort(out.begin(), out.end(), [](const TNewRomTemplate& a, const TNewRomTemplate& b) {
        const int c = a.name.compare(b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return out;
}
