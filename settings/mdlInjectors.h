#pragma once

// The injector definition file injectors.ini: one section per injector, its name
// shown in the injector list, with the flow size (`Size`, cc/min) and the dead
// time at seven battery voltages (`Offset`, seven comma-separated integers,
// lowest voltage first). Read only; never written by the program.

#include "settings/mdlIniFile.h"

#include <QByteArray>
#include <optional>

class TInjectorDefinitions {
public:
    static const QString DefaultInjectorName; // the one entry when the file has no injector
    static constexpr int DefaultSize = 240;
    static constexpr int DeadTimePoints = 7;
    static constexpr int DeadTimeBlockSize = 3 * DeadTimePoints;

    // Reads the file; a missing file is not an error (no file: default list).
    bool load(const QString& path, QString* error = nullptr);
    void loadText(const QString& text); // the same from memory
    [[nodiscard]] bool fileExists() const { return m_exists; }

    // Section names in file order, or the single default entry when the file is
    // missing or has no section.
    [[nodiscard]] QStringList names() const;
    // `Size` of the injector; 240 when the file, the section or the key is
    // missing, or the value is not a positive integer.
    [[nodiscard]] int size(const QString& name) const;
    // The 21-byte dead-time block of the injector; nothing when the file is
    // missing or `Offset` does not hold exactly seven entries (the caller keeps
    // its value); the default block when an entry is malformed.
    [[nodiscard]] std::optional<QByteArray> deadTimeBlock(const QString& name) const;

    // The block for an `Offset` text: seven records of a voltage byte (0xFF,
    // 0xA7, 0x93, 0x7E, 0x69, 0x54, 0x00) and a little-endian 16-bit value,
    // built from the last entry to the first; value = entry x 0.2312 rounded
    // half to even. An entry that is not an integer, or whose value does not
    // fit 0..65535, gives the default block.
    [[nodiscard]] static std::optional<QByteArray> deadTimeBlockFromText(const QString& offset);
    [[nodiscard]] static QByteArray defaultDeadTimeBlock();

private:
    TIniFile m_ini;
    bool m_exists = false;
};
