#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Builds synthetic ROM images of every supported family: signature, scales,
// fuel and ignition maps with multipliers, settings bytes and a zero checksum,
// at the family's own addresses. Tests, benchmarks and the demo use them.
struct TRomGenOptions {
    QString family = QStringLiteral("p28");
    int rows = 20;    // only the extended family stores its table shape
    int columns = 24; // in the image; other families have a fixed shape
    QByteArray notes;
    quint32 seed = 1; // varies the map values, so two images differ
};

// Family names accepted by generateRom, in identification-table order.
[[nodiscard]] QStringList romGenFamilies();
// Throws EVexorError for an unknown family or a shape that does not fit.
[[nodiscard]] QByteArray generateRom(const TRomGenOptions& options);
