#pragma once

// What the ROM model takes from the settings: the five rpm gaps of the option
// editors and the ignition offset. Registered as a settings consumer by the
// owner of the ROM model: store.addConsumer([&rom](const TSettings& s) { applyToRom(s, rom); });

#include "settings/mdlSettings.h"

class TRom;

void applyToRom(const TSettings& settings, TRom& rom);
// The reverse, for values the ROM side changed (the ignition offset tool).
void collectFromRom(const TRom& rom, TSettings& settings);
