#include "options/mdlOptionTree.h"

#include "options/mdlOptionBuild.h"
#include "options/mdlOptionOutputs.h"
#include "rom/clsRom.h"
#include "settings/mdlErrors.h"
#include "settings/mdlMessages.h"

#include <algorithm>
#include <cmath>

const std::array<const char*, 15> OptionPages = {"tbsFuel",      "tbsIgn",        "tbsIdle",      "tbsRevs",
                                                 "tbsVTEC",      "tbsTPS",        "tbsMAP",       "tbsBoost",
                                                 "tbsEvents",    "tbsDTC",        "tbsMisc",      "tbsEmissionControl",
                                                 "tbsACControl", "tbsTableProps", "tbsGearRatios"};

// Pages by index: 0 Fuel, 1 Ignition, 2 Idle, 3 Revs, 4 VTEC, 5 TPS, 6 MAP, 7 Boost, 8 Events, 9 DTC, 10 Misc,
// 11 Emission control, 12 A/C, 13 Table properties, 14 Gear ratios.
const std::array<TOptionNode, OptionNodeCount> OptionNodes = {{
    {"Fuel", -1, 0, "pgcFuel", 0, "cbxInjectorNew"},
    {"Injectors", 0, 0, "pgcFuel", 0, "cbxInjectorNew"},
    {"Trims", 0, 0, "pgcFuel", 0, "txtFuelTrim"},
    {"Intake temperature", 0, 0, "pgcFuel", 1, "cgIATFuel"},
    {"Coolant temperature", 0, 0, "pgcFuel", 1, "cgECTFuelOpen"},
    {"Individual cylinders", 0, 0, "pgcFuel", 1, "cgIndividual"},
    {"Battery latency", 0, 0, "pgcFuel", 1, "cgBattery"},
    {"Ignition", -1, 1, nullptr, 0, "cgIATIgn"},
    {"Intake temperature", 7, 1, nullptr, 0, "cgIATIgn"},
    {"Coolant advance", 7, 1, nullptr, 0, "cgECTIgn1"},
    {"Coolant retard", 7, 1, nullptr, 0, "cgECTIgn2"},
    {"Idle", -1, 2, nullptr, 0, "txtTargetIdle"},
    {"Target idle", 11, 2, nullptr, 0, "txtTargetIdle"},
    {"Idle valve", 11, 2, nullptr, 0, "trkIACV"},
    {"Coolant idle", 11, 2, nullptr, 0, "cgECTIdle"},
    {"Rev limits", -1, 3, nullptr, 0, "txtLoRevCut"},
    {"Rev cuts", 15, 3, nullptr, 0, "txtLoRevCut"},
    {"Full throttle", 15, 3, nullptr, 0, "txtTPSThreshold"},
    {"Standstill", 15, 3, nullptr, 0, "txtStandRetard"},
    {"VTEC", -1, 4, nullptr, 0, "chkEnableVTEC"},
    {"VTEC switching", 19, 4, nullptr, 0, "chkEnableVTEC"},
    {"VTEC points", 19, 4, nullptr, 0, "txtVTECLow"},
    {"IAB and ignition lock", -1, 10, nullptr, 0, "txtIABThreshold"},
    {"Boost", -1, 7, "pgcBoost", 0, "txtBoostLimitSafe"},
    {"Boost limits", 23, 7, "pgcBoost", 0, "txtBoostLimitSafe"},
    {"Boost temperature", 23, 7, "pgcBoost", 0, "txtBoostTempThreshold"},
    {"Boost control", 23, 7, "pgcBoost", 1, "cbxPWMOutput"},
    {"Events", -1, 8, "pgcEvents", 0, "cbxEv1Input"},
    {"Event 1", 27, 8, "pgcEvents", 0, "cbxEv1Input"},
    {"Event 2", 27, 8, "pgcEvents", 1, "cbxEv2Input"},
    {"Event 3", 27, 8, "pgcEvents", 2, "cbxEv3Input"},
    {"Emission control", -1, 11, nullptr, 0, "chkClosedLoop"},
    {"A/C control", -1, 12, nullptr, 0, "txtACRev"},
    {"Diagnostic codes", -1, 9, nullptr, 0, "chkDTC10"},
    {"Throttle sensor", -1, 5, nullptr, 0, "txtMinTPSVolts"},
    {"MAP sensor", -1, 6, nullptr, 0, "cbxMAPList"},
    {"Table properties", -1, 13, nullptr, 0, "chkExtendedLowCams"},
    {"Gear ratios", -1, 14, nullptr, 0, "cbxGearSelect"},
}};

const std::array<TOptionSubPage, 7> OptionSubPages = {{{"tbsFuelGeneral", "tbsFuel", "pgcFuel", 0},
                                                       {"tbsFuelAdvance", "tbsFuel", "pgcFuel", 1},
                                                       {"tbsBoostLimit", "tbsBoost", "pgcBoost", 0},
                                                       {"tbsBoostControl", "tbsBoost", "pgcBoost", 1},
                                                       {"tsEvent1", "tbsEvents", "pgcEvents", 0},
                                                       {"tsEvent2", "tbsEvents", "pgcEvents", 1},
                                                       {"tsEvent3", "tbsEvents", "pgcEvents", 2}}};

const std::array<TMapSensorPreset, 5> MapSensorPresets = {
    {{-59, 1782}, {6, 2037}, {-52, 2985}, {71, 2593}, {-427, 3841}}};

QString mapAtmosphereVolts(int minMbar, int maxMbar)
{
    if (maxMbar == minMbar)
        return QStringLiteral("0.00");
    return QString::asprintf("%.2f", 5.0 / (maxMbar - minMbar) * (1013 - minMbar));
}

const std::array<quint8, WidebandPresetCount> WidebandStoichBytes = {31, 116, 102, 127, 125, 127, 119, 120, 126};
const std::array<quint8, 12> WidebandAxisBytes = {0xBC, 0xAB, 0x9D, 0x97, 0x93, 0x91,
                                                  0x8F, 0x8B, 0x86, 0x80, 0x7D, 0x76};
const std::array<std::array<quint8, 12>, WidebandPresetCount> WidebandSensorBytes = {{
    {},
    {0x2A, 0x3A, 0x49, 0x51, 0x56, 0x59, 0x5B, 0x61, 0x69, 0x74, 0x79, 0x87},
    {0x15, 0x26, 0x37, 0x3F, 0x45, 0x48, 0x4B, 0x52, 0x5B, 0x66, 0x6C, 0x7C},
    {0x2C, 0x3D, 0x50, 0x5A, 0x61, 0x64, 0x67, 0x6E, 0x76, 0x7F, 0x82, 0x87},
    {0x00, 0x56, 0x63, 0x69, 0x6D, 0x6F, 0x71, 0x75, 0x7A, 0x7D, 0x7E, 0x81},
    {0x3E, 0x4C, 0x5A, 0x60, 0x65, 0x68, 0x6A, 0x6F, 0x76, 0x7F, 0x84, 0x91},
    {0x00, 0x00, 0x31, 0x3F, 0x46, 0x4A, 0x4F, 0x59, 0x64, 0x77, 0x81, 0x97},
    {0x00, 0x1A, 0x33, 0x3F, 0x48, 0x4C, 0x51, 0x5B, 0x67, 0x78, 0x81, 0x98},
    {0x10, 0x37, 0x4C, 0x57, 0x60, 0x64, 0x68, 0x6F, 0x77, 0x7E, 0x82, 0x89},
}};

std::optional<std::array<quint8, 8>> gearPresetBytes(int item)
{
    using B = std::array<quint8, 8>;
    switch (item) {
    case 0: return B{0x4D, 0, 0x72, 0, 0x9A, 0, 0xC4, 0};
    case 1:
    case 15:
    case 16:
    case 18: return B{0x49, 0, 0x6C, 0, 0x93, 0, 0xC1, 0};
    case 2: return B{0x50, 0, 0x7E, 0, 0xAE, 0, 0xE4, 0};
    case 3:
    case 12: return B{0x4D, 0, 0x75, 0, 0x9E, 0, 0xCF, 0};
    case 4: return B{0x50, 0, 0x7F, 0, 0xB6, 0, 0xF2, 0};
    case 5: return B{0x6E, 0, 0xBD, 0, 0x09, 1, 0x46, 1};
    case 6: return B{0x58, 0, 0x8F, 0, 0xC4, 0, 0xFE, 0};
    case 7: return B{0x5F, 0, 0x9B, 0, 0xD6, 0, 0x15, 1};
    case 8: return B{0x57, 0, 0x8E, 0, 0xC4, 0, 0xFE, 0};
    case 11: return B{0x50, 0, 0x7F, 0, 0xB6, 0, 0xE9, 0};
    case 13: return B{0x48, 0, 0x6C, 0, 0x93, 0, 0xC1, 0};
    case 14: return B{0x4B, 0, 0x6F, 0, 0xF2, 0, 0xC4, 0};
    case 17: return B{0x50, 0, 0x7E, 0, 0xAE, 0, 0xE9, 0};
    case 19: return B{0x43, 0, 0x63, 0, 0x8D, 0, 0xBF, 0};
    case 20: return B{0x4E, 0, 0x78, 0, 0xA4, 0, 0xD2, 0};
    default: return std::nullopt;
    }
}

const char* const InvalidValueText = "Invalid value entered.";
const char* const InvalidValueTitle = "Invalid Value";

QString defaultGearRpm() { return QStringLiteral("4000"); }

QString defaultGearSpeed(int gear, bool mph)
{
    static const char* const inMph[] = {"20", "33", "47", "61", "80"};
    static const char* const inKmh[] = {"31", "53", "74", "98", "129"};
    return QString::fromLatin1(mph ? inMph[gear] : inKmh[gear]);
}

int gearThreshold(int rpm, double a, double b)
{
    if (rpm <= 0)
        throw EVexorError(QStringLiteral("An engine speed of %1 rpm cannot be stored.").arg(rpm));
    const double mean = std::abs(b - a) / 2 + std::min(a, b);
    return int(std::floor(roundEven(double(CrankPeriodConstant) / rpm * (mean * 256)) / 65536));
}

bool applyGearSetup(TOptionContext& ctx, TGearSetup& setup)
{
    auto invalid = [&](QString& field, const QString& def) {
        if (!ctx.messages)
            throw EVexorError(QString::fromLatin1(InvalidValueText));
        ctx.messages->showMessage(QString::fromLatin1(InvalidValueText), QString::fromLatin1(InvalidValueTitle),
                                  TMsgKind::Error, TMsgButton::OK);
        field = def;
        return false;
    };
    bool ok = false;
    const int rpm = setup.rpm.trimmed().toInt(&ok);
    if (!ok || rpm <= 0)
        return invalid(setup.rpm, defaultGearRpm());
    std::array<double, 5> kmh{};
    for (int g = 0; g < 5; ++g) {
        const double s = setup.speeds[size_t(g)].trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(s) || s < 0)
            return invalid(setup.speeds[size_t(g)], defaultGearSpeed(g, ctx.units.mph));
        kmh[size_t(g)] = ctx.units.mph ? roundEven(s * 1.6) : s;
    }
    const int at = ctx.rom.address(aeGearTable);
    if (at == 0)
        return true;
    std::array<quint16, 4> words{};
    bool changed = false;
    for (int k = 0; k < 4; ++k) {
        words[size_t(k)] = quint16(std::clamp(gearThreshold(rpm, kmh[size_t(k)], kmh[size_t(k) + 1]), 0, 0xFFFF));
        changed = changed || ctx.rom.wordAt(at + 2 * k) != words[size_t(k)];
    }
    if (!changed)
        return true;
    TUndoGroupGuard group(ctx.rom.buffer(), ouGearRatios);
    for (int k = 0; k < 4; ++k)
        ctx.rom.buffer().writeWord(at + 2 * k, words[size_t(k)]);
    return true;
}

namespace {

const char* const Fuel = "tbsFuelGeneral";
const char* const Idle = "tbsIdle";
const char* const Revs = "tbsRevs";
const char* const Vtec = "tbsVTEC";
const char* const Tps = "tbsTPS";
const char* const Map = "tbsMAP";
const char* const Boost = "tbsBoostLimit";
const char* const BoostControl = "tbsBoostControl";
const char* const Dtc = "tbsDTC";
const char* const Misc = "tbsMisc";
const char* const Emission = "tbsEmissionControl";
const char* const Ac = "tbsACControl";
const char* const Props = "tbsTableProps";
const char* const Gears = "tbsGearRatios";

// An rpm field over a period word, with a second word written in the same
// undo group at rpm + `delta` (a resume or a margin point).
TOptionField rpmPair(const char* name, const char* page, const char* group, const char* label, TRomEntry entry,
                     TRomEntry second, std::function<int(const TRom&)> delta, quint8 kind, TRomEntry copy = aeChecksum)
{
    TOptionField f = optText(name, page, group, label, entry, 0, 2, TOptionConv::Period);
    f.undoKind = kind;
    f.write = [entry, second, delta, kind, copy](TOptionContext& ctx, const QString& text) {
        const int rpm = int(roundEven(parseOptionNumber(text)));
        const int d = delta(ctx.rom);
        if (rpm <= 0 || rpm + d <= 0)
            throw EVexorError(QStringLiteral("An engine speed of %1 rpm cannot be stored with its margin of %2 rpm.")
                                  .arg(rpm)
                                  .arg(-d));
        TBinEdit& b = ctx.rom.buffer();
        const quint16 word = rpmToPeriodWord(rpm), other = rpmToPeriodWord(rpm + d);
        auto differs = [&](TRomEntry e, quint16 w) {
            return ctx.rom.address(e) && ctx.rom.wordAt(ctx.rom.address(e)) != w;
        };
        if (!differs(entry, word) && !differs(second, other) && !(copy != aeChecksum && differs(copy, word)))
            return;
        TUndoGroupGuard g(b, kind);
        b.writeWord(ctx.rom.address(entry), word);
        if (copy != aeChecksum && ctx.rom.address(copy))
            b.writeWord(ctx.rom.address(copy), word);
        if (ctx.rom.address(second))
            b.writeWord(ctx.rom.address(second), other);
    };
    return f;
}

// One VTEC switch pair of the point table: enable point and disable point
// (the enable point less the VTEC gap), both exponent bytes.
TOptionField vtecPair(const char* name, const char* label, int pair)
{
    TOptionField f = optCustom(name, TOptionControl::Text, Vtec, "VTEC points", label);
    f.entry = aeVtecPoints;
    f.undoKind = ouVtecPoints;
    f.present = [pair](const TOptionContext& ctx) {
        return ctx.rom.address(aeVtecPoints) != 0 && (ctx.rom.address(aeVtecPairs) >> 8) > pair;
    };
    f.read = [pair](const TOptionContext& ctx) {
        const int b = ctx.rom.byteAt(ctx.rom.address(aeVtecPoints) + 2 * pair + 1);
        return TOptionValue{QString::number(TRom::decodeExponentRpm(quint8(b))), true, b};
    };
    f.write = [pair](TOptionContext& ctx, const QString& text) {
        const int rpm = std::max(int(roundEven(parseOptionNumber(text))), 450);
        const int at = ctx.rom.address(aeVtecPoints) + 2 * pair;
        const quint8 on = TRom::encodeExponentRpm(rpm), off = TRom::encodeExponentRpm(rpm - ctx.rom.VTECDelta);
        if (ctx.rom.byteAt(at + 1) == on && ctx.rom.byteAt(at) == off)
            return;
        TUndoGroupGuard g(ctx.rom.buffer(), ouVtecPoints);
        ctx.rom.buffer().writeByte(at + 1, on);
        ctx.rom.buffer().writeByte(at, off);
    };
    return f;
}

int currentMapItem(const TRom& rom)
{
    const int mn = rom.mapCalibrationMin(), mx = rom.mapCalibrationMax();
    for (size_t i = 0; i < MapSensorPresets.size(); ++i)
        if (MapSensorPresets[i].mbarAt0V == mn && MapSensorPresets[i].mbarAt5V == mx)
            return int(i);
    return CustomMapSensorItem;
}

void storeMapRange(TOptionContext& ctx, int mn, int mx)
{
    if (mn == ctx.rom.mapCalibrationMin() && mx == ctx.rom.mapCalibrationMax())
        return;
    ctx.rom.setMapCalibration(mn, mx);
    if (ctx.marks)
        ctx.marks->tablesChanged = true;
    ctx.rom.reload();
}

// The custom sensor's range: a maximum not above the minimum (equal included,
// which would leave no range to divide by) resets both to the first preset.
TOptionField mapBound(const char* name, const char* label, bool isMax)
{
    TOptionField f = optCustom(name, TOptionControl::Text, Map, "MAP sensor", label);
    f.entry = aeMapCalibration;
    f.read = [isMax](const TOptionContext& ctx) {
        const int v = isMax ? ctx.rom.mapCalibrationMax() : ctx.rom.mapCalibrationMin();
        return TOptionValue{QString::number(v), currentMapItem(ctx.rom) == CustomMapSensorItem, -1};
    };
    f.write = [isMax](TOptionContext& ctx, const QString& text) {
        const int v = int(roundEven(parseOptionNumber(text)));
        int mn = isMax ? ctx.rom.mapCalibrationMin() : v;
        int mx = isMax ? v : ctx.rom.mapCalibrationMax();
        if (mx <= mn) {
            mn = MapSensorPresets[0].mbarAt0V;
            mx = MapSensorPresets[0].mbarAt5V;
        }
        storeMapRange(ctx, mn, mx);
    };
    return f;
}

int sensorTypeItem(const TRom& rom) { return rom.byteAt(rom.address(aeWbSensorType)); }

// A check box over one of the ROM model's switches, read and written through it.
TOptionField romSwitch(const char* name, const char* page, const char* group, const char* label, TRom::TSwitch sw)
{
    TOptionField f = optCustom(name, TOptionControl::Check, page, group, label);
    f.entry = TRomEntry(TRom::switchEntry(sw));
    f.read = [sw](const TOptionContext& ctx) {
        return TOptionValue{checkText(ctx.rom.switchValue(sw)), true,
                            ctx.rom.byteAt(ctx.rom.address(TRom::switchEntry(sw)))};
    };
    f.write = [sw](TOptionContext& ctx, const QString& text) { ctx.rom.setSwitch(sw, parseOptionNumber(text) != 0); };
    return f;
}

// The boost solenoid's pulse frequency: the PWM period in timer ticks, stored
// twice (the on and the off phase reload it), both in one undo group.
int pulseFrequency(const TRom& rom)
{
    const int period = rom.wordAt(rom.address(aeBoostPeriod));
    return period == 0 ? 0 : int(roundEven(double(BoostPwmClockHz) / period));
}

TOptionField pulseFrequencyField(const char* page)
{
    TOptionField f = optCustom("trkPulseFrequency", TOptionControl::Track, page, "Boost control", "Pulse frequency");
    f.entry = aeBoostPeriod;
    f.undoKind = ouInjectorClutchPulse;
    f.trackMin = BoostPulseMinHz;
    f.trackMax = BoostPulseMaxHz;
    f.trackCaption = QStringLiteral("%1Hz");
    f.present = [](const TOptionContext& ctx) {
        return ctx.rom.address(aeBoostPeriod) != 0 && ctx.rom.address(aeBoostPeriodCopy) != 0;
    };
    f.read = [](const TOptionContext& ctx) {
        return TOptionValue{QString::number(pulseFrequency(ctx.rom)), true,
                            ctx.rom.wordAt(ctx.rom.address(aeBoostPeriod))};
    };
    f.write = [](TOptionContext& ctx, const QString& text) {
        const int hz =
            int(std::clamp(roundEven(parseOptionNumber(text)), double(BoostPulseMinHz), double(BoostPulseMaxHz)));
        const auto period = quint16(roundEven(double(BoostPwmClockHz) / hz));
        const int a = ctx.rom.address(aeBoostPeriod), b = ctx.rom.address(aeBoostPeriodCopy);
        if (ctx.rom.wordAt(a) == period && ctx.rom.wordAt(b) == period)
            return;
        TUndoGroupGuard g(ctx.rom.buffer(), ouInjectorClutchPulse);
        ctx.rom.buffer().writeWord(a, period);
        ctx.rom.buffer().writeWord(b, period);
    };
    return f;
}

std::vector<TOptionField> buildTree()
{
    std::vector<TOptionField> v;
    using C = TOptionConv;

    // Fuel
    TOptionField injector = optCustom("cbxInjectorNew", TOptionControl::Button, Fuel, "Injectors", "Injector");
    injector.tip = QStringLiteral("Changing injectors rescales the fuel maps: the injector tool does that.");
    v.push_back(injector);
    TOptionField trim = optText("txtFuelTrim", Fuel, "Trims", "Injector offset", aeInjectorOffset, 0, 2, C::InjectorUs);
    v.push_back(trim);
    v.push_back(optText("txtCrankingTrim", Fuel, "Trims", "Cranking", aeStartupFuel, 0, 2, C::FuelWordPct));
    v.push_back(optText("txtTipinTrim", Fuel, "Trims", "Tip-in", aeTipInFuel, 0, 2, C::FuelWordPct));
    v.push_back(optText("txtPostFuel", Fuel, "Trims", "Post start", aePostStartFuel, 0, 2, C::FuelWordPct));

    // Idle
    v.push_back(rpmPair(
        "txtTargetIdle", Idle, "Idle", "Target idle", aeTargetIdle, aeTargetIdleHigh, [](const TRom&) { return 200; },
        ouRevCuts, aeTargetIdleCopy));
    v.push_back(optText("txtIdleRecovery", Idle, "Idle", "Idle recovery", aeIdleRecovery, 0, 1, C::Raw));
    TOptionField iacv = optCustom("trkIACV", TOptionControl::Track, Idle, "Idle valve", "IACV base");
    iacv.entry = aeIacvBase;
    iacv.read = [](const TOptionContext& ctx) {
        return TOptionValue{QString::number(ctx.rom.iacvBase()), true, ctx.rom.wordAt(ctx.rom.address(aeIacvBase) + 2)};
    };
    iacv.write = [](TOptionContext& ctx, const QString& text) {
        ctx.rom.setIacvBase(int(std::clamp(roundEven(parseOptionNumber(text)), -100.0, 100.0)));
    };
    v.push_back(iacv);
    TOptionField iacv2 = optCustom("trkIACV2", TOptionControl::Track, Idle, "Idle valve", "IACV duty correction");
    iacv2.entry = aeIacvDutyCorrection;
    iacv2.read = [](const TOptionContext& ctx) {
        return TOptionValue{QString::number(ctx.rom.iacvDutyCorrection()), false,
                            ctx.rom.wordAt(ctx.rom.address(aeIacvDutyCorrection))};
    };
    v.push_back(iacv2);

    // Revs
    v.push_back(rpmPair(
        "txtLoRevCut", Revs, "Rev cuts", "Low-cam rev cut", aeRevLimitLo, aeRevResumeLo,
        [](const TRom& r) { return -int(r.RevDelta); }, ouRevCuts));
    v.push_back(rpmPair(
        "txtHiRevCut", Revs, "Rev cuts", "High-cam rev cut", aeRevLimitHi, aeRevResumeHi,
        [](const TRom& r) { return -int(r.RevDelta); }, ouRevCuts));
    v.push_back(optText("txtStandCut", Revs, "Rev cuts", "Standstill rev cut", aeLaunchLimit, 0, 2, C::Period));
    v.push_back(optText("txtTPSThreshold", Revs, "Full throttle", "Full-throttle threshold", aeFullThrottleThreshold, 0,
                        1, C::Throttle207));
    v.push_back(
        optText("txtVSSThreshold", Revs, "Full throttle", "Standstill below", aeStandstillThreshold, 0, 1, C::Speed));
    v.push_back(
        optText("txtAcceleration", Revs, "Full throttle", "Rising rev limit step", aeRisingRevLimit, 0, 2, C::Raw));
    v.push_back(
        optText("txtStandRetard", Revs, "Standstill", "Standstill retard", aeStandstillBoostRetard, 0, 1, C::Retard));
    v.push_back(
        optText("txtStandFuel", Revs, "Standstill", "Standstill enrichment", aeStandstillBoostEnrich, 0, 2, C::Raw));

    // VTEC
    v.push_back(romSwitch("chkEnableVTP", Vtec, "VTEC", "VTP check", TRom::swVtpCheck));
    v.push_back(romSwitch("chkEnableVTS", Vtec, "VTEC", "VTS check", TRom::swVtsCheck));
    v.push_back(vtecPair("txtVTECLow", "Low-load VTEC point", 0));
    v.push_back(vtecPair("txtVTECHigh", "High-load VTEC point", 1));
    v.push_back(optText("txtVTLoad", Vtec, "VTEC conditions", "Minimum load", aeVtecLoad, 0, 1, C::Load));
    v.push_back(optText("txtVTTemp", Vtec, "VTEC conditions", "Minimum coolant temperature", aeVtecCoolant, 0, 1,
                        C::Temperature));
    v.push_back(optText("txtVTSpeed", Vtec, "VTEC conditions", "Minimum speed", aeVtecMinSpeed, 0, 1, C::Speed));
    v.push_back(
        optText("txtVTThrottle", Vtec, "VTEC conditions", "Minimum throttle", aeVtecThrottle, 0, 1, C::Throttle207));

    // Condition switches: the ROM model's VTEC speed and coolant conditions, and
    // the throttle condition, off at 0 and on from 0 % throttle.
    v.push_back(romSwitch("chkVTSpeed", Vtec, "VTEC conditions", "Speed condition", TRom::swVtecSpeed));
    v.push_back(romSwitch("chkVTTemp", Vtec, "VTEC conditions", "Coolant condition", TRom::swVtecCoolant));
    auto enableBox = [](const char* name, const char* page, const char* group, const char* label, TRomEntry entry,
                        int width, int onValue) {
        TOptionField f = optCustom(name, TOptionControl::Check, page, group, label);
        f.entry = entry;
        f.read = [entry, width](const TOptionContext& ctx) {
            const int at = ctx.rom.address(entry);
            const int raw = width == 2 ? ctx.rom.wordAt(at) : ctx.rom.byteAt(at);
            return TOptionValue{checkText(raw != 0), true, raw};
        };
        f.write = [entry, width, onValue](TOptionContext& ctx, const QString& text) {
            const int at = ctx.rom.address(entry);
            const int value = parseOptionNumber(text) != 0 ? onValue : 0;
            if (width == 2)
                ctx.rom.buffer().writeWord(at, quint16(value));
            else
                ctx.rom.buffer().writeByte(at, quint8(value));
        };
        return f;
    };
    v.push_back(
        enableBox("chkVTThrottle", Vtec, "VTEC conditions", "Throttle condition", aeVtecThrottle, 1, ThrottleZeroByte));
    // Switched on, the rising limit starts at 1000 rpm (20 steps of 50 rpm).
    v.push_back(enableBox("chkEnableRisingRateRev", Revs, "Full throttle", "Rising rev limit", aeRisingRevLimit, 2,
                          1000 / RisingRevLimitRpmPerUnit));

    // TPS
    v.push_back(
        optText("txtMinTPSVolts", Tps, "Throttle sensor", "Closed throttle", aeTpsVoltagePair, 0, 1, C::TpsVolts));
    v.push_back(
        optText("txtMaxTPSVolts", Tps, "Throttle sensor", "Open throttle", aeTpsVoltagePair, 1, 1, C::TpsVolts));
    TOptionField autoTps =
        optCustom("btnAutoCalibrateTPS", TOptionControl::Button, Tps, "Throttle sensor", "Auto-calibrate");
    autoTps.tip =
        QStringLiteral("Reads the throttle sensor's end points from the datalog: the calibration tool does that.");
    v.push_back(autoTps);

    // MAP sensor
    TOptionField mapList = optCustom("cbxMAPList", TOptionControl::Combo, Map, "MAP sensor", "Sensor");
    mapList.entry = aeMapCalibration;
    mapList.items = {QStringLiteral("Stock (-59 .. 1782 mbar)"),  QStringLiteral("2 bar (6 .. 2037 mbar)"),
                     QStringLiteral("3 bar (-52 .. 2985 mbar)"),  QStringLiteral("2.5 bar (71 .. 2593 mbar)"),
                     QStringLiteral("4 bar (-427 .. 3841 mbar)"), QStringLiteral("Custom")};
    mapList.read = [](const TOptionContext& ctx) {
        return TOptionValue{QString::number(currentMapItem(ctx.rom)), true, -1};
    };
    mapList.write = [](TOptionContext& ctx, const QString& text) {
        const int item = parseComboIndex(text, CustomMapSensorItem + 1);
        const TMapSensorPreset p = item == CustomMapSensorItem ? CustomMapSensorStart : MapSensorPresets[size_t(item)];
        storeMapRange(ctx, p.mbarAt0V, p.mbarAt5V);
    };
    v.push_back(mapList);
    v.push_back(mapBound("txtMinMAP", "Pressure at 0 V", false));
    v.push_back(mapBound("txtMaxMAP", "Pressure at 5 V", true));
    TOptionField atm = optCustom("txtMAPAtmVolts", TOptionControl::Text, Map, "MAP sensor", "Volts at 1013 mbar");
    atm.entry = aeMapCalibration;
    atm.read = [](const TOptionContext& ctx) {
        return TOptionValue{mapAtmosphereVolts(ctx.rom.mapCalibrationMin(), ctx.rom.mapCalibrationMax()), false, -1};
    };
    v.push_back(atm);

    // Boost
    v.push_back(optText("txtBoostLimitSafe", Boost, "Boost limits", "Safety limit", aeSafetyBoostLimit, 0, 1, C::Load));
    v.push_back(optText("txtBoostLimitCold", Boost, "Boost limits", "Cold limit", aeColdBoostLimit, 0, 1, C::Load));
    v.push_back(optText("txtBoostLimitWarm", Boost, "Boost limits", "Warm limit", aeHotBoostLimit, 0, 1, C::Load));
    v.push_back(optText("txtBoostTempThreshold", Boost, "Boost temperature", "Warm above", aeBoostLimitTemp, 0, 1,
                        C::Temperature));
    v.push_back(optCheck("chkBoostCEL", Boost, "Boost limits", "Safety limit while the CEL is on",
                         aeCelBoostLimitSwitch, 0, C::Switch));
    TOptionField mode = optCustom("cbxBoostControlMode", TOptionControl::Combo, BoostControl, "Boost control", "Mode");
    mode.entry = aeBoostControlMode;
    mode.undoKind = ouModeAndGears;
    mode.items = {QStringLiteral("Off"), QStringLiteral("Fixed duty"), QStringLiteral("Target boost")};
    mode.read = [](const TOptionContext& ctx) {
        const int b = ctx.rom.byteAt(ctx.rom.address(aeBoostControlMode));
        return TOptionValue{QString::number(b), true, b};
    };
    mode.write = [](TOptionContext& ctx, const QString& text) {
        const int item = parseComboIndex(text, 3);
        TUndoGroupGuard g(ctx.rom.buffer(), ouModeAndGears);
        ctx.rom.buffer().writeByte(ctx.rom.address(aeBoostControlMode), quint8(item));
    };
    v.push_back(mode);
    v.push_back(
        optText("txtFixedDuty", BoostControl, "Boost control", "Fixed duty", aeBoostDutyTable, 0, 1, C::Percent));
    v.push_back(
        optText("txtFixedGain", BoostControl, "Boost control", "Controller gain", aeBoostControlMode, 1, 1, C::Gain));
    v.push_back(pulseFrequencyField(BoostControl));

    // Closed loop and wideband
    v.push_back(optCheck("chkClosedLoop", Emission, "Closed loop", "Closed loop", aeClosedLoopSwitch, 0, C::Switch));
    v.push_back(optCheck("chkO2Heater", Emission, "Closed loop", "O2 heater", aeO2HeaterSwitch, 0, C::Switch));
    v.push_back(optText("txtCLMaxLoad", Emission, "Closed loop", "Maximum load", aeClMaxLoad, 0, 1, C::Load));
    v.push_back(
        optText("txtCLMaxTPS", Emission, "Closed loop", "Maximum throttle", aeClMaxThrottle, 0, 1, C::Throttle207));
    v.push_back(optText("txtCLLowLimit", Emission, "Closed loop", "Lower trim limit", aeClLowLimit, 0, 2, C::ClLimit));
    v.push_back(
        optText("txtCLHighLimit", Emission, "Closed loop", "Upper trim limit", aeClHighLimit, 0, 2, C::ClLimit));
    TOptionField sensor = optCustom("cbxSensorType", TOptionControl::Combo, Emission, "Wideband", "Sensor");
    sensor.entry = aeWbSensorType;
    sensor.undoKind = ouBoostSwitchAndSensor;
    sensor.items = {QStringLiteral("Narrowband"), QStringLiteral("Wideband 1"), QStringLiteral("Wideband 2"),
                    QStringLiteral("Wideband 3"), QStringLiteral("Wideband 4"), QStringLiteral("Wideband 5"),
                    QStringLiteral("Wideband 6"), QStringLiteral("Wideband 7"), QStringLiteral("Wideband 8")};
    sensor.read = [](const TOptionContext& ctx) {
        const int b = sensorTypeItem(ctx.rom);
        return TOptionValue{QString::number(b), true, b};
    };
    sensor.write = [](TOptionContext& ctx, const QString& text) {
        const int item = parseComboIndex(text, WidebandPresetCount);
        TRom& rom = ctx.rom;
        TBinEdit& b = rom.buffer();
        TUndoGroupGuard g(b, ouBoostSwitchAndSensor);
        b.writeByte(rom.address(aeWbSensorType), quint8(item));
        if (rom.address(aeWbEnable))
            b.writeByte(rom.address(aeWbEnable), item == 0 ? 0 : 128);
        if (rom.address(aeWbStoich))
            b.writeByte(rom.address(aeWbStoich), WidebandStoichBytes[size_t(item)]);
        if (item > 0 && rom.address(aeWbTable))
            for (int i = 0; i < 12; ++i) {
                b.writeByte(rom.address(aeWbTable) + 2 * i, WidebandAxisBytes[size_t(i)]);
                b.writeByte(rom.address(aeWbTable) + 2 * i + 1, WidebandSensorBytes[size_t(item)][size_t(i)]);
            }
    };
    v.push_back(sensor);
    TOptionField targeting = optCustom("cbxTargettingMode", TOptionControl::Combo, Emission, "Wideband", "Targeting");
    targeting.entry = aeWbStoich;
    targeting.items = {QStringLiteral("Stoichiometric"), QStringLiteral("Fuel map")};
    targeting.read = [](const TOptionContext& ctx) {
        const int b = ctx.rom.byteAt(ctx.rom.address(aeWbStoich));
        return TOptionValue{QString::number(b == 0 ? 1 : 0), true, b};
    };
    targeting.write = [](TOptionContext& ctx, const QString& text) {
        const int item = parseComboIndex(text, 2);
        const int type = std::clamp(sensorTypeItem(ctx.rom), 0, WidebandPresetCount - 1);
        ctx.rom.buffer().writeByte(ctx.rom.address(aeWbStoich), item == 0 ? WidebandStoichBytes[size_t(type)] : 0);
    };
    v.push_back(targeting);
    v.push_back(optText("txtStoichVoltage", Emission, "Wideband", "Stoichiometric byte", aeWbStoich, 0, 1, C::Raw));
    v.push_back(optText("txtVoltageOffset", Emission, "Wideband", "Voltage offset", aeWbOffset, 0, 1, C::WbOffset));

    // A/C
    v.push_back(rpmPair(
        "txtACRev", Ac, "A/C", "A/C cut above", aeAcRpmEnable, aeAcRpmDisable,
        [](const TRom& r) { return -int(r.RevDelta); }, ouRevCuts));
    v.push_back(optText("txtACThrottle", Ac, "A/C", "A/C cut above throttle", aeAcThrottle, 0, 1, C::Throttle207));

    // Diagnostic codes: checked while the ECU watches for the code.
    struct DtcBox {
        const char* name;
        const char* label;
        TRomEntry entry;
        int on, off;
        int romSwitch = -1; // a switch of the ROM model instead of the entry's byte
        int offMask = 0xFF; // the code is watched unless the byte's masked bits are the off byte's
    };
    static const DtcBox dtcs[] = {
        {"chkDTC10", "10 Intake temperature", aeIatSwitch, 0xFF, 0x00, -1, 0xF0},
        {"chkDTC13", "13 Atmospheric pressure", aeBaroSwitch, 0xFF, 0x00},
        {"chkDTC14", "14 Idle air valve", aeIacvSwitch, 0xFF, 0x00},
        {"chkDTC16", "16 Injectors", aeInjectorTestSwitch, 0x00, 0xFF},
        {"chkDTC17", "17 Vehicle speed", aeVssSwitch, 0xFF, 0x00, -1, 0xF0},
        {"chkDTC20", "20 Electrical load", aeEldSwitch, 0xFF, 0x00},
        {"chkDTC21", "21 VTEC solenoid", aeVtsCheck, 0, 0, TRom::swVtsCheck},
        {"chkDTC22", "22 VTEC pressure switch", aeVtpCheck, 0, 0, TRom::swVtpCheck},
        {"chkDTC23", "23 Knock sensor", aeKnockSwitch, 0xFF, 0x00},
        {"chkDTC41", "41 O2 heater", aeO2HeaterSwitch, 0xFF, 0x00},
    };
    // A check box reads as the ECU does: only the off byte (under the mask)
    // switches the code off, so an image's odd byte never shows a watched code as off.
    for (const DtcBox& d : dtcs) {
        if (d.romSwitch >= 0) {
            v.push_back(romSwitch(d.name, Dtc, "Diagnostic codes", d.label, TRom::TSwitch(d.romSwitch)));
            continue;
        }
        TOptionField f = optCheck(d.name, Dtc, "Diagnostic codes", d.label, d.entry, 0, C::Switch, d.on, d.off);
        f.switchMask = d.offMask;
        v.push_back(f);
    }

    // Table properties
    auto dimension = [&](const char* name, const char* label, bool high, bool cols) {
        TOptionField f = optCustom(name, TOptionControl::Text, Props, "Table sizes", label);
        f.entry = cols ? shownColumnsEntry(high) : shownRowsEntry(high);
        f.read = [high, cols](const TOptionContext& ctx) {
            const int kind = high ? 1 : 0;
            const int n = cols ? ctx.rom.displayedColumns(kind) : ctx.rom.displayedRows(kind);
            return TOptionValue{QString::number(n), true, -1};
        };
        f.write = [high, cols](TOptionContext& ctx, const QString& text) {
            const int n = text.trimmed().isEmpty() ? 2 : int(roundEven(parseOptionNumber(text)));
            TTableStructureMarks local;
            TTableStructureMarks& marks = ctx.marks ? *ctx.marks : local;
            if (cols)
                setTableColumns(ctx.rom, high, n, marks);
            else
                setTableRows(ctx.rom, high, n, marks);
        };
        v.push_back(f);
    };
    dimension("txtLowCamCols", "Low-cam columns", false, true);
    dimension("txtLowCamRows", "Low-cam rows", false, false);
    dimension("txtHighCamCols", "High-cam columns", true, true);
    dimension("txtHighCamRows", "High-cam rows", true, false);
    TOptionField ext = optCustom("chkExtendedLowCams", TOptionControl::Check, Props, "Indexing", "Extended low cams");
    ext.present = [](const TOptionContext& ctx) { return ctx.rom.BaseType == btVexorAu; };
    ext.read = [](const TOptionContext& ctx) { return TOptionValue{checkText(extendedLowCams(ctx.rom)), true, -1}; };
    ext.write = [](TOptionContext& ctx, const QString& text) {
        TTableStructureMarks local;
        setExtendedLowCams(ctx.rom, parseOptionNumber(text) != 0, ctx.marks ? *ctx.marks : local);
    };
    v.push_back(ext);
    TOptionField alphaN = optCustom("chkAlphaNIndex", TOptionControl::Check, Props, "Indexing", "Alpha-N load index");
    alphaN.entry = aeAlphaNSwitch;
    alphaN.read = [](const TOptionContext& ctx) { return TOptionValue{checkText(alphaNIndex(ctx.rom)), true, -1}; };
    alphaN.write = [](TOptionContext& ctx, const QString& text) {
        setAlphaNIndex(ctx.rom, parseOptionNumber(text) != 0);
    };
    v.push_back(alphaN);
    TOptionField map2tps = optCustom("txtMAP2TPS", TOptionControl::Text, Props, "Indexing", "Throttle threshold");
    map2tps.entry = aeTpsLoadBlock;
    map2tps.read = [](const TOptionContext& ctx) {
        return TOptionValue{QString::number(throttleThreshold(ctx.rom)), alphaNIndex(ctx.rom), -1};
    };
    map2tps.write = [](TOptionContext& ctx, const QString& text) {
        setThrottleThreshold(ctx.rom, parseOptionNumber(text));
    };
    v.push_back(map2tps);

    // IAB and ignition lock
    TOptionField iab = optCustom("txtIABThreshold", TOptionControl::Text, Misc, "IAB", "IAB point");
    iab.entry = aeIabDisable;
    iab.read = [](const TOptionContext& ctx) { return TOptionValue{QString::number(ctx.rom.iabPoint()), true, -1}; };
    iab.write = [](TOptionContext& ctx, const QString& text) {
        const int rpm = int(roundEven(parseOptionNumber(text)));
        if (rpm <= 0)
            throw EVexorError(QStringLiteral("An engine speed of %1 rpm cannot be stored.").arg(rpm));
        if (rpm != ctx.rom.iabPoint())
            ctx.rom.setIabPoint(rpm);
    };
    v.push_back(iab);
    v.push_back(optCheck("chkInvertIAB", Misc, "IAB", "Invert IAB output", aeIabInverted, 0, C::Bit, 0x80));
    v.push_back(
        optCheck("chkIgnitionLock", Misc, "Ignition lock", "Ignition lock", aeIgnitionLockSwitch, 0, C::Switch));
    v.push_back(optText("txtIgnitionLock", Misc, "Ignition lock", "Lock value", aeIgnitionLockValue, 0, 1, C::Raw));

    // Gears
    TOptionField gear = optCustom("cbxGearSelect", TOptionControl::Combo, Gears, "Gear set", "Gear set");
    gear.entry = aeGearSelect;
    gear.undoKind = ouModeAndGears;
    for (int i = 0; i < GearSetCount; ++i)
        gear.items << (i == CustomGearSetItem ? QStringLiteral("Custom...") : QStringLiteral("Gear set %1").arg(i + 1));
    gear.read = [](const TOptionContext& ctx) {
        const int b = ctx.rom.byteAt(ctx.rom.address(aeGearSelect));
        return TOptionValue{QString::number(b), true, b};
    };
    gear.write = [](TOptionContext& ctx, const QString& text) {
        const int item = parseComboIndex(text, GearSetCount);
        TRom& rom = ctx.rom;
        TUndoGroupGuard g(rom.buffer(), ouModeAndGears);
        rom.buffer().writeByte(rom.address(aeGearSelect), quint8(item));
        if (const auto bytes = gearPresetBytes(item); bytes && rom.address(aeGearTable))
            for (int i = 0; i < 8; ++i)
                rom.buffer().writeByte(rom.address(aeGearTable) + i, (*bytes)[size_t(i)]);
    };
    v.push_back(gear);
    TOptionField setGears = optCustom("btnSetGears", TOptionControl::Button, Gears, "Custom gears", "Set gears");
    setGears.entry = aeGearTable;
    setGears.tip = QStringLiteral("Engine speed and the five road speeds: RPM,S1,S2,S3,S4,S5");
    setGears.read = [](const TOptionContext&) { return TOptionValue{QString(), true, -1}; };
    setGears.write = [](TOptionContext& ctx, const QString& text) {
        const QStringList parts = text.split(QLatin1Char(','));
        if (parts.size() != 6)
            throw EVexorError(QString::fromLatin1(InvalidValueText));
        TGearSetup setup;
        setup.rpm = parts[0];
        for (int g = 0; g < 5; ++g)
            setup.speeds[size_t(g)] = parts[g + 1];
        applyGearSetup(ctx, setup);
    };
    v.push_back(setGears);

    appendOutputFields(v);
    return v;
}

} // namespace

const std::vector<TOptionField>& optionTreeFields()
{
    static const std::vector<TOptionField> fields = buildTree();
    return fields;
}
