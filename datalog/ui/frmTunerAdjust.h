#pragma once

// The auto-tune adjustment window over the grid selection: what the
// accumulated lambda says about the selected cells, a recommended percent,
// and the six ways to change them. The window only gathers the choice; the
// caller applies it (mdlTunerAdjust.h) as one undo step.

#include "datalog/mdlTunerAdjust.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QRadioButton;

class TTunerAdjustForm : public QDialog {
    Q_OBJECT
public:
    explicit TTunerAdjustForm(const TTunerAdjustSummary& summary, QWidget* parent = nullptr);

    [[nodiscard]] TTunerAdjustOption option() const;
    // The number of the chosen option's field (0 for the three corrections).
    [[nodiscard]] double amount() const;

    QLabel* lblAverage;
    QLabel* lblDifference;
    QLabel* lblRecommendation;
    QRadioButton* rdoAutomatic;
    QRadioButton* rdoRow;
    QRadioButton* rdoColumn;
    QRadioButton* rdoPercent;
    QRadioButton* rdoAdd;
    QRadioButton* rdoSet;
    QLineEdit* txtPercent;
    QLineEdit* txtAdd;
    QLineEdit* txtSet;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
