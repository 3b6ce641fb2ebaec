#include "rom/clsRomAddresses.h"

#include "settings/mdlErrors.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace {

using Entries = std::initializer_list<std::pair<int, quint16>>;

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
    put(m, {{0, c.e0},
            {1, c.e1},
            {2, c.e2},
            {3, c.e3},
            {4, c.e4},
            {5, c.e5},
            {6, c.e6},
            {7, c.e7},
            {8, c.e8},
            {9, c.e9},
            {10, c.e10},
            {11, c.e11},
            {12, c.e12},
            {13, c.e13},
            {14, c.e14},
            {15, c.e15},
            {16, c.e16}});
}

void installP28(TRomAddresses& m)
{
    putColumn(m, {0x003B, 0x7000, 0x700A, 0x7014, 0x7028, 0x7050, 0x7122, 0x72E4, 0x73AC, shape(20, 10), shape(20, 10),
                  0x649B, 0x6495, 0x64A7, 0x64A1, 0x6542, shape(4, 3)});
    put(m, {{58, 0x7550},
            {59, 0x7618},
            {17, 0x60E6},
            {25, 0x300E},
            {26, 0x60E7},
            {27, 0x60F2},
            {28, 0x60EB},
            {29, 0x60E9},
            {30, 0x60FA},
            {31, 0x1292},
            {32, 0x60FB},
            {33, 0x60E8},
            {34, 0x60EC},
            {35, 0x60FD},
            {36, 0x6C1C},
            {37, 0x652D},
            {38, 0x6DCF},
            {44, 0x1997}});
}

void installP30(TRomAddresses& m)
{
    putColumn(m, {0x003B, 0x7000, 0x7000, 0x700A, 0x701E, 0x7032, 0x7104, 0x724E, 0x7316, shape(20, 10), shape(20, 10),
                  0x637B, 0x6375, 0x6387, 0x6381, 0x6432, shape(4, 3)});
    put(m, {{58, 0x744C}, {59, 0x7514}, {17, 0x6001}, {18, 0x3D06}, {19, 0x3D27}, {25, 0x2B75}, {26, 0x6002},
            {27, 0x6015}, {28, 0x6005}, {29, 0x6004}, {30, 0x6010}, {31, 0x11CA}, {32, 0x6011}, {33, 0x6003},
            {34, 0x6006}, {35, 0x6013}, {36, 0x6988}, {37, 0x6403}, {38, 0x6B13}, {44, 0x1831}});
}

void installP72(TRomAddresses& m)
{
    putColumn(m, {0x003B, 0x7C4A, 0x7C54, 0x7C68, 0x7C7C, 0x7C9A, 0x7D6C, 0x7E0C, 0x7ED4, shape(20, 10), shape(15, 10),
                  0x58E0, 0x58DA, 0x58EC, 0x58E6, 0x59A0, shape(2, 0)});
    put(m, {{58, 0x7F6A},  {59, 0x7F6A},  {17, 0x5466},  {20, 0x43A2},  {21, 0x439D},  {25, 0x2D58},  {26, 0x5467},
            {27, 0x5482},  {28, 0x546C},  {29, 0x5469},  {30, 0x547D},  {31, 0x120E},  {32, 0x547E},  {33, 0x5468},
            {34, 0x546D},  {35, 0x5480},  {36, 0x5EA5},  {37, 0x5998},  {38, 0x6016},  {44, 0x18A4},  {97, 0x5BA7},
            {98, 0x5BBC},  {99, 7},       {100, 0x54A2}, {101, 0x54B4}, {102, 0x54C6}, {103, 0x54D8}, {106, 0x8009},
            {107, 0x5516}, {108, 0x5531}, {109, 0x554C}, {111, 0x8009}});
}

void installP13(TRomAddresses& m)
{
    putColumn(m, {0x003B, 0x6050, 0x6050, 0x6000, 0x6028, 0x60AA, 0x6172, 0x63F8, 0x659C, shape(20, 10), shape(20, 10),
                  0x5407, 0x5403, 0x540F, 0x550B, 0x59A0, shape(2, 0)});
    put(m, {{44, 0x2EAC}});
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
    put(m, {{1, 0x6E5A},   {2, 0x6E5A},   {3, 0x6E72},   {4, 0x6E86},   {5, 0x6E9A},   {6, 0x7092},   {7, 0x728A},
            {8, 0x746A},   {58, 0x7C40},  {59, 0x7E20},  {11, 0x3F4F},  {12, 0x3F4C},  {13, 0x3F46},  {14, 0x3F43},
            {15, 0x6432},  {18, 0x3D06},  {19, 0x3D27},  {20, 0x11E4},  {21, 0x11DE},  {30, 0x11B0},  {31, 0x11AA},
            {40, 0x3F40},  {42, 0x1220},  {48, 0xAA00},  {50, 0x6B68},  {51, 0x6BB6},  {52, 0x6BC7},  {53, 0x6BD8},
            {54, 0x6BE3},  {56, 0x6BFE},  {60, 0x6B6D},  {66, 0x0084},  {70, 0x2B5D},  {71, 0x2B75},  {72, 0x2BAC},
            {73, 0x6C31},  {74, 0x3F72},  {75, 0x3F7D},  {76, 0x5114},  {77, 0x511B},  {78, 0x78D8},  {79, 0x6B7A},
            {80, 0x3F56},  {81, 0x3F65},  {82, 0x3F5D},  {83, 0x3F61},  {84, 0x3F52},  {85, 0x78C2},  {86, 0x78C2},
            {87, 0x78CD},  {88, 0x11B6},  {89, 0x11BC},  {90, 0x6C1F},  {91, 0x3C0A},  {92, 0x3C8D},  {93, 0x3C6F},
            {94, 0x6374},  {97, 0x66E5},  {98, 0x66FA},  {99, 7},       {100, 0x6034}, {101, 0x6042}, {102, 0x6050},
            {103, 0x605E}, {104, 0x602C}, {105, 0x6030}, {106, 0x4007}, {107, 0x607A}, {111, 0x8007}, {112, 0x6A37},
            {113, 0x6A45}, {114, 0x6A63}, {115, 0x6A53}, {116, 0x0607}, {117, 0x6A6F}, {118, 5},      {121, 0x6B13},
            {122, 0x5B2F}, {123, 0x6AE7}, {124, 7},      {125, 0x61BA}, {126, 0x61D6}, {127, 7},      {128, 0x11FC},
            {129, 0x11FA}, {130, 0x11FC}, {131, 0x11FA}, {132, 0x09E5}, {133, 0x0A1D}, {134, 0x09FD}, {135, 0x0A32}});
    const quint16 tail136[] = {0x7C0C, 0x22F7, 0x032C, 0x38A4, 0x7C22, 0x7C27, 0x7C2C, 0x7C31, 0x7C36, 0x78FC,
                               0x7906, 0x790C, 0x0338, 0x0337, 0x6D32, 0x6D4A, 0x6D62, 0x6D7A, 0x6D98, 0x6DB6,
                               0x6DD4, 0x6DF2, 0x6E10, 0x796A, 0x6378, 0x637C, 0x11ED, 0x11EC, 0x42CD, 0x42D2,
                               0x42E3, 0x7987, 0x15B4, 0x15AD, 0x5F53, 0x1C08, 0x19AF, 0x199C, 0x19A2, 0x6152,
                               0x638A, 0x02A0, 0x00B9, 0x006F, 0x11F6, 0x6B33};
    int index = 136;
    for (quint16 v : tail136)
        m.set(index++, v);
}

void installNissanSR(TRomAddresses& m)
{
    put(m, {{1, 0x00F0},
            {2, 0x0490},
            {3, 0x00E0},
            {4, 0x0480},
            {5, 0x0100},
            {6, 0x0E00},
            {7, 0x0D00},
            {8, 0x0800},
            {11, 0x005C},
            {13, 0x05C0},
            {15, 0x0219},
            {44, 0x0031},
            {45, 0x05D9},
            {46, 0x05CA},
            {48, 2}});
}

void installNissanVGRB(TRomAddresses& m, bool rb)
{
    put(m, {{1, 0x7AF0},
            {2, 0x7B10},
            {3, 0x7B00},
            {4, 0x7B20},
            {5, 0x7D00},
            {6, rb ? quint16(0x7200) : quint16(0x7000)},
            {7, rb ? quint16(0x7400) : quint16(0x7800)},
            {8, 0x7C00},
            {11, 0x7FB4},
            {15, 0x0164},
            {44, 0x7FA5},
            {48, 2}});
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
