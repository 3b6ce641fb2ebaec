// info, table, interp, settings, checksum and generate: read-only views of a ROM.
#include "cli/mdlCli.h"
#include "cli/mdlCliRom.h"
#include "rom/mdlRomFiles.h"
#include "rom/mdlRomGen.h"
#include "rom/mdlRomSettingsTable.h"
#include "settings/mdlFiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

namespace {

QJsonObject tablesShape(const TRom& rom)
{
    QJsonObject t;
    for (int k = 0; k < 4; ++k)
        t.insert(cliTableName(k),
                 QJsonObject{{QStringLiteral("rows"), rom.rows(k)}, {QStringLiteral("cols"), rom.columns(k)}});
    return t;
}

bool checksumOk(const TRom& rom) { return !rom.hasChecksumByte() || rom.checksum() == 0; }

QString padLeft(const QString& s, int w) { return s.rightJustified(w); }

int cmdInfo(const QStringList& a)
{
    CliArgs args(a, {QStringLiteral("--json")}, {});
    TRom rom;
    cliOpenRom(rom, args.positionalAt(0, QStringLiteral("FILE")));
    if (args.flag(QStringLiteral("--json"))) {
        QJsonArray map;
        for (int i = 0; i < TRomAddresses::Count; ++i)
            map.append(rom.address(i));
        cliJson(QJsonDocument(QJsonObject{
            {QStringLiteral("size"), rom.buffer().size()},
            {QStringLiteral("trailer_bytes"), int(rom.buffer().trailer().size())},
            {QStringLiteral("base_type"), rom.BaseType},
            {QStringLiteral("base_name"), rom.baseName()},
            {QStringLiteral("obd_mode"), rom.OBDMode},
            {QStringLiteral("nissan_family"), rom.NissanFamily},
            {QStringLiteral("wide_rev_scalar"), rom.WideRevScalar},
            {QStringLiteral("feature_flags"), rom.FeatureFlags},
            {QStringLiteral("checksum"), rom.checksum()},
            {QStringLiteral("checksum_ok"), checksumOk(rom)},
            {QStringLiteral("tables"), tablesShape(rom)},
            {QStringLiteral("address_map"), map},
        }));
        return ExitOk;
    }
    cliOut(QStringLiteral("Base:           %1 (type %2)").arg(rom.baseName()).arg(rom.BaseType));
    cliOut(QStringLiteral("Image:          %1 bytes, notes %2 bytes")
               .arg(rom.buffer().size())
               .arg(rom.buffer().trailer().size()));
    cliOut(QStringLiteral("OBD mode:       %1%2")
               .arg(rom.OBDMode)
               .arg(rom.WideRevScalar ? QStringLiteral(" (16-bit rpm scale)") : QString()));
    cliOut(QStringLiteral("Feature flags:  0x%1").arg(rom.FeatureFlags, 4, 16, QLatin1Char('0')));
    cliOut(QStringLiteral("Checksum:       0x%1 %2")
               .arg(rom.checksum(), 2, 16, QLatin1Char('0'))
               .arg(!rom.hasChecksumByte() ? QStringLiteral("(no checksum byte)")
                    : checksumOk(rom)      ? QStringLiteral("(ok)")
                                           : QStringLiteral("(BAD)")));
    for (int k = 0; k < 4; ++k)
        cliOut(QStringLiteral("Table %1:      %2 rows x %3 columns")
                   .arg(cliTableName(k))
                   .arg(rom.rows(k))
                   .arg(rom.columns(k)));
    return ExitOk;
}

int cmdTable(const QStringList& a)
{
    CliArgs args(a, {QStringLiteral("--json")}, {QStringLiteral("--table")});
    TRom rom;
    cliOpenRom(rom, args.positionalAt(0, QStringLiteral("FILE")));
    const int kind = cliTableKind(args.value(QStringLiteral("--table")));
    if (!rom.tableFits(kind))
        throw CliError{ExitRefused,
                       QStringLiteral("The %1 table does not lie inside the image.").arg(cliTableName(kind))};
    const bool high = TRom::isHighCamKind(kind);
    const int rows = rom.rows(kind), cols = rom.columns(kind);
    QJsonArray rpm, load, values, bytes, mults;
    for (int r = 0; r < rows; ++r)
        rpm.append(rom.rpm(high, r));
    for (int c = 0; c < cols; ++c)
        load.append(rom.load(high, c));
    for (int r = 0; r < rows; ++r) {
        QJsonArray vr, br;
        for (int c = 0; c < cols; ++c) {
            vr.append(rom.tableValue(c, r, kind));
            br.append(rom.cellByte(c, r, kind));
        }
        values.append(vr);
        bytes.append(br);
    }
    const bool hasMult = rom.hasMultiplierRow(kind);
    for (int c = 0; hasMult && c < cols; ++c)
        mults.append(rom.multiplierByte(c, kind));
    if (args.flag(QStringLiteral("--json"))) {
        cliJson(QJsonDocument(QJsonObject{
            {QStringLiteral("table"), cliTableName(kind)},
            {QStringLiteral("kind"), kind},
            {QStringLiteral("rows"), rows},
            {QStringLiteral("cols"), cols},
            {QStringLiteral("rpm"), rpm},
            {QStringLiteral("load"), load},
            {QStringLiteral("values"), values},
            {QStringLiteral("bytes"), bytes},
            {QStringLiteral("multipliers"), hasMult ? QJsonValue(mults) : QJsonValue(QJsonValue::Null)},
        }));
        return ExitOk;
    }
    const bool fuel = TRom::isFuelKind(kind);
    QString head = padLeft(QStringLiteral("rpm\\mbar"), 9);
    for (int c = 0; c < cols; ++c)
        head += padLeft(QString::number(rom.load(high, c)), 8);
    cliOut(QStringLiteral("%1 (%2 x %3)").arg(cliTableName(kind)).arg(rows).arg(cols));
    cliOut(head);
    for (int r = 0; r < rows; ++r) {
        QString line = padLeft(QString::number(rom.rpm(high, r)), 9);
        for (int c = 0; c < cols; ++c)
            line += padLeft(QString::number(rom.tableValue(c, r, kind), 'f', fuel ? 0 : 2), 8);
        cliOut(line);
    }
    if (hasMult) {
        QString line = padLeft(QStringLiteral("mult"), 9);
        for (int c = 0; c < cols; ++c)
            line += padLeft(QString::number(rom.multiplierByte(c, kind)), 8);
        cliOut(line);
    }
    return ExitOk;
}

int cmdInterp(const QStringList& a)
{
    CliArgs args(a, {QStringLiteral("--json")},
                 {QStringLiteral("--table"), QStringLiteral("--load"), QStringLiteral("--rpm")});
    TRom rom;
    cliOpenRom(rom, args.positionalAt(0, QStringLiteral("FILE")));
    const int kind = cliTableKind(args.value(QStringLiteral("--table")));
    const double load = cliNumber(args.value(QStringLiteral("--load")), QStringLiteral("load"));
    const double rpm = cliNumber(args.value(QStringLiteral("--rpm")), QStringLiteral("rpm"));
    if (!rom.tableFits(kind))
        throw CliError{ExitRefused,
                       QStringLiteral("The %1 table does not lie inside the image.").arg(cliTableName(kind))};
    const double v = rom.interpolatedValue(kind, load, rpm);
    if (args.flag(QStringLiteral("--json")))
        cliJson(QJsonDocument(QJsonObject{{QStringLiteral("value"), v}}));
    else
        cliOut(cliFormatNumber(v, 4));
    return ExitOk;
}

QJsonValue settingJson(const TRomSettingItem& item, const TRom& rom)
{
    const QVariant v = item.get(rom);
    switch (item.type) {
    case TRomSettingItem::Bool: return v.toBool();
    case TRomSettingItem::Int: return v.toInt();
    case TRomSettingItem::Real: return v.toDouble();
    default: return v.toString();
    }
}

int cmdSettings(const QStringList& a)
{
    CliArgs args(a, {QStringLiteral("--json")}, {});
    TRom rom;
    cliOpenRom(rom, args.positionalAt(0, QStringLiteral("FILE")));
    if (args.flag(QStringLiteral("--json"))) {
        QJsonObject o;
        for (const auto& item : romSettingItems())
            o.insert(item.name, settingJson(item, rom));
        cliJson(QJsonDocument(o));
        return ExitOk;
    }
    for (const auto& item : romSettingItems()) {
        const QJsonValue v = settingJson(item, rom);
        QString text = v.isBool()     ? (v.toBool() ? QStringLiteral("on") : QStringLiteral("off"))
                       : v.isString() ? v.toString()
                                      : cliFormatNumber(v.toDouble());
        cliOut(QStringLiteral("%1 %2%3").arg(item.name.leftJustified(24), text,
                                             item.set ? QString() : QStringLiteral("  (read only)")));
    }
    return ExitOk;
}

int cmdChecksum(const QStringList& a)
{
    CliArgs args(a, {QStringLiteral("--json"), QStringLiteral("--fix")}, {QStringLiteral("-o")});
    TRom rom;
    cliOpenRom(rom, args.positionalAt(0, QStringLiteral("FILE")));
    if (args.flag(QStringLiteral("--fix"))) {
        if (!args.has(QStringLiteral("-o")))
            throw CliError{ExitUsage, QStringLiteral("--fix needs -o OUT.")};
        if (!rom.hasChecksumByte())
            throw CliError{ExitRefused, QStringLiteral("This family has no checksum byte.")};
        cliSaveRom(rom, args.value(QStringLiteral("-o")));
    }
    const bool ok = checksumOk(rom);
    if (args.flag(QStringLiteral("--json")))
        cliJson(QJsonDocument(QJsonObject{{QStringLiteral("checksum"), rom.checksum()}, {QStringLiteral("ok"), ok}}));
    else
        cliOut(QStringLiteral("checksum 0x%1 %2")
                   .arg(rom.checksum(), 2, 16, QLatin1Char('0'))
                   .arg(ok ? QStringLiteral("ok") : QStringLiteral("BAD")));
    return ExitOk;
}

int cmdGenerate(const QStringList& a)
{
    CliArgs args(a, {},
                 {QStringLiteral("--family"), QStringLiteral("-o"), QStringLiteral("--rows"), QStringLiteral("--cols"),
                  QStringLiteral("--notes"), QStringLiteral("--seed")});
    TRomGenOptions o;
    o.family = args.value(QStringLiteral("--family"), QStringLiteral("p28"));
    o.rows = cliInt(args.value(QStringLiteral("--rows"), QStringLiteral("20")), QStringLiteral("rows"));
    o.columns = cliInt(args.value(QStringLiteral("--cols"), QStringLiteral("24")), QStringLiteral("cols"));
    o.seed = quint32(cliInt(args.value(QStringLiteral("--seed"), QStringLiteral("1")), QStringLiteral("seed")));
    o.notes = args.value(QStringLiteral("--notes"), QString()).toUtf8();
    const QByteArray bytes = generateRom(o);
    QString error;
    if (!writeFileAtomic(args.value(QStringLiteral("-o")), bytes, &error))
        throw CliError{ExitRefused, error};
    return ExitOk;
}

const CliCommand regInfo("info", "info FILE [--json]", cmdInfo);
const CliCommand regTable("table", "table FILE --table lcf|hcf|lci|hci [--json]", cmdTable);
const CliCommand regInterp("interp", "interp FILE --table T --load MBAR --rpm RPM [--json]", cmdInterp);
const CliCommand regSettings("settings", "settings FILE [--json]", cmdSettings);
const CliCommand regChecksum("checksum", "checksum FILE [--json] [--fix -o OUT]", cmdChecksum);
const CliCommand regGenerate("generate", "generate --family F [--rows R --cols C] [--seed N] [--notes TEXT] -o OUT",
                             cmdGenerate);

} // namespace
