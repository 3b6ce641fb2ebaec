// options: lists the option page of a ROM by control name, and writes fields
// and correction-grid cells through the same handlers as the page.
#include "cli/mdlCli.h"
#include "cli/mdlCliRom.h"
#include "options/mdlCorrectionGrids.h"
#include "options/mdlOptionFields.h"
#include "settings/mdlErrors.h"
#include "settings/mdlFiles.h"
#include "settings/mdlSettingsStore.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

QString controlKind(TOptionControl c)
{
    switch (c) {
    case TOptionControl::Text: return QStringLiteral("text");
    case TOptionControl::Check: return QStringLiteral("check");
    case TOptionControl::Combo: return QStringLiteral("combo");
    case TOptionControl::Track: return QStringLiteral("track");
    case TOptionControl::Button: return QStringLiteral("button");
    }
    return {};
}

void applySet(TOptionContext& ctx, const QString& assignment)
{
    static const QRegularExpression cellRe(QStringLiteral("^(cg\\w+):(\\d+):(\\d+)=(.*)$"));
    static const QRegularExpression fieldRe(QStringLiteral("^(\\w+)=(.*)$"));
    if (const auto m = cellRe.match(assignment); m.hasMatch()) {
        const TCorrectionGridSpec* gridDef = findCorrectionGrid(m.captured(1));
        if (!gridDef || !ctx.rom.traits().optionTree)
            throw CliError{ExitRefused, QStringLiteral("Unknown grid \"%1\".").arg(m.captured(1))};
        TCorrectionGrid grid(*gridDef, ctx);
        grid.setCellText(m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4));
        return;
    }
    const auto m = fieldRe.match(assignment);
    if (!m.hasMatch())
        throw CliError{ExitRefused, QStringLiteral("Invalid setting \"%1\": use NAME=VALUE.").arg(assignment)};
    const TOptionField* field = findOptionField(ctx.rom, m.captured(1));
    if (!field)
        throw CliError{ExitRefused, QStringLiteral("Unknown field \"%1\" on this ROM's page.").arg(m.captured(1))};
    writeOptionField(ctx, *field, m.captured(2));
}

int cmdOptions(const QStringList& a)
{
    const QString setOpt = QStringLiteral("--set"), outOpt = QStringLiteral("-o"), jsonFlag = QStringLiteral("--json");
    CliArgs args(a, {jsonFlag}, {setOpt, outOpt});
    TSettingsStore store(settingsFolder());
    store.load();
    TRom rom;
    cliOpenRom(rom, args.positionalAt(0, QStringLiteral("ROM")));
    TTableStructureMarks marks;
    // No window, so no view state: the unit choices the program saved at exit.
    TOptionContext ctx{rom, displayUnits(store.values().general), &marks, nullptr};

    const QStringList sets = args.values(setOpt);
    if (!sets.isEmpty() && !args.has(outOpt))
        throw CliError{ExitUsage, QStringLiteral("--set needs -o OUT.")};
    for (const QString& s : sets) {
        try {
            applySet(ctx, s);
        } catch (const EVexorError& e) {
            throw CliError{ExitRefused, QStringLiteral("%1: %2 Nothing written.").arg(s, e.message())};
        }
    }
    if (args.has(outOpt))
        cliSaveRom(rom, args.value(outOpt));

    const bool json = args.flag(jsonFlag);
    QJsonArray fields;
    for (const TOptionField& f : optionFieldsFor(rom)) {
        const TOptionValue v = readOptionField(ctx, f);
        const QString unit = optionUnit(f, ctx.units);
        if (json) {
            QJsonObject o{{QStringLiteral("name"), f.name},
                          {QStringLiteral("page"), f.page},
                          {QStringLiteral("kind"), controlKind(f.control)},
                          {QStringLiteral("value"), v.text},
                          {QStringLiteral("enabled"), v.enabled},
                          {QStringLiteral("unit"), unit}};
            if (v.raw >= 0)
                o.insert(QStringLiteral("raw"), v.raw);
            if (f.control == TOptionControl::Combo && v.text.toInt() >= 0 && v.text.toInt() < f.items.size())
                o.insert(QStringLiteral("item"), f.items.at(v.text.toInt()));
            fields.append(o);
        } else if (f.control != TOptionControl::Button) {
            QString line = QStringLiteral("%1 = %2").arg(f.name, v.text);
            if (!unit.isEmpty())
                line += QLatin1Char(' ') + unit;
            if (f.control == TOptionControl::Combo && v.text.toInt() >= 0 && v.text.toInt() < f.items.size())
                line += QStringLiteral(" (%1)").arg(f.items.at(v.text.toInt()));
            if (!v.enabled)
                line += QStringLiteral(" [disabled]");
            cliOut(line);
        }
    }
    if (rom.traits().optionTree) {
        for (const TCorrectionGridSpec& gridDef : correctionGrids()) {
            TCorrectionGrid grid(gridDef, ctx);
            if (!grid.present())
                continue;
            QJsonArray rows;
            for (int r = 0; r < grid.rowCount(); ++r) {
                QStringList cells;
                QJsonArray jr;
                for (int c = 0; c < grid.columnCount(); ++c) {
                    cells << grid.cellText(c, r);
                    jr.append(grid.cellText(c, r));
                }
                rows.append(jr);
                if (!json)
                    cliOut(QStringLiteral("%1 %2 = %3%4")
                               .arg(gridDef.name, grid.rowCaption(r).trimmed(), cells.join(QLatin1Char(' ')),
                                    grid.enabled() ? QString() : QStringLiteral(" [disabled]")));
            }
            if (json) {
                QJsonArray heads;
                for (int c = 0; c < grid.columnCount(); ++c)
                    heads.append(grid.columnCaption(c));
                fields.append(QJsonObject{{QStringLiteral("name"), gridDef.name},
                                          {QStringLiteral("page"), gridDef.page},
                                          {QStringLiteral("kind"), QStringLiteral("grid")},
                                          {QStringLiteral("enabled"), grid.enabled()},
                                          {QStringLiteral("header"), grid.headerCaption()},
                                          {QStringLiteral("columns"), heads},
                                          {QStringLiteral("rows"), rows}});
            }
        }
    }
    if (json)
        cliJson(
            QJsonDocument(QJsonObject{{QStringLiteral("base"), rom.baseName()},
                                      {QStringLiteral("page"), rom.traits().optionTree ? QStringLiteral("pnlOptions2")
                                                                                       : QStringLiteral("pnlOptions")},
                                      {QStringLiteral("fields"), fields}}));
    return ExitOk;
}

const CliCommand reg("options", "options ROM [--json] [--set NAME=VALUE | --set cgGRID:COL:ROW=VALUE]... [-o OUT]",
                     cmdOptions);

} // namespace
