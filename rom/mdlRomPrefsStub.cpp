#include "rom/clsRom.h"
#include "rom/mdlRomFiles.h"
void applyRomPreferences(TRom&) {}
