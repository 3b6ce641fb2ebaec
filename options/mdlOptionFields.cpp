#include "options/mdlOptionFields.h"

#include "rom/clsRom.h"
#include "settings/mdlErrors.h"

#include <algorithm>
#include <cmath>

const char* const OutputConflictText = "This output is being used elsewhere. Please use another output.";
const char* const OutputConflictTitle = "Output Conflict";

namespace {

[[noreturn]] void refuse(const QString& why) { throw EVexorError(why); }

int clampTo(double x, int lo, int hi) { return int(std::clamp(roundEven(x), double(lo), double(hi))); }

// Speeds are typed in mph with the mph unit and stored in km/h; x 1.6 both ways.
constexpr double KmhPerMph = 1.6;
// Ignition retard bytes count quarter degrees.
constexpr double RetardBytesPerDegree = 4;
constexpr double MaxRetardDegrees = 63.75;
constexpr double TpsBytesPerVolt = 51.2;
constexpr double WbOffsetMvPerBit = 19.5;
constexpr double InjectorUsPerUnit = 17.3;
constexpr double GainBytesPerUnit = 5;

} // namespace

double parseOptionNumber(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        refuse(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return v;
}

double shownTemperature(const TDisplayUnits& units, int sensorByte)
{
    const double c = TemperatureTable[size_t(std::clamp(sensorByte, 0, 255))];
    return units.fahrenheit ? c * 1.8 + 32 : c;
}

quint8 storedTemperature(const TDisplayUnits& units, double shown)
{
    return celsiusToByte(units.fahrenheit ? (shown - 32) / 1.8 : shown);
}

namespace {

int fuelBaseWord(const TRom& rom)
{
    const int at = rom.address(aeMainFuel);
    return at == 0 ? 0 : rom.wordAt(at);
}

} // namespace

double decodeOption(const TOptionContext& ctx, TOptionConv conv, int raw)
{
    switch (conv) {
    case TOptionConv::Raw:
    case TOptionConv::Percent: return raw;
    case TOptionConv::Period: return periodWordToRpm(raw);
    case TOptionConv::Speed: return ctx.units.mph ? roundEven(raw / KmhPerMph) : raw;
    case TOptionConv::Temperature: return shownTemperature(ctx.units, raw);
    case TOptionConv::Throttle205: return (raw - ThrottleZeroByte) / 2.05;
    case TOptionConv::Throttle207: return throttleByteToPercent(raw);
    case TOptionConv::Load: return ctx.rom.byteToMillibar(raw, true);
    case TOptionConv::Retard: return raw / RetardBytesPerDegree;
    case TOptionConv::TpsVolts: return raw / TpsBytesPerVolt;
    case TOptionConv::ClLimit: return 100 - raw / FuelTrimWordsPerPercent;
    case TOptionConv::WbOffset: return (raw >= 128 ? raw - 256 : raw) * WbOffsetMvPerBit;
    case TOptionConv::FuelWordPct: {
        const int base = fuelBaseWord(ctx.rom);
        return base == 0 ? 0 : (double(raw) / base - 1) * 100;
    }
    case TOptionConv::InjectorUs: return raw / 4.0 * InjectorUsPerUnit;
    case TOptionConv::Gain: return raw / GainBytesPerUnit;
    case TOptionConv::Switch:
    case TOptionConv::Bit: return raw;
    }
    return raw;
}

int encodeOption(const TOptionContext& ctx, TOptionConv conv, double v)
{
    switch (conv) {
    case TOptionConv::Raw:
    case TOptionConv::Percent:
    case TOptionConv::Switch:
    case TOptionConv::Bit: return clampTo(v, 0, 255);
    case TOptionConv::Period:
        if (roundEven(v) <= 0)
            refuse(QStringLiteral("An engine speed of %1 rpm cannot be stored.").arg(v));
        return rpmToPeriodWord(int(roundEven(v)));
    case TOptionConv::Speed: return clampTo(ctx.units.mph ? roundEven(v * KmhPerMph) : v, 0, 255);
    case TOptionConv::Temperature: return storedTemperature(ctx.units, v);
    case TOptionConv::Throttle205: return clampTo(v * 2.05 + ThrottleZeroByte, 0, 255);
    case TOptionConv::Throttle207: return clampTo(throttlePercentToByte(v), 0, 255);
    case TOptionConv::Load: return ctx.rom.millibarToByte(v, true);
    case TOptionConv::Retard: return clampTo(std::clamp(v, 0.0, MaxRetardDegrees) * RetardBytesPerDegree, 0, 255);
    case TOptionConv::TpsVolts: return clampTo(v * TpsBytesPerVolt, 0, 255);
    case TOptionConv::ClLimit: return clampTo((100 - std::clamp(v, 0.0, 100.0)) * FuelTrimWordsPerPercent, 0, 0xFFFF);
    case TOptionConv::WbOffset: return (clampTo(v / WbOffsetMvPerBit, -128, 127) + 256) & 0xFF;
    case TOptionConv::FuelWordPct: {
        const int base = fuelBaseWord(ctx.rom);
        if (base == 0)
            refuse(QStringLiteral("The main fuel word is 0: the percentage cannot be stored."));
        return clampTo((v / 100 + 1) * base, 0, 0xFFFF);
    }
    case TOptionConv::InjectorUs: return clampTo(v / InjectorUsPerUnit * 4, 0, 0xFFFF);
    case TOptionConv::Gain: return clampTo(v * GainBytesPerUnit, 0, 255);
    }
    return clampTo(v, 0, 255);
}

QString formatOption(TOptionConv conv, double v)
{
    switch (conv) {
    case TOptionConv::Throttle205:
    case TOptionConv::Throttle207:
    case TOptionConv::FuelWordPct:
    case TOptionConv::Gain:
    case TOptionConv::ClLimit: return QString::asprintf("%.1f", v);
    case TOptionConv::Retard: return QString::asprintf("%.2f", v);
    case TOptionConv::TpsVolts: return QString::asprintf("%.2f", v);
    case TOptionConv::InjectorUs:
    case TOptionConv::WbOffset:
    case TOptionConv::Temperature: return QString::asprintf("%.0f", v);
    default: return QString::number(qint64(std::llround(v)));
    }
}

QString optionUnit(const TOptionField& f, const TDisplayUnits& units)
{
    switch (f.conv) {
    case TOptionConv::Period: return QStringLiteral("rpm");
    case TOptionConv::Speed: return units.mph ? QStringLiteral("mph") : QStringLiteral("km/h");
    case TOptionConv::Temperature: return units.fahrenheit ? QStringLiteral("°F") : QStringLiteral("°C");
    case TOptionConv::Throttle205:
    case TOptionConv::Throttle207:
    case TOptionConv::ClLimit:
    case TOptionConv::FuelWordPct:
    case TOptionConv::Percent: return QStringLiteral("%");
    case TOptionConv::Load: return QStringLiteral("mbar");
    case TOptionConv::Retard: return QStringLiteral("°");
    case TOptionConv::TpsVolts: return QStringLiteral("V");
    case TOptionConv::WbOffset: return QStringLiteral("mV");
    case TOptionConv::InjectorUs: return QStringLiteral("µs");
    default: return {};
    }
}

namespace {

int fieldAddress(const TOptionContext& ctx, const TOptionField& f)
{
    const int at = ctx.rom.address(f.entry);
    return at == 0 ? 0 : at + f.offset;
}

int readRaw(const TOptionContext& ctx, const TOptionField& f)
{
    const int at = fieldAddress(ctx, f);
    return f.width == 2 ? ctx.rom.wordAt(at) : ctx.rom.byteAt(at);
}

bool parseCheck(const QString& text)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("1") || t == QLatin1String("true") || t == QLatin1String("on"))
        return true;
    if (t == QLatin1String("0") || t == QLatin1String("false") || t == QLatin1String("off"))
        return false;
    refuse(QStringLiteral("'%1' is not a valid check box state (use 1 or 0)").arg(text));
}

bool isPresent(const TOptionContext& ctx, const TOptionField& f)
{
    if (f.present)
        return f.present(ctx);
    return f.entry == aeChecksum || ctx.rom.address(f.entry) != 0;
}

} // namespace

TOptionValue readOptionField(const TOptionContext& ctx, const TOptionField& f)
{
    if (!isPresent(ctx, f))
        return {f.absentText.isEmpty() ? QStringLiteral("none") : f.absentText, false, -1};
    if (f.read)
        return f.read(ctx);
    if (f.control == TOptionControl::Button)
        return {QString(), false, -1};
    const int raw = readRaw(ctx, f);
    if (f.conv == TOptionConv::Switch) {
        const bool on = f.switchMask ? (raw & f.switchMask) != (f.offValue & f.switchMask) : raw == f.onValue;
        return {on ? QStringLiteral("1") : QStringLiteral("0"), true, raw};
    }
    if (f.conv == TOptionConv::Bit)
        return {(raw & f.onValue) ? QStringLiteral("1") : QStringLiteral("0"), true, raw};
    return {formatOption(f.conv, decodeOption(ctx, f.conv, raw)), true, raw};
}

void writeOptionField(TOptionContext& ctx, const TOptionField& f, const QString& text)
{
    if (!isPresent(ctx, f))
        refuse(QStringLiteral("This ROM has no %1.").arg(f.name));
    // Leaving a field as it was shown writes nothing, even where the shown
    // value is a rounded one that would convert to another stored value.
    const TOptionValue shown = readOptionField(ctx, f);
    if (!shown.enabled)
        refuse(QStringLiteral("%1 cannot be changed on this ROM.").arg(f.name));
    if (text.trimmed() == shown.text.trimmed())
        return;
    if (f.write) {
        f.write(ctx, text);
        return;
    }
    if (f.control == TOptionControl::Button)
        refuse(QStringLiteral("%1 is a button, not a value.").arg(f.name));
    const int at = fieldAddress(ctx, f);
    const int stored = readRaw(ctx, f);
    int raw = 0;
    if (f.conv == TOptionConv::Switch)
        raw = parseCheck(text) ? f.onValue : f.offValue;
    else if (f.conv == TOptionConv::Bit)
        raw = parseCheck(text) ? (stored | f.onValue) : (stored & ~f.onValue);
    else
        raw = encodeOption(ctx, f.conv, parseOptionNumber(text));
    if (raw == stored)
        return;
    TBinEdit& b = ctx.rom.buffer();
    if (f.width == 2)
        b.writeWord(at, quint16(raw));
    else
        b.writeByte(at, quint8(raw));
}

const std::vector<TOptionField>& optionFieldsFor(const TRom& rom)
{
    return rom.traits().optionTree ? optionTreeFields() : simplePageFields();
}

const TOptionField* findOptionField(const TRom& rom, const QString& name)
{
    for (const TOptionField& f : optionFieldsFor(rom))
        if (f.name == name)
            return &f;
    return nullptr;
}
