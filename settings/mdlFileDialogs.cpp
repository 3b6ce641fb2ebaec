#include "settings/mdlFileDialogs.h"

QStringList qtNameFilters(const QString& windowsFilter)
{
    QStringList out;
    const QStringList parts = windowsFilter.split(QLatin1Char('|'));
    if (windowsFilter.trimmed().isEmpty())
        return out;
    for (int i = 0; i < parts.size(); i += 2) {
        const QString desc = parts.at(i).trimmed();
        QStringList patterns;
        if (i + 1 < parts.size()) {
            for (const QString& p : parts.at(i + 1).split(QLatin1Char(';'))) {
                const QString t = p.trimmed();
                if (!t.isEmpty())
                    patterns << t;
            }
        }
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        if (desc.isEmpty() && i + 1 >= parts.size())
            continue; // a trailing '|' ends the list
        out << QStringLiteral("%1 (%2)").arg(desc.isEmpty() ? patterns.join(QLatin1Char(' ')) : desc,
                                             patterns.join(QLatin1Char(' ')));
    }
    return out;
}

QString qtFileFilter(const QString& windowsFilter) { return qtNameFilters(windowsFilter).join(QLatin1String(";;")); }

QString qtSelectedFilter(const QString& windowsFilter, int filterIndex)
{
    const QStringList filters = qtNameFilters(windowsFilter);
    if (filters.isEmpty())
        return QString();
    if (filterIndex < 1 || filterIndex > filters.size())
        return filters.first();
    return filters.at(filterIndex - 1);
}

QString defaultSuffix(const QString& defaultExt)
{
    QString s = defaultExt.trimmed();
    while (s.startsWith(QLatin1Char('.')))
        s.remove(0, 1);
    return s;
}
