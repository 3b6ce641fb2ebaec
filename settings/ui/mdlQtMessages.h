#pragma once

// The message service on screen: QMessageBox for messages and QInputDialog for
// the one-line input box, modal, on top, centred on the main window.

#include "settings/mdlMessages.h"

#include <QPointer>
#include <QWidget>

class TQtMessageService : public IMessageService {
public:
    // `parent` is the main window the boxes centre on (may be set later).
    explicit TQtMessageService(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParentWindow(QWidget* parent) { m_parent = parent; }

protected:
    int doShowMessage(const TMessage& message) override;
    std::optional<QString> doInputQuery(const QString& caption, const QString& prompt, const QString& value) override;

private:
    QPointer<QWidget> m_parent;
};
