#include "rom/ui/frmNewRom.h"

#include "settings/mdlMessages.h"
#include "settings/mdlServices.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

TNewRomForm::TNewRomForm(const QString& folder, FolderOpener openFolder, QWidget* parent)
    : QDialog(parent), m_folder(folder), m_openFolder(std::move(openFolder))
{
    if (!m_openFolder)
        m_openFolder = [](const QString& f) { QDesktopServices::openUrl(QUrl::fromLocalFile(f)); };
    setObjectName(QStringLiteral("frmNewRom"));
    setWindowTitle(QStringLiteral("New ROM"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Templates:"), this));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("lbTemplates"));
    layout->addWidget(m_list);

    auto* buttons = new QHBoxLayout;
    auto* openButton = new QPushButton(QStringLiteral("Open Folder"), this);
    openButton->setObjectName(QStringLiteral("btnOpenFolder"));
    openButton->setToolTip(m_folder);
    buttons->addWidget(openButton);
    buttons->addStretch();
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = box->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("btnOK"));
    box->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    buttons->addWidget(box);
    layout->addLayout(buttons);

    connect(openButton, &QPushButton::clicked, this, [this] { m_openFolder(m_folder); });
    connect(box, &QDialogButtonBox::accepted, this, [this] {
        if (!selectedPath().isEmpty())
            accept();
    });
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] {
        if (!selectedPath().isEmpty())
            accept();
    });
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) { m_ok->setEnabled(row >= 0); });
    refill();
}

void TNewRomForm::refill()
{
    m_templates = listNewRomTemplates(m_folder);
    m_list->clear();
    for (const auto& t : m_templates)
        m_list->addItem(t.name);
    if (!m_templates.isEmpty())
        m_list->setCurrentRow(0);
    m_ok->setEnabled(m_list->currentRow() >= 0);
}

QString TNewRomForm::selectedPath() const
{
    const int row = m_list->currentRow();
    return row >= 0 && row < m_templates.size() ? m_templates.at(row).path : QString();
}

std::optional<QString> runNewRomDialog(TServices& services, QWidget* parent, TNewRomForm::FolderOpener openFolder)
{
    QString error;
    if (!ensureNewRomTemplateFolder(&error)) {
        if (services.messages)
            services.messages->showMessage(error, QString(), TMsgKind::Error, TMsgButton::OK);
        return std::nullopt;
    }
    TNewRomForm form(newRomTemplateFolder(), std::move(openFolder), parent);
    if (form.exec() != QDialog::Accepted)
        return std::nullopt;
    return form.selectedPath();
}
