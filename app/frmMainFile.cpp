// The File commands: the ROM file flows of the document, run from the window.

#include "app/frmMain.h"

#include "editor/ui/VexorGrid.h"
#include "rom/mdlCalibrationFlows.h"
#include "rom/ui/frmNewRom.h"
#include "rom/ui/frmNotes.h"
#include "rom/ui/frmRebuildTables.h"

#include <QDesktopServices>
#include <QUrl>

void TMainForm::FileOpenExecute() { m_doc.open(); }

void TMainForm::FileReopenExecute(const QString& path)
{
    runCommand(QStringLiteral("FileReopen"), [&] { m_doc.reopen(path); });
}

void TMainForm::FileSaveExecute() { m_doc.save(); }

void TMainForm::FileSaveAsExecute() { m_doc.saveAs(); }

void TMainForm::FileQuickSaveExecute() { m_doc.quickSave(); }

void TMainForm::FileCloseExecute() { m_doc.close(); }

void TMainForm::FileReloadExecute()
{
    // The image in memory is identified again; the file is not read.
    m_doc.reload();
}

void TMainForm::FileExitExecute()
{
    // close() runs the window's close query (recording, then ROM).
    close();
}

void TMainForm::FileNewExecute()
{
    const std::optional<QString> path = runNewRomDialog(
        m_services, this, [](const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
    // A template opens untitled, so saving it asks for a name.
    if (path && m_doc.closeQuery())
        m_doc.loadFile(*path);
}

void TMainForm::FileImportExecute() { runImportCalibration(m_rom, m_services); }

void TMainForm::FileExportExecute() { runExportCalibration(m_rom, m_services); }

void TMainForm::ToolsNotesExecute()
{
    if (!m_notes)
        return;
    m_notes->loadNotes();
    m_notes->show();
    m_notes->raise();
    m_notes->activateWindow();
}

void TMainForm::ToolsRebuildTablesExecute() { runRebuildTables(m_rom, m_marks, m_services, this); }
