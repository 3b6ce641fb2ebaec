#include "rom/mdlRomSettings.h"

#include "rom/clsRom.h"

#include <algorithm>

void applyToRom(const TSettings& settings, TRom& rom)
{
    // The store keeps every value in range; the clamps only guard the casts.
    const auto gap = [](int v) { return static_cast<quint16>(std::clamp(v, 0, 65535)); };
    rom.RevDelta = gap(settings.options.revDelta);
    rom.LaunchDelta = gap(settings.options.launchDelta);
    rom.ShiftDelta = gap(settings.options.shiftDelta);
    rom.VTECDelta = gap(settings.options.vtecDelta);
    rom.IABDelta = gap(settings.options.iabDelta);
    rom.IgnitionOffset = static_cast<qint8>(std::clamp(settings.general.ignitionOffset, -128, 127));
}

void collectFromRom(const TRom& rom, TSettings& settings) { settings.general.ignitionOffset = rom.IgnitionOffset; }
