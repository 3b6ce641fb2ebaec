// Table, scale and load encodings of the ROM model.
#include "rom/clsRom.h"

#include "settings/mdlErrors.h"

#include <algorithm>
#include <cmath>

namespace {

[[noreturn]] void refuse(const QString& why) { throw EVexorError(why); }

void requireFinite(double x)
{
    if (!std::isfinite(x))
        refuse(QStringLiteral("Invalid value: not a finite number."));
}

// Values that do not fit their byte are clamped, never wrapped to their low bits.
quint8 clampByte(double x) { return quint8(std::clamp(roundEven(x), 0.0, 255.0)); }
quint16 clampWord(double x) { return quint16(std::clamp(roundEven(x), 0.0, 65535.0)); }
quint8 ceilByte(double x) { return quint8(std::clamp(std::ceil(x), 0.0, 255.0)); }

const int RpmListA[] = {450,  575,  675,  800,  925,  1300, 1400, 1500, 2050,
                        2600, 2900, 3200, 3650, 4575, 5500, 6400, 7350};
const int RpmListB[] = {0,    575,  1125, 1700, 2250, 2825, 3375, 3950, 4500,
                        5075, 5625, 6200, 6750, 7325, 7875, 8450, 8975};

void requireIndex(int i, int count)
{
    if (i < 0 || i >= count)
        refuse(QStringLiteral("Index out of bounds."));
}

int T(int x) { return throttlePercentRounded(x); }

} // namespace

void TRom::checkKind(int kind, bool write) const
{
    if (kind < 0 || kind > 3)
        refuse(write ? QStringLiteral("Cannot write to uknown table.")
                     : QStringLiteral("Cannot read from uknown table."));
}

int TRom::tableAddress(int kind) const
{
    checkKind(kind);
    return entry(tableEntry(kind));
}

bool TRom::hasMultiplierRow(int kind) const { return isFuelKind(kind) && !traits().nissanEncodings && !WideRevScalar; }

bool TRom::tableFits(int kind) const { return tableFitsIn(kind, m_buffer.size()); }

bool TRom::sourceHoldsMap() const
{
    const int size = m_buffer.sourceLength();
    for (int i = 0; i < TRomAddresses::Count; ++i)
        if (entry(i) != 0 && !TRomAddresses::holdsValue(i) && entry(i) >= size)
            return false;
    for (int kind = 0; kind < 4; ++kind)
        if (tableFits(kind) && !tableFitsIn(kind, size)) // a table that cannot fit anyway is never read
            return false;
    return true;
}

bool TRom::tableFitsIn(int kind, int size) const
{
    if (kind < 0 || kind > 3)
        return false;
    const int r = rows(kind), c = columns(kind), base = entry(tableEntry(kind));
    if (r <= 0 || c <= 0 || base == 0)
        return false;
    const int cellRows = r + (hasMultiplierRow(kind) ? 1 : 0);
    if (base + cellRows * c > size)
        return false;
    const bool high = isHighCamKind(kind);
    const int loadAt = entry(loadScaleEntry(high)), rpmAt = entry(rpmScaleEntry(high));
    if (loadAt != 0 && loadAt + c > size)
        return false;
    if (rpmAt != 0 && rpmAt + (WideRevScalar ? 2 * r : r) > size)
        return false;
    return true;
}

// --- load conversions ------------------------------------------------------

int TRom::mapCalibrationMax() const
{
    const int at = entry(aeMapCalibration);
    if (at == 0)
        return 0;
    const int b0 = byteAt(at), b2 = byteAt(at + 2), b3 = byteAt(at + 3);
    if (b0 == b2)
        return 0;
    const double x = b3 * MapCalibrationMbarPerBit + MapZeroMbar;
    return int(roundEven((MapCalibrationTopMbar - x) / (b0 - b2) * (255 - b0) + MapCalibrationTopMbar));
}

int TRom::mapCalibrationMin() const
{
    const int at = entry(aeMapCalibration);
    if (at == 0)
        return 0;
    const int b0 = byteAt(at), b2 = byteAt(at + 2), b3 = byteAt(at + 3);
    const double x = b3 * MapCalibrationMbarPerBit + MapZeroMbar;
    if (b2 == 0)
        return int(roundEven(x));
    if (b0 == b2)
        return 0;
    return int(roundEven(MapCalibrationTopMbar - (MapCalibrationTopMbar - x) / (b0 - b2) * b0));
}

void TRom::setMapCalibration(double a, double b)
{
    requireFinite(a);
    requireFinite(b);
    const int at = entry(aeMapCalibration);
    if (at == 0)
        return;
    const double d = b - a;
    if (d == 0)
        refuse(QStringLiteral("The MAP sensor minimum and maximum must differ."));
    const double c = roundEven((MapCalibrationTopMbar - a) / d * 255);
    double b2 = 0, b3 = 0;
    if (a < MapZeroMbar)
        b2 = std::max(0.0, c - roundEven(255 / d * (MapCalibrationTopMbar - MapZeroMbar)));
    else
        b3 = roundEven((a - MapZeroMbar) / MapCalibrationMbarPerBit);
    TUndoGroupGuard group(m_buffer, ugMapCalibration);
    m_buffer.writeByte(at, clampByte(c));
    m_buffer.writeByte(at + 1, 0xFF);
    m_buffer.writeByte(at + 2, clampByte(b2));
    m_buffer.writeByte(at + 3, clampByte(b3));
}

int TRom::byteToMillibar(int b, bool sensorForm) const
{
    if (traits().extended) {
        const int mn = mapCalibrationMin(), mx = mapCalibrationMax();
        return int(roundEven((mx - mn) * b / 255.0)) + mn;
    }
    if (FeatureFlags & (ffBoost1 | ffITB))
        return sensorByteToMbar(b);
    if (FeatureFlags & ffBoost2)
        return int(roundEven(b * Map3BarMbarPerBit)) + Map3BarZeroMbar;
    if (FeatureFlags & ffBoost3) {
        const int e45 = entry(aeMapSensorMin), e46 = entry(aeMapSensorMax);
        return int(roundEven(b * double(e46 - e45) / 255)) + e45 - MapSensorRangeOffset;
    }
    if (!sensorForm)
        return int(roundEven((b / 2.0 + LoadScaleZeroByte) * MapMbarPerBit)) + MapZeroMbar;
    return sensorByteToMbar(b);
}

quint8 TRom::millibarToByte(double m, bool sensorForm) const
{
    requireFinite(m);
    const double x = (m - MapZeroMbar) / MapMbarPerBit;
    if (traits().extended) {
        const int mn = mapCalibrationMin(), mx = mapCalibrationMax();
        if (mx == mn)
            refuse(QStringLiteral("The MAP sensor calibration has no range."));
        return clampByte((m - mn) * 255 / (mx - mn));
    }
    if (FeatureFlags & (ffBoost1 | ffITB))
        return clampByte(x);
    if (FeatureFlags & ffBoost2)
        return clampByte((m - Map3BarZeroMbar) / Map3BarMbarPerBit);
    if (FeatureFlags & ffBoost3) {
        const int e45 = entry(aeMapSensorMin), e46 = entry(aeMapSensorMax);
        if (e46 == e45)
            refuse(QStringLiteral("The MAP sensor range has no span."));
        return clampByte((m - e45 + MapSensorRangeOffset) * 255 / (e46 - e45));
    }
    return sensorForm ? clampByte(x) : clampByte((x - LoadScaleZeroByte) * 2);
}

void TRom::buildLoadLookups()
{
    for (int b = 0; b < 256; ++b) {
        m_scaleLookup[b] = qint16(byteToMillibar(b, false));
        m_sensorLookup[b] = qint16(byteToMillibar(b, true));
    }
}

// --- cells ------------------------------------------------------------------

quint8 TRom::cellByte(int col, int row, int kind) const
{
    checkKind(kind);
    requireIndex(col, columns(kind));
    requireIndex(row, rows(kind));
    const int base = entry(tableEntry(kind));
    if (base == 0)
        return 0;
    return m_buffer.readByte(base + columns(kind) * row + col);
}

void TRom::setCellByte(int col, int row, int kind, quint8 value)
{
    checkKind(kind, true);
    requireIndex(col, columns(kind));
    requireIndex(row, rows(kind));
    const int base = entry(tableEntry(kind));
    if (base == 0)
        return;
    m_buffer.writeByte(base + columns(kind) * row + col, value);
}

quint8 TRom::multiplierByte(int col, int kind) const
{
    checkKind(kind);
    requireIndex(col, columns(kind));
    const int base = entry(tableEntry(kind));
    if (base == 0 || !hasMultiplierRow(kind))
        return 0;
    return m_buffer.readByte(base + columns(kind) * rows(kind) + col);
}

double TRom::rawTableValue(int col, int row, int kind) const
{
    const double v = cellByte(col, row, kind);
    const bool fuel = isFuelKind(kind);
    if (traits().nissanEncodings)
        return v;
    if (OBDMode != 0) {
        if (!fuel)
            return (v - IgnitionZeroByte) / IgnitionBytesPerDegree + IgnitionOffset;
        if (WideRevScalar)
            return v;
        return v * multiplierByte(col, kind) / 4;
    }
    if (!fuel)
        return (v - Obd0IgnitionZeroByte) * Obd0IgnitionDegreesPerBit + IgnitionOffset;
    const int m = multiplierByte(col, kind);
    return m > 128 ? v / 4 : v * std::ldexp(1.0, m) / 4;
}

double TRom::tableValue(int col, int row, int kind) const
{
    if (m_hooks[OnGetTableValue])
        return m_hooks[OnGetTableValue](kind, col, row, 0);
    checkKind(kind);
    return rawTableValue(col, row, kind);
}

void TRom::setTableValue(int col, int row, double x, int kind)
{
    if (m_hooks[OnSetTableValue]) {
        m_hooks[OnSetTableValue](kind, col, row, x);
        return;
    }
    checkKind(kind);
    requireFinite(x);
    requireIndex(col, columns(kind));
    requireIndex(row, rows(kind));
    if (traits().nissanEncodings) {
        setCellByte(col, row, kind, clampByte(x));
        return;
    }
    if (!isFuelKind(kind)) {
        const double d = x - IgnitionOffset;
        if (OBDMode != 0)
            setCellByte(col, row, kind,
                        clampByte(std::clamp(d, -6.0, 57.75) * IgnitionBytesPerDegree + IgnitionZeroByte));
        else
            setCellByte(col, row, kind,
                        clampByte(std::clamp(d, -5.4, 86.4) / Obd0IgnitionDegreesPerBit + Obd0IgnitionZeroByte));
        return;
    }
    if (WideRevScalar) {
        setCellByte(col, row, kind, clampByte(x));
        return;
    }
    rewriteFuelColumn(col, row, std::max(0.0, x), kind);
}

// A fuel cell shares its column's multiplier, so changing one cell may rescale
// the whole column; it is undone as one step.
void TRom::rewriteFuelColumn(int col, int row, double x, int kind)
{
    const int r = rows(kind), base = entry(tableEntry(kind)), c = columns(kind);
    if (base == 0)
        return;
    QVector<double> values(r);
    double maxValue = 0;
    for (int i = 0; i < r; ++i) {
        values[i] = tableValue(col, i, kind);
        maxValue = std::max(maxValue, values[i]);
    }
    const quint8 stored = multiplierByte(col, kind);
    int multiplier;
    double divisor;
    if (OBDMode != 0) {
        multiplier = stored;
        if (x > maxValue)
            multiplier = std::max<int>(multiplier, int(std::min(255.0, std::ceil(x / FuelUnitsPerMultiplier))));
        divisor = multiplier;
    } else {
        // A stored exponent above 128 reads as 0; the rewrite must agree.
        multiplier = stored > 128 ? 0 : stored;
        if (x > maxValue) {
            const double f = std::ceil(x / FuelUnitsPerMultiplier);
            multiplier = std::max<int>(multiplier, int(std::min(128.0, std::ceil(std::log2(f)))));
        }
        divisor = std::ldexp(1.0, multiplier);
    }
    if (divisor == 0)
        refuse(QStringLiteral("Cannot write to a fuel column whose multiplier is 0."));
    values[row] = x;
    TUndoGroupGuard group(m_buffer, ugFuelColumn);
    const int effectiveStored = (OBDMode == 0 && stored > 128) ? 0 : stored;
    if (multiplier != effectiveStored)
        m_buffer.writeByte(base + c * r + col, quint8(multiplier));
    for (int i = 0; i < r; ++i)
        m_buffer.writeByte(base + c * i + col, ceilByte(values[i] * 4 / divisor));
}

// --- scales -----------------------------------------------------------------

quint8 TRom::loadScaleByte(bool high, int i) const
{
    const int at = entry(loadScaleEntry(high));
    if (at == 0)
        return 0;
    requireIndex(i, columns(high ? 1 : 0));
    if (traits().nissanEncodings)
        return m_buffer.readByte(at + i);
    return i < columns(high ? 1 : 0) - 1 ? m_buffer.readByte(at + i) : 0xFF;
}

int TRom::load(bool high, int i) const
{
    if (m_hooks[OnGetMapScalar])
        return int(m_hooks[OnGetMapScalar](high ? 1 : 0, i, 0, 0));
    if (hasLoadScales()) {
        int a = loadScaleByte(high, i);
        if (traits().nissanEncodings)
            return a;
        if ((FeatureFlags & ffITB) && (FeatureFlags & ffVexorAuFamily)) {
            const int hi = byteAt(entry(aeBoostLoadBlock)), lo = byteAt(entry(aeBoostLoadBlock) + 2);
            a = clampByte(lo + (hi - lo) * a / 80.0);
        }
        return m_scaleLookup[quint8(a)];
    }
    requireIndex(i, std::max(columns(high ? 1 : 0), 1));
    return i <= 13 ? 138 + 69 * i : 1104;
}

void TRom::setLoad(bool high, int i, double m)
{
    if (m_hooks[OnSetMapScalar]) {
        m_hooks[OnSetMapScalar](high ? 1 : 0, i, m, 0);
        return;
    }
    requireFinite(m);
    if (!hasLoadScales())
        return;
    const int c = columns(high ? 1 : 0);
    requireIndex(i, c);
    const int at = entry(loadScaleEntry(high)) + i;
    if (traits().nissanEncodings) {
        m_buffer.writeByte(at, clampByte(m));
        return;
    }
    double b = millibarToByte(m, false);
    if ((FeatureFlags & ffITB) && (FeatureFlags & ffVexorAuFamily)) {
        const int hi = byteAt(entry(aeBoostLoadBlock)), lo = byteAt(entry(aeBoostLoadBlock) + 2);
        if (hi == lo)
            refuse(QStringLiteral("The boost load-scale block has no range."));
        b = roundEven((b - lo) / (hi - lo) * 80);
    }
    // The last column always reads 0xFF; the ECU code expects a 0 stored there.
    m_buffer.writeByte(at, i < c - 1 ? clampByte(b) : quint8(0));
}

int TRom::decodeExponentRpm(quint8 b) { return (1 << (b >> 6)) * (int(roundEven((b & 0x3F) * 7.8125)) + 500); }

quint8 TRom::encodeExponentRpm(double t)
{
    if (t <= 500)
        return 0;
    int lo = 0, hi = 255;
    while (hi - lo >= 2) {
        const int mid = lo + (hi - lo) / 2;
        if (decodeExponentRpm(quint8(mid)) >= t)
            hi = mid;
        else
            lo = mid;
    }
    return quint8(hi);
}

int TRom::rpm(bool high, int i) const
{
    if (m_hooks[OnGetRevScalar])
        return int(m_hooks[OnGetRevScalar](high ? 1 : 0, i, 0, 0));
    if ((entry(aeRpmScaleLo) == 0 && !high) || traits().fixedRpmScale)
        return RpmListA[std::clamp(i, 0, 16)];
    if (entry(aeRpmScaleHi) == 0 && high)
        return RpmListB[std::clamp(i, 0, 16)];
    const int r = rows(high ? 1 : 0);
    requireIndex(i, r);
    const int at = entry(rpmScaleEntry(high));
    if (traits().nissanEncodings)
        return m_buffer.readByte(at + i) * NissanRpmPerBit;
    if (WideRevScalar) {
        const int w = m_buffer.readWord(at + 2 * i);
        return w == 0 ? 0 : std::min(65535, int(roundEven(crankPeriodRatio(w))));
    }
    const int b = i >= r - 1 ? 0xFF : m_buffer.readByte(at + i);
    if (OBDMode == 2)
        return int(roundEven(b * LinearRevScaleRpmPerBit));
    if (OBDMode == 1) {
        if (((FeatureFlags & ffPeriodRevScale) && !high) || high) {
            const int e48 = entry(aeRevScalePeriod);
            return e48 != 0 ? int(roundEven(b * double(CrankPeriodConstant) / e48))
                            : int(roundEven(b * RevScaleRpmPerBit));
        }
        return decodeExponentRpm(quint8(b));
    }
    refuse(QStringLiteral("Unsupported OBDMode"));
}

void TRom::setRpm(bool high, int i, double value)
{
    if (m_hooks[OnSetRevScalar]) {
        m_hooks[OnSetRevScalar](high ? 1 : 0, i, value, 0);
        return;
    }
    requireFinite(value);
    if (!hasRpmScales())
        return;
    const int r = rows(high ? 1 : 0);
    requireIndex(i, r);
    const int at = entry(rpmScaleEntry(high));
    if (traits().nissanEncodings) {
        m_buffer.writeByte(at + i, clampByte(std::floor(value / NissanRpmPerBit)));
        return;
    }
    if (i >= r - 1)
        return; // the last row is fixed in the ECU code
    if (WideRevScalar) {
        if (value <= 0)
            refuse(QStringLiteral("An engine speed of 0 rpm cannot be stored as a period."));
        m_buffer.writeWord(at + 2 * i, clampWord(crankPeriodRatio(value)));
        return;
    }
    if (OBDMode == 2) {
        m_buffer.writeByte(at + i, clampByte(value / LinearRevScaleRpmPerBit));
        return;
    }
    if (OBDMode != 1)
        refuse(QStringLiteral("Unsupported OBDMode"));
    if (((FeatureFlags & ffPeriodRevScale) && !high) || high) {
        const int e48 = entry(aeRevScalePeriod);
        m_buffer.writeByte(at + i,
                           e48 != 0 ? clampByte(value / crankPeriodRatio(e48)) : clampByte(value / RevScaleRpmPerBit));
        return;
    }
    m_buffer.writeByte(at + i, encodeExponentRpm(value));
}

// --- interpolation ----------------------------------------------------------

double TRom::interpolatedValue(int kind, double a, double b) const
{
    if (kind < 0 || kind > 3)
        refuse(QStringLiteral("Unkonwn table type"));
    const bool high = isHighCamKind(kind);
    const int c = columns(kind), r = rows(kind);
    if (c <= 0 || r <= 0)
        return 0;
    int j = c - 1;
    for (int k = 0; k < c; ++k)
        if (load(high, k) >= a) {
            j = k;
            break;
        }
    int i = r - 1;
    for (int k = 0; k < r; ++k)
        if (rpm(high, k) >= b) {
            i = k;
            break;
        }
    const int e = j > 0 ? j - 1 : 0, l = i > 0 ? i - 1 : 0;
    const int e1 = std::min(e + 1, c - 1), l1 = std::min(l + 1, r - 1);
    // Equal neighbouring breakpoints give the fraction 0 rather than a division by zero.
    auto fraction = [](double x, double x0, double x1) { return x1 == x0 ? 0.0 : std::min(1.0, (x - x0) / (x1 - x0)); };
    const double u = fraction(a, load(high, e), load(high, e1));
    const double v = fraction(b, rpm(high, l), rpm(high, l1));
    const double top = tableValue(e, l, kind) + (tableValue(e1, l, kind) - tableValue(e, l, kind)) * u;
    const double bottom = tableValue(e, l1, kind) + (tableValue(e1, l1, kind) - tableValue(e, l1, kind)) * u;
    return top + (bottom - top) * v;
}

// --- correction cells -------------------------------------------------------

int TRom::currentCam() const
{
    if (traits().nissanEncodings)
        return (CurrentTable == 2 || CurrentTable == 3) ? 1 : 0;
    return (CurrentTable == 1 || CurrentTable == 3) ? 1 : 0;
}

double TRom::correctionCell(int cam, int col, int row) const
{
    if (cam != 0 && cam != 1)
        refuse(QStringLiteral("Unknown table type"));
    const int at = entry(correctionEntry(cam));
    const int c = columns(cam), r = rows(cam);
    if (at == 0 || col < 0 || row < 0 || col >= c || row >= r)
        return 0;
    const int pos = at + c * row + col;
    if (pos >= m_buffer.size())
        return 0;
    const int b = m_buffer.readByte(pos);
    return b == 0 ? 0 : CorrectionUnityByte / b;
}

void TRom::setCorrectionCell(int cam, int col, int row, double x)
{
    if (cam != 0 && cam != 1)
        refuse(QStringLiteral("Unknown table type"));
    requireFinite(x);
    const int at = entry(correctionEntry(cam));
    if (at == 0)
        return;
    const int c = columns(cam);
    requireIndex(col, c);
    requireIndex(row, rows(cam));
    if (x == 0)
        refuse(QStringLiteral("A correction of 0 cannot be stored."));
    m_buffer.writeByte(at + c * row + col, clampByte(CorrectionUnityByte / x));
}

// --- throttle-position columns ------------------------------------------------

int TRom::throttleLoad(bool high, int index) const
{
    if (!hasLoadScales())
        return 0;
    const int b = loadScaleByte(high, index);
    if (FeatureFlags & ffVexorAuFamily) {
        if (b > 79) {
            const int t = T(byteAt(entry(aeTpsLoadBlock) + 2));
            return int(roundEven((100 - t) * (b - 80) / 175.0)) + t;
        }
        return 0;
    }
    const int h = entry(aeTpsLoadPair) >> 8, l = entry(aeTpsLoadPair) & 0xFF;
    if (b > h && h < 255)
        return int(roundEven((100 - T(l)) * double(b - h) / (255 - h))) + T(l);
    return 0;
}

void TRom::setThrottleLoad(bool high, int index, double p)
{
    requireFinite(p);
    if (!hasLoadScales())
        return;
    const int c = columns(high ? 1 : 0);
    requireIndex(index, c);
    double b;
    if ((FeatureFlags & ffITB) && (FeatureFlags & ffVexorAuFamily)) {
        const int t = T(byteAt(entry(aeTpsLoadBlock) + 2));
        if (p < t)
            return;
        if (t == 100)
            refuse(QStringLiteral("The throttle calibration has no range."));
        b = roundEven((p - t) / (100 - t) * 175) + 80;
    } else {
        const int h = entry(aeTpsLoadPair) >> 8, l = entry(aeTpsLoadPair) & 0xFF;
        if (T(l) == 100)
            refuse(QStringLiteral("The throttle calibration has no range."));
        b = roundEven((255 - h) * (p - T(l)) / (100 - T(l))) + h;
        if (b <= h)
            return;
    }
    const int at = entry(loadScaleEntry(high)) + index;
    m_buffer.writeByte(at, index < c - 1 ? clampByte(b) : quint8(0));
}
