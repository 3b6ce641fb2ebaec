// Single-value settings and switches of the ROM model.
#include "rom/clsRom.h"

#include "settings/mdlErrors.h"

#include <algorithm>
#include <cmath>

namespace {

[[noreturn]] void refuse(const QString& why) { throw EVexorError(why); }

quint8 clampByte(double x) { return quint8(std::clamp(roundEven(x), 0.0, 255.0)); }

void requirePositiveRpm(int rpm)
{
    if (rpm <= 0)
        refuse(QStringLiteral("An engine speed of %1 rpm cannot be stored.").arg(rpm));
}

int obd0VtecRpm(int b) { return int(roundEven((b - Obd0VtecZeroByte) * Obd0VtecRpmPerBit)); }
quint8 obd0VtecByte(int rpm) { return clampByte(rpm / Obd0VtecRpmPerBit + Obd0VtecZeroByte); }

} // namespace

int TRom::periodWordRpm(int entryIndex) const
{
    const int at = entry(entryIndex);
    if (at == 0)
        return 0;
    return periodWordToRpm(m_buffer.readWord(at));
}

void TRom::writePeriodWord(int address, int rpm)
{
    if (address != 0)
        m_buffer.writeWord(address, rpmToPeriodWord(rpm));
}

void TRom::setLimitWithResume(int limitEntry, int resumeEntry, int rpm, int gap)
{
    if (entry(limitEntry) == 0)
        return;
    requirePositiveRpm(rpm);
    if (rpm <= gap)
        refuse(QStringLiteral("The limit of %1 rpm must be higher than its resume gap of %2 rpm.").arg(rpm).arg(gap));
    TUndoGroupGuard group(m_buffer, ugRevLimit);
    writePeriodWord(entry(limitEntry), rpm);
    writePeriodWord(entry(resumeEntry), rpm - gap);
}

// --- rev limits -------------------------------------------------------------

int TRom::revLimit() const
{
    const int at = entry(aeRevLimitLo);
    if (at == 0)
        return 0;
    switch (traits().revLimit) {
    case TRevLimitEncoding::Obd0PeriodByte: return obd0PeriodByteToRpm(m_buffer.readByte(at));
    case TRevLimitEncoding::SplitPeriod:
        if (m_buffer.readWord(at) == 0)
            return 0;
        return splitPeriodToRpm(256 * m_buffer.readByte(at) + m_buffer.readByte(at + 2));
    case TRevLimitEncoding::PeriodWord: break;
    }
    return periodWordRpm(aeRevLimitLo);
}

void TRom::setRevLimit(int rpm)
{
    if (entry(aeRevLimitLo) == 0 && entry(aeRevLimitHi) == 0)
        return;
    requirePositiveRpm(rpm);
    const TRevLimitEncoding encoding = traits().revLimit;
    if (encoding == TRevLimitEncoding::SplitPeriod) {
        const int p = rpmToSplitPeriod(rpm);
        TUndoGroupGuard group(m_buffer, ugRevLimit);
        for (TRomEntry e : {aeRevLimitLo, aeRevLimitHi}) {
            if (const int at = entry(e)) {
                m_buffer.writeByte(at, quint8(p >> 8));
                m_buffer.writeByte(at + 2, quint8(p & 0xFF));
            }
        }
        return;
    }
    if (rpm <= RevDelta)
        refuse(
            QStringLiteral("The limit of %1 rpm must be higher than its resume gap of %2 rpm.").arg(rpm).arg(RevDelta));
    const int resume = rpm - RevDelta;
    TUndoGroupGuard group(m_buffer, ugRevLimit);
    const std::pair<TRomEntry, int> values[] = {
        {aeRevLimitLo, rpm}, {aeRevResumeLo, resume}, {aeRevLimitHi, rpm}, {aeRevResumeHi, resume}};
    for (const auto& [e, value] : values) {
        const int at = entry(e);
        if (at == 0)
            continue;
        if (encoding == TRevLimitEncoding::Obd0PeriodByte)
            m_buffer.writeByte(at, rpmToObd0PeriodByte(value));
        else
            m_buffer.writeWord(at, rpmToPeriodWord(value));
    }
}

int TRom::launchRevLimit() const { return periodWordRpm(aeLaunchLimit); }
void TRom::setLaunchRevLimit(int rpm) { setLimitWithResume(aeLaunchLimit, aeLaunchResume, rpm, LaunchDelta); }
int TRom::shiftRevLimit() const { return periodWordRpm(aeShiftLimit); }
void TRom::setShiftRevLimit(int rpm) { setLimitWithResume(aeShiftLimit, aeShiftResume, rpm, ShiftDelta); }
int TRom::shiftLight() const { return periodWordRpm(aeShiftLight); }

void TRom::setShiftLight(int rpm)
{
    if (entry(aeShiftLight) == 0)
        return;
    requirePositiveRpm(rpm);
    writePeriodWord(entry(aeShiftLight), rpm);
}

int TRom::coldIdle() const
{
    const int at = entry(aeColdIdle);
    if (at == 0)
        return 0;
    if (OBDMode == 0)
        return obd0PeriodByteToRpm(m_buffer.readByte(at));
    return periodWordRpm(aeColdIdle);
}

void TRom::setColdIdle(int rpm)
{
    const int at = entry(aeColdIdle);
    if (at == 0)
        return;
    requirePositiveRpm(rpm);
    if (OBDMode == 0)
        m_buffer.writeByte(at, rpmToObd0PeriodByte(rpm));
    else
        m_buffer.writeWord(at, rpmToPeriodWord(rpm));
}

// --- VTEC and IAB -----------------------------------------------------------

bool TRom::vtecEnabled() const
{
    if (OBDMode == 0)
        return vtecPoint() < 7878;
    const int at = entry(aeVtecEnable);
    return at != 0 && m_buffer.readByte(at) == 0xFF;
}

void TRom::setVtecEnabled(bool on)
{
    CodeSwitches = on ? quint16(CodeSwitches | 1) : quint16(CodeSwitches & ~1);
    if (const int at = entry(aeVtecEnable); at != 0 && OBDMode != 0)
        m_buffer.writeByte(at, on ? 0xFF : 0x00);
}

int TRom::vtecPoint() const
{
    const int at = entry(aeVtecPoints);
    if (at == 0)
        return 0;
    const int k = entry(aeVtecPairs) & 0xFF;
    const int b = m_buffer.readByte(at + 2 * k + 1);
    return OBDMode != 0 ? decodeExponentRpm(quint8(b)) : obd0VtecRpm(b);
}

void TRom::setVtecPoint(int rpm)
{
    const int at = entry(aeVtecPoints);
    if (at == 0)
        return;
    const int p = std::max(rpm, 450);
    const int off = p - VTECDelta;
    const int pairs = entry(aeVtecPairs) >> 8;
    TUndoGroupGuard group(m_buffer, ugVtecPoints);
    if (OBDMode != 0) {
        if (traits().extraVtecBytes) {
            for (int extraAt : ExtraVtecEnableAt)
                m_buffer.writeByte(extraAt, encodeExponentRpm(p));
            for (int extraAt : ExtraVtecDisableAt)
                m_buffer.writeByte(extraAt, encodeExponentRpm(off));
        }
        for (int d = 0; d < pairs; ++d) {
            m_buffer.writeByte(at + 2 * d + 1, encodeExponentRpm(p));
            m_buffer.writeByte(at + 2 * d, encodeExponentRpm(off));
        }
    } else {
        for (int d = 0; d < pairs; ++d) {
            m_buffer.writeByte(at + 2 * d + 1, obd0VtecByte(p));
            m_buffer.writeByte(at + 2 * d, obd0VtecByte(off));
        }
    }
}

int TRom::iabPoint() const
{
    const int at = entry(aeIabDisable);
    return at == 0 ? 0 : decodeExponentRpm(m_buffer.readByte(at));
}

void TRom::setIabPoint(int rpm)
{
    const int at = entry(aeIabDisable);
    if (at == 0)
        return;
    TUndoGroupGuard group(m_buffer, ugIabPoints);
    m_buffer.writeByte(at, encodeExponentRpm(rpm));
    if (const int resume = entry(aeIabEnable))
        m_buffer.writeByte(resume, encodeExponentRpm(rpm - IABDelta));
}

// --- switches ---------------------------------------------------------------

int TRom::switchEntry(TSwitch s)
{
    static const TRomEntry entries[] = {
        aeKnockSwitch, aeEldSwitch,      aeClosedLoopSwitch,   aeBaroSwitch,         aeVtecMinSpeed, aeVtecCoolant,
        aeDebugSwitch, aeO2HeaterSwitch, aeInjectorTestSwitch, aeSpeedLimiterSwitch, aeVtsCheck,     aeVtpCheck};
    return entries[s];
}

namespace {
// Most switches are on at 0xFF; a few use another "on" byte.
quint8 switchOnByte(TRom::TSwitch s)
{
    switch (s) {
    case TRom::swVtecSpeed:
    case TRom::swInjectorTest: return 0x00;
    case TRom::swVtecCoolant: return 0x44;
    case TRom::swVtsCheck:
    case TRom::swVtpCheck: return VtecCheckOnByte;
    default: return 0xFF;
    }
}
quint8 switchOffByte(TRom::TSwitch s)
{
    switch (s) {
    case TRom::swVtecSpeed:
    case TRom::swInjectorTest:
    case TRom::swVtecCoolant: return 0xFF;
    default: return 0x00;
    }
}
} // namespace

bool TRom::byteSwitch(int entryIndex, quint8 onValue) const
{
    const int at = entry(entryIndex);
    return at != 0 && m_buffer.readByte(at) == onValue;
}

void TRom::writeSwitch(int entryIndex, bool on, quint8 onValue, quint8 offValue)
{
    if (const int at = entry(entryIndex))
        m_buffer.writeByte(at, on ? onValue : offValue);
}

bool TRom::switchValue(TSwitch s) const { return byteSwitch(switchEntry(s), switchOnByte(s)); }
void TRom::setSwitch(TSwitch s, bool on) { writeSwitch(switchEntry(s), on, switchOnByte(s), switchOffByte(s)); }

// --- speed, idle air, boost -------------------------------------------------

int TRom::speedLimitMph() const
{
    const int at = entry(aeSpeedLimit);
    return at == 0 ? 0 : int(roundEven(m_buffer.readByte(at) * 0.621371192));
}

void TRom::setSpeedLimitMph(int mph)
{
    if (const int at = entry(aeSpeedLimit))
        m_buffer.writeByte(at, mph < 159 ? clampByte(mph * 1.609344) : quint8(0xFF));
}

int TRom::iacvBase() const
{
    const int at = entry(aeIacvBase);
    return at == 0 ? 0 : int(roundEven((1 - m_buffer.readWord(at + 2) / double(UnityScalarWord)) * 100));
}

void TRom::setIacvBase(int percent)
{
    const int at = entry(aeIacvBase);
    if (at == 0)
        return;
    const double e = (100 - std::clamp(percent, -128, 127)) / 100.0;
    if (roundEven(e * UnityScalarWord) == m_buffer.readWord(at + 2))
        return;
    TUndoGroupGuard group(m_buffer, ugIacvBase);
    for (int k = 0; k < 8; ++k)
        m_buffer.writeWord(at + 2 + 4 * k, quint16(std::clamp(roundEven(e * IacvBaseFactors[k]), 0.0, 65535.0)));
}

int TRom::iacvDutyCorrection() const
{
    const int at = entry(aeIacvDutyCorrection);
    return at == 0 ? 0 : int(roundEven((m_buffer.readWord(at) / double(UnityScalarWord) - 1) * 100));
}

int TRom::boostLimitMbar() const
{
    const int at = entry(aeBoostLimit);
    return at == 0 ? 0 : m_scaleLookup[m_buffer.readByte(at)];
}

void TRom::setBoostLimitMbar(double mbar)
{
    const int at = entry(aeBoostLimit);
    if (at == 0)
        return;
    if (!std::isfinite(mbar))
        refuse(QStringLiteral("Invalid value: not a finite number."));
    m_buffer.writeByte(at, mbar > m_scaleLookup[255] ? quint8(0xFF) : millibarToByte(mbar, false));
}

double TRom::boostLimitPsi() const
{
    if (entry(aeBoostLimit) == 0)
        return 0;
    return (boostLimitMbar() - StandardAtmosphereMbar) / 1000 * PsiPerBar;
}

void TRom::setBoostLimitPsi(double psi)
{
    const int at = entry(aeBoostLimit);
    if (at == 0)
        return;
    if (!std::isfinite(psi))
        refuse(QStringLiteral("Invalid value: not a finite number."));
    if (psi > (m_scaleLookup[255] - StandardAtmosphereMbar) / 1000 * PsiPerBar)
        m_buffer.writeByte(at, 0xFF);
    else
        m_buffer.writeByte(at, millibarToByte(roundEven(psi / PsiPerBar * 1000 + StandardAtmosphereMbar), false));
}

double TRom::finalMultiplier() const
{
    if (FeatureFlags & ffFinalMultiplier) {
        const int at = entry(aeMainFuel);
        return at == 0 ? 1.0 : wordAt(at) / double(UnityScalarWord);
    }
    if (!m_fuelCorrections.isEmpty() && m_fuelCorrections.first().scalarAddress != 0)
        return wordAt(m_fuelCorrections.first().scalarAddress) / double(UnityScalarWord);
    return 1.0;
}

int TRom::gear(int speed, int crankPeriod) const
{
    const int at = entry(aeGearTable);
    if (speed == 0 || at == 0)
        return 0;
    // The thresholds are 16-bit words; the ECU compares their low bytes.
    const unsigned product = (unsigned(crankPeriod) * unsigned(speed)) >> 8;
    for (int k = 0; k < 4; ++k)
        if (byteAt(at + 2 * k) > product)
            return k + 1;
    return 5;
}

QString TRom::versionText() const
{
    if (!traits().extended)
        return {};
    const int at = ExtendedVersionAt;
    return QString(QChar(byteAt(at))) + QStringLiteral("%1.%2").arg(byteAt(at + 1)).arg(byteAt(at + 2));
}

double TRom::version() const
{
    if (!traits().extended)
        return 0;
    return std::round((byteAt(ExtendedVersionMajorAt) + byteAt(ExtendedVersionMinorAt) / 100.0) * 100) / 100;
}
