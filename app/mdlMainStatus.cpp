#include "app/mdlMainStatus.h"

#include "rom/clsRom.h"

QString romTypePaneText(const TRom& rom)
{
    if (!rom.isLoaded())
        return QString();
    QString text = rom.baseName();
    if (rom.traits().extended)
        text += QString::asprintf(" v%.2f", rom.version());
    return text;
}

QString optionsPaneText(const TRom& rom)
{
    const quint16 f = rom.FeatureFlags;
    if (f == 0 || !rom.isLoaded())
        return QString();
    QString text;
    if (f & ffBoost1) {
        text += QStringLiteral(">Boosted ");
    } else if (f & ffBoost2) {
        text += QStringLiteral(">3Bar Boosted");
    } else if (f & ffBoost3) {
        const quint16 top = rom.address(aeMapSensorMax);
        text += QString::asprintf(">%.1fBar ", (int(top) - MapSensorRangeOffset) / 1000.0);
        if (top > 1082)
            text += QStringLiteral("Boosted ");
    }
    if (f & ffIAB)
        text += QStringLiteral(">IAB ");
    if (f & ffITB)
        text += QStringLiteral(">ITB ");
    if (f & ffFinalMultiplier)
        text += QString::asprintf(">%.2f Final Multiplier", rom.finalMultiplier());
    return text;
}
