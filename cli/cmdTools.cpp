// tools: the tuning tools of the main window without a screen. Options apply
// in the order given; any refusal exits 2 and writes nothing.
#include "cli/mdlCli.h"
#include "cli/mdlCliRom.h"
#include "settings/mdlErrors.h"
#include "settings/mdlFiles.h"
#include "settings/mdlInjectors.h"
#include "settings/mdlSettingsStore.h"
#include "tools/mdlTuningTools.h"

namespace {

// "init" or "KEYWORD:NUMBER"; returns false for init, true with *value otherwise.
bool parseChoice(const QString& text, const QString& keyword, double* value)
{
    if (text == QLatin1String("init"))
        return false;
    const QString prefix = keyword + QLatin1Char(':');
    if (!text.startsWith(prefix))
        throw CliError{ExitRefused, QStringLiteral("Invalid choice \"%1\": use init or %2NUMBER.").arg(text, prefix)};
    *value = cliNumber(text.mid(prefix.size()), keyword);
    return true;
}

QString applyTool(TRom& rom, TSettingsStore& store, const QString& option, const QString& text)
{
    if (option == QLatin1String("--multiplier")) {
        applyFuelMultiplier(rom, cliNumber(text, QStringLiteral("multiplier")));
        return rom.fuelCorrectionCount() > 0 ? QStringLiteral("fuel scalar x%1 (word %2)")
                                                   .arg(text)
                                                   .arg(rom.wordAt(rom.fuelCorrection(0).scalarAddress))
                                             : QStringLiteral("both fuel maps x%1").arg(text);
    }
    if (option == QLatin1String("--injector")) {
        bool isSize = false;
        text.toDouble(&isSize);
        if (isSize)
            applyCustomInjector(rom, text);
        else
            applyInjectorByName(rom, store.injectors(), text);
        return QStringLiteral("injector %1: index %2, scalar word %3")
            .arg(text)
            .arg(injectorIndex(rom))
            .arg(rom.wordAt(rom.address(aeMainFuel)));
    }
    if (option == QLatin1String("--boost-ignition") || option == QLatin1String("--boost-fuel")) {
        if (!isBoostedRom(rom))
            throw CliError{ExitRefused, QStringLiteral("This ROM is not boosted.")};
        TBoostRequest r;
        r.atmosphericMbar = store.values().general.atmospheric;
        if (option == QLatin1String("--boost-ignition")) {
            r.ignition = parseChoice(text, QStringLiteral("retard"), &r.retardPerPsi) ? TIgnitionBoost::Retard
                                                                                      : TIgnitionBoost::Initialize;
        } else {
            r.fuel = parseChoice(text, QStringLiteral("efficiency"), &r.efficiencyPercent) ? TFuelBoost::Efficiency
                                                                                           : TFuelBoost::Initialize;
        }
        applyBoost(rom, r);
        const int first = firstBoostColumn(rom, tkLowFuel, r.atmosphericMbar);
        return QStringLiteral("boost %1 columns: %2 (%3)")
            .arg(option == QLatin1String("--boost-ignition") ? QStringLiteral("ignition") : QStringLiteral("fuel"),
                 text,
                 first < 0 ? QStringLiteral("no boost column, nothing changed")
                           : QStringLiteral("from load column %1").arg(first));
    }
    // --ignition-offset
    setIgnitionOffset(rom, text);
    return QStringLiteral("ignition offset %1").arg(rom.IgnitionOffset);
}

int cmdTools(const QStringList& a)
{
    const QStringList toolOptions = {QStringLiteral("--multiplier"), QStringLiteral("--injector"),
                                     QStringLiteral("--boost-ignition"), QStringLiteral("--boost-fuel"),
                                     QStringLiteral("--ignition-offset")};
    CliArgs args(a, {}, QStringList(toolOptions) << QStringLiteral("-o"));
    const QString out = args.value(QStringLiteral("-o"));
    TSettingsStore store(settingsFolder());
    store.load();
    TRom rom;
    cliOpenRom(rom, args.positionalAt(0, QStringLiteral("ROM")));
    rom.IgnitionOffset = qint8(clampIgnitionOffset(store.values().general.ignitionOffset));
    const qint8 offsetBefore = rom.IgnitionOffset;
    QStringList done;
    for (const auto& [option, text] : args.ordered()) {
        if (option == QLatin1String("-o"))
            continue;
        try {
            done << applyTool(rom, store, option, text);
        } catch (const EVexorError& e) {
            throw CliError{ExitRefused, QStringLiteral("%1 %2: %3 Nothing written.").arg(option, text, e.message())};
        }
    }
    if (done.isEmpty())
        throw CliError{ExitUsage,
                       QStringLiteral("Name at least one tool: %1.").arg(toolOptions.join(QStringLiteral(", ")))};
    cliSaveRom(rom, out);
    // The offset belongs to the program's settings, not to the image.
    if (rom.IgnitionOffset != offsetBefore) {
        store.values().general.ignitionOffset = rom.IgnitionOffset;
        QString error;
        if (!store.save(&error))
            cliErr(QStringLiteral("The ignition offset was not saved: %1").arg(error));
    }
    for (const QString& line : done)
        cliOut(line);
    cliOut(QStringLiteral("written %1").arg(out));
    return ExitOk;
}

const CliCommand reg("tools",
                     "tools ROM -o OUT [--multiplier M] [--injector SIZE|NAME] "
                     "[--boost-ignition init|retard:DEG_PER_PSI] [--boost-fuel init|efficiency:PCT] "
                     "[--ignition-offset DEG]",
                     cmdTools);

} // namespace
