#include "options/mdlCorrectionGrids.h"

#include "options/mdlOptionOutputs.h"
#include "rom/clsRom.h"
#include "settings/mdlErrors.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double WidebandVoltsPerBit = 0.0196;
constexpr double LambdaAxisUnity = 128;

TCorrectionGridSpec grid(const char* name, const char* page, QStringList rows, std::vector<TRomEntry> entries,
                         TRomEntry count, bool packed, TGridCellKind kind)
{
    TCorrectionGridSpec s;
    s.name = QString::fromLatin1(name);
    s.page = QString::fromLatin1(page);
    s.header = QStringLiteral("Temp");
    s.rowCaptions = std::move(rows);
    s.rowEntries = std::move(entries);
    s.countEntry = count;
    s.countPacked = packed;
    s.kind = kind;
    return s;
}

std::vector<TCorrectionGridSpec> buildGrids()
{
    using K = TGridCellKind;
    std::vector<TCorrectionGridSpec> v;
    const QStringList loads = {QStringLiteral("Low Load"), QStringLiteral("High Load")};
    v.push_back(
        grid("cgECTFuelOpen", "tbsFuelAdvance", loads, {aeEctOpenLo, aeEctOpenHi}, aeEctShape, true, K::UnityPercent));
    v.push_back(grid("cgECTFuelClose", "tbsFuelAdvance", loads, {aeEctClosedLo, aeEctClosedHi}, aeEctShape, true,
                     K::UnityPercent));

    // Intake temperature: a word per break point, unity = the shape's high byte x 256.
    TCorrectionGridSpec iat =
        grid("cgIATFuel", "tbsFuelAdvance",
             {QStringLiteral("Low Load"), QStringLiteral("Med Load"), QStringLiteral("High Load")},
             {aeIatCorrection, TRomEntry(aeIatCorrection + 1), TRomEntry(aeIatCorrection + 2)}, aeIatShape, true,
             K::UnityPercent);
    iat.stride = 3;
    iat.valueWidth = 2;
    v.push_back(iat);

    TCorrectionGridSpec idle =
        grid("cgECTIdle", "tbsIdle", {QStringLiteral("Standstill"), QStringLiteral("Moving")},
             {aeEctIdleTable, aeEctIdleMoving}, TRomEntry(aeEctIdleMoving + 1), false, K::PeriodRpm);
    idle.stride = 3;
    idle.valueWidth = 2;
    idle.colorHi = 2000;
    idle.colorMid = 800;
    idle.colorLo = 0;
    v.push_back(idle);

    v.push_back(grid("cgECTIgn1", "tbsIgn", loads, {aeEctIgnLo, aeEctIgnHi}, aeEctShape, true, K::Degrees));
    v.push_back(
        grid("cgECTIgn2", "tbsIgn", {QStringLiteral("Timing Ret.")}, {aeEctIgnRetard}, aeEctShape, true, K::Retard));
    v.push_back(grid("cgIATIgn", "tbsIgn", {QStringLiteral("Timing Ret.")}, {aeIatIgnRetard},
                     TRomEntry(aeIatIgnRetard + 1), false, K::Retard));

    TCorrectionGridSpec cyl = grid("cgIndividual", "tbsFuelAdvance", {QStringLiteral("Correction (%)")},
                                   {aeCylinderCorrection}, aeChecksum, false, K::UnityPercent);
    cyl.header = QStringLiteral("Cylinder#");
    cyl.axis = TGridAxis::Index;
    cyl.fixedCount = 4;
    cyl.fixedUnity = int(CorrectionUnityByte);
    cyl.stride = 1;
    cyl.valueOffset = 0;
    cyl.firstColumnWidth = 96;
    v.push_back(cyl);

    TCorrectionGridSpec battery = grid("cgBattery", "tbsFuelAdvance", {QStringLiteral("Latency (µs)")},
                                       {aeBatteryLatency}, TRomEntry(aeBatteryLatency + 1), false, K::Latency);
    battery.header = QStringLiteral("Voltage (V)");
    battery.axis = TGridAxis::BatteryVolts;
    battery.stride = 3;
    battery.valueWidth = 2;
    battery.firstColumnWidth = 80;
    battery.colorHi = 2000;
    battery.colorMid = 1000;
    battery.colorLo = 0;
    v.push_back(battery);

    // Per-gear tables: no axis bytes, one value per gear.
    auto perGear = [](TCorrectionGridSpec g, TGridAxis axis, int count, int width) {
        g.axis = axis;
        g.fixedCount = count;
        g.countEntry = aeChecksum;
        g.stride = width;
        g.valueWidth = width;
        g.valueOffset = 0;
        return g;
    };
    TCorrectionGridSpec shift = perGear(
        grid("cgShiftlight", "tbsRevs", {QStringLiteral("RPM")}, {aeShiftLight}, aeChecksum, false, K::PeriodRpm),
        TGridAxis::Index, 5, 2);
    shift.header = QStringLiteral("Gear");
    shift.colorHi = 11000;
    shift.colorMid = 5500;
    shift.colorLo = 0;
    v.push_back(shift);
    TCorrectionGridSpec inShift = shift;
    inShift.name = QStringLiteral("cgInShiftLimits");
    inShift.header = QStringLiteral("Gear Change");
    inShift.rowEntries = {aeShiftLimit};
    inShift.axis = TGridAxis::GearChange;
    inShift.fixedCount = 4;
    inShift.unreadable = 11000;
    v.push_back(inShift);
    TCorrectionGridSpec gearIgn =
        perGear(grid("cgGearIgn", "tbsIgn", {QStringLiteral("Adj. (%)"), QStringLiteral("Decay")},
                     {aeGearIgnTable, aeGearIgnDecay}, aeChecksum, false, K::Raw),
                TGridAxis::Index, 5, 1);
    gearIgn.header = QStringLiteral("Gear");
    gearIgn.colorHi = 255;
    gearIgn.colorMid = 128;
    gearIgn.colorLo = 0;
    v.push_back(gearIgn);
    TCorrectionGridSpec tipIn = grid("cgRPMTipinIgn", "tbsIgn", {QStringLiteral("Advance")}, {aeTipInIgnTable},
                                     TRomEntry(aeTipInIgnTable + 1), false, K::Degrees);
    tipIn.header = QStringLiteral("RPM");
    tipIn.axis = TGridAxis::ExponentRpm;
    v.push_back(tipIn);

    TCorrectionGridSpec wb = grid("cgWBConversion", "tbsEmissionControl", {QStringLiteral("Volts")}, {aeWbTable},
                                  aeChecksum, false, K::SensorVolts);
    wb.header = QStringLiteral("Lambda");
    wb.axis = TGridAxis::WidebandLambda;
    wb.fixedCount = 12;
    wb.colorHi = 5;
    wb.colorMid = 2.5;
    wb.colorLo = 0;
    v.push_back(wb);

    // Boost control. The solenoid's response: 11 duty break points, each with
    // the boost it gives as a load byte.
    TCorrectionGridSpec solenoid = grid("cgSolenoidPerformance", "tbsBoostControl", {QStringLiteral(" psi")},
                                        {aeBoostPulse}, aeChecksum, false, K::BoostPsi);
    solenoid.header = QStringLiteral(" Duty");
    solenoid.axis = TGridAxis::HalfPercent;
    solenoid.fixedCount = 11;
    solenoid.colorHi = 20;
    solenoid.colorMid = 10;
    solenoid.colorLo = 0;
    v.push_back(solenoid);
    // Target boost per gear: a load byte and a controller gain byte (/ 5) per gear.
    for (int set = 0; set < 2; ++set) {
        TCorrectionGridSpec target =
            perGear(grid(set == 0 ? "cgTargetBoost1" : "cgTargetBoost2", "tbsBoostControl",
                         {QStringLiteral(" Target"), QStringLiteral(" Gain")},
                         {TRomEntry(aeTargetBoostLoad1 + set), TRomEntry(aeTargetBoostGear1 + set)}, aeChecksum, false,
                         K::BoostPsi),
                    TGridAxis::Index, 5, 1);
        target.header = QStringLiteral(" Gear");
        target.rowKinds = {K::BoostPsi, K::Scaled};
        target.scale = 0.2;
        target.colorHi = 50;
        target.colorMid = 20;
        target.colorLo = 0;
        v.push_back(target);
    }
    // Duty added (or taken) by intake temperature, in signed half percents.
    TCorrectionGridSpec iatBoost = grid("cgIATBoostComp", "tbsBoostControl", {QStringLiteral(" Duty %")},
                                        {aeIatBoostComp}, aeChecksum, false, K::Scaled);
    iatBoost.header = QStringLiteral(" Temp");
    iatBoost.fixedCount = 5;
    iatBoost.scale = 0.5;
    iatBoost.signedValue = true;
    iatBoost.colorHi = 20;
    iatBoost.colorMid = 0;
    iatBoost.colorLo = -20;
    v.push_back(iatBoost);

    // Each event's map adjustment: 10 break points of three bytes, the rpm
    // (exponent encoding), the fuel added (signed, injector units of 4.325 µs)
    // and the ignition added (signed quarter degrees).
    for (int e = 0; e < 3; ++e) {
        const QByteArray name = QStringLiteral("cgEv%1MapAdjust").arg(e + 1).toLatin1();
        const QByteArray page = QStringLiteral("tsEvent%1").arg(e + 1).toLatin1();
        const TRomEntry block = TRomEntry(aeEvent1MapAdjust + e);
        TCorrectionGridSpec adjust =
            grid(name.constData(), page.constData(), {QStringLiteral("Fuel (µs) "), QStringLiteral("Ign. (°) ")},
                 {block, block}, aeChecksum, false, K::Scaled);
        adjust.header = QStringLiteral("RPM ");
        adjust.axis = TGridAxis::ExponentRpm;
        adjust.fixedCount = 10;
        adjust.stride = 3;
        adjust.rowOffsets = {1, 2};
        adjust.rowKinds = {K::Scaled, K::Degrees};
        adjust.scale = BoostEnrichPerUnit;
        adjust.signedValue = true;
        adjust.decimals = 0;
        adjust.event = e;
        adjust.colorHi = 50;
        adjust.colorMid = 0;
        adjust.colorLo = -50;
        v.push_back(adjust);
    }
    return v;
}

} // namespace

const std::vector<TCorrectionGridSpec>& correctionGrids()
{
    static const std::vector<TCorrectionGridSpec> grids = [] {
        std::vector<TCorrectionGridSpec> v = buildGrids();
        const std::pair<const char*, const char*> titles[] = {
            {"cgECTFuelOpen", "Coolant fuel correction, open loop"},
            {"cgECTFuelClose", "Coolant fuel correction, closed loop"},
            {"cgIATFuel", "Intake temperature fuel correction"},
            {"cgECTIdle", "Idle speed by coolant temperature"},
            {"cgECTIgn1", "Ignition advance by coolant temperature"},
            {"cgECTIgn2", "Ignition retard by coolant temperature"},
            {"cgIATIgn", "Ignition retard by intake temperature"},
            {"cgIndividual", "Individual cylinder correction"},
            {"cgBattery", "Injector latency by battery voltage"},
            {"cgShiftlight", "Shift light"},
            {"cgInShiftLimits", "In-shift rev limits"},
            {"cgGearIgn", "Ignition adjustment by gear"},
            {"cgRPMTipinIgn", "Tip-in ignition"},
            {"cgWBConversion", "Wideband conversion"},
            {"cgSolenoidPerformance", "Solenoid performance"},
            {"cgTargetBoost1", "Target boost, first set"},
            {"cgTargetBoost2", "Target boost, second set"},
            {"cgIATBoostComp", "Duty compensation by intake temperature"},
            {"cgEv1MapAdjust", "Map adjustment while active"},
            {"cgEv2MapAdjust", "Map adjustment while active"},
            {"cgEv3MapAdjust", "Map adjustment while active"}};
        for (auto& g : v)
            for (const auto& [name, title] : titles)
                if (g.name == QLatin1String(name))
                    g.title = QString::fromLatin1(title);
        return v;
    }();
    return grids;
}

const TCorrectionGridSpec* findCorrectionGrid(const QString& name)
{
    for (const auto& g : correctionGrids())
        if (g.name == name)
            return &g;
    return nullptr;
}

TCorrectionGrid::TCorrectionGrid(const TCorrectionGridSpec& gridDef, const TOptionContext& ctx)
    : m_spec(gridDef), m_ctx(ctx)
{
    for (size_t i = 0; i < gridDef.rowEntries.size(); ++i)
        if (ctx.rom.address(gridDef.rowEntries[i]) != 0)
            m_rows.push_back(int(i));
}

bool TCorrectionGrid::present() const { return !m_rows.empty() && columnCount() > 0; }

bool TCorrectionGrid::enabled() const { return m_spec.event < 0 || eventInputItem(m_ctx.rom, m_spec.event) > 0; }

void TCorrectionGrid::requireEnabled() const
{
    if (!enabled())
        throw EVexorError(QStringLiteral("%1 cannot be changed while its event has no input.").arg(m_spec.name));
}

int TCorrectionGrid::columnCount() const
{
    if (m_spec.countEntry == aeChecksum)
        return m_spec.fixedCount;
    const int v = m_ctx.rom.address(m_spec.countEntry);
    return m_spec.countPacked ? (v & 0xFF) : std::min(v, 32);
}

int TCorrectionGrid::unity() const
{
    if (m_spec.fixedUnity)
        return m_spec.fixedUnity;
    if (!m_spec.countPacked)
        return 0;
    const int hi = m_ctx.rom.address(m_spec.countEntry) >> 8;
    return m_spec.valueWidth == 2 ? hi * 256 : hi;
}

int TCorrectionGrid::rowCount() const { return int(m_rows.size()); }

int TCorrectionGrid::rowAddress(int row) const
{
    if (row < 0 || row >= rowCount())
        throw EVexorError(QStringLiteral("Invalid row selection"));
    return m_ctx.rom.address(m_spec.rowEntries[size_t(m_rows[size_t(row)])]);
}

int TCorrectionGrid::cellAddress(int col, int row) const
{
    if (col < 0 || col >= columnCount())
        throw EVexorError(QStringLiteral("Index out of bounds."));
    // The wideband table is shown richest mixture last: its pairs in reverse.
    const int point = m_spec.axis == TGridAxis::WidebandLambda ? columnCount() - 1 - col : col;
    const int base = rowAddress(row); // refuses a row the grid lacks before it is looked up
    const size_t def = size_t(m_rows[size_t(row)]);
    const int offset = def < m_spec.rowOffsets.size() ? m_spec.rowOffsets[def] : m_spec.valueOffset;
    return base + point * m_spec.stride + offset;
}

TGridCellKind TCorrectionGrid::kindOf(int row) const
{
    (void)rowAddress(row); // refuses a row the grid lacks
    const size_t def = size_t(m_rows[size_t(row)]);
    return def < m_spec.rowKinds.size() ? m_spec.rowKinds[def] : m_spec.kind;
}

int TCorrectionGrid::axisByte(int col) const
{
    const int point = m_spec.axis == TGridAxis::WidebandLambda ? columnCount() - 1 - col : col;
    return m_ctx.rom.byteAt(rowAddress(0) + point * m_spec.stride);
}

QString TCorrectionGrid::headerCaption() const
{
    switch (m_spec.axis) {
    case TGridAxis::Temperature:
        return m_spec.header + (m_ctx.units.fahrenheit ? QStringLiteral(" (°F)") : QStringLiteral(" (°C)"));
    case TGridAxis::WidebandLambda: return m_ctx.units.afr ? QStringLiteral("AFR") : QStringLiteral("Lambda");
    default: return m_spec.header;
    }
}

QString TCorrectionGrid::columnCaption(int col) const
{
    switch (m_spec.axis) {
    case TGridAxis::Temperature: return QString::asprintf("%.0f", shownTemperature(m_ctx.units, axisByte(col)));
    case TGridAxis::Index: return QString::number(col + 1);
    case TGridAxis::GearChange: return QStringLiteral("  %1 to %2").arg(col + 1).arg(col + 2);
    case TGridAxis::ExponentRpm: return QString::number(TRom::decodeExponentRpm(quint8(axisByte(col))));
    case TGridAxis::BatteryVolts:
        return QString::asprintf("%.1f", axisByte(col) * BatteryVoltsPerBit + BatteryZeroVolts);
    case TGridAxis::HalfPercent: return QString::asprintf("%.1f", axisByte(col) / 2.0);
    case TGridAxis::WidebandLambda: {
        const int b = axisByte(col);
        if (b == 0)
            return QStringLiteral("-");
        const double lambda = LambdaAxisUnity / b;
        return m_ctx.units.afr ? QString::asprintf("%.1f", lambda * m_ctx.units.stoich)
                               : QString::asprintf("%.2f", lambda);
    }
    }
    return {};
}

QString TCorrectionGrid::rowCaption(int row) const { return m_spec.rowCaptions.value(m_rows.at(size_t(row))); }

int TCorrectionGrid::storedValue(int col, int row) const
{
    const int at = cellAddress(col, row);
    return m_spec.valueWidth == 2 ? m_ctx.rom.wordAt(at) : m_ctx.rom.byteAt(at);
}

double TCorrectionGrid::cellValue(int col, int row) const
{
    const int raw = storedValue(col, row);
    switch (kindOf(row)) {
    case TGridCellKind::UnityPercent: {
        const int u = unity();
        return u == 0 ? 0 : (double(raw) / u - 1) * 100;
    }
    case TGridCellKind::BoostPsi: return (m_ctx.rom.byteToMillibar(raw, true) - m_ctx.units.atmospheric) * PsiPerMbar;
    case TGridCellKind::Scaled: return (m_spec.signedValue ? qint8(raw) : raw) * m_spec.scale;
    case TGridCellKind::Degrees: return qint8(raw) / 4.0;
    case TGridCellKind::Retard: return raw / 4.0;
    case TGridCellKind::PeriodRpm: return raw == 0 && m_spec.unreadable ? m_spec.unreadable : periodWordToRpm(raw);
    case TGridCellKind::Latency:
    case TGridCellKind::Raw: return raw;
    case TGridCellKind::SensorVolts: return raw * WidebandVoltsPerBit;
    }
    return raw;
}

QString TCorrectionGrid::cellText(int col, int row) const
{
    double v = cellValue(col, row);
    // A value that rounds to zero shows as 0, not as "-0.0".
    if (std::abs(v) < 0.05)
        v = 0;
    switch (kindOf(row)) {
    case TGridCellKind::UnityPercent:
    case TGridCellKind::BoostPsi:
    case TGridCellKind::Degrees: return QString::asprintf("%.1f", v);
    case TGridCellKind::Scaled: return QString::asprintf(m_spec.decimals == 0 ? "%.0f" : "%.1f", v);
    case TGridCellKind::Retard: return QString::asprintf("-%.1f", v);
    case TGridCellKind::PeriodRpm: return QString::number(int(v));
    case TGridCellKind::Latency:
    case TGridCellKind::Raw: return QString::asprintf("%.0f", v);
    case TGridCellKind::SensorVolts: return QString::asprintf("%.2f", v);
    }
    return {};
}

TColor TCorrectionGrid::cellColor(int col, int row) const
{
    return DifferenceColor(cellValue(col, row), m_spec.colorHi, m_spec.colorMid, m_spec.colorLo);
}

void TCorrectionGrid::writeStored(int col, int row, int value)
{
    const int at = cellAddress(col, row);
    const int max = m_spec.valueWidth == 2 ? 0xFFFF : 0xFF;
    value = std::clamp(value, 0, max);
    if (value == storedValue(col, row))
        return;
    if (m_spec.valueWidth == 2)
        m_ctx.rom.buffer().writeWord(at, quint16(value));
    else
        m_ctx.rom.buffer().writeByte(at, quint8(value));
}

void TCorrectionGrid::setCellText(int col, int row, const QString& text)
{
    (void)cellAddress(col, row); // a cell outside the grid is refused before anything else
    requireEnabled();
    // Retard cells are shown with a minus sign; a typed one means the same.
    const TGridCellKind kind = kindOf(row);
    QString t = text.trimmed();
    if (kind == TGridCellKind::Retard && t.startsWith(QLatin1Char('-')))
        t = t.mid(1);
    if (t == cellText(col, row).trimmed() || (kind == TGridCellKind::Retard && t == cellText(col, row).mid(1)))
        return;
    const double v = parseOptionNumber(t);
    int raw = 0;
    switch (kind) {
    case TGridCellKind::UnityPercent: {
        const int u = unity();
        if (u == 0)
            throw EVexorError(
                QStringLiteral("The correction scale of %1 is 0: the value cannot be stored.").arg(m_spec.name));
        raw = int(roundEven((v / 100 + 1) * u));
        break;
    }
    case TGridCellKind::Degrees: raw = quint8(qint8(std::clamp(roundEven(v * 4), -128.0, 127.0))); break;
    case TGridCellKind::Retard: raw = int(roundEven(std::clamp(v, 0.0, 63.75) * 4)); break;
    case TGridCellKind::PeriodRpm:
        if (roundEven(v) <= 0)
            throw EVexorError(QStringLiteral("An engine speed of %1 rpm cannot be stored.").arg(v));
        raw = rpmToPeriodWord(int(roundEven(v)));
        break;
    case TGridCellKind::Latency:
    case TGridCellKind::Raw: raw = int(std::clamp(roundEven(v), 0.0, m_spec.valueWidth == 2 ? 65535.0 : 255.0)); break;
    case TGridCellKind::SensorVolts: raw = int(std::clamp(roundEven(v / WidebandVoltsPerBit), 0.0, 255.0)); break;
    case TGridCellKind::BoostPsi: raw = m_ctx.rom.millibarToByte(v / PsiPerMbar + m_ctx.units.atmospheric, true); break;
    case TGridCellKind::Scaled: {
        // Clamped to what the byte holds, never wrapped.
        const double units = roundEven(v / m_spec.scale);
        raw = m_spec.signedValue ? quint8(qint8(std::clamp(units, -128.0, 127.0))) : int(std::clamp(units, 0.0, 255.0));
        break;
    }
    }
    writeStored(col, row, raw);
}

void TCorrectionGrid::step(int col, int row, int direction, bool large)
{
    requireEnabled();
    const int u = unity();
    const int amount = large ? (u > 0 ? std::max(1, u / 10) : 10) : 1;
    if (kindOf(row) == TGridCellKind::Degrees || (kindOf(row) == TGridCellKind::Scaled && m_spec.signedValue)) {
        const int s = qint8(storedValue(col, row)) + direction * amount;
        writeStored(col, row, quint8(qint8(std::clamp(s, -128, 127))));
        return;
    }
    writeStored(col, row, storedValue(col, row) + direction * amount);
}

int TCorrectionGrid::liveColumn(int sensorByte) const
{
    if (m_spec.axis != TGridAxis::Temperature || !present())
        return -1;
    int best = 0;
    for (int c = 1; c < columnCount(); ++c)
        if (std::abs(axisByte(c) - sensorByte) < std::abs(axisByte(best) - sensorByte))
            best = c;
    return best;
}
