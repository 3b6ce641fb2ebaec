#include "scripting/mdlScriptWideband.h"

#include <cmath>

bool TScriptWidebandEvaluator::hasFunction(const QString& name) const
{
    return m_host.available() && m_host.procedureExists(name);
}

bool TScriptWidebandEvaluator::evaluate(const QString& expression, double& result)
{
    if (!m_host.available())
        return false;
    QJSValue v;
    try {
        v = m_host.evaluate(expression);
    } catch (const EVexorError&) {
        return false;
    }
    if (!v.isNumber() || !std::isfinite(v.toNumber()))
        return false;
    result = v.toNumber();
    return true;
}
