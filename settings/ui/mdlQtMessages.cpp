#include "settings/ui/mdlQtMessages.h"

#include <QAbstractButton>
#include <QInputDialog>
#include <QMessageBox>

namespace {
QMessageBox::Icon iconOf(TMsgKind kind)
{
    switch (kind) {
    case TMsgKind::Warning: return QMessageBox::Warning;
    case TMsgKind::Error: return QMessageBox::Critical;
    case TMsgKind::Information: return QMessageBox::Information;
    case TMsgKind::Confirmation: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}
} // namespace

int TQtMessageService::doShowMessage(const TMessage& message)
{
    QMessageBox::StandardButtons buttons;
    if (message.buttons & TMsgButton::Yes)
        buttons |= QMessageBox::Yes;
    if (message.buttons & TMsgButton::No)
        buttons |= QMessageBox::No;
    if (message.buttons & TMsgButton::OK)
        buttons |= QMessageBox::Ok;
    if (message.buttons & TMsgButton::Cancel)
        buttons |= QMessageBox::Cancel;

    QMessageBox box(iconOf(message.kind), message.title, displayLineBreaks(message.text), buttons, m_parent.data());
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok: return mrOk;
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    case QMessageBox::Cancel: return mrCancel;
    default:
        // Closed some other way: the box's escape answer, else Cancel.
        return message.buttons == TMsgButtons(TMsgButton::OK) ? mrOk : mrCancel;
    }
}

std::optional<QString> TQtMessageService::doInputQuery(const QString& caption, const QString& prompt,
                                                       const QString& value)
{
    QInputDialog dlg(m_parent.data());
    dlg.setWindowFlag(Qt::WindowStaysOnTopHint);
    dlg.setWindowTitle(caption);
    dlg.setLabelText(displayLineBreaks(prompt));
    dlg.setTextValue(value);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.textValue();
}
