#include "emulator/ui/frmRTPTransfer.h"

#include "emulator/frmRTP.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>

TRTPTransferForm::TRTPTransferForm(TRTPForm& link, QWidget* parent) : QDialog(parent), m_link(link)
{
    setObjectName(QStringLiteral("frmRTPTransfer"));
    setWindowTitle(tr("Emulator"));
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setMinimumWidth(300);
    pbTransfer = new QProgressBar(this);
    pbTransfer->setObjectName(QStringLiteral("pbTransfer"));
    auto* hint = new QLabel(tr("Press Escape to cancel."), this);
    layout->addWidget(lblStatus);
    layout->addWidget(pbTransfer);
    layout->addWidget(hint);

    connect(&m_link, &TRTPForm::statusChanged, this, [this](const QString& text) {
        if (!text.isEmpty())
            lblStatus->setText(text);
    });
    connect(&m_link, &TRTPForm::progress, this, [this](int address, int length) {
        pbTransfer->setMaximum(std::max(1, length));
        pbTransfer->setValue(address);
    });
    connect(&m_link, &TRTPForm::started, this, [this](int) {
        pbTransfer->setMaximum(std::max(1, m_link.length()));
        pbTransfer->setValue(0);
    });
    connect(&m_link, &TRTPForm::finished, this, &TRTPTransferForm::linkFinished);
}

void TRTPTransferForm::showTransfer()
{
    lblStatus->setText(m_link.statusText());
    pbTransfer->setMaximum(std::max(1, m_link.length()));
    pbTransfer->setValue(0);
    show();
}

void TRTPTransferForm::reject()
{
    if (m_link.busy())
        m_link.cancel();
    else
        hide();
}

void TRTPTransferForm::closeEvent(QCloseEvent* e)
{
    if (m_link.busy())
        e->ignore();
    else
        QDialog::closeEvent(e);
}

void TRTPTransferForm::linkFinished(const TRTPResult&)
{
    // Hidden before any message of the operation is shown.
    hide();
}
