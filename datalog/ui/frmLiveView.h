#pragma once

// The live view panel: the grid cgLiveView with one row per item of the most
// recent sample, and the single-item display lblLiveViewItem repeating the
// selected item in large type. The panel only paints what it is given; the
// main window's datalog side computes the rows.

#include "datalog/mdlLiveView.h"

#include <QVector>
#include <QWidget>

class QLabel;
class TVexorGrid;

class TLiveViewPanel : public QWidget {
    Q_OBJECT
public:
    explicit TLiveViewPanel(QWidget* parent = nullptr);

    void setRows(const QVector<TLiveViewRow>& rows);
    [[nodiscard]] const QVector<TLiveViewRow>& rows() const { return m_rows; }
    // The item shown in the single-item display (boost pressure at start-up).
    void setSelectedItem(int item);
    [[nodiscard]] int selectedItem() const { return m_item; }
    // Compact: the grid alone, without the single-item display.
    void setMinimal(bool on);
    [[nodiscard]] bool minimal() const { return m_minimal; }

    [[nodiscard]] TVexorGrid* grid() const { return cgLiveView; }
    [[nodiscard]] QLabel* itemLabel() const { return lblLiveViewItem; }

Q_SIGNALS:
    void doubleClicked();

private:
    void updateItemLabel();

    TVexorGrid* cgLiveView;
    QLabel* lblLiveViewCaption;
    QLabel* lblLiveViewItem;
    QVector<TLiveViewRow> m_rows;
    int m_item = lvBoost;
    bool m_minimal = false;
};
