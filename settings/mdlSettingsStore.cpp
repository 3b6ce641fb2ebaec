#include "settings/mdlSettingsStore.h"

#include "settings/mdlFiles.h"
#include "settings/mdlIniFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QObject>
#include <algorithm>

TSettingsStore::TSettingsStore(const QString& folder) : m_folder(folder) {}

QString TSettingsStore::iniPath() const { return m_folder + QStringLiteral("/vexor.ini"); }

QString TSettingsStore::injectorsPath() const { return m_folder + QStringLiteral("/injectors.ini"); }

QString TSettingsStore::widebandPath() const { return m_folder + QStringLiteral("/wideband.ini"); }

QString TSettingsStore::shippedWidebandPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/wideband.ini");
}

bool TSettingsStore::prepareFolder(QString* error)
{
    QString why;
    if (ensureFolder(m_folder, &why))
        return true;
    if (error)
        *error = why + QStringLiteral("\r\n\r\nThe program starts with default settings, and settings changes "
                                      "cannot be saved until the folder can be created.");
    return false;
}

bool TSettingsStore::load(QString* error)
{
    QStringList problems;
    QString why;
    TIniFile ini;
    TSettings values;
    if (ini.load(iniPath(), &why))
        values.read(ini);
    else
        problems << why;
    m_values = values;

    const QString widebands =
        QFile::exists(widebandPath()) || m_shippedWideband.isEmpty() ? widebandPath() : m_shippedWideband;
    if (!m_widebands.load(widebands, &why))
        problems << why;
    if (!m_injectors.load(injectorsPath(), &why))
        problems << why;
    // A table conversion chosen while its points were never stored (a first
    // run, or a file saved with them empty) takes them from wideband.ini, as
    // choosing it in the settings window does; all-zero points convert nothing.
    const int sensor = m_values.tuning.sensorIndex;
    const bool noPoints = std::all_of(m_values.lambdaConversion.begin(), m_values.lambdaConversion.end(),
                                      [](const TLambdaPoint& p) { return p == TLambdaPoint{}; });
    if (noPoints && sensor < m_widebands.count())
        m_values.lambdaConversion = m_widebands.points(sensor);

    if (error)
        *error = problems.join(QStringLiteral("\r\n"));
    return problems.isEmpty();
}

bool TSettingsStore::save(QString* error)
{
    collect();
    // Start from the file as it is, so comments and keys other programs or
    // versions put there survive.
    TIniFile ini;
    QString why;
    if (!ini.load(iniPath(), &why)) {
        // Not readable: writing would throw away its content we could not see.
        if (error)
            *error = why;
        return false;
    }
    m_values.write(ini);
    ensureFolder(m_folder); // a folder that could not be made at start-up may be possible now
    if (!ini.save(&why)) {
        if (error)
            *error = why;
        return false;
    }
    return true;
}

int TSettingsStore::addConsumer(const Apply& apply, const Collect& collect, QObject* owner)
{
    const int id = m_nextId++;
    m_consumers.push_back(Consumer{id, apply, collect, owner != nullptr, QPointer<QObject>(owner)});
    return id;
}

void TSettingsStore::removeConsumer(int id)
{
    std::erase_if(m_consumers, [id](const Consumer& c) { return c.id == id; });
}

void TSettingsStore::dropDeadConsumers()
{
    std::erase_if(m_consumers, [](const Consumer& c) { return c.owned && c.owner.isNull(); });
}

void TSettingsStore::apply()
{
    dropDeadConsumers();
    // A consumer may register or remove others while it runs; walk a copy.
    const std::vector<Consumer> consumers = m_consumers;
    for (const Consumer& c : consumers)
        if (c.apply && (!c.owned || !c.owner.isNull()))
            c.apply(m_values);
}

void TSettingsStore::collect()
{
    dropDeadConsumers();
    const std::vector<Consumer> consumers = m_consumers;
    for (const Consumer& c : consumers)
        if (c.collect && (!c.owned || !c.owner.isNull()))
            c.collect(m_values);
}
