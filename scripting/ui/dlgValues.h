#pragma once

// The values dialog behind window.input: a message and a two-column
// key/value editor, one row per key; only the values are editable.

#include <QDialog>
#include <optional>

class QLabel;
class QTableWidget;

class TValuesDialog : public QDialog {
    Q_OBJECT
public:
    TValuesDialog(const QString& message, const QStringList& keys, const QStringList& values,
                  QWidget* parent = nullptr);
    // The edited values in row order, nothing when cancelled.
    [[nodiscard]] std::optional<QStringList> edit();
    [[nodiscard]] QTableWidget* editor() const { return vleValues; }
    [[nodiscard]] QStringList values() const;

private:
    QLabel* lblMsg;
    QTableWidget* vleValues;
};
