#pragma once

#include <QString>
#include <QtGlobal>
#include <array>

// Base family codes: what the signature of an image says it derives from.
enum TBaseType : quint8 {
    btP28 = 0,
    btP30 = 1,
    btP72 = 2,
    btP13 = 3,
    btPR3 = 4,
    btJDMPW0 = 5,
    btEDMPW0 = 6,
    btPM6 = 7,
    btPR4 = 8,
    btReserved9 = 9,
    btVexorAu = 10,
    btVexorAuNoMap = 11,
    btNissan = 12,
    btUnknown = 13,
};

enum TNissanFamily : quint8 { nfKA = 0, nfSR = 1, nfVG = 2, nfRB = 3 };

// The per-family address map: 200 numbered 16-bit entries, 0 meaning absent.
// Most are image offsets; a few hold packed data (table shapes, pair counts,
// the rev-scale period constant, the custom MAP sensor range).
class TRomAddresses {
public:
    static constexpr int Count = 200;

    void clear() { m_entries.fill(0); }
    [[nodiscard]] quint16 at(int index) const;
    void set(int index, quint16 value);
    [[nodiscard]] const QString& baseName() const { return m_baseName; }
    void setBaseName(const QString& name) { m_baseName = name; }

    // Installs the built-in map of a base type (for Nissan the sub-family
    // chooses the map). Codes without a map leave every entry 0.
    void install(quint8 baseType, quint8 nissanFamily);
    // True for the entries that hold packed data or plain numbers rather than
    // an image offset.
    [[nodiscard]] static bool holdsValue(int index);

private:
    std::array<quint16, Count> m_entries{};
    QString m_baseName;
};
