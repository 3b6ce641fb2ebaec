#include "rom/mdlRomSettingsTable.h"

#include "rom/clsRom.h"

namespace {

using Spans = QList<QPair<int, int>>;

// Spans of entries holding one value of the given width each.
std::function<Spans(const TRom&)> entries(std::initializer_list<int> list, int width)
{
    std::vector<int> idx(list);
    return [idx, width](const TRom& rom) {
        Spans s;
        for (int i : idx)
            if (const int at = rom.address(i))
                s.append({at, width});
        return s;
    };
}

TRomSettingItem boolSwitch(const char* name, TRom::TSwitch sw)
{
    return {QString::fromLatin1(name), TRomSettingItem::Bool,
            [sw](const TRom& r) { return QVariant(r.switchValue(sw)); },
            [sw](TRom& r, double v) { r.setSwitch(sw, v != 0); }, entries({TRom::switchEntry(sw)}, 1)};
}

bool obd0Bytes(const TRom& r) { return r.traits().revLimit == TRevLimitEncoding::Obd0PeriodByte; }
bool splitPeriod(const TRom& r) { return r.traits().revLimit == TRevLimitEncoding::SplitPeriod; }

std::vector<TRomSettingItem> buildItems()
{
    using I = TRomSettingItem;
    std::vector<I> items;
    items.push_back({QStringLiteral("rev_limit"), I::Int, [](const TRom& r) { return QVariant(r.revLimit()); },
                     [](TRom& r, double v) { r.setRevLimit(int(v)); },
                     [](const TRom& r) {
                         Spans s;
                         for (int e : {aeRevLimitLo, aeRevResumeLo, aeRevLimitHi, aeRevResumeHi})
                             if (const int at = r.address(e)) {
                                 if (splitPeriod(r)) {
                                     if (e == aeRevLimitLo || e == aeRevLimitHi)
                                         s.append({at, 3});
                                 } else {
                                     s.append({at, obd0Bytes(r) ? 1 : 2});
                                 }
                             }
                         return s;
                     }});
    items.push_back(
        {QStringLiteral("launch_rev_limit"), I::Int, [](const TRom& r) { return QVariant(r.launchRevLimit()); },
         [](TRom& r, double v) { r.setLaunchRevLimit(int(v)); }, entries({aeLaunchLimit, aeLaunchResume}, 2)});
    items.push_back({QStringLiteral("shift_rev_limit"), I::Int,
                     [](const TRom& r) { return QVariant(r.shiftRevLimit()); },
                     [](TRom& r, double v) { r.setShiftRevLimit(int(v)); }, entries({aeShiftLimit, aeShiftResume}, 2)});
    items.push_back({QStringLiteral("shift_light"), I::Int, [](const TRom& r) { return QVariant(r.shiftLight()); },
                     [](TRom& r, double v) { r.setShiftLight(int(v)); }, entries({aeShiftLight}, 2)});
    items.push_back({QStringLiteral("cold_idle"), I::Int, [](const TRom& r) { return QVariant(r.coldIdle()); },
                     [](TRom& r, double v) { r.setColdIdle(int(v)); },
                     [](const TRom& r) {
                         Spans s;
                         if (const int at = r.address(aeColdIdle))
                             s.append({at, r.OBDMode == 0 ? 1 : 2});
                         return s;
                     }});
    items.push_back({QStringLiteral("vtec_enabled"), I::Bool, [](const TRom& r) { return QVariant(r.vtecEnabled()); },
                     [](TRom& r, double v) { r.setVtecEnabled(v != 0); }, entries({aeVtecEnable}, 1)});
    items.push_back({QStringLiteral("vtec_point"), I::Int, [](const TRom& r) { return QVariant(r.vtecPoint()); },
                     [](TRom& r, double v) { r.setVtecPoint(int(v)); },
                     [](const TRom& r) {
                         Spans s;
                         if (const int at = r.address(aeVtecPoints))
                             s.append({at, 2 * (r.address(aeVtecPairs) >> 8)});
                         if (r.traits().extraVtecBytes && r.address(aeVtecPoints)) {
                             for (int at : ExtraVtecEnableAt)
                                 s.append({at, 1});
                             for (int at : ExtraVtecDisableAt)
                                 s.append({at, 1});
                         }
                         return s;
                     }});
    items.push_back({QStringLiteral("iab_point"), I::Int, [](const TRom& r) { return QVariant(r.iabPoint()); },
                     [](TRom& r, double v) { r.setIabPoint(int(v)); }, entries({aeIabDisable, aeIabEnable}, 1)});
    items.push_back(boolSwitch("knock_sensor", TRom::swKnock));
    items.push_back(boolSwitch("eld", TRom::swELD));
    items.push_back(boolSwitch("closed_loop", TRom::swClosedLoop));
    items.push_back(boolSwitch("baro_sensor", TRom::swBaro));
    items.push_back(boolSwitch("vtec_speed_condition", TRom::swVtecSpeed));
    items.push_back(boolSwitch("vtec_coolant_condition", TRom::swVtecCoolant));
    items.push_back(boolSwitch("debug", TRom::swDebug));
    items.push_back(boolSwitch("o2_heater", TRom::swO2Heater));
    items.push_back(boolSwitch("injector_test", TRom::swInjectorTest));
    items.push_back(boolSwitch("speed_limiter", TRom::swSpeedLimiter));
    items.push_back({QStringLiteral("speed_limit_mph"), I::Int,
                     [](const TRom& r) { return QVariant(r.speedLimitMph()); },
                     [](TRom& r, double v) { r.setSpeedLimitMph(int(v)); }, entries({aeSpeedLimit}, 1)});
    items.push_back({QStringLiteral("iacv_base"), I::Int, [](const TRom& r) { return QVariant(r.iacvBase()); },
                     [](TRom& r, double v) { r.setIacvBase(int(v)); },
                     [](const TRom& r) {
                         Spans s;
                         if (const int at = r.address(aeIacvBase))
                             s.append({at + 2, 32});
                         return s;
                     }});
    items.push_back({QStringLiteral("iacv_duty_correction"), I::Int,
                     [](const TRom& r) { return QVariant(r.iacvDutyCorrection()); }, nullptr,
                     entries({aeIacvDutyCorrection}, 2)});
    items.push_back({QStringLiteral("boost_limit_mbar"), I::Int,
                     [](const TRom& r) { return QVariant(r.boostLimitMbar()); },
                     [](TRom& r, double v) { r.setBoostLimitMbar(v); }, entries({aeBoostLimit}, 1)});
    items.push_back({QStringLiteral("boost_limit_psi"), I::Real,
                     [](const TRom& r) { return QVariant(r.boostLimitPsi()); },
                     [](TRom& r, double v) { r.setBoostLimitPsi(v); }, entries({aeBoostLimit}, 1)});
    items.push_back({QStringLiteral("final_multiplier"), I::Real,
                     [](const TRom& r) { return QVariant(r.finalMultiplier()); }, nullptr, entries({aeMainFuel}, 2)});
    items.push_back({QStringLiteral("version_text"), I::Text, [](const TRom& r) { return QVariant(r.versionText()); },
                     nullptr,
                     [](const TRom& r) {
                         return r.traits().extended ? Spans{{ExtendedVersionAt, ExtendedVersionLength}} : Spans{};
                     }});
    items.push_back({QStringLiteral("version"), I::Real, [](const TRom& r) { return QVariant(r.version()); }, nullptr,
                     [](const TRom&) { return Spans{}; }});
    return items;
}

} // namespace

const std::vector<TRomSettingItem>& romSettingItems()
{
    static const std::vector<TRomSettingItem> items = buildItems();
    return items;
}

const TRomSettingItem* findRomSetting(const QString& name)
{
    for (const auto& item : romSettingItems())
        if (item.name == name)
            return &item;
    return nullptr;
}
