#include "rom/ui/frmNewRom.h"

#include "settings/mdlMessages.h"
#include "settings/mdlServices.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
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
    // A first start has no templates: an empty list alone says nothing about
    // where they come from.
    m_emptyHint = new QLabel(QStringLiteral("No templates yet. A template is a ROM image whose name ends in "
                                            "\".new\"; put one into the template folder:\n%1")
                                 .arg(QDir::toNativeSeparators(m_folder)),
                             this);
    m_emptyHint->setObjectName(QStringLiteral("lblNoTemplates"));
    m_emptyHint->setWordWrap(true);
    m_emptyHint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_emptyHint);

    auto* buttons = new QHBoxLayout;
    m_openButton = new QPushButton(QStringLiteral("Open Folder"), this);
    auto* openButton = m_openButton;
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
    m_emptyHint->setVisible(m_templates.isEmpty());
    m_openButton->setDefault(m_templates.isEmpty());
}

void TNewRomForm::changeEvent(QEvent* e)
{
    QDialog::changeEvent(e);
    // Back from the file manager: show what the user put into the folder,
    // keeping the chosen template.
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) {
        const QString chosen = selectedPath();
        refill();
        for (int i = 0; i < m_templates.size(); ++i)
            if (m_templates.at(i).path == chosen)
                m_list->setCurrentRow(i);
    }
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
