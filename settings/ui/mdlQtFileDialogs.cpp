#include "settings/ui/mdlQtFileDialogs.h"

#include <QFileDialog>

std::optional<QString> TQtFileDialogService::openFile(const TFileDialogRequest& request) { return run(request, false); }

std::optional<QString> TQtFileDialogService::saveFile(const TFileDialogRequest& request) { return run(request, true); }

std::optional<QString> TQtFileDialogService::run(const TFileDialogRequest& request, bool save)
{
    QFileDialog dlg(m_parent.data(), request.title, request.initialDir);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = qtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dlg.setNameFilters(filters);
        dlg.selectNameFilter(qtSelectedFilter(request.filter, request.filterIndex));
    }
    dlg.setDefaultSuffix(defaultSuffix(request.defaultExt));
    if (!request.fileName.isEmpty())
        dlg.selectFile(request.fileName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return dlg.selectedFiles().constFirst();
}
