#include "scripting/ui/frmAdvTables.h"

#include "editor/ui/VexorGrid.h"
#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "scripting/frmScripts.h"

#include <QAction>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int ListWidth = 160;
constexpr int GraphMinHeight = 180;
constexpr int GridLineWidth = 1;
constexpr int SeriesLineWidth = 2;
constexpr int LabelMargin = 2;
constexpr int InitialWidth = 760;
constexpr int InitialHeight = 560;
const QColor GridColour(Qt::darkGray);
const QColor LabelColour(Qt::lightGray);

} // namespace

// --- graph ------------------------------------------------------------------------

TCustomGraphBox::TCustomGraphBox(TAdvTables& model, QWidget* parent) : QWidget(parent), m_model(model)
{
    setMinimumHeight(GraphMinHeight);
}

void TCustomGraphBox::paintEvent(QPaintEvent*)
{
    // Drawn whole off-screen, then copied: no flicker while lines pile up.
    QPixmap image(size());
    image.fill(Qt::black);
    {
        QPainter p(&image);
        const TCustomGraph g = m_model.graph(width(), height());
        QPen grid(GridColour, GridLineWidth, Qt::DotLine);
        const QFontMetrics fm = p.fontMetrics();
        for (const TCustomGraphLine& l : g.xLines) {
            p.setPen(grid);
            p.drawLine(QPointF(l.pos, 0), QPointF(l.pos, height()));
            p.setPen(LabelColour);
            p.drawText(QPointF(l.pos + LabelMargin, height() - fm.descent() - LabelMargin), l.label);
        }
        for (const TCustomGraphLine& l : g.yLines) {
            p.setPen(grid);
            p.drawLine(QPointF(0, l.pos), QPointF(width(), l.pos));
            p.setPen(LabelColour);
            p.drawText(QPointF(LabelMargin, l.pos - LabelMargin), l.label);
        }
        p.setRenderHint(QPainter::Antialiasing);
        for (const TCustomGraphSeries& s : g.series) {
            p.setPen(QPen(QColor(s.red, s.green, s.blue), SeriesLineWidth, Qt::SolidLine));
            p.drawPolyline(s.points.constData(), int(s.points.size()));
        }
    }
    QPainter(this).drawPixmap(0, 0, image);
}

// --- window -----------------------------------------------------------------------

TAdvanceTableForm::TAdvanceTableForm(TScriptForm& host, TRomDocument* document, QWidget* parent)
    : QWidget(parent, Qt::Window), m_host(host), m_model(host.advTables()), m_doc(document)
{
    setObjectName(QStringLiteral("frmAdvTables"));
    resize(InitialWidth, InitialHeight);

    auto* toolBar = new QToolBar(this);
    actUndo = toolBar->addAction(tr("&Undo"), this, &TAdvanceTableForm::UndoExecute);
    actUndo->setObjectName(QStringLiteral("AdvUndo"));
    actUndo->setShortcut(QKeySequence::Undo);
    actRedo = toolBar->addAction(tr("&Redo"), this, &TAdvanceTableForm::RedoExecute);
    actRedo->setObjectName(QStringLiteral("AdvRedo"));
    actRedo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Y")));
    actRefresh = toolBar->addAction(tr("Re&fresh"), this, &TAdvanceTableForm::RefreshExecute);
    actRefresh->setObjectName(QStringLiteral("AdvRefresh"));
    actRefresh->setShortcut(QKeySequence::Refresh);
    for (QAction* a : {actUndo, actRedo, actRefresh})
        a->setShortcutContext(Qt::WindowShortcut);

    lstTables = new QListWidget(this);
    lstTables->setObjectName(QStringLiteral("lstTables"));
    lstTables->setMaximumWidth(ListWidth);
    connect(lstTables, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_filling && row >= 0)
            m_model.select(row);
    });

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont bold = lblTitle->font();
    bold.setBold(true);
    lblTitle->setFont(bold);
    lblDescription = new QLabel(this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    pmCommands = new QMenu(this);
    pmCommands->setObjectName(QStringLiteral("pmCommands"));
    btnMore = new QToolButton(this);
    btnMore->setObjectName(QStringLiteral("btnMore"));
    btnMore->setText(tr("more"));
    connect(btnMore, &QToolButton::clicked, this,
            [this] { pmCommands->popup(btnMore->mapToGlobal(QPoint(0, btnMore->height()))); });
    auto* header = new QHBoxLayout;
    auto* titles = new QVBoxLayout;
    titles->addWidget(lblTitle);
    titles->addWidget(lblDescription);
    header->addLayout(titles, 1);
    header->addWidget(btnMore, 0, Qt::AlignTop);

    dgTable = new TVexorGrid(this);
    dgTable->setObjectName(QStringLiteral("dgTable"));
    dgTable->setDefaultColWidth(TAdvTables::DefaultColWidth);
    dgTable->setAlignment(taCenter);
    dgTable->OnFixedCell = [this](TVexorGrid*, int c, int r, QString& caption, TAlignment&) {
        caption = m_model.cells().text(c, r);
    };
    dgTable->OnColorCell = [this](TVexorGrid*, int c, int r, QString& caption, TColor&, TColor&, TFontStyles&,
                                  TAlignment&, bool) {
        // Data coordinates here; the model counts header cells.
        caption = m_model.cells().text(c + dgTable->FixedCols(), r + dgTable->FixedRows());
    };
    dgTable->OnCellClick = [this](TVexorGrid* g, int c, int r) {
        const TGridRect s = m_model.clickSelection(c, r);
        if (!s.isEmpty())
            g->SelectRange(s.Left, s.Top, s.Right, s.Bottom);
    };
    dgTable->OnCellDblClick = [](TVexorGrid* g, int c, int r) { g->ShowEditor(c, r); };
    dgTable->OnGetEditText = [this](TVexorGrid*, int c, int r, QString&, bool& canEdit) {
        canEdit = m_model.cellEditable(c, r);
    };
    dgTable->OnEditCommit = [this](TVexorGrid*, int c, int r, const QString& text) { m_model.setCellText(c, r, text); };

    pnlGraph = new QWidget(this);
    pnlGraph->setObjectName(QStringLiteral("pnlGraph"));
    pbGraph = new TCustomGraphBox(m_model, pnlGraph);
    pbGraph->setObjectName(QStringLiteral("pbGraph"));
    lblGraphX = new QLabel(pnlGraph);
    lblGraphX->setObjectName(QStringLiteral("lblGraphX"));
    lblGraphX->setAlignment(Qt::AlignHCenter);
    lblGraphY = new QLabel(pnlGraph);
    lblGraphY->setObjectName(QStringLiteral("lblGraphY"));
    auto* graphLayout = new QVBoxLayout(pnlGraph);
    graphLayout->setContentsMargins(0, 0, 0, 0);
    graphLayout->addWidget(lblGraphY);
    graphLayout->addWidget(pbGraph, 1);
    graphLayout->addWidget(lblGraphX);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(dgTable);
    split->addWidget(pnlGraph);
    auto* right = new QVBoxLayout;
    right->addLayout(header);
    right->addWidget(split, 1);
    auto* body = new QHBoxLayout;
    body->addWidget(lstTables);
    body->addLayout(right, 1);
    auto* outer = new QVBoxLayout(this);
    outer->setMenuBar(toolBar);
    outer->addLayout(body, 1);

    connect(&m_model, &TAdvTables::layoutChanged, this, &TAdvanceTableForm::applyLayout);
    connect(&m_model, &TAdvTables::cellsChanged, this, &TAdvanceTableForm::cellsChanged);
    // Every script reload empties the registry: list what the new scripts
    // registered.
    connect(&m_host, &TScriptForm::reloaded, this, [this] {
        fillTableList();
        if (isVisible())
            m_model.show();
    });
    applyLayout();
    updateState();
}

void TAdvanceTableForm::open()
{
    if (!isVisible()) {
        setWindowTitle(QString());
        fillTableList();
        show();
        m_model.show();
    }
    raise();
    activateWindow();
    updateState();
}

void TAdvanceTableForm::fillTableList()
{
    m_filling = true;
    lstTables->clear();
    for (const TCCustomTable& t : m_model.registry().items())
        lstTables->addItem(t.name);
    m_filling = false;
}

void TAdvanceTableForm::applyLayout()
{
    const bool shown = m_model.tableVisible();
    dgTable->setEnabled(shown);
    dgTable->setVisible(shown);
    pnlGraph->setVisible(shown && m_model.current().showGraph);
    if (!shown) {
        btnMore->setVisible(false);
        return;
    }
    if (m_model.selectedIndex() >= 0 && lstTables->currentRow() != m_model.selectedIndex()) {
        m_filling = true;
        lstTables->setCurrentRow(m_model.selectedIndex());
        m_filling = false;
    }
    const TCCustomTable& t = m_model.current();
    if (dgTable->EditorVisible())
        dgTable->CancelEditor();
    dgTable->setColCount(m_model.gridCols());
    dgTable->setRowCount(m_model.gridRows());
    dgTable->setFixedCols(m_model.headerCols());
    dgTable->setFixedRows(t.fixedRows);
    for (int c = 0; c < dgTable->ColCount(); ++c)
        dgTable->setColWidths(c, TAdvTables::DefaultColWidth);
    lblTitle->setText(t.name);
    lblDescription->setText(t.description);
    lblDescription->setVisible(!t.description.isEmpty());
    lblGraphX->setText(t.graphLabelX);
    lblGraphX->setVisible(!t.graphLabelX.isEmpty());
    lblGraphY->setText(t.graphLabelY);
    lblGraphY->setVisible(!t.graphLabelY.isEmpty());
    rebuildCommands();
}

void TAdvanceTableForm::rebuildCommands()
{
    pmCommands->clear();
    const QVector<TTableCommand> commands = m_model.commands();
    for (int i = 0; i < commands.size(); ++i) {
        QAction* a = pmCommands->addAction(commands[i].caption);
        connect(a, &QAction::triggered, this, [this, i] { m_model.runCommand(i); });
    }
    btnMore->setVisible(!commands.isEmpty());
}

void TAdvanceTableForm::cellsChanged()
{
    // Fetch here, outside painting: script code never runs inside a paint.
    if (m_model.tableVisible()) {
        m_model.cells();
        growHeaderColumns();
    }
    dgTable->Invalidate();
    pbGraph->update();
    updateState();
}

void TAdvanceTableForm::growHeaderColumns()
{
    const QFontMetrics fm(dgTable->font());
    const TCustomTableCells& cells = m_model.cells();
    for (int c = 0; c < m_model.headerCols() && c < cells.cols(); ++c) {
        int widest = 0;
        for (int r = 0; r < cells.rows(); ++r)
            widest = std::max(widest, fm.horizontalAdvance(cells.text(c, r)));
        if (widest > dgTable->ColWidths(c))
            dgTable->setColWidths(c, widest + TAdvTables::HeaderTextMargin);
    }
}

void TAdvanceTableForm::updateState()
{
    const bool loaded = m_doc && m_doc->romLoaded();
    QString caption = QString::fromLatin1(Caption);
    if (loaded && m_doc->modified())
        caption += u'*';
    setWindowTitle(caption);
    actUndo->setEnabled(loaded && m_doc->rom().buffer().canUndo());
    actRedo->setEnabled(loaded && m_doc->rom().buffer().canRedo());
}

void TAdvanceTableForm::changeEvent(QEvent* e)
{
    // The main window may have edited the ROM meanwhile.
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        updateState();
    QWidget::changeEvent(e);
}

void TAdvanceTableForm::UndoExecute()
{
    if (!m_doc || !m_doc->romLoaded() || !m_doc->rom().buffer().canUndo())
        return;
    m_doc->rom().buffer().undo();
    if (romChanged)
        romChanged();
    m_model.refresh();
}

void TAdvanceTableForm::RedoExecute()
{
    if (!m_doc || !m_doc->romLoaded() || !m_doc->rom().buffer().canRedo())
        return;
    m_doc->rom().buffer().redo();
    if (romChanged)
        romChanged();
    m_model.refresh();
}

void TAdvanceTableForm::RefreshExecute() { m_model.refresh(); }
