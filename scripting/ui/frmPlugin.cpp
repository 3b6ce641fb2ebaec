#include "scripting/ui/frmPlugin.h"

#include <functional>

#include "scripting/mdlPluginList.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <functional>

namespace {

constexpr int ListMinimumWidth = 420;
constexpr int ListMinimumHeight = 220;

// A line under every entry keeps long paths apart.
class TSeparatedDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
    }
};

} // namespace

TPluginForm::TPluginForm(TPluginEditor& editor, QWidget* parent) : QDialog(parent), m_editor(editor)
{
    setWindowTitle(QStringLiteral("Plugin Manager"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Installed plugins (grey: the file is missing):"), this));

    auto* body = new QHBoxLayout;
    lbPlugins = new QListWidget(this);
    lbPlugins->setObjectName(QStringLiteral("lbPlugins"));
    lbPlugins->setItemDelegate(new TSeparatedDelegate(lbPlugins));
    lbPlugins->setMinimumSize(ListMinimumWidth, ListMinimumHeight);
    body->addWidget(lbPlugins, 1);
    auto* side = new QVBoxLayout;
    // Each button calls its editor command through a plain lambda: a captured
    // pointer to member read back inside the slot trips AddressSanitizer
    // (stack-buffer-underflow) with this compiler.
    const struct {
        const char* name;
        const char* caption;
        std::function<void(TPluginEditor&)> command;
    } commands[] = {
        {"btnAdd", "&Add", [](TPluginEditor& e) { e.add(); }},
        {"btnReplace", "&Replace", [](TPluginEditor& e) { e.replace(); }},
        {"btnDelete", "&Delete", [](TPluginEditor& e) { e.remove(); }},
        {"btnUp", "Move &Up", [](TPluginEditor& e) { e.moveUp(); }},
        {"btnDown", "Move Do&wn", [](TPluginEditor& e) { e.moveDown(); }},
        {"btnDeletePaths", "Delete &Missing", [](TPluginEditor& e) { e.deletePaths(); }},
    };
    for (const auto& c : commands) {
        auto* b = new QPushButton(tr(c.caption), this);
        b->setObjectName(QLatin1String(c.name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, command = c.command] { command(m_editor); });
        side->addWidget(b);
        m_buttons << b;
    }
    side->addStretch(1);
    auto* install = new QPushButton(tr("&Install Plugin..."), this);
    install->setObjectName(QStringLiteral("btnInstall"));
    install->setAutoDefault(false);
    connect(install, &QPushButton::clicked, this, [this] { m_editor.install(); });
    side->addWidget(install);
    m_buttons << install;
    body->addLayout(side);
    layout->addLayout(body, 1);

    auto* pathRow = new QHBoxLayout;
    auto* pathLabel = new QLabel(tr("&Path:"), this);
    pathRow->addWidget(pathLabel);
    txtPath = new QLineEdit(this);
    pathLabel->setBuddy(txtPath);
    txtPath->setObjectName(QStringLiteral("txtPath"));
    txtPath->setToolTip(tr("Double-click to choose a file"));
    txtPath->installEventFilter(this);
    connect(txtPath, &QLineEdit::textEdited, this, [this](const QString& text) { m_editor.setPathText(text); });
    pathRow->addWidget(txtPath, 1);
    auto* browse = new QPushButton(tr("&Browse..."), this);
    browse->setObjectName(QStringLiteral("btnBrowse"));
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, [this] { m_editor.browse(); });
    pathRow->addWidget(browse);
    m_buttons << browse;
    layout->addLayout(pathRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &TPluginForm::okClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(lbPlugins, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_refreshing)
            m_editor.select(row);
    });
    m_editor.changed = [this] { refresh(); };
    refresh();
    // The list would select its first entry on taking the focus; the dialog
    // opens with nothing selected.
    txtPath->setFocus();
}

TPluginForm::~TPluginForm() { m_editor.changed = {}; }

QPushButton* TPluginForm::button(const QString& name) const
{
    for (QPushButton* b : m_buttons)
        if (b->objectName() == name)
            return b;
    return nullptr;
}

bool TPluginForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtPath && event->type() == QEvent::MouseButtonDblClick) {
        m_editor.browse();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TPluginForm::refresh()
{
    m_refreshing = true;
    const QStringList& paths = m_editor.paths();
    lbPlugins->clear();
    const QBrush missing = palette().brush(QPalette::Disabled, QPalette::Text);
    for (int i = 0; i < paths.size(); ++i) {
        auto* item = new QListWidgetItem(paths.at(i), lbPlugins);
        if (!m_editor.entryExists(i))
            item->setForeground(missing);
    }
    lbPlugins->setCurrentRow(m_editor.selected());
    if (txtPath->text() != m_editor.pathText())
        txtPath->setText(m_editor.pathText());
    button(QStringLiteral("btnAdd"))->setEnabled(m_editor.canAdd());
    button(QStringLiteral("btnReplace"))->setEnabled(m_editor.canReplace());
    button(QStringLiteral("btnDelete"))->setEnabled(m_editor.canDelete());
    button(QStringLiteral("btnUp"))->setEnabled(m_editor.canMoveUp());
    button(QStringLiteral("btnDown"))->setEnabled(m_editor.canMoveDown());
    button(QStringLiteral("btnDeletePaths"))->setEnabled(m_editor.canDeletePaths());
    m_refreshing = false;
}

void TPluginForm::okClick()
{
    if (m_editor.save())
        accept();
}
