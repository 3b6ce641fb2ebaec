#pragma once

// The adjustments window: change the selected cells by a percentage, by an
// amount, or set them to a value. The window only gathers the choice; the
// caller applies it to the selection as one undo step when it closes with OK.

#include "editor/mdlTableEdit.h"

#include <QDialog>

class IMessageService;
class QLineEdit;
class QRadioButton;

class TAdjustmentsForm : public QDialog {
    Q_OBJECT
public:
    explicit TAdjustmentsForm(IMessageService* messages, QWidget* parent = nullptr);

    [[nodiscard]] TAdjustKind kind() const;
    // The number in the chosen field (valid once the window closed with OK).
    [[nodiscard]] double amount() const { return m_amount; }

    // OK: accepts only when the chosen field holds a number.
    void btnOKClick();

    QRadioButton* rdoPercent;
    QRadioButton* rdoAdd;
    QRadioButton* rdoSet;
    QLineEdit* txtPercent;
    QLineEdit* txtAdd;
    QLineEdit* txtSet;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    [[nodiscard]] QLineEdit* chosenField() const;

    IMessageService* m_messages;
    double m_amount = 0;
};
