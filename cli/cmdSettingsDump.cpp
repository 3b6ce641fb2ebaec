// vexor-cli settings-dump: every key of vexor.ini as the program holds it after
// loading (defaults applied, unusable values replaced), by section.

#include "cli/mdlCli.h"
#include "settings/mdlFiles.h"
#include "settings/mdlSettingsStore.h"

#include <QJsonObject>
#include <algorithm>

namespace {

int cmdSettingsDump(const QStringList& args)
{
    const CliArgs a(args, {QStringLiteral("--json")}, {});
    if (!a.positional().isEmpty())
        throw CliError{ExitUsage, QStringLiteral("Unexpected argument \"%1\".").arg(a.positional().first())};

    // Reading only: the settings folder is not created here.
    TSettingsStore store(settingsFolder());
    QString error;
    if (!store.load(&error))
        throw CliError{ExitRefused, error};
    const std::vector<TSettingValue> values = settingValues(store.values());

    if (a.flag(QStringLiteral("--json"))) {
        QJsonObject root;
        for (const TSettingValue& v : values) {
            QJsonObject section = root.value(v.section).toObject();
            section.insert(v.key, v.value.isValid() ? QJsonValue::fromVariant(v.value) : QJsonValue());
            root.insert(v.section, section);
        }
        cliJson(QJsonDocument(root));
        return ExitOk;
    }

    int width = 0;
    for (const TSettingValue& v : values)
        width = std::max(width, static_cast<int>(v.key.size()));
    cliOut(QStringLiteral("# %1").arg(store.iniPath()));
    QString section;
    for (const TSettingValue& v : values) {
        if (v.section != section) {
            section = v.section;
            cliOut(QStringLiteral("\n[%1]").arg(section));
        }
        // An unset value is one the window fills in from its current state.
        const QString value = v.value.isValid() ? settingText(v.value) : QStringLiteral("(not set)");
        QString line = QStringLiteral("  %1  %2").arg(v.key, -width).arg(value);
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1); // an empty recent-file entry
        cliOut(line);
    }
    return ExitOk;
}

const CliCommand reg("settings-dump", "settings-dump [--json]", cmdSettingsDump);

} // namespace
