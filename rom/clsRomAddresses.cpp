#include "rom/clsRomAddresses.h"

#include "settings/mdlErrors.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace {

using Entries = std::initializer_list<std::pair<TRomEntry, quint16>>;

constexpr quint16 shape(int rows, int cols) { return quint16((rows << 8) | cols); }

void put(TRomAddresses& m, Entries list)
{
    for (const auto& [index, value] : list)
        m.set(index, value);
}

// The OBD1 families share the layout of their first 17 entries; each column
// of the identification table lists them in this order.
struct Obd1Column {
    quint16 e0, e1, e2, e3, e4, e5, e6, e7, e8, e9, e10, e11, e12, e13, e14, e15, e16;
};

void putColumn(TRomAddresses& m, const Obd1Column& c)
{
    put(m, {{aeChecksum, c.e0},
            {aeLoadScaleLo, c.e1},
            {aeLoadScaleHi, c.e2},
            {aeRpmScaleLo, c.e3},
            {aeRpmScaleHi, c.e4},
            {aeFuelLo, c.e5},
            {aeFuelHi, c.e6},
            {aeIgnitionLo, c.e7},
            {aeIgnitionHi, c.e8},
            {aeShapeLo, c.e9},
            {aeShapeHi, c.e10},
            {aeRevLimitLo, c.e11},
            {aeRevResumeLo, c.e12},
            {aeRevLimitHi, c.e13},
            {aeRevResumeHi, c.e14},
            {aeVtecPoints, c.e15},
            {aeVtecPairs, c.e16}});
}

void installP28(TRomAddresses& m)
{
    putColumn(m, {0x003B, 0x7000, 0x700A, 0x7014, 0x7028, 0x7050, 0x7122, 0x72E4, 0x73AC, shape(20, 10), shape(20, 10),
                  0x649B, 0x6495, 0x64A7, 0x64A1, 0x6542, shape(4, 3)});
    put(m, {{aeCorrectionLo, 0x7550},
            {aeCorrectionHi, 0x7618},
            {aeVtecEnable, 0x60E6},
            {aeColdIdle, 0x300E},
            {aeKnockSwitch, 0x60E7},
            {aeEldSwitch, 0x60F2},
            {aeClosedLoopSwitch, 0x60EB},
            {aeBaroSwitch, 0x60E9},
            {aeVtecMinSpeed, 0x60FA},
            {aeVtecCoolant, 0x1292},
            {aeDebugSwitch, 0x60FB},
            {aeO2HeaterSwitch, 0x60E8},
            {aeInjectorTestSwitch, 0x60EC},
            {aeSpeedLimiterSwitch, 0x60FD},
            {aeIacvBase, 0x6C1C},
            {aeGearTable, 0x652D},
            {aeEntry38, 0x6DCF},
            {aeSpeedLimit, 0x1997}});
}

void installP30(TRomAddresses& m)
{
    putColumn(m, {0x003B, 0x7000, 0x7000, 0x700A, 0x701E, 0x7032, 0x7104, 0x724E, 0x7316, shape(20, 10), shape(20, 10),
                  0x637B, 0x6375, 0x6387, 0x6381, 0x6432, shape(4, 3)});
    put(m, {{aeCorrectionLo, 0x744C},
            {aeCorrectionHi, 0x7514},
            {aeVtecEnable, 0x6001},
            {aeVtsCheck, 0x3D06},
            {aeVtpCheck, 0x3D27},
            {aeColdIdle, 0x2B75},
            {aeKnockSwitch, 0x6002},
            {aeEldSwitch, 0x6015},
            {aeClosedLoopSwitch, 0x6005},
            {aeBaroSwitch, 0x6004},
            {aeVtecMinSpeed, 0x6010},
            {aeVtecCoolant, 0x11CA},
            {aeDebugSwitch, 0x6011},
            {aeO2HeaterSwitch, 0x6003},
            {aeInjectorTestSwitch, 0x6006},
            {aeSpeedLimiterSwitch, 0x6013},
            {aeIacvBase, 0x6988},
            {aeGearTable, 0x6403},
            {aeEntry38, 0x6B13},
            {aeSpeedLimit, 0x1831}});
}

void installP72(TRomAddresses& m)
{
    putColumn(m, {0x003B, 0x7C4A, 0x7C54, 0x7C68, 0x7C7C, 0x7C9A, 0x7D6C, 0x7E0C, 0x7ED4, shape(20, 10), shape(15, 10),
                  0x58E0, 0x58DA, 0x58EC, 0x58E6, 0x59A0, shape(2, 0)});
    put(m, {{aeCorrectionLo, 0x7F6A},
            {aeCorrectionHi, 0x7F6A},
            {aeVtecEnable, 0x5466},
            {aeIabDisable, 0x43A2},
            {aeIabEnable, 0x439D},
            {aeColdIdle, 0x2D58},
            {aeKnockSwitch, 0x5467},
            {aeEldSwitch, 0x5482},
            {aeClosedLoopSwitch, 0x546C},
            {aeBaroSwitch, 0x5469},
            {aeVtecMinSpeed, 0x547D},
            {aeVtecCoolant, 0x120E},
            {aeDebugSwitch, 0x547E},
            {aeO2HeaterSwitch, 0x5468},
            {aeInjectorTestSwitch, 0x546D},
            {aeSpeedLimiterSwitch, 0x5480},
            {aeIacvBase, 0x5EA5},
            {aeGearTable, 0x5998},
            {aeEntry38, 0x6016},
            {aeSpeedLimit, 0x18A4},
            {aeEctIdleTable, 0x5BA7},
            {aeEctIdleMoving, 0x5BBC},
            {aeEntry99, 7},
            {aeEctOpenLo, 0x54A2},
            {aeEctOpenHi, 0x54B4},
            {aeEctClosedLo, 0x54C6},
            {aeEctClosedHi, 0x54D8},
            {aeEctShape, 0x8009},
            {aeIatCorrection, 0x5516},
            {aeEntry108, 0x5531},
            {aeEntry109, 0x554C},
            {aeIatShape, 0x8009}});
}

void installP13(TRomAddresses& m)
{
    putColumn(m, {0x003B, 0x6050, 0x6050, 0x6000, 0x6028, 0x60AA, 0x6172, 0x63F8, 0x659C, shape(20, 10), shape(20, 10),
                  0x5407, 0x5403, 0x540F, 0x550B, 0x59A0, shape(2, 0)});
    put(m, {{aeSpeedLimit, 0x2EAC}});
}

// OBD0 families: no scales in the image, 17 x 15 tables.
void installObd0(TRomAddresses& m, quint16 checksum, quint16 fuelLo, quint16 fuelHi, quint16 ignLo, quint16 ignHi,
                 quint16 revLo, quint16 resumeLo, quint16 revHi, quint16 resumeHi, quint16 vtec, quint16 vtecPairs)
{
    putColumn(m, {checksum, 0, 0, 0, 0, fuelLo, fuelHi, ignLo, ignHi, shape(17, 15), shape(17, 15), revLo, resumeLo,
                  revHi, resumeHi, vtec, vtecPairs});
}

void installVexorAu(TRomAddresses& m)
{
    installP30(m);
    put(m, {{aeLoadScaleLo, 0x6E5A},
            {aeLoadScaleHi, 0x6E5A},
            {aeRpmScaleLo, 0x6E72},
            {aeRpmScaleHi, 0x6E86},
            {aeFuelLo, 0x6E9A},
            {aeFuelHi, 0x7092},
            {aeIgnitionLo, 0x728A},
            {aeIgnitionHi, 0x746A},
            {aeCorrectionLo, 0x7C40},
            {aeCorrectionHi, 0x7E20},
            {aeRevLimitLo, 0x3F4F},
            {aeRevResumeLo, 0x3F4C},
            {aeRevLimitHi, 0x3F46},
            {aeRevResumeHi, 0x3F43},
            {aeVtecPoints, 0x6432},
            {aeVtsCheck, 0x3D06},
            {aeVtpCheck, 0x3D27},
            {aeIabDisable, 0x11E4},
            {aeIabEnable, 0x11DE},
            {aeVtecMinSpeed, 0x11B0},
            {aeVtecCoolant, 0x11AA},
            {aeLaunchLimit, 0x3F40},
            {aeShiftLimit, 0x1220},
            {aeRevScalePeriod, 0xAA00},
            {aeMainFuel, 0x6B68},
            {aeO2Correction, 0x6BB6},
            {aeStartupFuel, 0x6BC7},
            {aeTipInFuel, 0x6BD8},
            {aePostStartFuel, 0x6BE3},
            {aeShiftLight, 0x6BFE},
            {aeInjectorOffset, 0x6B6D},
            {aeInjectorIndex, 0x0084},
            {aeTargetIdle, 0x2B5D},
            {aeTargetIdleCopy, 0x2B75},
            {aeTargetIdleHigh, 0x2BAC},
            {aeRisingRevLimit, 0x6C31},
            {aeFullThrottleThreshold, 0x3F72},
            {aeStandstillThreshold, 0x3F7D},
            {aeClutchInput, 0x5114},
            {aeClutchInvert, 0x511B},
            {aeStandstillBoostRetard, 0x78D8},
            {aeStandstillBoostEnrich, 0x6B7A},
            {aeSafetyBoostLimit, 0x3F56},
            {aeColdBoostLimit, 0x3F65},
            {aeHotBoostLimit, 0x3F5D},
            {aeBoostLimitTemp, 0x3F61},
            {aeCelBoostLimitSwitch, 0x3F52},
            {aeEntry85, 0x78C2},
            {aeIgnitionLockSwitch, 0x78C2},
            {aeIgnitionLockValue, 0x78CD},
            {aeVtecThrottle, 0x11B6},
            {aeVtecLoad, 0x11BC},
            {aeTpsVoltagePair, 0x6C1F},
            {aeIatSwitch, 0x3C0A},
            {aeVssSwitch, 0x3C8D},
            {aeIacvSwitch, 0x3C6F},
            {aeMapCalibration, 0x6374},
            {aeEctIdleTable, 0x66E5},
            {aeEctIdleMoving, 0x66FA},
            {aeEntry99, 7},
            {aeEctOpenLo, 0x6034},
            {aeEctOpenHi, 0x6042},
            {aeEctClosedLo, 0x6050},
            {aeEctClosedHi, 0x605E},
            {aeEntry104, 0x602C},
            {aeEntry105, 0x6030},
            {aeEctShape, 0x4007},
            {aeIatCorrection, 0x607A},
            {aeIatShape, 0x8007},
            {aeEctIgnLo, 0x6A37},
            {aeEctIgnHi, 0x6A45},
            {aeEctIgnRetard, 0x6A63},
            {aeEntry115, 0x6A53},
            {aeEntry116, 0x0607},
            {aeIatIgnRetard, 0x6A6F},
            {aeEntry118, 5},
            {aeGearIgnTable, 0x6B13},
            {aeGearIgnDecay, 0x5B2F},
            {aeTipInIgnTable, 0x6AE7},
            {aeEntry124, 7},
            {aeCylinderCorrection, 0x61BA},
            {aeBatteryLatency, 0x61D6},
            {aeEntry127, 7},
            {aeRowCountLo, 0x11FC},
            {aeColumnCountLo, 0x11FA},
            {aeRowCountHi, 0x11FC},
            {aeColumnCountHi, 0x11FA},
            {aeShownRowsLo, 0x09E5},
            {aeShownColumnsLo, 0x0A1D},
            {aeShownRowsHi, 0x09FD},
            {aeShownColumnsHi, 0x0A32}});
    const quint16 tail136[] = {0x7C0C, 0x22F7, 0x032C, 0x38A4, 0x7C22, 0x7C27, 0x7C2C, 0x7C31, 0x7C36, 0x78FC,
                               0x7906, 0x790C, 0x0338, 0x0337, 0x6D32, 0x6D4A, 0x6D62, 0x6D7A, 0x6D98, 0x6DB6,
                               0x6DD4, 0x6DF2, 0x6E10, 0x796A, 0x6378, 0x637C, 0x11ED, 0x11EC, 0x42CD, 0x42D2,
                               0x42E3, 0x7987, 0x15B4, 0x15AD, 0x5F53, 0x1C08, 0x19AF, 0x199C, 0x19A2, 0x6152,
                               0x638A, 0x02A0, 0x00B9, 0x006F, 0x11F6, 0x6B33};
    int index = aeBoostPulse;
    for (quint16 v : tail136)
        m.set(index++, v);
}

void installNissanSR(TRomAddresses& m)
{
    put(m, {{aeLoadScaleLo, 0x00F0},
            {aeLoadScaleHi, 0x0490},
            {aeRpmScaleLo, 0x00E0},
            {aeRpmScaleHi, 0x0480},
            {aeFuelLo, 0x0100},
            {aeFuelHi, 0x0E00},
            {aeIgnitionLo, 0x0D00},
            {aeIgnitionHi, 0x0800},
            {aeRevLimitLo, 0x005C},
            {aeRevLimitHi, 0x05C0},
            {aeVtecPoints, 0x0219},
            {aeSpeedLimit, 0x0031},
            {aeMapSensorMin, 0x05D9},
            {aeMapSensorMax, 0x05CA},
            {aeRevScalePeriod, 2}});
}

void installNissanVGRB(TRomAddresses& m, bool rb)
{
    put(m, {{aeLoadScaleLo, 0x7AF0},
            {aeLoadScaleHi, 0x7B10},
            {aeRpmScaleLo, 0x7B00},
            {aeRpmScaleHi, 0x7B20},
            {aeFuelLo, 0x7D00},
            {aeFuelHi, rb ? quint16(0x7200) : quint16(0x7000)},
            {aeIgnitionLo, rb ? quint16(0x7400) : quint16(0x7800)},
            {aeIgnitionHi, 0x7C00},
            {aeRevLimitLo, 0x7FB4},
            {aeVtecPoints, 0x0164},
            {aeSpeedLimit, 0x7FA5},
            {aeRevScalePeriod, 2}});
}

} // namespace

bool TRomAddresses::holdsValue(int index)
{
    // Table shapes, VTEC pair count, custom MAP sensor range, rev-scale period
    // constant, throttle/load pair, injector index, and the counts and shapes
    // of the extended family's correction tables.
    static constexpr int values[] = {9, 10, 16, 45, 46, 48, 49, 66, 99, 106, 111, 116, 118, 124, 127};
    return std::find(std::begin(values), std::end(values), index) != std::end(values);
}

quint16 TRomAddresses::at(int index) const
{
    if (index < 0 || index >= Count)
        throw EVexorError(QStringLiteral("Index out of bounds."));
    return m_entries[static_cast<size_t>(index)];
}

void TRomAddresses::set(int index, quint16 value)
{
    if (index < 0 || index >= Count)
        throw EVexorError(QStringLiteral("Index out of bounds."));
    m_entries[static_cast<size_t>(index)] = value;
}

void TRomAddresses::install(quint8 baseType, quint8 nissanFamily)
{
    clear();
    switch (baseType) {
    case btP28:
        m_baseName = QStringLiteral("Base P28");
        installP28(*this);
        break;
    case btP30:
        m_baseName = QStringLiteral("Base P30");
        installP30(*this);
        break;
    case btP72:
        m_baseName = QStringLiteral("Base P72");
        installP72(*this);
        break;
    case btP13:
        m_baseName = QStringLiteral("Base P13");
        installP13(*this);
        break;
    case btPR3:
        m_baseName = QStringLiteral("Base OBD0 PR3");
        installObd0(*this, 0x427F, 0x3DE4, 0x3EF2, 0x3BE6, 0x3CE5, 0x31DE, 0x31E0, 0x31DE, 0x31E0, 0x3414, shape(4, 3));
        break;
    case btJDMPW0:
        m_baseName = QStringLiteral("Base JDM PW0");
        installObd0(*this, 0x36E5, 0x3DE4, 0x3EF2, 0x3BE6, 0x3CE5, 0x391A, 0x3922, 0x391A, 0x3922, 0x3AD8, shape(2, 1));
        break;
    case btEDMPW0:
        m_baseName = QStringLiteral("Base EDM PW0");
        installObd0(*this, 0x36FB, 0x3DE4, 0x3EF2, 0x3BE6, 0x3CE5, 0x3928, 0x3930, 0x3928, 0x3930, 0x3AEC, shape(2, 1));
        break;
    case btPM6:
        m_baseName = QStringLiteral("Base OBD0 PM6/PM7");
        installObd0(*this, 0x43E0, 0x3EF2, 0x3EF2, 0x3DF3, 0x3DF3, 0x0DE6, 0x7000, 0x0DE6, 0x7000, 0, 0);
        break;
    case btPR4:
        m_baseName = QStringLiteral("Base OBD0 PR4");
        installObd0(*this, 0x4FFF, 0x541A, 0x541A, 0x50FF, 0x50FF, 0x109B, 0x7000, 0x109B, 0x7000, 0, 0);
        break;
    case btVexorAu:
        m_baseName = QStringLiteral("Base VexorAu");
        installVexorAu(*this);
        break;
    case btNissan:
        switch (nissanFamily) {
        case nfKA: m_baseName = QStringLiteral("Base NISSAN KA"); break;
        case nfSR:
            m_baseName = QStringLiteral("Base NISSAN SR");
            installNissanSR(*this);
            break;
        case nfVG:
            m_baseName = QStringLiteral("Base NISSAN VG");
            installNissanVGRB(*this, false);
            break;
        default:
            m_baseName = QStringLiteral("Base NISSAN RB");
            installNissanVGRB(*this, true);
            break;
        }
        break;
    default: break; // 9, 11, 13: no built-in map
    }
}
