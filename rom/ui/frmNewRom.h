#pragma once

// The New ROM dialog: the template images of the template folder, by name.
// Double-click or OK gives the chosen file's full path; a button opens the
// folder in the file manager so the user can add templates.

#include "rom/mdlNewRom.h"

#include <QDialog>
#include <functional>
#include <optional>

class QLabel;
class QListWidget;
class QPushButton;
struct TServices;

class TNewRomForm : public QDialog {
    Q_OBJECT
public:
    using FolderOpener = std::function<void(const QString& folder)>;

    // Lists the templates of `folder`; `openFolder` shows a folder in the file
    // manager (the desktop's when empty).
    explicit TNewRomForm(const QString& folder, FolderOpener openFolder = {}, QWidget* parent = nullptr);

    // The chosen template's full path; empty when none is selected.
    [[nodiscard]] QString selectedPath() const;
    [[nodiscard]] QListWidget* list() const { return m_list; }
    // Where templates go, shown while the folder holds none.
    [[nodiscard]] QLabel* emptyHint() const { return m_emptyHint; }
    // Lists the folder again (after the user added files through the file
    // manager; done each time the dialog becomes active again).
    void refill();

protected:
    void changeEvent(QEvent* e) override;

private:
    QString m_folder;
    FolderOpener m_openFolder;
    QList<TNewRomTemplate> m_templates;
    QListWidget* m_list = nullptr;
    QLabel* m_emptyHint = nullptr;
    QPushButton* m_openButton = nullptr;
    QPushButton* m_ok = nullptr;
};

// The New ROM command up to the choice: creates the template folder when
// missing (a failure is shown as an error) and lets the user choose. The chosen
// path, or nothing when cancelled. The main window then runs its close query,
// closes the current ROM and loads the template, which opens untitled.
std::optional<QString> runNewRomDialog(TServices& services, QWidget* parent = nullptr,
                                       TNewRomForm::FolderOpener openFolder = {});
