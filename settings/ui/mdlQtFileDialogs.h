#pragma once

// The file-dialog service on screen, over QFileDialog.

#include "settings/mdlFileDialogs.h"

#include <QPointer>
#include <QWidget>

class TQtFileDialogService : public IFileDialogService {
public:
    explicit TQtFileDialogService(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParentWindow(QWidget* parent) { m_parent = parent; }

    std::optional<QString> openFile(const TFileDialogRequest& request) override;
    std::optional<QString> saveFile(const TFileDialogRequest& request) override;

private:
    std::optional<QString> run(const TFileDialogRequest& request, bool save);
    QPointer<QWidget> m_parent;
};
