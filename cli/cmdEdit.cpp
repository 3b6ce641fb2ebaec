// edit: applies cell, scale and setting changes through the edit buffer and saves.
#include "cli/mdlCli.h"
#include "cli/mdlCliRom.h"
#include "rom/mdlRomSettingsTable.h"
#include "settings/mdlErrors.h"

#include <QRegularExpression>

namespace {

bool parseCam(const QString& s)
{
    if (s == QLatin1String("lo"))
        return false;
    if (s == QLatin1String("hi"))
        return true;
    throw CliError{ExitRefused, QStringLiteral("Invalid cam \"%1\": use lo or hi.").arg(s)};
}

double parseSettingValue(const TRomSettingItem& item, const QString& text)
{
    if (item.type == TRomSettingItem::Bool) {
        const QString t = text.trimmed().toLower();
        if (t == QLatin1String("on") || t == QLatin1String("true") || t == QLatin1String("1") ||
            t == QLatin1String("yes"))
            return 1;
        if (t == QLatin1String("off") || t == QLatin1String("false") || t == QLatin1String("0") ||
            t == QLatin1String("no"))
            return 0;
        throw CliError{ExitRefused,
                       QStringLiteral("Invalid value for %1: \"%2\" (use on or off).").arg(item.name, text)};
    }
    return cliNumber(text, item.name);
}

// One edit, described for the summary; throws on a refused value.
QString applyEdit(TRom& rom, const QString& option, const QString& editText)
{
    static const QRegularExpression cellRe(QStringLiteral("^(\\w+):(-?\\d+):(-?\\d+)=(.*)$"));
    static const QRegularExpression scaleRe(QStringLiteral("^(\\w+):(-?\\d+)=(.*)$"));
    static const QRegularExpression setRe(QStringLiteral("^([a-z0-9_]+)=(.*)$"));
    if (option == QLatin1String("--set-cell")) {
        const auto m = cellRe.match(editText);
        if (!m.hasMatch())
            throw CliError{ExitRefused, QStringLiteral("Invalid cell edit \"%1\": use T:COL:ROW=VALUE.").arg(editText)};
        const int kind = cliTableKind(m.captured(1));
        const int col = cliInt(m.captured(2), QStringLiteral("column")),
                  row = cliInt(m.captured(3), QStringLiteral("row"));
        const double v = cliNumber(m.captured(4), QStringLiteral("value"));
        if (!rom.tableFits(kind))
            throw CliError{ExitRefused,
                           QStringLiteral("The %1 table does not lie inside the image.").arg(cliTableName(kind))};
        const double before = rom.tableValue(col, row, kind);
        rom.setTableValue(col, row, v, kind);
        return QStringLiteral("%1[%2,%3]: %4 -> %5")
            .arg(cliTableName(kind))
            .arg(col)
            .arg(row)
            .arg(cliFormatNumber(before), cliFormatNumber(rom.tableValue(col, row, kind)));
    }
    if (option == QLatin1String("--set-rpm") || option == QLatin1String("--set-load")) {
        const bool isRpm = option == QLatin1String("--set-rpm");
        const auto m = scaleRe.match(editText);
        if (!m.hasMatch())
            throw CliError{ExitRefused,
                           QStringLiteral("Invalid scale edit \"%1\": use lo|hi:INDEX=VALUE.").arg(editText)};
        const bool high = parseCam(m.captured(1));
        const int index = cliInt(m.captured(2), QStringLiteral("index"));
        const double v = cliNumber(m.captured(3), isRpm ? QStringLiteral("rpm") : QStringLiteral("load"));
        const int kind = high ? 1 : 0;
        const int count = isRpm ? rom.rows(kind) : rom.columns(kind);
        if (index < 0 || index >= count)
            throw CliError{ExitRefused, QStringLiteral("Index out of bounds.")};
        if (!(isRpm ? rom.hasRpmScales() : rom.hasLoadScales()))
            throw CliError{ExitRefused, QStringLiteral("This family has no %1 scale in the image.")
                                            .arg(isRpm ? QStringLiteral("rpm") : QStringLiteral("load"))};
        // The ECU code fixes the last breakpoint; accepting a value there would silently drop it.
        if (index == count - 1 && rom.traits().fixedLastBreakpoint)
            throw CliError{ExitRefused, QStringLiteral("The last %1 breakpoint is fixed and cannot be changed.")
                                            .arg(isRpm ? QStringLiteral("rpm") : QStringLiteral("load"))};
        const int before = isRpm ? rom.rpm(high, index) : rom.load(high, index);
        if (isRpm)
            rom.setRpm(high, index, v);
        else
            rom.setLoad(high, index, v);
        const int after = isRpm ? rom.rpm(high, index) : rom.load(high, index);
        return QStringLiteral("%1 %2[%3]: %4 -> %5")
            .arg(isRpm ? QStringLiteral("rpm") : QStringLiteral("load"), m.captured(1))
            .arg(index)
            .arg(before)
            .arg(after);
    }
    const auto m = setRe.match(editText);
    if (!m.hasMatch())
        throw CliError{ExitRefused, QStringLiteral("Invalid setting \"%1\": use NAME=VALUE.").arg(editText)};
    const TRomSettingItem* item = findRomSetting(m.captured(1));
    if (!item)
        throw CliError{ExitRefused, QStringLiteral("Unknown setting \"%1\".").arg(m.captured(1))};
    if (!item->set)
        throw CliError{ExitRefused, QStringLiteral("The setting %1 is read only.").arg(item->name)};
    if (item->spans(rom).isEmpty())
        throw CliError{ExitRefused, QStringLiteral("This ROM has no %1 setting.").arg(item->name)};
    const double v = parseSettingValue(*item, m.captured(2));
    const QString before = item->get(rom).toString();
    item->set(rom, v);
    return QStringLiteral("%1: %2 -> %3").arg(item->name, before, item->get(rom).toString());
}

int cmdEdit(const QStringList& a)
{
    CliArgs args(a, {},
                 {QStringLiteral("-o"), QStringLiteral("--set-cell"), QStringLiteral("--set-rpm"),
                  QStringLiteral("--set-load"), QStringLiteral("--set")});
    const QString out = args.value(QStringLiteral("-o"));
    TRom rom;
    cliOpenRom(rom, args.positionalAt(0, QStringLiteral("FILE")));
    QStringList done;
    for (const auto& [option, editText] : args.ordered()) {
        if (option == QLatin1String("-o"))
            continue;
        try {
            done << applyEdit(rom, option, editText);
        } catch (const EVexorError& e) {
            throw CliError{ExitRefused, QStringLiteral("%1 %2: %3").arg(option, editText, e.message())};
        }
    }
    // Every edit must be undoable as one step: walk the history back and
    // forth and insist it reproduces the edited image before writing it.
    const QByteArray edited = rom.buffer().fileBytes();
    int steps = 0;
    for (TBinEdit& b = rom.buffer(); b.canUndo(); ++steps)
        b.undo();
    for (TBinEdit& b = rom.buffer(); b.canRedo();)
        b.redo();
    if (rom.buffer().fileBytes() != edited)
        throw CliError{ExitRefused, QStringLiteral("The undo history does not reproduce the edits; nothing written.")};
    cliSaveRom(rom, out);
    for (const QString& line : done)
        cliOut(line);
    cliOut(QStringLiteral("%1 edit(s), %2 undo step(s); written %3 (checksum 0x%4)")
               .arg(done.size())
               .arg(steps)
               .arg(out)
               .arg(rom.checksum(), 2, 16, QLatin1Char('0')));
    return ExitOk;
}

const CliCommand reg("edit",
                     "edit FILE -o OUT [--set-cell T:COL:ROW=VALUE]... [--set-rpm lo|hi:INDEX=RPM]... "
                     "[--set-load lo|hi:INDEX=MBAR]... [--set NAME=VALUE]...",
                     cmdEdit);

} // namespace
