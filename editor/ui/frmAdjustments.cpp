#include "editor/ui/frmAdjustments.h"

#include "settings/mdlMessages.h"
#include "settings/ui/mdlKeyFilter.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

TAdjustmentsForm::TAdjustmentsForm(IMessageService* messages, QWidget* parent) : QDialog(parent), m_messages(messages)
{
    setObjectName(QStringLiteral("AdjustmentsForm"));
    setWindowTitle(tr("Adjustments"));
    auto* grid = new QGridLayout;
    auto pair = [&](const QString& name, const QString& caption, int row, QRadioButton*& rdo, QLineEdit*& txt) {
        rdo = new QRadioButton(caption, this);
        rdo->setObjectName(QStringLiteral("rdo") + name);
        txt = new QLineEdit(QStringLiteral("0"), this);
        txt->setObjectName(QStringLiteral("txt") + name);
        setRealKeyFilter(txt, true);
        txt->installEventFilter(this);
        grid->addWidget(rdo, row, 0);
        grid->addWidget(txt, row, 1);
        QLineEdit* field = txt;
        // Choosing an option moves into its field, ready to type over.
        connect(rdo, &QRadioButton::clicked, this, [field] {
            field->setFocus(Qt::OtherFocusReason);
            field->selectAll();
        });
        // An emptied field goes back to 0, selected, so typing replaces it.
        connect(txt, &QLineEdit::textEdited, this, [field](const QString& text) {
            if (text.isEmpty()) {
                field->setText(QStringLiteral("0"));
                field->selectAll();
            }
        });
    };
    pair(QStringLiteral("Percent"), tr("Change by &percent"), 0, rdoPercent, txtPercent);
    pair(QStringLiteral("Add"), tr("&Add amount"), 1, rdoAdd, txtAdd);
    pair(QStringLiteral("Set"), tr("&Set value"), 2, rdoSet, txtSet);
    rdoPercent->setChecked(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TAdjustmentsForm::btnOKClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    txtPercent->setFocus(Qt::OtherFocusReason);
    txtPercent->selectAll();
}

TAdjustKind TAdjustmentsForm::kind() const
{
    if (rdoAdd->isChecked())
        return TAdjustKind::Add;
    if (rdoSet->isChecked())
        return TAdjustKind::Set;
    return TAdjustKind::Percent;
}

QLineEdit* TAdjustmentsForm::chosenField() const
{
    switch (kind()) {
    case TAdjustKind::Add: return txtAdd;
    case TAdjustKind::Set: return txtSet;
    case TAdjustKind::Percent: break;
    }
    return txtPercent;
}

bool TAdjustmentsForm::eventFilter(QObject* watched, QEvent* event)
{
    // Entering a field chooses its option.
    if (event->type() == QEvent::FocusIn) {
        if (watched == txtPercent)
            rdoPercent->setChecked(true);
        else if (watched == txtAdd)
            rdoAdd->setChecked(true);
        else if (watched == txtSet)
            rdoSet->setChecked(true);
    }
    return QDialog::eventFilter(watched, event);
}

void TAdjustmentsForm::btnOKClick()
{
    QLineEdit* field = chosenField();
    bool ok = false;
    const double v = QLocale::c().toDouble(field->text().trimmed(), &ok);
    if (!ok || !std::isfinite(v)) {
        if (m_messages)
            m_messages->showMessage(QStringLiteral("'%1' is not a valid floating point value").arg(field->text()),
                                    QString(), TMsgKind::Error, TMsgButton::OK);
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
        return;
    }
    m_amount = v;
    accept();
}
