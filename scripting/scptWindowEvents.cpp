#include "scripting/scptWindowEvents.h"

#include "scripting/frmScripts.h"

TWindowEventsScript::TWindowEventsScript(TScriptForm& host, QObject* parent) : QObject(parent), m_host(host) {}

QString TWindowEventsScript::onShowOptions() const { return m_host.showOptionsHook(); }

void TWindowEventsScript::setOnShowOptions(const QString& function)
{
    if (m_host.procedureExists(function))
        m_host.setShowOptionsHook(function);
}

void TWindowEventsScript::unhook()
{
    m_host.setShowOptionsHook(QString());
    if (m_host.environment().unhookGrid)
        m_host.environment().unhookGrid();
}
