#include "rom/mdlCalibrationFlows.h"

#include "rom/clsRom.h"
#include "rom/mdlCalibration.h"
#include "settings/mdlErrors.h"
#include "settings/mdlFileDialogs.h"
#include "settings/mdlMessages.h"
#include "settings/mdlServices.h"

namespace {

void showError(TServices& services, const QString& text)
{
    if (services.messages)
        services.messages->showMessage(text, QString(), TMsgKind::Error, TMsgButton::OK);
}

TFileDialogRequest request(const char* title, const char* filter)
{
    TFileDialogRequest r;
    r.title = QString::fromLatin1(title);
    r.filter = QString::fromLatin1(filter);
    r.defaultExt = QString::fromLatin1(CalibrationDefaultExt);
    return r;
}

} // namespace

bool runExportCalibration(const TRom& rom, TServices& services)
{
    if (!rom.isLoaded() || !services.fileDialogs)
        return false;
    const auto file = services.fileDialogs->saveFile(request(CalibrationExportTitle, CalibrationExportFilter));
    if (!file)
        return false;
    try {
        exportCalibration(rom, *file, calibrationKindForFile(*file));
    } catch (const EVexorError& e) {
        showError(services, e.message());
        return false;
    }
    return true;
}

bool runImportCalibration(TRom& rom, TServices& services)
{
    if (!rom.isLoaded() || !services.fileDialogs)
        return false;
    const auto file = services.fileDialogs->openFile(request(CalibrationImportTitle, CalibrationImportFilter));
    if (!file)
        return false;
    try {
        importCalibration(rom, *file, calibrationKindForFile(*file));
    } catch (const EVexorError& e) {
        showError(services, e.message());
        return false;
    }
    return true;
}
