#include "rom/mdlCodePatches.h"

#include "rom/clsRom.h"
#include "rom/mdlUndoStep.h"
#include "settings/mdlErrors.h"
#include "settings/mdlFiles.h"
#include "settings/mdlIniFile.h"
#include "settings/mdlMessages.h"

#include <QFileInfo>
#include <vector>

const char* const CurrentCodeRevision = "C0.96";
const char* const CodeUpgradeDataFileName = "vexorau-code.ini";
const char* const CodeUpgradeSection = "C0.96";

namespace {

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (int b : list)
        out.append(char(b));
    return out;
}

// 3-byte instruction patterns of the code switches.
const QByteArray Z = bytes({0x00, 0x00, 0x00});
const QByteArray S38 = bytes({0xC5, 0x20, 0x38});
const QByteArray S39 = bytes({0xC5, 0x20, 0x39});
const QByteArray S1A = bytes({0xC5, 0x20, 0x1A});
const QByteArray S0A = bytes({0xC5, 0x20, 0x0A});
const QByteArray S1B = bytes({0xC5, 0x20, 0x1B});
const QByteArray S3B = bytes({0xC5, 0x20, 0x3B});
const QByteArray S3C = bytes({0xC5, 0x22, 0x3C});
const QByteArray S3D = bytes({0xC5, 0x20, 0x3D});

struct LongPatch {
    const char* key;
    int length;
    QByteArray TCodeUpgradeData::*member;
};
const LongPatch LongPatches[] = {{"11D1", 31, &TCodeUpgradeData::at11D1},
                                 {"199D", 19, &TCodeUpgradeData::at199D},
                                 {"0209", 212, &TCodeUpgradeData::at0209},
                                 {"2556", 294, &TCodeUpgradeData::at2556}};

bool isExtendedFamily(const TRom& rom) { return rom.traits().extended; }

// The version as hundredths (major * 100 + minor), the numeric form the steps compare.
int versionHundredths(const TRom& rom)
{
    return rom.byteAt(ExtendedVersionMajorAt) * 100 + rom.byteAt(ExtendedVersionMinorAt);
}

// The step thresholds: a step applies while the version is below (or, for the
// last, at most) its own number. Each step raises the minor byte first.
struct Step {
    int minor;
    bool inclusive;
};
const Step Steps[] = {{92, false}, {93, false}, {94, false}, {95, false}, {96, true}};

bool stepApplies(int hundredths, const Step& s) { return s.inclusive ? hundredths <= s.minor : hundredths < s.minor; }

QString stepName(const Step& s) { return QStringLiteral("0.%1").arg(s.minor); }

void applyStep(TBinEdit& b, int minor, const TCodeUpgradeData& d)
{
    b.writeByte(ExtendedVersionMinorAt, quint8(minor));
    switch (minor) {
    case 92:
        b.writeByte(0x1168, 105);
        b.writeByte(0x1197, 60);
        b.writeByte(0x11A6, 45);
        b.writeByte(0x11AC, 39);
        b.writeByte(0x11B2, 33);
        b.writeByte(0x11B8, 27);
        b.writeByte(0x11C3, 16);
        b.writeByte(0x11C6, 13);
        b.writeString(0x11D1, d.at11D1);
        break;
    case 93: b.writeString(0x0362, QByteArray(25, char(0x2B))); break;
    case 94:
        b.writeByte(0x2601, 185);
        b.writeByte(0x260A, 185);
        break;
    case 95:
        b.writeByte(0x021F, 42);
        b.writeString(0x02C8, bytes({0x48, 0x01, 0x4A, 0x01}));
        b.writeString(0x199D, d.at199D);
        break;
    case 96:
        b.writeWord(0x000C, 572);
        b.writeString(0x0209, d.at0209);
        b.writeByte(0x0EC6, 73);
        b.writeByte(0x2551, 12);
        b.writeByte(0x2553, 156);
        b.writeString(0x2556, d.at2556);
        b.writeByte(0x3751, 175);
        b.writeByte(0x375A, 167);
        b.writeByte(0x37DB, 175);
        b.writeByte(0x380A, 167);
        b.writeByte(0x389A, 0);
        b.writeString(0x389C, Z);
        b.writeString(0x38B5, bytes({0x03, 0xD8, 0x38}) + QByteArray(32, char(0xFF)));
        b.writeByte(0x4B20, 175);
        b.writeString(0x21C8, bytes({0x00, 0x00, 0xC5, 0xEB, 0x98, 0x45, 0xCB, 0x05, 0x00}));
        // Last: turns the signature 0xC803 into 0xCA03, the current revision's.
        b.writeByte(0x0024, 0xCA);
        break;
    default: break;
    }
}

std::optional<QByteArray> parseHex(const QString& text)
{
    QString digits;
    for (const QChar c : text)
        if (!c.isSpace())
            digits += c;
    if (digits.size() % 2 != 0)
        return std::nullopt;
    QByteArray out;
    for (int i = 0; i < digits.size(); i += 2) {
        bool ok = false;
        const int v = digits.mid(i, 2).toInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        out.append(char(v));
    }
    return out;
}

} // namespace

// --- data file -------------------------------------------------------------------

QString defaultCodeUpgradeDataPath()
{
    return programFolder() + QLatin1Char('/') + QString::fromLatin1(CodeUpgradeDataFileName);
}

std::optional<TCodeUpgradeData> loadCodeUpgradeData(const QString& path, QString* error)
{
    auto fail = [&](const QString& why) -> std::optional<TCodeUpgradeData> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("the code upgrade data file '%1' is missing.").arg(path));
    TIniFile ini;
    QString reason;
    if (!ini.load(path, &reason))
        return fail(reason);
    const QString section = QString::fromLatin1(CodeUpgradeSection);
    TCodeUpgradeData data;
    for (const LongPatch& p : LongPatches) {
        const QString key = QString::fromLatin1(p.key);
        const auto text = ini.value(section, key);
        if (!text)
            return fail(QStringLiteral("the code upgrade data file '%1' has no key \"%2\" in section [%3].")
                            .arg(path, key, section));
        const auto parsed = parseHex(*text);
        if (!parsed)
            return fail(QStringLiteral("in the code upgrade data file '%1', \"%2\" is not a list of hexadecimal bytes.")
                            .arg(path, key));
        if (parsed->size() != p.length)
            return fail(QStringLiteral("in the code upgrade data file '%1', \"%2\" holds %3 bytes where %4 are needed.")
                            .arg(path, key)
                            .arg(parsed->size())
                            .arg(p.length));
        data.*(p.member) = *parsed;
    }
    // The first patch ends in the instruction the entry-162 feature switches.
    if (!data.at11D1.endsWith(S3D))
        return fail(
            QStringLiteral("in the code upgrade data file '%1', \"11D1\" does not end with C5 20 3D.").arg(path));
    return data;
}

QString formatCodeUpgradeData(const TCodeUpgradeData& data)
{
    QString out = QStringLiteral("; ECU code of the extended family's upgrade to %1.\n[%2]\n")
                      .arg(QString::fromLatin1(CurrentCodeRevision), QString::fromLatin1(CodeUpgradeSection));
    for (const LongPatch& p : LongPatches)
        out += QStringLiteral("%1=%2\n").arg(QString::fromLatin1(p.key),
                                             QString::fromLatin1((data.*(p.member)).toHex(' ').toUpper()));
    return out;
}

// --- upgrade ---------------------------------------------------------------------

QStringList pendingCodeUpgradeSteps(const TRom& rom)
{
    QStringList out;
    if (!isExtendedFamily(rom))
        return out;
    const int major = rom.byteAt(ExtendedVersionMajorAt);
    int v = versionHundredths(rom);
    for (const Step& s : Steps)
        if (stepApplies(v, s)) {
            out << stepName(s);
            v = major * 100 + s.minor;
        }
    return out;
}

TCodeUpgradeResult upgradeVexorAuCode(TRom& rom, const TCodeUpgradeData* data)
{
    TCodeUpgradeResult result;
    result.steps = pendingCodeUpgradeSteps(rom);
    if (!result.steps.isEmpty() && !data) {
        result.status = TCodeUpgradeStatus::Refused;
        result.reason = QStringLiteral("the ECU code for the upgrade is not available.");
        return result;
    }
    TBinEdit& b = rom.buffer();
    for (const Step& s : Steps)
        if (stepApplies(versionHundredths(rom), s))
            applyStep(b, s.minor, *data);
    b.markSaved();
    result.status = result.steps.isEmpty() ? TCodeUpgradeStatus::NotNeeded : TCodeUpgradeStatus::Upgraded;
    return result;
}

TCodeUpgradeResult runCodeUpgradeOnLoad(TRom& rom, IMessageService* messages, const QString& dataPath)
{
    if (!isExtendedFamily(rom) || rom.versionText() == QLatin1String(CurrentCodeRevision))
        return {};
    if (pendingCodeUpgradeSteps(rom).isEmpty())
        return upgradeVexorAuCode(rom, nullptr);
    QString reason;
    const auto data = loadCodeUpgradeData(dataPath, &reason);
    TCodeUpgradeResult result = upgradeVexorAuCode(rom, data ? &*data : nullptr);
    if (result.status == TCodeUpgradeStatus::Refused) {
        result.reason = reason;
        if (messages)
            messages->showMessage(
                QStringLiteral("The ECU code of this image (revision %1) could not be upgraded to revision %2: %3\r\n"
                               "The image was left unchanged.")
                    .arg(rom.versionText(), QString::fromLatin1(CurrentCodeRevision), reason),
                QStringLiteral("Code Upgrade"), TMsgKind::Warning, TMsgButton::OK);
    }
    return result;
}

// --- code switches -----------------------------------------------------------------

void setCodeSwitches(TRom& rom, quint16 word)
{
    if (rom.traits().fixedCodeLayout) {
        auto pick = [word](quint16 bit, const QByteArray& original) { return (word & bit) ? Z : original; };
        const std::vector<std::pair<int, QByteArray>> plan = {{0x432F, pick(cs432F, S38)}, {0x5FC3, pick(cs5FC3, S39)},
                                                              {0x443B, pick(cs443B, S1A)}, {0x4462, pick(cs443B, S0A)},
                                                              {0x43A0, pick(cs43A0, S1B)}, {0x43D1, pick(cs43A0, S3B)},
                                                              {0x43E7, pick(cs43A0, S3B)}, {0x6C19, pick(cs6C19, S3C)}};
        TBinEdit& b = rom.buffer();
        bool changes = false;
        for (const auto& [at, pattern] : plan)
            changes = changes || b.readString(at, 3) != pattern;
        if (changes)
            runAsOneUndoStep(b, ugCodeSwitch, [&] {
                for (const auto& [at, pattern] : plan)
                    if (b.readString(at, 3) != pattern)
                        b.writeString(at, pattern);
            });
    }
    rom.CodeSwitches = word;
}

bool entry162Feature(const TRom& rom)
{
    const int at = rom.address(aeFeatureSwitch);
    return at != 0 && rom.buffer().readString(at, 3) == S3D;
}

void setEntry162Feature(TRom& rom, bool on)
{
    rom.CodeSwitches = on ? quint16(rom.CodeSwitches | csEntry162) : quint16(rom.CodeSwitches & ~csEntry162);
    const int at = rom.address(aeFeatureSwitch);
    if (at == 0)
        return;
    const QByteArray& target = on ? S3D : Z;
    if (rom.buffer().readString(at, 3) != target)
        rom.buffer().writeString(at, target);
}
