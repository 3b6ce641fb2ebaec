#include "rom/mdlRomGen.h"

#include "rom/clsRom.h"
#include "rom/clsRomAddresses.h"
#include "settings/mdlErrors.h"

#include <algorithm>
#include <cmath>

namespace {

struct FamilyInfo {
    const char* name;
    quint8 baseType;
    quint8 nissan;
    quint16 signature; // word at 0x23, little-endian
};

const FamilyInfo Families[] = {
    {"p28", btP28, 0, 0xD603},         {"p30", btP30, 0, 0xCB03},      {"p72", btP72, 0, 0x6703},
    {"p13", btP13, 0, 0x4207},         {"pr3", btPR3, 0, 0x9615},      {"jdmpw0", btJDMPW0, 0, 0xFF16},
    {"edmpw0", btEDMPW0, 0, 0x9A16},   {"pm6", btPM6, 0, 0x9910},      {"pr4", btPR4, 0, 0x9910},
    {"vexorau", btVexorAu, 0, 0xC803}, {"sr", btNissan, nfSR, 0x0000}, {"vg", btNissan, nfVG, 0xD65D},
    {"rb", btNissan, nfRB, 0xD65B},
};

class Image {
public:
    explicit Image(int size) : m_bytes(size, '\0') {}
    void byte(int at, int v)
    {
        if (at > 0 && at < m_bytes.size())
            m_bytes[at] = char(std::clamp(v, 0, 255));
    }
    void word(int at, int v)
    {
        v = std::clamp(v, 0, 65535);
        byte(at, v & 0xFF);
        byte(at + 1, v >> 8);
    }
    [[nodiscard]] int get(int at) const { return quint8(m_bytes[at]); }
    QByteArray& bytes() { return m_bytes; }

private:
    QByteArray m_bytes;
};

// Deterministic filler standing in for program code, so that a reader that
// strays from its item reads something other than zeros.
void fillCode(Image& img, quint32 seed)
{
    quint32 x = 0x12345678u ^ (seed * 2654435761u);
    for (int i = 0; i < img.bytes().size(); ++i) {
        x = x * 1664525u + 1013904223u;
        img.bytes()[i] = char(x >> 24);
    }
}

int lerp(int a, int b, int i, int n) { return n <= 1 ? a : a + (b - a) * i / (n - 1); }

// Engineering fuel value of a cell: grows with load and rpm like a real map.
double fuelValue(int c, int r, int cols, int rows, quint32 seed)
{
    const double lf = cols > 1 ? double(c) / (cols - 1) : 0, rf = rows > 1 ? double(r) / (rows - 1) : 0;
    return 12 + 70 * lf + 30 * rf + 15 * lf * rf + double(seed % 7);
}

double ignValue(int c, int r, int cols, int rows)
{
    const double lf = cols > 1 ? double(c) / (cols - 1) : 0, rf = rows > 1 ? double(r) / (rows - 1) : 0;
    return 12 + 26 * rf - 14 * lf;
}

} // namespace

QStringList romGenFamilies()
{
    QStringList out;
    for (const auto& f : Families)
        out << QString::fromLatin1(f.name);
    return out;
}

QByteArray generateRom(const TRomGenOptions& o)
{
    const FamilyInfo* fam = nullptr;
    for (const auto& f : Families)
        if (o.family.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0)
            fam = &f;
    if (!fam)
        throw EVexorError(QStringLiteral("Unknown family \"%1\". Known: %2.")
                              .arg(o.family, romGenFamilies().join(QStringLiteral(", "))));

    TRomAddresses map;
    map.install(fam->baseType, fam->nissan);
    auto e = [&map](int i) { return int(map.at(i)); };
    const bool nissan = fam->baseType == btNissan;
    const bool vexor = fam->baseType == btVexorAu;
    const bool wide = fam->baseType == btP13;
    const bool obd0 = fam->baseType >= btPR3 && fam->baseType <= btPR4;

    Image img(TBinEdit::SmallImage);
    fillCode(img, o.seed);
    img.word(0x23, fam->signature);
    if (fam->baseType == btPR4)
        img.byte(0x25, 0x32);
    if (fam->baseType == btPM6)
        img.byte(0x25, 0x31);
    if (fam->nissan == nfSR)
        img.word(0x7CC0, 0x60F8);
    else
        img.word(0x7CC0, 0);

    if (vexor) {
        const int maxCells = e(6) - e(5); // room for the low-cam fuel map and its multipliers
        if (o.rows < 2 || o.columns < 2 || o.rows > 20 || o.columns > 24 || (o.rows + 1) * o.columns > maxCells)
            throw EVexorError(
                QStringLiteral("A table of %1 x %2 does not fit this family.").arg(o.rows).arg(o.columns));
        img.byte(e(128), o.rows);
        img.byte(e(129), o.columns);
        img.byte(e(132), o.rows - 2);
        img.byte(e(133), o.columns - 2);
        img.byte(e(134), o.rows - 2);
        img.byte(e(135), o.columns - 2);
        img.byte(56, 'C');
        img.byte(57, 0);
        img.byte(58, 96);
        // MAP sensor calibration spanning -59 .. 1782 mbar.
        img.byte(e(94), 255);
        img.byte(e(94) + 1, 0xFF);
        img.byte(e(94) + 2, 0);
        img.byte(e(94) + 3, 0);
    }

    for (int cam = 0; cam < 2; ++cam) {
        int rows, cols;
        if (nissan) {
            rows = cols = 16;
        } else if (vexor) {
            rows = o.rows;
            cols = o.columns;
        } else {
            rows = e(9 + cam) >> 8;
            cols = e(9 + cam) & 0xFF;
        }
        // Load scale: the last column is stored as 0 (the ECU reads it as 0xFF).
        if (const int at = e(1 + cam)) {
            for (int i = 0; i < cols; ++i) {
                int b;
                if (nissan)
                    b = lerp(10, 250, i, cols);
                else if (vexor)
                    b = lerp(20, 150, i, cols - 1);
                else
                    b = lerp(20, 240, i, cols - 1);
                img.byte(at + i, (!nissan && i == cols - 1) ? 0 : b);
            }
        }
        // Rpm scale.
        if (const int at = e(3 + cam)) {
            for (int i = 0; i < rows; ++i) {
                const int rpm = lerp(700, 8200, i, rows);
                if (nissan)
                    img.byte(at + i, rpm / 50);
                else if (wide)
                    img.word(at + 2 * i, 1875000 / rpm);
                else if (i == rows - 1)
                    img.byte(at + i, 0xFF);
                else if (cam == 1)
                    img.byte(at + i,
                             vexor ? int(std::lround(rpm * e(48) / 1875000.0)) : int(std::lround(rpm / 35.21259)));
                else
                    img.byte(at + i, TRom::encodeExponentRpm(rpm));
            }
        }
        // Fuel map with its column multipliers.
        if (const int at = e(5 + cam)) {
            for (int c = 0; c < cols; ++c) {
                double maxValue = 0;
                for (int r = 0; r < rows; ++r)
                    maxValue = std::max(maxValue, fuelValue(c, r, cols, rows, o.seed));
                int mult = 1;
                double divisor = 1;
                if (!nissan && !wide) {
                    if (obd0) {
                        mult = int(std::ceil(std::log2(std::ceil(maxValue / 63.75))));
                        divisor = std::ldexp(1.0, mult);
                    } else {
                        mult = int(std::ceil(maxValue / 63.75)) + 1;
                        divisor = mult;
                    }
                    img.byte(at + cols * rows + c, mult);
                }
                for (int r = 0; r < rows; ++r) {
                    const double v = fuelValue(c, r, cols, rows, o.seed);
                    img.byte(at + cols * r + c,
                             (nissan || wide) ? int(std::lround(v)) : int(std::ceil(v * 4 / divisor)));
                }
            }
        }
        // Ignition map.
        if (const int at = e(7 + cam)) {
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < cols; ++c) {
                    const double d = ignValue(c, r, cols, rows);
                    int b;
                    if (nissan)
                        b = int(std::lround(d * 2));
                    else if (obd0)
                        b = int(std::lround(d / 0.36 + 15));
                    else
                        b = int(std::lround(d * 4 + 24));
                    img.byte(at + cols * r + c, b);
                }
        }
        // Per-cell corrections of 1.0.
        if (const int at = e(58 + cam))
            for (int k = 0; k < rows * cols; ++k)
                img.byte(at + k, 128);
    }

    // Settings.
    if (fam->baseType == btPM6 || fam->baseType == btPR4) {
        const int p = 1920000 / 7200;
        img.byte(e(11), p >> 8);
        img.byte(e(11) + 2, p & 0xFF);
    } else if (obd0) {
        img.byte(e(11), 1848000 / 8000);
        img.byte(e(12), 1848000 / 7500);
    } else {
        const int limits[] = {7200, 6700, 7400, 6900};
        for (int k = 0; k < 4; ++k)
            if (e(11 + k))
                img.word(e(11 + k), 1875000 / limits[k]);
    }
    if (const int at = e(15)) {
        for (int d = 0; d < (e(16) >> 8); ++d) {
            img.byte(at + 2 * d + 1, obd0 ? int(std::lround(5500 / 62.52 + 128)) : TRom::encodeExponentRpm(5500));
            img.byte(at + 2 * d, obd0 ? int(std::lround(5000 / 62.52 + 128)) : TRom::encodeExponentRpm(5000));
        }
    }
    img.byte(e(17), 0xFF);
    if (e(20)) {
        img.byte(e(20), TRom::encodeExponentRpm(4000));
        img.byte(e(21), TRom::encodeExponentRpm(3500));
    }
    if (e(25)) {
        if (obd0)
            img.byte(e(25), 1848000 / 8000);
        else
            img.word(e(25), 1875000 / 1200);
    }
    const int switchBytes[][2] = {{26, 0xFF}, {27, 0x00}, {28, 0xFF}, {29, 0xFF}, {30, 0x00},
                                  {31, 0x44}, {32, 0x00}, {33, 0xFF}, {34, 0xFF}, {35, 0x00}};
    for (const auto& s : switchBytes)
        if (e(s[0]))
            img.byte(e(s[0]), s[1]);
    if (const int at = e(36)) {
        const int factors[] = {32768, 32768, 34078, 34078, 31621, 31621, 23592, 23592};
        for (int k = 0; k < 8; ++k)
            img.word(at + 2 + 4 * k, int(std::lround(0.95 * factors[k])));
    }
    if (const int at = e(37)) {
        const int thresholds[] = {0x1C, 0x30, 0x48, 0x60};
        for (int k = 0; k < 4; ++k)
            img.word(at + 2 * k, thresholds[k]);
    }
    if (e(39))
        img.word(e(39), 32768 + 3277);
    if (e(40)) {
        img.word(e(40), 1875000 / 4500);
        img.word(e(41), 1875000 / 4400);
    }
    if (e(42)) {
        img.word(e(42), 1875000 / 7000);
        img.word(e(43), 1875000 / 6700);
    }
    if (e(44))
        img.byte(e(44), 180);
    if (e(47))
        img.byte(e(47), 0xFF);
    if (vexor) {
        img.word(e(50), 32768);
        for (int k = 51; k <= 54; ++k)
            img.word(e(k), 32768);
        img.word(e(56), 1875000 / 6800);
    }

    // Checksum: the image bytes add up to 0 modulo 256.
    if (const int at = e(0)) {
        img.byte(at, 0);
        unsigned sum = 0;
        for (char ch : img.bytes())
            sum += quint8(ch);
        img.byte(at, int((256 - (sum & 0xFF)) & 0xFF));
    }
    QByteArray out = img.bytes();
    out.append(o.notes);
    return out;
}
