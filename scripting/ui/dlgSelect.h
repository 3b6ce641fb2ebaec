#pragma once

// The selection dialog behind window.select: a message and a list; the first
// entry starts selected, a double click or OK takes the selected one.

#include <QDialog>

class QLabel;
class QListWidget;

class TSelectDialog : public QDialog {
    Q_OBJECT
public:
    TSelectDialog(const QString& prompt, const QStringList& items, QWidget* parent = nullptr);
    // The chosen index, -1 when cancelled.
    [[nodiscard]] int choose();
    [[nodiscard]] QListWidget* list() const { return lbSelect; }

private:
    QLabel* lblMsg;
    QListWidget* lbSelect;
};
