#pragma once

// The run-command dialog (Tools > Run Command): an editable list of the
// procedures the scripts define that do not begin with '_', each as a call
// "name()". OK evaluates the text as typed, any expression; a script error
// (already shown by the host) closes the dialog with Cancel.

#include <QDialog>

class QComboBox;
class IScriptHost;

class TRunForm : public QDialog {
    Q_OBJECT
public:
    explicit TRunForm(IScriptHost& host, QWidget* parent = nullptr);
    [[nodiscard]] QComboBox* procedures() const { return cbProcedures; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void okClick();

    IScriptHost& m_host;
    QComboBox* cbProcedures;
};
