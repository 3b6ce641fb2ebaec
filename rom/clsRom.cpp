#include "rom/clsRom.h"

#include "settings/mdlErrors.h"

#include <cmath>

TRom::TRom() { reset(); }

void TRom::reset()
{
    clearHooks();
    m_buffer.setLittleEndian(true);
    m_buffer.clear();
    m_buffer.setAutoUpload(false);
    // The base name stays until the next base is selected.
    const QString name = m_addresses.baseName();
    m_addresses.clear();
    m_addresses.setBaseName(name);
    FeatureFlags = 0;
    CodeSwitches = 0;
    BaseType = btUnknown;
    CurrentTable = 0;
    m_buffer.markSaved();
}

void TRom::clearHooks()
{
    for (auto& h : m_hooks)
        h = nullptr;
}

TRom::LoadResult TRom::loadFile(const QString& fileName, const std::function<void()>& afterSelect)
{
    reset();
    if (m_buffer.load(fileName) < 0) {
        reset();
        return LoadResult::ReadError;
    }
    const LoadResult r = loadFromBuffer(afterSelect);
    if (r != LoadResult::Ok)
        reset();
    return r;
}

// The steps a load and a reload share: identify, select the base, let the
// handlers run, and build the load lookups for a known family.
TRom::LoadResult TRom::identifyAndSelect(const std::function<void()>& afterSelect)
{
    FeatureFlags = 0;
    // The handlers add the corrections again; without this a reload would list them twice.
    m_fuelCorrections.clear();
    selectBase(identify());
    if (afterSelect)
        afterSelect();
    if (!traits().known)
        return LoadResult::UnknownFamily;
    // A truncated file would open with zeros where its tables should be.
    if (!sourceHoldsMap())
        return LoadResult::TooShort;
    buildLoadLookups();
    return LoadResult::Ok;
}

TRom::LoadResult TRom::loadFromBuffer(const std::function<void()>& afterSelect)
{
    if (m_buffer.isBlank(true))
        return LoadResult::Blank;
    clearHooks();
    const LoadResult r = identifyAndSelect(afterSelect);
    if (r != LoadResult::Ok)
        return r;
    m_buffer.markSaved();
    m_buffer.setAutoUpload(false);
    return LoadResult::Ok;
}

TRom::LoadResult TRom::reload(const std::function<void()>& afterSelect)
{
    if (m_buffer.isBlank(true))
        return LoadResult::Blank;
    return identifyAndSelect(afterSelect);
}

namespace {

// The family a signature word at 0x23 names; Nissan and the unknown case need
// more than the word and are decided by the caller.
struct SignatureRow {
    quint16 word;
    quint8 baseType;
};
constexpr SignatureRow Signatures[] = {
    {0xD603, btP28},     {0xCB03, btP30},     {0xF803, btP30}, {0x6703, btP72},    {0x4207, btP13},
    {0xC803, btVexorAu}, {0xCA03, btVexorAu}, {0x9615, btPR3}, {0xFF16, btJDMPW0}, {0x9A16, btEDMPW0},
};

} // namespace

quint8 TRom::identify()
{
    const quint16 sig = wordAt(0x23);
    quint8 code = btUnknown;
    for (const auto& row : Signatures)
        if (row.word == sig)
            code = row.baseType;
    switch (sig) {
    case 0x9910: code = byteAt(0x25) == 0x32 ? btPR4 : btPM6; break;
    case 0xD65B: NissanFamily = nfRB; return btNissan;
    case 0xD65D: NissanFamily = nfVG; return btNissan;
    default: break;
    }
    if (code == btUnknown) {
        if (wordAt(0x7CC0) != 0x60F8)
            return btUnknown;
        NissanFamily = nfSR;
        return btNissan;
    }
    const TFamilyTraits& t = familyTraits(code);
    OBDMode = t.obd0 ? 0 : 1;
    WideRevScalar = t.wideRevScalar;
    if (t.setsIab)
        FeatureFlags |= ffIAB;
    return code;
}

void TRom::selectBase(quint8 code)
{
    const TFamilyTraits& t = familyTraits(code);
    if (t.installsMap)
        m_addresses.install(code, NissanFamily);
    if (t.extended)
        FeatureFlags |= ffVexorAuFamily | ffFinalMultiplier;
    BaseType = code;
}

bool TRom::isLoaded() const { return traits().known && !const_cast<TBinEdit&>(m_buffer).isBlank(false); }

void TRom::setFeatureFlags(quint16 flags)
{
    if (flags & ffBoost3)
        flags &= ~(ffBoost1 | ffBoost2);
    else if (flags & ffBoost2)
        flags &= ~(ffBoost1 | ffBoost3);
    FeatureFlags = flags;
}

void TRom::setFeatureFlag(quint16 bit, bool on)
{
    if (bit == ffFinalMultiplier && on) {
        m_fuelCorrections.clear();
        const char* captions[] = {"Main Fuel", "O2 Correction", "Start-up", "Throttle Tip-in"};
        constexpr TRomEntry FuelCorrectionEntries[] = {aeMainFuel, aeO2Correction, aeStartupFuel, aeTipInFuel};
        for (int i = 0; i < 4; ++i)
            m_fuelCorrections.append({QString::fromLatin1(captions[i]), entry(FuelCorrectionEntries[i]), 0});
    }
    setFeatureFlags(on ? quint16(FeatureFlags | bit) : quint16(FeatureFlags & ~bit));
}

int TRom::rows(int kind) const
{
    if (traits().shape == TShapeSource::FixedNissan)
        return NissanTableSize;
    const bool high = isHighCamKind(kind);
    const quint16 count = entry(rowCountEntry(high));
    if (count != 0)
        return byteAt(count);
    return entry(shapeEntry(high)) >> 8;
}

int TRom::columns(int kind) const
{
    if (traits().shape == TShapeSource::FixedNissan)
        return NissanTableSize;
    const bool high = isHighCamKind(kind);
    const quint16 count = entry(columnCountEntry(high));
    if (count != 0)
        return byteAt(count);
    return entry(shapeEntry(high)) & 0xFF;
}

int TRom::displayedRows(int kind) const
{
    const quint16 e = entry(shownRowsEntry(isHighCamKind(kind)));
    return e != 0 ? byteAt(e) + 2 : rows(kind);
}

int TRom::displayedColumns(int kind) const
{
    const quint16 e = entry(shownColumnsEntry(isHighCamKind(kind)));
    return e != 0 ? byteAt(e) + 2 : columns(kind);
}

int TRom::addFuelCorrection(const TFuelCorrItem& item)
{
    if (m_fuelCorrections.size() < MaxFuelCorrections)
        m_fuelCorrections.append(item);
    return m_fuelCorrections.size();
}

const TFuelCorrItem& TRom::fuelCorrection(int index) const
{
    if (index < 0 || index >= m_fuelCorrections.size())
        throw EVexorError(QStringLiteral("Index out of bounds."));
    return m_fuelCorrections.at(index);
}

quint8 TRom::checksum() const
{
    unsigned sum = 0;
    const quint8* d = m_buffer.data();
    for (int i = 0; i < m_buffer.size(); ++i)
        sum += d[i];
    return quint8(sum & 0xFF);
}

void TRom::fixChecksum()
{
    const quint16 at = entry(aeChecksum);
    if (at == 0 || at >= m_buffer.size())
        return;
    m_buffer.writeByte(at, quint8((m_buffer.readByte(at) - checksum()) & 0xFF));
}

quint8 TRom::byteAt(int position) const
{
    return (position >= 0 && position < m_buffer.size()) ? m_buffer.data()[position] : 0;
}

quint16 TRom::wordAt(int position) const
{
    if (position < 0 || position + 1 >= m_buffer.size())
        return 0;
    return m_buffer.readWord(position);
}
