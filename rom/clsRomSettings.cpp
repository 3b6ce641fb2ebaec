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

quint16 periodWord(int rpm) { return quint16(std::min(65535, 1875000 / rpm)); }
quint8 obd0PeriodByte(int rpm) { return quint8(std::min(255, 1848000 / rpm)); }
int obd0VtecRpm(int b) { return int(roundEven((b - 128) * 62.52)); }
quint8 obd0VtecByte(int rpm) { return clampByte(rpm / 62.52 + 128); }

} // namespace

int TRom::periodWordRpm(int entryIndex) const
{
    const int at = entry(entryIndex);
    if (at == 0)
        return 0;
    const int w = m_buffer.readWord(at);
    return w == 0 ? 0 : 1875000 / w;
}

void TRom::writePeriodWord(int address, int rpm)
{
    if (address != 0)
        m_buffer.writeWord(address, periodWord(rpm));
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
    const int at = entry(11);
    if (at == 0)
        return 0;
    if (BaseType >= btPR3 && BaseType <= btEDMPW0) {
        const int b = m_buffer.readByte(at);
        return b == 0 ? 0 : 1848000 / b;
    }
    if (BaseType == btPM6 || BaseType == btPR4) {
        if (m_buffer.readWord(at) == 0)
            return 0;
        const int p = 256 * m_buffer.readByte(at) + m_buffer.readByte(at + 2);
        return p == 0 ? 0 : 1920000 / p;
    }
    return periodWordRpm(11);
}

void TRom::setRevLimit(int rpm)
{
    if (entry(11) == 0 && entry(13) == 0)
        return;
    requirePositiveRpm(rpm);
    if (BaseType == btPM6 || BaseType == btPR4) {
        const int p = std::min(65535, 1920000 / rpm);
        TUndoGroupGuard group(m_buffer, ugRevLimit);
        for (int e : {11, 13}) {
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
    const bool obd0Bytes = BaseType >= btPR3 && BaseType <= btEDMPW0;
    const int values[] = {rpm, resume, rpm, resume};
    for (int k = 0; k < 4; ++k) {
        const int at = entry(11 + k);
        if (at == 0)
            continue;
        if (obd0Bytes)
            m_buffer.writeByte(at, obd0PeriodByte(values[k]));
        else
            m_buffer.writeWord(at, periodWord(values[k]));
    }
}

int TRom::launchRevLimit() const { return periodWordRpm(40); }
void TRom::setLaunchRevLimit(int rpm) { setLimitWithResume(40, 41, rpm, LaunchDelta); }
int TRom::shiftRevLimit() const { return periodWordRpm(42); }
void TRom::setShiftRevLimit(int rpm) { setLimitWithResume(42, 43, rpm, ShiftDelta); }
int TRom::shiftLight() const { return periodWordRpm(56); }

void TRom::setShiftLight(int rpm)
{
    if (entry(56) == 0)
        return;
    requirePositiveRpm(rpm);
    writePeriodWord(entry(56), rpm);
}

int TRom::coldIdle() const
{
    const int at = entry(25);
    if (at == 0)
        return 0;
    if (OBDMode == 0) {
        const int b = m_buffer.readByte(at);
        return b == 0 ? 0 : 1848000 / b;
    }
    return periodWordRpm(25);
}

void TRom::setColdIdle(int rpm)
{
    const int at = entry(25);
    if (at == 0)
        return;
    requirePositiveRpm(rpm);
    if (OBDMode == 0)
        m_buffer.writeByte(at, obd0PeriodByte(rpm));
    else
        m_buffer.writeWord(at, periodWord(rpm));
}

// --- VTEC and IAB -----------------------------------------------------------

bool TRom::vtecEnabled() const
{
    if (OBDMode == 0)
        return vtecPoint() < 7878;
    const int at = entry(17);
    return at != 0 && m_buffer.readByte(at) == 0xFF;
}

void TRom::setVtecEnabled(bool on)
{
    CodeSwitches = on ? quint16(CodeSwitches | 1) : quint16(CodeSwitches & ~1);
    if (const int at = entry(17); at != 0 && OBDMode != 0)
        m_buffer.writeByte(at, on ? 0xFF : 0x00);
}

int TRom::vtecPoint() const
{
    const int at = entry(15);
    if (at == 0)
        return 0;
    const int k = entry(16) & 0xFF;
    const int b = m_buffer.readByte(at + 2 * k + 1);
    return OBDMode != 0 ? decodeExponentRpm(quint8(b)) : obd0VtecRpm(b);
}

void TRom::setVtecPoint(int rpm)
{
    const int at = entry(15);
    if (at == 0)
        return;
    const int p = std::max(rpm, 450);
    const int off = p - VTECDelta;
    const int pairs = entry(16) >> 8;
    TUndoGroupGuard group(m_buffer, ugVtecPoints);
    if (OBDMode != 0) {
        if (BaseType == btP72) {
            m_buffer.writeByte(0x645D, encodeExponentRpm(p));
            m_buffer.writeByte(0x645F, encodeExponentRpm(p));
            m_buffer.writeByte(0x6464, encodeExponentRpm(off));
            m_buffer.writeByte(0x6466, encodeExponentRpm(off));
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
    const int at = entry(20);
    return at == 0 ? 0 : decodeExponentRpm(m_buffer.readByte(at));
}

void TRom::setIabPoint(int rpm)
{
    const int at = entry(20);
    if (at == 0)
        return;
    TUndoGroupGuard group(m_buffer, ugIabPoints);
    m_buffer.writeByte(at, encodeExponentRpm(rpm));
    if (const int resume = entry(21))
        m_buffer.writeByte(resume, encodeExponentRpm(rpm - IABDelta));
}

// --- switches ---------------------------------------------------------------

int TRom::switchEntry(TSwitch s)
{
    static const int entries[] = {26, 27, 28, 29, 30, 31, 32, 33, 34, 35};
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
    const int at = entry(44);
    return at == 0 ? 0 : int(roundEven(m_buffer.readByte(at) * 0.621371192));
}

void TRom::setSpeedLimitMph(int mph)
{
    if (const int at = entry(44))
        m_buffer.writeByte(at, mph < 159 ? clampByte(mph * 1.609344) : quint8(0xFF));
}

int TRom::iacvBase() const
{
    const int at = entry(36);
    return at == 0 ? 0 : int(roundEven((1 - m_buffer.readWord(at + 2) / 32768.0) * 100));
}

void TRom::setIacvBase(int percent)
{
    const int at = entry(36);
    if (at == 0)
        return;
    const double e = (100 - std::clamp(percent, -128, 127)) / 100.0;
    if (roundEven(e * 32768) == m_buffer.readWord(at + 2))
        return;
    static const int factors[] = {32768, 32768, 34078, 34078, 31621, 31621, 23592, 23592};
    TUndoGroupGuard group(m_buffer, ugIacvBase);
    for (int k = 0; k < 8; ++k)
        m_buffer.writeWord(at + 2 + 4 * k, quint16(std::clamp(roundEven(e * factors[k]), 0.0, 65535.0)));
}

int TRom::iacvDutyCorrection() const
{
    const int at = entry(39);
    return at == 0 ? 0 : int(roundEven((m_buffer.readWord(at) / 32768.0 - 1) * 100));
}

int TRom::boostLimitMbar() const
{
    const int at = entry(47);
    return at == 0 ? 0 : m_scaleLookup[m_buffer.readByte(at)];
}

void TRom::setBoostLimitMbar(double mbar)
{
    const int at = entry(47);
    if (at == 0)
        return;
    if (!std::isfinite(mbar))
        refuse(QStringLiteral("Invalid value: not a finite number."));
    m_buffer.writeByte(at, mbar > m_scaleLookup[255] ? quint8(0xFF) : millibarToByte(mbar, false));
}

double TRom::boostLimitPsi() const
{
    if (entry(47) == 0)
        return 0;
    return (boostLimitMbar() - 1012.95) / 1000 * 14.5;
}

void TRom::setBoostLimitPsi(double psi)
{
    const int at = entry(47);
    if (at == 0)
        return;
    if (!std::isfinite(psi))
        refuse(QStringLiteral("Invalid value: not a finite number."));
    if (psi > (m_scaleLookup[255] - 1012.95) / 1000 * 14.5)
        m_buffer.writeByte(at, 0xFF);
    else
        m_buffer.writeByte(at, millibarToByte(roundEven(psi / 14.5 * 1000 + 1012.95), false));
}

double TRom::finalMultiplier() const
{
    if (FeatureFlags & ffFinalMultiplier) {
        const int at = entry(50);
        return at == 0 ? 1.0 : wordAt(at) / 32768.0;
    }
    if (!m_fuelCorrections.isEmpty() && m_fuelCorrections.first().scalarAddress != 0)
        return wordAt(m_fuelCorrections.first().scalarAddress) / 32768.0;
    return 1.0;
}

int TRom::gear(int speed, int crankPeriod) const
{
    const int at = entry(37);
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
    if (BaseType != btVexorAu && BaseType != btVexorAuNoMap)
        return {};
    return QString(QChar(byteAt(56))) + QStringLiteral("%1.%2").arg(byteAt(57)).arg(byteAt(58));
}

double TRom::version() const
{
    if (BaseType != btVexorAu && BaseType != btVexorAuNoMap)
        return 0;
    return std::round((byteAt(57) + byteAt(58) / 100.0) * 100) / 100;
}
