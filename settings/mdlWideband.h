#pragma once

// The wideband definition file wideband.ini: one section per sensor conversion,
// its name shown in the settings window's conversion list, with 16 points
// (`volt0`..`volt15`, `lambda0`..`lambda15`, floats, default 0). Read only.

#include "settings/mdlIniFile.h"
#include "settings/mdlSettings.h"

class TWidebandDefinitions {
public:
    // Reads the file; a missing file gives an empty list and is not an error.
    bool load(const QString& path, QString* error = nullptr);
    void loadText(const QString& text); // the same from memory

    // Section names in file order (empty when the file is missing).
    [[nodiscard]] QStringList names() const { return m_ini.sections(); }
    [[nodiscard]] int count() const { return static_cast<int>(names().size()); }
    [[nodiscard]] TLambdaPoints points(const QString& name) const;
    // Points of the index-th conversion; all zero outside the list.
    [[nodiscard]] TLambdaPoints points(int index) const;

private:
    TIniFile m_ini;
};
