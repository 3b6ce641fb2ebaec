// The simple page of every family without the option tree: a few fields read
// and written through the ROM model's setting accessors, each with its rule
// for values that make no sense to the ECU.
#include "options/mdlOptionFields.h"

#include "rom/clsRom.h"
#include "settings/mdlErrors.h"

#include <cmath>

namespace {

using Get = std::function<double(const TRom&)>;
using Set = std::function<void(TRom&, double)>;
using Fixup = std::function<double(const TOptionContext&, double)>;
using Present = std::function<bool(const TOptionContext&)>;

const QString Page = QStringLiteral("pnlOptions");

bool hasEntry(const TRom& rom, TRomEntry e) { return rom.address(e) != 0; }
bool obd1(const TRom& rom) { return rom.OBDMode != 0; }

// A numeric field over an accessor pair: parse, apply the page's rule, write
// only when the result differs from what the accessor reads now.
TOptionField accessorField(const char* name, const char* label, const char* unit, Present present, Get get, Set set,
                           Fixup fixup, int decimals = 0, QString absent = {})
{
    TOptionField f;
    f.name = QString::fromLatin1(name);
    f.page = Page;
    f.label = QString::fromLatin1(label);
    f.tip = QString::fromUtf8(unit);
    f.present = std::move(present);
    f.absentText = std::move(absent);
    f.read = [get, decimals](const TOptionContext& ctx) {
        return TOptionValue{QString::number(get(ctx.rom), 'f', decimals), true, -1};
    };
    f.write = [get, set, fixup](TOptionContext& ctx, const QString& text) {
        double v = parseOptionNumber(text);
        if (fixup)
            v = fixup(ctx, v);
        if (v == get(ctx.rom))
            return;
        set(ctx.rom, v);
    };
    return f;
}

TOptionField switchField(const char* name, const char* label, TRom::TSwitch sw, bool obd1Only)
{
    TOptionField f;
    f.name = QString::fromLatin1(name);
    f.control = TOptionControl::Check;
    f.page = Page;
    f.label = QString::fromLatin1(label);
    f.present = [sw, obd1Only](const TOptionContext& ctx) {
        return ctx.rom.address(TRom::switchEntry(sw)) != 0 && (!obd1Only || obd1(ctx.rom));
    };
    f.read = [sw](const TOptionContext& ctx) {
        const int at = ctx.rom.address(TRom::switchEntry(sw));
        return TOptionValue{ctx.rom.switchValue(sw) ? QStringLiteral("1") : QStringLiteral("0"), true,
                            ctx.rom.byteAt(at)};
    };
    f.write = [sw](TOptionContext& ctx, const QString& text) {
        const bool on = parseOptionNumber(text) != 0;
        if (on != ctx.rom.switchValue(sw))
            ctx.rom.setSwitch(sw, on);
    };
    return f;
}

double belowBecomes(double v, double limit, double replacement) { return v < limit ? replacement : v; }

// An OBD0 ROM has no VTEC enable byte: VTEC is off when its point lies past
// what the engine reaches, so switching it writes such a point or a usual one.
constexpr int Obd0VtecOffRpm = 7900;
constexpr int Obd0VtecOnRpm = 5500;

std::vector<TOptionField> buildSimple()
{
    std::vector<TOptionField> v;
    auto revPresent = [](const TOptionContext& c) { return hasEntry(c.rom, aeRevLimitLo); };
    v.push_back(accessorField(
        "txtRev", "Rev limit", "rpm", revPresent, [](const TRom& r) { return r.revLimit(); },
        [](TRom& r, double x) { r.setRevLimit(int(x)); },
        [](const TOptionContext&, double x) { return belowBecomes(x, 1000, 7400); }));
    v.push_back(accessorField(
        "txtLaunch", "Launch rev limit", "rpm",
        [](const TOptionContext& c) { return c.rom.hasFlag(ffLaunchControl) && hasEntry(c.rom, aeLaunchLimit); },
        [](const TRom& r) { return r.launchRevLimit(); }, [](TRom& r, double x) { r.setLaunchRevLimit(int(x)); },
        [](const TOptionContext&, double x) { return belowBecomes(x, 1000, 1000); }));
    v.push_back(accessorField(
        "txtShift", "Full-throttle shift limit", "rpm",
        [](const TOptionContext& c) { return c.rom.hasFlag(ffFullThrottleShift) && hasEntry(c.rom, aeShiftLimit); },
        [](const TRom& r) { return r.shiftRevLimit(); }, [](TRom& r, double x) { r.setShiftRevLimit(int(x)); },
        [](const TOptionContext& c, double x) { return belowBecomes(x, 1000, c.rom.revLimit()); }));

    TOptionField chkVtec;
    chkVtec.name = QStringLiteral("chkVTEC");
    chkVtec.control = TOptionControl::Check;
    chkVtec.page = Page;
    chkVtec.label = QStringLiteral("VTEC");
    chkVtec.undoKind = ouVtecPoints;
    chkVtec.present = [](const TOptionContext& c) { return hasEntry(c.rom, aeVtecPoints); };
    chkVtec.read = [](const TOptionContext& c) {
        return TOptionValue{c.rom.vtecEnabled() ? QStringLiteral("1") : QStringLiteral("0"), true, -1};
    };
    chkVtec.write = [](TOptionContext& c, const QString& text) {
        const bool on = parseOptionNumber(text) != 0;
        if (on == c.rom.vtecEnabled())
            return;
        TUndoGroupGuard group(c.rom.buffer(), ouVtecPoints);
        if (c.rom.OBDMode == 0)
            c.rom.setVtecPoint(on ? Obd0VtecOnRpm : Obd0VtecOffRpm);
        else
            c.rom.setVtecEnabled(on);
    };
    v.push_back(chkVtec);

    TOptionField vtec = accessorField(
        "txtVTEC", "VTEC point", "rpm", [](const TOptionContext& c) { return hasEntry(c.rom, aeVtecPoints); },
        [](const TRom& r) { return r.vtecPoint(); }, [](TRom& r, double x) { r.setVtecPoint(int(x)); },
        [](const TOptionContext&, double x) { return x > 7900 ? 7875 : x; });
    const auto vtecRead = vtec.read;
    vtec.read = [vtecRead](const TOptionContext& c) {
        TOptionValue value = vtecRead(c);
        value.enabled = c.rom.vtecEnabled();
        return value;
    };
    v.push_back(vtec);

    v.push_back(accessorField(
        "txtColdIdle", "Cold idle", "rpm",
        [](const TOptionContext& c) { return hasEntry(c.rom, aeColdIdle) && obd1(c.rom); },
        [](const TRom& r) { return r.coldIdle(); }, [](TRom& r, double x) { r.setColdIdle(int(x)); },
        [](const TOptionContext&, double x) { return belowBecomes(x, 100, 750); }));
    v.push_back(accessorField(
        "txtIAB", "IAB point", "rpm",
        [](const TOptionContext& c) { return c.rom.hasFlag(ffIAB) && hasEntry(c.rom, aeIabDisable); },
        [](const TRom& r) { return r.iabPoint(); }, [](TRom& r, double x) { r.setIabPoint(int(x)); },
        [](const TOptionContext&, double x) { return x > 7900 ? 7900 : x; }, 0, QStringLiteral("7900")));

    auto boostPresent = [](const TOptionContext& c) {
        return c.rom.hasFlag(ffBoostLimit) && hasEntry(c.rom, aeBoostLimit);
    };
    v.push_back(accessorField(
        "txtBoostLimitMillibar", "Boost limit", "mbar", boostPresent, [](const TRom& r) { return r.boostLimitMbar(); },
        [](TRom& r, double x) { r.setBoostLimitMbar(x); },
        [](const TOptionContext&, double x) { return belowBecomes(x, 500, 500); }));
    v.push_back(accessorField(
        "txtBoostLimitPSI", "Boost limit", "psi", boostPresent,
        [](const TRom& r) { return std::round(r.boostLimitPsi() * 10) / 10; },
        [](TRom& r, double x) { r.setBoostLimitPsi(x); },
        [](const TOptionContext&, double x) { return belowBecomes(x, -7.4, -7.4); }, 1));

    auto speedPresent = [](const TOptionContext& c) { return hasEntry(c.rom, aeSpeedLimit) && obd1(c.rom); };
    TOptionField chkSpeed;
    chkSpeed.name = QStringLiteral("chkSpeedLimit");
    chkSpeed.control = TOptionControl::Check;
    chkSpeed.page = Page;
    chkSpeed.label = QStringLiteral("Speed limiter");
    chkSpeed.undoKind = ouSpeedLimitOff;
    chkSpeed.present = speedPresent;
    chkSpeed.read = [](const TOptionContext& c) {
        return TOptionValue{c.rom.switchValue(TRom::swSpeedLimiter) ? QStringLiteral("1") : QStringLiteral("0"), true,
                            -1};
    };
    chkSpeed.write = [](TOptionContext& c, const QString& text) {
        const bool on = parseOptionNumber(text) != 0;
        if (on == c.rom.switchValue(TRom::swSpeedLimiter))
            return;
        TUndoGroupGuard group(c.rom.buffer(), ouSpeedLimitOff);
        c.rom.setSwitch(TRom::swSpeedLimiter, on);
        if (!on)
            c.rom.setSpeedLimitMph(158); // the highest limit the byte holds: no limit in practice
    };
    v.push_back(chkSpeed);

    TOptionField speed;
    speed.name = QStringLiteral("txtSpeedLimit");
    speed.page = Page;
    speed.label = QStringLiteral("Speed limit");
    speed.conv = TOptionConv::Speed;
    speed.present = speedPresent;
    speed.read = [](const TOptionContext& c) {
        const int raw = c.rom.byteAt(c.rom.address(aeSpeedLimit));
        const int shown = c.units.mph ? c.rom.speedLimitMph() : raw;
        return TOptionValue{QString::number(shown), c.rom.switchValue(TRom::swSpeedLimiter), raw};
    };
    speed.write = [](TOptionContext& c, const QString& text) {
        const double x = parseOptionNumber(text);
        if (c.units.mph) {
            c.rom.setSpeedLimitMph(int(std::clamp(roundEven(x), 0.0, 1000.0)));
            return;
        }
        c.rom.buffer().writeByte(c.rom.address(aeSpeedLimit), quint8(std::clamp(roundEven(x), 0.0, 255.0)));
    };
    v.push_back(speed);

    v.push_back(accessorField(
        "txtShiftLight", "Shift light", "rpm",
        [](const TOptionContext& c) { return c.rom.hasFlag(ffShiftLight) && hasEntry(c.rom, aeShiftLight); },
        [](const TRom& r) { return r.shiftLight(); }, [](TRom& r, double x) { r.setShiftLight(int(x)); }, {}));

    v.push_back(switchField("chkKnock", "Knock sensor", TRom::swKnock, false));
    v.push_back(switchField("chkELD", "ELD", TRom::swELD, false));
    v.push_back(switchField("chkBaro", "Atmospheric sensor", TRom::swBaro, false));
    v.push_back(switchField("chkVTECVSS", "VTEC speed condition", TRom::swVtecSpeed, true));
    v.push_back(switchField("chkVTECCool", "VTEC coolant condition", TRom::swVtecCoolant, true));
    v.push_back(switchField("chkDebug", "Debug", TRom::swDebug, true));
    v.push_back(switchField("chkCloseLoop", "Closed loop", TRom::swClosedLoop, true));
    v.push_back(switchField("chkInjectorTest", "Injector test", TRom::swInjectorTest, true));
    v.push_back(switchField("chkOxyHeat", "O2 heater", TRom::swO2Heater, false));
    for (TOptionField& f : v)
        if (f.group.isEmpty())
            f.group = f.control == TOptionControl::Check ? QStringLiteral("Switches") : QStringLiteral("Limits");
    return v;
}

} // namespace

const std::vector<TOptionField>& simplePageFields()
{
    static const std::vector<TOptionField> fields = buildSimple();
    return fields;
}
