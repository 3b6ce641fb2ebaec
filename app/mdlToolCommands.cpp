#include "app/mdlToolCommands.h"

#include "app/frmMain.h"
#include "app/mdlActionManager.h"
#include "options/ui/frmOptions.h"
#include "settings/mdlErrors.h"
#include "settings/mdlInjectors.h"
#include "settings/mdlMessages.h"
#include "tools/ui/frmTools.h"

#include <QAction>
#include <QMenu>

TToolCommands::TToolCommands(TMainForm& form, const TServices& services)
    : QObject(&form), m_form(form), m_services(services)
{
    execDialog = [](QDialog& d) { return d.exec(); };
    auto add = [this](const char* name, const QString& text, void (TToolCommands::*execute)(), QMenu* menu) {
        // The window's command runner reports refusals and refreshes the views.
        QAction* a = m_form.actionManager()->add(QLatin1String(name), text, [this, execute] { (this->*execute)(); });
        m_form.addAction(a);
        if (menu)
            menu->addAction(a);
    };
    QMenu* tools = m_form.toolsMenu();
    QMenu* edit = m_form.findChild<QMenu*>(QStringLiteral("mnuEdit"));
    add("ToolsFuelMultiplier", tr("Fuel &Multiplier..."), &TToolCommands::ToolsFuelMultiplierExecute, tools);
    add("ToolsBoost", tr("&Boost Columns..."), &TToolCommands::ToolsBoostExecute, tools);
    add("EditIgnitionOffset", tr("Ignition &Offset..."), &TToolCommands::EditIgnitionOffsetExecute, edit);
    if (TOptionsPanel* options = m_form.optionsPanel()) {
        options->buttonActions.insert(QStringLiteral("cbxInjectorNew"), [this] {
            m_form.runCommand(QStringLiteral("cbxInjectorNew"), [this] { chooseInjector(); });
        });
        options->buttonActions.insert(QStringLiteral("btnAutoCalibrateTPS"), [this] {
            m_form.runCommand(QStringLiteral("btnAutoCalibrateTPS"), [this] { calibrateThrottle(); });
        });
    }
    m_form.amMainOnUpdate();
}

void TToolCommands::calibrateThrottle()
{
    if (!m_form.rom().isLoaded())
        return;
    if (!linkConnected || !linkConnected()) {
        if (m_services.messages)
            m_services.messages->showMessage(QStringLiteral("Please make sure that Live Tuning is connected."),
                                             QString(), TMsgKind::Information, TMsgButton::OK);
        return;
    }
    TTPSCalibForm dialog(liveThrottle, &m_form);
    const bool accepted = execDialog(dialog) == QDialog::Accepted;
    if (accepted)
        dialog.calibration().apply(m_form.rom());
    if (TOptionsPanel* options = m_form.optionsPanel())
        options->fill();
}

void TToolCommands::ToolsFuelMultiplierExecute()
{
    if (!m_form.rom().isLoaded())
        return;
    TMultiplierForm dialog(m_form.rom(), &m_form);
    execDialog(dialog);
}

void TToolCommands::ToolsBoostExecute()
{
    if (!m_form.rom().isLoaded() || !isBoostedRom(m_form.rom()))
        return;
    TBoostForm dialog(m_form.rom(), m_form.displayUnits().atmospheric, &m_form);
    execDialog(dialog);
}

void TToolCommands::EditIgnitionOffsetExecute()
{
    if (!m_form.rom().isLoaded() || !m_services.messages)
        return;
    const std::optional<QString> text = m_services.messages->inputQuery(
        QStringLiteral("Ignition Offset"), QStringLiteral("Enter an ignition offset value"),
        QString::number(m_form.rom().IgnitionOffset));
    if (text)
        setIgnitionOffset(m_form.rom(), *text);
}

void TToolCommands::chooseInjector()
{
    if (!m_form.rom().isLoaded())
        return;
    const TInjectorDefinitions fallback; // no settings: the single default injector
    TInjectorForm dialog(m_form.rom(), injectors ? *injectors : fallback, &m_form);
    execDialog(dialog);
    if (TOptionsPanel* options = m_form.optionsPanel())
        options->fill();
}
