#pragma once

// The tuning-tool commands of the main window: the fuel multiplier, the boost
// columns and the ignition offset prompt, with their menu entries. The
// windows live in tools/ui; the computations in tools/mdlTuningTools.

#include "settings/mdlServices.h"

#include <QObject>
#include <functional>
#include <optional>

class QDialog;
class TInjectorDefinitions;
class TMainForm;

class TToolCommands : public QObject {
    Q_OBJECT
public:
    TToolCommands(TMainForm& form, const TServices& services);

    void ToolsFuelMultiplierExecute();
    void ToolsBoostExecute();
    void EditIgnitionOffsetExecute();
    // The option pages' throttle-sensor auto-calibration (needs the live link).
    void calibrateThrottle();

    // The datalog link: whether it is connected, and the newest live
    // throttle-sensor byte (nothing before the first sample).
    std::function<bool()> linkConnected;
    std::function<std::optional<quint8>()> liveThrottle;
    // The injector list of the settings (owned by the settings store).
    const TInjectorDefinitions* injectors = nullptr;
    // The option pages' injector choice.
    void chooseInjector();

    // How a modal tool window runs (tests answer it without a screen).
    std::function<int(QDialog&)> execDialog;

private:
    TMainForm& m_form;
    TServices m_services;
};
