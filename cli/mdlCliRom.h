#pragma once

#include "rom/clsRom.h"

#include <QJsonObject>
#include <QString>

// Opens a ROM as the editor does; a refused file is a CliError with exit 2.
void cliOpenRom(TRom& rom, const QString& path);
// "lcf", "hcf", "lci", "hci" to a table kind; anything else is refused.
int cliTableKind(const QString& name);
[[nodiscard]] QString cliTableName(int kind);
// Writes image and notes with the checksum fixed; nothing is written on failure.
void cliSaveRom(TRom& rom, const QString& path);
[[nodiscard]] QString cliFormatNumber(double v, int decimals = 2);
