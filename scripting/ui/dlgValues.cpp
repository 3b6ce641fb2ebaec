#include "scripting/ui/dlgValues.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

TValuesDialog::TValuesDialog(const QString& message, const QStringList& keys, const QStringList& values,
                             QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Values"));
    auto* layout = new QVBoxLayout(this);
    lblMsg = new QLabel(message, this);
    lblMsg->setWordWrap(true);
    vleValues = new QTableWidget(int(keys.size()), 2, this);
    vleValues->setObjectName(QStringLiteral("vleValues"));
    vleValues->setHorizontalHeaderLabels({QStringLiteral("Key"), QStringLiteral("Value")});
    vleValues->verticalHeader()->hide();
    vleValues->horizontalHeader()->setStretchLastSection(true);
    for (int i = 0; i < keys.size(); ++i) {
        auto* key = new QTableWidgetItem(keys.at(i));
        key->setFlags(Qt::ItemIsEnabled);
        vleValues->setItem(i, 0, key);
        vleValues->setItem(i, 1, new QTableWidgetItem(i < values.size() ? values.at(i) : QString()));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(lblMsg);
    layout->addWidget(vleValues);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (!keys.isEmpty())
        vleValues->setCurrentCell(0, 1);
}

QStringList TValuesDialog::values() const
{
    QStringList out;
    for (int i = 0; i < vleValues->rowCount(); ++i)
        out << vleValues->item(i, 1)->text();
    return out;
}

std::optional<QStringList> TValuesDialog::edit()
{
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return values();
}
