#include "rom/mdlFamilyTraits.h"

#include "rom/clsRomAddresses.h"

#include <array>

namespace {

using S = TShapeSource;
using R = TRevLimitEncoding;

constexpr TFamilyTraits obd1(bool iab = false, bool wide = false, bool extraVtec = false)
{
    TFamilyTraits t;
    t.known = t.installsMap = t.tuningViews = t.fixedLastBreakpoint = t.targetLambdaTable = true;
    t.setsIab = iab;
    t.wideRevScalar = wide;
    t.extraVtecBytes = extraVtec;
    t.shape = S::AddressMap;
    return t;
}

constexpr TFamilyTraits withoutTargets(TFamilyTraits t)
{
    t.targetLambdaTable = false;
    return t;
}

constexpr TFamilyTraits obd0(R revLimit)
{
    TFamilyTraits t = obd1();
    t.obd0 = true;
    t.targetLambdaTable = false; // OBD0 code has no per-cell targets
    t.revLimit = revLimit;
    t.fixedRpmScale = revLimit == R::SplitPeriod;
    return t;
}

constexpr TFamilyTraits extended(bool builtInMap)
{
    TFamilyTraits t = obd1();
    t.extended = t.optionTree = true;
    t.fixedCodeLayout = builtInMap;
    t.shape = S::InImageCounts;
    return t;
}

constexpr TFamilyTraits reserved()
{
    TFamilyTraits t;
    t.known = true; // scripts may select it; it simply has no map
    t.fixedLastBreakpoint = true;
    return t;
}

constexpr TFamilyTraits nissan()
{
    TFamilyTraits t;
    t.known = t.installsMap = t.nissanEncodings = true;
    t.shape = S::FixedNissan;
    return t;
}

constexpr std::array<TFamilyTraits, btUnknown + 1> Rows = {
    obd1(),                           // P28
    obd1(),                           // P30
    obd1(true, false, true),          // P72
    withoutTargets(obd1(true, true)), // P13
    obd0(R::Obd0PeriodByte),          // OBD0 PR3
    obd0(R::Obd0PeriodByte),          // JDM PW0
    obd0(R::Obd0PeriodByte),          // EDM PW0
    obd0(R::SplitPeriod),             // OBD0 PM6/PM7
    obd0(R::SplitPeriod),             // OBD0 PR4
    reserved(),                       // 9
    extended(true),                   // VexorAu
    extended(false),                  // VexorAu without a built-in map
    nissan(),                         // Nissan KA, SR, VG, RB
    TFamilyTraits{},                  // unknown
};

} // namespace

const TFamilyTraits& familyTraits(int baseType)
{
    if (baseType < 0 || baseType > btUnknown)
        return Rows[btUnknown];
    return Rows[static_cast<size_t>(baseType)];
}
