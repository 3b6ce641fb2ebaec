#include "scripting/ui/dlgSelect.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

TSelectDialog::TSelectDialog(const QString& prompt, const QStringList& items, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Select"));
    auto* layout = new QVBoxLayout(this);
    lblMsg = new QLabel(prompt, this);
    lblMsg->setWordWrap(true);
    lbSelect = new QListWidget(this);
    lbSelect->setObjectName(QStringLiteral("lbSelect"));
    lbSelect->addItems(items);
    if (!items.isEmpty())
        lbSelect->setCurrentRow(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(lblMsg);
    layout->addWidget(lbSelect);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(lbSelect, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

int TSelectDialog::choose()
{
    if (exec() != QDialog::Accepted)
        return -1;
    return lbSelect->currentRow();
}
