#pragma once

#include <QString>

class TRom;

// Fixes the checksum and writes image and notes atomically: the target is
// replaced only after a complete write, so a failed save leaves the old file
// intact and the image still modified. On success the image is marked saved.
bool saveRomImage(TRom& rom, const QString& path, QString* error);
