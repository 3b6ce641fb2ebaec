// The File commands: the ROM file flows of the document, run from the window.

#include "app/frmMain.h"

#include "editor/ui/VexorGrid.h"

void TMainForm::FileOpenExecute()
{
    m_doc.open();
}

void TMainForm::FileReopenExecute(const QString& path)
{
    runCommand(QStringLiteral("FileReopen"), [&] { m_doc.reopen(path); });
}

void TMainForm::FileSaveExecute()
{
    m_doc.save();
}

void TMainForm::FileSaveAsExecute()
{
    m_doc.saveAs();
}

void TMainForm::FileQuickSaveExecute()
{
    m_doc.quickSave();
}

void TMainForm::FileCloseExecute()
{
    m_doc.close();
}

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
