#include "rom/mdlRomFiles.h"

#include "rom/clsRom.h"

#include <QSaveFile>

bool saveRomImage(TRom& rom, const QString& path, QString* error)
{
    rom.fixChecksum();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray bytes = rom.buffer().fileBytes();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    rom.buffer().markSaved();
    return true;
}
