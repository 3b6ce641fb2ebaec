#include "rom/mdlRomFiles.h"

#include "rom/clsRom.h"

#include "settings/mdlFiles.h"

bool saveRomImage(TRom& rom, const QString& path, QString* error)
{
    rom.fixChecksum();
    if (!writeFileAtomic(path, rom.buffer().fileBytes(), error))
        return false;
    rom.buffer().markSaved();
    return true;
}
