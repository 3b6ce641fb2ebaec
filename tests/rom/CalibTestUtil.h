#pragma once

// Shared by the calibration, rebuild and patch tests: generated images loaded
// into a ROM model, and files in a temporary folder.

#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "support/TestFiles.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>

inline void loadGenerated(TRom& rom, const QString& family, int rows = 20, int cols = 10, quint32 seed = 1)
{
    TRomGenOptions o;
    o.family = family;
    o.rows = rows;
    o.columns = cols;
    o.seed = seed;
    rom.reset();
    rom.buffer().loadBytes(generateRom(o));
    ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok) << family.toStdString();
}

inline QByteArray imageBytes(const TRom& rom)
{
    return QByteArray(reinterpret_cast<const char*>(rom.buffer().data()), rom.buffer().size());
}
