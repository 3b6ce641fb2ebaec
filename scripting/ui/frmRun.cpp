#include "scripting/ui/frmRun.h"

#include "scripting/mdlScriptHost.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TRunForm::TRunForm(IScriptHost& host, QWidget* parent) : QDialog(parent), m_host(host)
{
    setWindowTitle(QStringLiteral("Run Command"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Script function or expression to run:"), this));
    cbProcedures = new QComboBox(this);
    cbProcedures->setObjectName(QStringLiteral("cbProcedures"));
    cbProcedures->setEditable(true);
    cbProcedures->setInsertPolicy(QComboBox::NoInsert);
    cbProcedures->setMinimumWidth(320);
    layout->addWidget(cbProcedures);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &TRunForm::okClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TRunForm::showEvent(QShowEvent* e)
{
    cbProcedures->clear();
    for (const QString& p : m_host.procedures())
        if (!p.startsWith(u'_'))
            cbProcedures->addItem(p + QStringLiteral("()"));
    cbProcedures->lineEdit()->selectAll();
    cbProcedures->setFocus();
    QDialog::showEvent(e);
}

void TRunForm::okClick()
{
    const QString text = cbProcedures->currentText();
    hide();
    try {
        m_host.evaluate(text);
        accept();
    } catch (const EScriptError&) {
        reject(); // the host has shown the error
    }
}
