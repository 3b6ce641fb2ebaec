#include "datalog/ui/frmLiveView.h"

#include "editor/ui/VexorGrid.h"

#include <QFontMetrics>
#include <QLabel>
#include <QVBoxLayout>

TLiveViewPanel::TLiveViewPanel(QWidget* parent) : QWidget(parent), m_rows(lvItemCount)
{
    setObjectName(QStringLiteral("pnlLiveView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);

    cgLiveView = new TVexorGrid(this);
    cgLiveView->setObjectName(QStringLiteral("cgLiveView"));
    cgLiveView->setFixedCols(0);
    cgLiveView->setFixedRows(1);
    cgLiveView->setColCount(2);
    cgLiveView->setRowCount(lvItemCount + 1);
    cgLiveView->setHideSelection(true);
    const QFontMetrics fm(cgLiveView->font());
    cgLiveView->setColWidths(0, fm.horizontalAdvance(QStringLiteral("Atmospheric Pressure")) + 12);
    cgLiveView->setColWidths(1, fm.horizontalAdvance(QStringLiteral("Recording... 0000")) + 12);
    cgLiveView->setDefaultRowHeight(fm.height() + 4);
    cgLiveView->OnFixedCell = [](TVexorGrid*, int col, int, QString& caption, TAlignment& align) {
        caption = liveViewHeader(col);
        align = taLeftJustify;
    };
    cgLiveView->OnColorCell = [this](TVexorGrid*, int col, int row, QString& caption, TColor& bk, TColor& font,
                                     TFontStyles&, TAlignment& align, bool) {
        if (row < 0 || row >= m_rows.size())
            return;
        const TLiveViewRow& r = m_rows[row];
        align = taLeftJustify;
        if (col == 0) {
            caption = r.label;
            return;
        }
        caption = r.value;
        if (r.value.isEmpty())
            return;
        if (r.background)
            bk = *r.background;
        if (r.font)
            font = *r.font;
    };
    cgLiveView->OnCellClick = [this](TVexorGrid*, int, int row) {
        if (row >= 1)
            setSelectedItem(row - 1);
    };
    cgLiveView->OnCellDblClick = [this](TVexorGrid*, int, int) { Q_EMIT doubleClicked(); };
    layout->addWidget(cgLiveView, 1);

    lblLiveViewCaption = new QLabel(this);
    lblLiveViewCaption->setObjectName(QStringLiteral("lblLiveViewCaption"));
    lblLiveViewCaption->setAlignment(Qt::AlignCenter);
    layout->addWidget(lblLiveViewCaption);
    lblLiveViewItem = new QLabel(this);
    lblLiveViewItem->setObjectName(QStringLiteral("lblLiveViewItem"));
    lblLiveViewItem->setAlignment(Qt::AlignCenter);
    QFont big = lblLiveViewItem->font();
    big.setPointSizeF(big.pointSizeF() * 3);
    big.setBold(true);
    lblLiveViewItem->setFont(big);
    layout->addWidget(lblLiveViewItem);
    updateItemLabel();
}

void TLiveViewPanel::setRows(const QVector<TLiveViewRow>& rows)
{
    m_rows = rows;
    m_rows.resize(lvItemCount);
    cgLiveView->Invalidate();
    updateItemLabel();
}

void TLiveViewPanel::setSelectedItem(int item)
{
    if (item < 0 || item >= lvItemCount)
        return;
    m_item = item;
    updateItemLabel();
}

void TLiveViewPanel::setMinimal(bool on)
{
    m_minimal = on;
    lblLiveViewCaption->setVisible(!on);
    lblLiveViewItem->setVisible(!on);
}

void TLiveViewPanel::updateItemLabel()
{
    const TLiveViewRow& r = m_rows[m_item];
    lblLiveViewCaption->setText(r.label);
    lblLiveViewItem->setText(r.item);
}
