#include "options/ui/frmOptions.h"

#include "editor/ui/VexorGrid.h"
#include "options/mdlCorrectionGrids.h"
#include "rom/clsRom.h"
#include "settings/mdlErrors.h"
#include "settings/mdlMessages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString storedTip(const TOptionField& f, const TOptionValue& v)
{
    QString tip = f.tip;
    if (v.raw >= 0) {
        if (!tip.isEmpty())
            tip += QLatin1Char('\n');
        tip += QStringLiteral("Stored: %1 (0x%2)").arg(v.raw).arg(v.raw, 2, 16, QLatin1Char('0'));
    }
    return tip;
}

bool isEnterKey(const QEvent* e)
{
    if (e->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(e)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

TOptionsPanel::TOptionsPanel(TRom& rom, TTableStructureMarks& marks, IMessageService* messages, QWidget* parent)
    : QWidget(parent), m_rom(rom), m_marks(marks), m_messages(messages)
{
    setObjectName(QStringLiteral("pnlOptionsHost"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget(this);
    layout->addWidget(m_stack);
}

TOptionsPanel::~TOptionsPanel() = default;

TOptionContext TOptionsPanel::context() const { return TOptionContext{m_rom, m_units, &m_marks, m_messages}; }

QWidget* TOptionsPanel::treeWidget() const { return tvOptions; }

bool TOptionsPanel::showsTree() const { return pnlOptions2 && m_stack->currentWidget() == pnlOptions2; }

QWidget* TOptionsPanel::control(const QString& name) const { return m_controls.value(name); }

void TOptionsPanel::clearForm()
{
    m_bound.clear();
    m_grids.clear();
    m_controls.clear();
    m_pages.clear();
    m_subControls.clear();
    m_gearFields.clear();
    gbTransSetup = nullptr;
    tvOptions = nullptr;
    pgcOptions = nullptr;
    delete pnlOptions;
    delete pnlOptions2;
    pnlOptions = nullptr;
    pnlOptions2 = nullptr;
}

void TOptionsPanel::rebuild()
{
    clearForm();
    if (m_rom.traits().optionTree)
        buildTree();
    else
        buildSimple();
    fill();
}

QGroupBox* TOptionsPanel::groupBox(QWidget* page, const QString& title)
{
    const QString name = QStringLiteral("gb_%1_%2").arg(page->objectName(), title);
    if (auto* existing = page->findChild<QGroupBox*>(name, Qt::FindDirectChildrenOnly))
        return existing;
    auto* box = new QGroupBox(title, page);
    box->setObjectName(name);
    new QFormLayout(box);
    auto* pageLayout = static_cast<QVBoxLayout*>(page->layout());
    pageLayout->insertWidget(pageLayout->count() - 1, box); // before the closing stretch
    return box;
}

void TOptionsPanel::buildSimple()
{
    pnlOptions = new QWidget;
    pnlOptions->setObjectName(QStringLiteral("pnlOptions"));
    auto* row = new QHBoxLayout(pnlOptions);
    for (const QString& title : {QStringLiteral("Limits"), QStringLiteral("Switches")}) {
        auto* column = new QWidget(pnlOptions);
        column->setObjectName(QStringLiteral("pnlOptions%1").arg(title));
        auto* v = new QVBoxLayout(column);
        v->addStretch(1);
        row->addWidget(column, 0, Qt::AlignTop);
        m_pages.insert(title, column);
    }
    row->addStretch(1);
    for (const TOptionField& f : simplePageFields())
        addField(f, groupBox(m_pages.value(f.group), f.group));
    m_stack->addWidget(pnlOptions);
    m_stack->setCurrentWidget(pnlOptions);
}

QWidget* TOptionsPanel::pageWidget(const QString& page) { return m_pages.value(page); }

void TOptionsPanel::buildTree()
{
    pnlOptions2 = new QWidget;
    pnlOptions2->setObjectName(QStringLiteral("pnlOptions2"));
    auto* row = new QHBoxLayout(pnlOptions2);
    tvOptions = new QTreeWidget(pnlOptions2);
    tvOptions->setObjectName(QStringLiteral("tvOptions"));
    tvOptions->setHeaderHidden(true);
    tvOptions->setFixedWidth(210);
    tvOptions->installEventFilter(this);
    row->addWidget(tvOptions);
    pgcOptions = new QStackedWidget(pnlOptions2);
    pgcOptions->setObjectName(QStringLiteral("pgcOptions"));
    row->addWidget(pgcOptions, 1);

    auto contentPage = [this](const QString& name, QWidget* parent) {
        auto* scroll = new QScrollArea(parent);
        scroll->setWidgetResizable(true);
        auto* inner = new QWidget;
        inner->setObjectName(name);
        auto* v = new QVBoxLayout(inner);
        v->addStretch(1);
        scroll->setWidget(inner);
        m_pages.insert(name, inner);
        return scroll;
    };
    for (const char* page : OptionPages) {
        const QString name = QString::fromLatin1(page);
        QString subControl;
        for (const TOptionSubPage& s : OptionSubPages)
            if (name == QLatin1String(s.top))
                subControl = QString::fromLatin1(s.control);
        if (subControl.isEmpty()) {
            pgcOptions->addWidget(contentPage(name, pgcOptions));
            continue;
        }
        auto* tabs = new QTabWidget(pgcOptions);
        tabs->setObjectName(subControl);
        m_subControls.insert(subControl, tabs);
        m_pages.insert(name, tabs);
        for (const TOptionSubPage& s : OptionSubPages)
            if (name == QLatin1String(s.top)) {
                const QString sub = QString::fromLatin1(s.name);
                tabs->addTab(contentPage(sub, tabs), sub.startsWith(QLatin1String("tsEvent"))
                                                         ? QStringLiteral("Event %1").arg(sub.right(1))
                                                         : sub.mid(sub.startsWith(QLatin1String("tbsFuel")) ? 7 : 8));
            }
        pgcOptions->addWidget(tabs);
    }

    std::vector<QTreeWidgetItem*> items;
    for (int i = 0; i < OptionNodeCount; ++i) {
        const TOptionNode& n = OptionNodes[size_t(i)];
        auto* item = n.parent < 0 ? new QTreeWidgetItem(tvOptions) : new QTreeWidgetItem(items[size_t(n.parent)]);
        item->setText(0, QString::fromUtf8(n.caption));
        item->setData(0, Qt::UserRole, i);
        items.push_back(item);
    }
    tvOptions->expandAll();
    connect(tvOptions, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item)
            selectNode(item->data(0, Qt::UserRole).toInt());
    });

    const TOptionContext ctx = context();
    for (const TOptionField& f : optionTreeFields()) {
        QWidget* page = pageWidget(f.page);
        if (!page)
            continue;
        addField(f, groupBox(page, f.group));
    }
    for (const TCorrectionGridSpec& gridDef : correctionGrids())
        if (QWidget* page = pageWidget(gridDef.page); page && TCorrectionGrid(gridDef, ctx).present())
            addGrid(gridDef, page);
    addGearSetup(pageWidget(QStringLiteral("tbsGearRatios")));

    m_stack->addWidget(pnlOptions2);
    m_stack->setCurrentWidget(pnlOptions2);
    tvOptions->setCurrentItem(items.front());
}

void TOptionsPanel::addField(const TOptionField& f, QGroupBox* box)
{
    auto* form = static_cast<QFormLayout*>(box->layout());
    QWidget* widget = nullptr;
    auto* holder = new QWidget(box);
    auto* h = new QHBoxLayout(holder);
    h->setContentsMargins(0, 0, 0, 0);
    QLabel* unit = nullptr;
    switch (f.control) {
    case TOptionControl::Text: {
        auto* edit = new QLineEdit(holder);
        edit->setMaximumWidth(90);
        // Key filter: digits, sign and decimal point; Enter moves on.
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[-+0-9.]*")), edit));
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::editingFinished, this, [this, &f, edit] {
            if (!m_filling)
                write(f, edit->text());
        });
        widget = edit;
        break;
    }
    case TOptionControl::Check: {
        auto* check = new QCheckBox(holder);
        connect(check, &QCheckBox::clicked, this,
                [this, &f](bool on) { write(f, on ? QStringLiteral("1") : QStringLiteral("0")); });
        widget = check;
        break;
    }
    case TOptionControl::Combo: {
        auto* combo = new QComboBox(holder);
        combo->addItems(f.items);
        connect(combo, &QComboBox::activated, this, [this, &f](int i) { write(f, QString::number(i)); });
        widget = combo;
        break;
    }
    case TOptionControl::Track: {
        auto* slider = new QSlider(Qt::Horizontal, holder);
        slider->setRange(f.trackMin, f.trackMax);
        slider->setMinimumWidth(160);
        auto* caption = new QLabel(holder);
        caption->setObjectName(f.name + QStringLiteral("Caption"));
        connect(slider, &QSlider::valueChanged, caption,
                [caption, &f](int v) { caption->setText(f.trackCaption.arg(v)); });
        connect(slider, &QSlider::sliderReleased, this,
                [this, &f, slider] { write(f, QString::number(slider->value())); });
        slider->installEventFilter(this);
        h->addWidget(slider);
        h->addWidget(caption);
        widget = slider;
        break;
    }
    case TOptionControl::Button: {
        if (f.name == QLatin1String("btnSetGears")) {
            holder->deleteLater();
            return; // part of the custom gear group
        }
        auto* button = new QPushButton(f.label, holder);
        const std::function<void()> action = buttonActions.value(f.name);
        button->setEnabled(static_cast<bool>(action));
        if (action)
            connect(button, &QPushButton::clicked, this, [action] { action(); });
        button->setToolTip(f.tip);
        widget = button;
        break;
    }
    }
    widget->setObjectName(f.name);
    if (f.control != TOptionControl::Track)
        h->addWidget(widget);
    const QString unitText = optionUnit(f, m_units);
    unit = new QLabel(unitText, holder);
    h->addWidget(unit);
    h->addStretch(1);
    auto* label = new QLabel(f.label, box);
    label->setBuddy(widget);
    form->addRow(label, holder);
    m_bound.push_back({&f, widget, label, unit});
    m_controls.insert(f.name, widget);
}

void TOptionsPanel::addGrid(const TCorrectionGridSpec& gridDef, QWidget* page)
{
    QGroupBox* box = groupBox(page, gridDef.name);
    box->setTitle(gridDef.title);
    auto* grid = new TVexorGrid(box);
    grid->setObjectName(gridDef.name);
    grid->setFixedCols(1);
    grid->setFixedRows(1);
    grid->setAlignment(taRightJustify);
    static_cast<QFormLayout*>(box->layout())->addRow(grid);
    const TCorrectionGridSpec* s = &gridDef;
    grid->OnFixedCell = [this, s](TVexorGrid*, int c, int r, QString& caption, TAlignment& align) {
        TCorrectionGrid g(*s, context());
        align = c == 0 ? taLeftJustify : taRightJustify;
        try {
            if (c == 0 && r == 0)
                caption = g.headerCaption();
            else if (r == 0)
                caption = g.columnCaption(c - 1);
            else if (c == 0)
                caption = g.rowCaption(r - 1);
        } catch (const EVexorError&) {
            caption.clear();
        }
    };
    grid->OnColorCell = [this, s](TVexorGrid*, int c, int r, QString& caption, TColor& bk, TColor& font, TFontStyles&,
                                  TAlignment& align, bool selected) {
        TCorrectionGrid g(*s, context());
        align = taRightJustify;
        try {
            caption = g.cellText(c, r);
            if (!selected)
                bk = g.cellColor(c, r);
            if (m_liveActive && s->axis == TGridAxis::Temperature) {
                const bool intake = s->name.contains(QLatin1String("IAT"));
                if (g.liveColumn(intake ? m_liveIat : m_liveEct) == c) {
                    bk = selected ? VexorColors::clSilver : VexorColors::clFuchsia;
                    font = VexorColors::clBlack;
                }
            }
        } catch (const EVexorError&) {
            caption.clear();
        }
    };
    grid->OnAcceptEditKey = [](TVexorGrid*, QChar key, bool& accept) {
        accept = key.isDigit() || key == QLatin1Char('.') || key == QLatin1Char('-') || key == QChar(8);
    };
    grid->OnEditCommit = [this, s](TVexorGrid*, int c, int r, const QString& text) {
        bool number = false;
        text.trimmed().toDouble(&number);
        if (!number && !(s->kind == TGridCellKind::Retard && text.trimmed().mid(1).toDouble(&number), number))
            return; // not a number: ignored, the cell shows the stored value again
        try {
            TCorrectionGrid(*s, context()).setCellText(c - 1, r - 1, text);
        } catch (const EVexorError& e) {
            showError(e.message());
        }
        afterWrite();
    };
    grid->OnIncrement = [this, s](TVexorGrid*, int c, int r, TIncrementDirection d, TIncrementSize size) {
        try {
            TCorrectionGrid(*s, context()).step(c, r, d == idPositive ? 1 : -1, size == isLarge);
        } catch (const EVexorError& e) {
            showError(e.message());
        }
        afterWrite();
    };
    grid->installEventFilter(this);
    m_grids.push_back({s, grid});
    m_controls.insert(gridDef.name, grid);
}

void TOptionsPanel::addGearSetup(QWidget* page)
{
    if (!page)
        return;
    gbTransSetup = new QGroupBox(QStringLiteral("Custom gears"), page);
    gbTransSetup->setObjectName(QStringLiteral("gbTransSetup"));
    auto* form = new QFormLayout(gbTransSetup);
    auto* rpm = new QLineEdit(defaultGearRpm(), gbTransSetup);
    rpm->setObjectName(QStringLiteral("txtGearRPM"));
    form->addRow(QStringLiteral("Engine speed (rpm)"), rpm);
    m_gearFields.push_back(rpm);
    for (int g = 0; g < 5; ++g) {
        auto* speed = new QLineEdit(defaultGearSpeed(g, m_units.mph), gbTransSetup);
        speed->setObjectName(QStringLiteral("txtGearSpeed%1").arg(g + 1));
        form->addRow(QStringLiteral("Gear %1 road speed (%2)")
                         .arg(g + 1)
                         .arg(m_units.mph ? QStringLiteral("mph") : QStringLiteral("km/h")),
                     speed);
        m_gearFields.push_back(speed);
    }
    auto* buttons = new QWidget(gbTransSetup);
    auto* h = new QHBoxLayout(buttons);
    auto* set = new QPushButton(QStringLiteral("Set gears"), buttons);
    set->setObjectName(QStringLiteral("btnSetGears"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), buttons);
    cancel->setObjectName(QStringLiteral("btnCancelGears"));
    h->addWidget(set);
    h->addWidget(cancel);
    form->addRow(buttons);
    connect(set, &QPushButton::clicked, this, [this] { setGears(); });
    connect(cancel, &QPushButton::clicked, gbTransSetup, &QWidget::hide);
    m_controls.insert(QStringLiteral("btnSetGears"), set);
    auto* layout = static_cast<QVBoxLayout*>(page->layout());
    layout->insertWidget(layout->count() - 1, gbTransSetup);
    gbTransSetup->hide();
}

void TOptionsPanel::setGears()
{
    TGearSetup setup;
    setup.rpm = m_gearFields[0]->text();
    for (int g = 0; g < 5; ++g)
        setup.speeds[size_t(g)] = m_gearFields[size_t(g) + 1]->text();
    TOptionContext ctx = context();
    bool ok = false;
    try {
        ok = applyGearSetup(ctx, setup);
    } catch (const EVexorError& e) {
        showError(e.message());
    }
    m_gearFields[0]->setText(setup.rpm);
    for (int g = 0; g < 5; ++g)
        m_gearFields[size_t(g) + 1]->setText(setup.speeds[size_t(g)]);
    if (ok)
        gbTransSetup->hide();
    afterWrite();
}

void TOptionsPanel::showError(const QString& text)
{
    if (m_messages)
        m_messages->showMessage(text, QString(), TMsgKind::Error, TMsgButton::OK);
}

void TOptionsPanel::write(const TOptionField& f, const QString& text)
{
    if (m_filling)
        return;
    TOptionContext ctx = context();
    try {
        writeOptionField(ctx, f, text);
        if (f.name == QLatin1String("cbxGearSelect") && gbTransSetup) {
            const int item = text.toInt();
            gbTransSetup->setVisible(item == CustomGearSetItem);
        }
    } catch (const EVexorError& e) {
        showError(e.message());
    }
    afterWrite();
    if (f.name == QLatin1String("cbxMAPList") && text.toInt() == CustomMapSensorItem)
        if (QWidget* w = control(QStringLiteral("txtMinMAP")))
            w->setFocus();
}

void TOptionsPanel::afterWrite()
{
    fill();
    if (onChanged)
        onChanged();
}

void TOptionsPanel::fillGrid(GridView& view)
{
    TCorrectionGrid g(*view.gridDef, context());
    const int cols = g.columnCount() + 1, rows = g.rowCount() + 1;
    if (view.grid->ColCount() != cols)
        view.grid->setColCount(cols);
    if (view.grid->RowCount() != rows)
        view.grid->setRowCount(rows);
    view.grid->setColWidths(0, view.gridDef->firstColumnWidth);
    view.grid->setEnabled(g.enabled());
    view.grid->setFixedHeight(view.grid->contentSize().height() + 2 * view.grid->frameWidth() + 2);
    view.grid->Invalidate();
}

void TOptionsPanel::fill()
{
    m_filling = true;
    const TOptionContext ctx = context();
    for (const Bound& b : m_bound) {
        TOptionValue v;
        try {
            v = readOptionField(ctx, *b.field);
        } catch (const EVexorError&) {
            v = {QStringLiteral("?"), false, -1};
        }
        const QSignalBlocker block(b.widget);
        if (auto* edit = qobject_cast<QLineEdit*>(b.widget)) {
            edit->setText(v.text);
        } else if (auto* check = qobject_cast<QCheckBox*>(b.widget)) {
            check->setChecked(v.text == QLatin1String("1"));
        } else if (auto* combo = qobject_cast<QComboBox*>(b.widget)) {
            combo->setCurrentIndex(v.text.toInt());
        } else if (auto* slider = qobject_cast<QSlider*>(b.widget)) {
            slider->setValue(v.text.toInt());
            if (auto* caption = findChild<QLabel*>(b.field->name + QStringLiteral("Caption")))
                caption->setText(b.field->trackCaption.arg(slider->value()));
        }
        if (b.field->control != TOptionControl::Button) {
            b.widget->setEnabled(v.enabled);
            b.widget->setToolTip(storedTip(*b.field, v));
        }
        b.label->setEnabled(v.enabled || b.field->control == TOptionControl::Button);
        if (auto* unit = qobject_cast<QLabel*>(b.unit))
            unit->setText(optionUnit(*b.field, m_units));
    }
    for (GridView& g : m_grids)
        fillGrid(g);
    m_filling = false;
}

void TOptionsPanel::setUnits(const TDisplayUnits& units)
{
    if (units == m_units)
        return;
    m_units = units;
    fill();
}

void TOptionsPanel::setLiveSensors(bool active, int coolantByte, int intakeByte)
{
    m_liveActive = active;
    m_liveEct = coolantByte;
    m_liveIat = intakeByte;
    for (GridView& g : m_grids)
        g.grid->Invalidate();
}

void TOptionsPanel::selectNode(int node)
{
    if (!pgcOptions || node < 0 || node >= OptionNodeCount)
        return;
    const TOptionNode& n = OptionNodes[size_t(node)];
    pgcOptions->setCurrentIndex(n.page);
    if (n.sub)
        if (QTabWidget* tabs = m_subControls.value(QString::fromLatin1(n.sub)))
            tabs->setCurrentIndex(n.subIndex);
    revealNodeGroup(node);
    if (tvOptions) {
        QTreeWidgetItem* current = tvOptions->currentItem();
        if (!current || current->data(0, Qt::UserRole).toInt() != node) {
            const auto found = tvOptions->findItems(QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive);
            for (QTreeWidgetItem* item : found)
                if (item->data(0, Qt::UserRole).toInt() == node)
                    tvOptions->setCurrentItem(item);
        }
    }
}

void TOptionsPanel::revealNodeGroup(int node)
{
    // A long page scrolls so the group of the node's first control shows.
    QWidget* target = control(QString::fromLatin1(OptionNodes[size_t(node)].focus));
    if (!target)
        return;
    QWidget* group = target;
    while (group && !qobject_cast<QGroupBox*>(group))
        group = group->parentWidget();
    for (QWidget* w = target->parentWidget(); w; w = w->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(w->parentWidget() ? w->parentWidget()->parentWidget() : nullptr);
            scroll && scroll->widget() == w) {
            // The page may just have been switched to: lay it out before measuring.
            if (w->layout())
                w->layout()->activate();
            scroll->ensureWidgetVisible(group ? group : target, 0, 0);
            return;
        }
}

void TOptionsPanel::focusNode(int node)
{
    selectNode(node);
    if (QWidget* w = control(QString::fromLatin1(OptionNodes[size_t(node)].focus)))
        w->setFocus(Qt::OtherFocusReason);
}

bool TOptionsPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tvOptions && isEnterKey(event)) {
        if (QTreeWidgetItem* item = tvOptions->currentItem())
            focusNode(item->data(0, Qt::UserRole).toInt());
        return true;
    }
    // The step keys of an option grid: Page Up / Down a large step, with Ctrl a small one.
    if (auto* grid = qobject_cast<TVexorGrid*>(watched); grid && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown) {
            const TIncrementSize size = (key->modifiers() & Qt::ControlModifier) ? isSmall : isLarge;
            if (key->key() == Qt::Key_PageUp)
                grid->Increment(size);
            else
                grid->Decrement(size);
            return true;
        }
    }
    if (qobject_cast<QLineEdit*>(watched) && isEnterKey(event)) {
        // Enter commits (editingFinished) and moves to the next control.
        focusNextChild();
        return true;
    }
    if (auto* slider = qobject_cast<QSlider*>(watched);
        slider && event->type() == QEvent::KeyRelease && !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
        for (const Bound& b : m_bound)
            if (b.widget == slider)
                write(*b.field, QString::number(slider->value()));
    }
    return QWidget::eventFilter(watched, event);
}
