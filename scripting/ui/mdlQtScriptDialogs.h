#pragma once

// The script dialogs on screen: the selection and values dialogs, modal over
// the main window, and QDesktopServices for pages and documents.

#include "scripting/mdlScriptDialogs.h"

#include <QPointer>
#include <QWidget>

class TQtScriptDialogs : public IScriptDialogs {
public:
    explicit TQtScriptDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    int select(const QString& prompt, const QStringList& items) override;
    std::optional<QStringList> values(const QString& message, const QStringList& keys,
                                      const QStringList& values) override;
    bool openUrl(const QString& url) override;

private:
    QPointer<QWidget> m_parent;
};
