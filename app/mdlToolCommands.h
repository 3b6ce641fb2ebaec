#pragma once

// The tuning-tool commands of the main window: the fuel multiplier, the boost
// columns and the ignition offset prompt, with their menu entries. The
// windows live in tools/ui; the computations in tools/mdlTuningTools.

#include "settings/mdlServices.h"

#include <QObject>
#include <functional>

class QDialog;
class TMainForm;

class TToolCommands : public QObject {
    Q_OBJECT
public:
    TToolCommands(TMainForm& form, const TServices& services);

    void ToolsFuelMultiplierExecute();
    void ToolsBoostExecute();
    void EditIgnitionOffsetExecute();

    // How a modal tool window runs (tests answer it without a screen).
    std::function<int(QDialog&)> execDialog;

private:
    TMainForm& m_form;
    TServices m_services;
};
