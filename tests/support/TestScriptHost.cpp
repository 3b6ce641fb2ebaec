#include "support/TestScriptHost.h"

#include <QJSValueIterator>

bool TTestScriptHost::procedureExists(const QString& callText) const
{
    return m_procedures.contains(callText.section(QLatin1Char('('), 0, 0));
}

QJSValue TTestScriptHost::evaluate(const QString& expression)
{
    ++m_evaluations;
    QStringList trace;
    QJSValue v = m_engine.evaluate(expression, QString(), 1, &trace);
    if (v.isError() || !trace.isEmpty()) {
        const QString message = v.isError() ? v.property(QStringLiteral("message")).toString() : v.toString();
        m_errors << message;
        throw EScriptError(message);
    }
    return v;
}

void TTestScriptHost::addCode(const QString& code)
{
    const QStringList before = globalFunctions();
    evaluate(code);
    for (const QString& name : globalFunctions())
        if (!before.contains(name) && !m_procedures.contains(name))
            m_procedures << name;
}

void TTestScriptHost::addObject(const QString& name, QObject* object)
{
    m_engine.globalObject().setProperty(name, m_engine.newQObject(object));
}

QStringList TTestScriptHost::globalFunctions() const
{
    QStringList names;
    QJSValueIterator it(m_engine.globalObject());
    while (it.hasNext()) {
        it.next();
        if (it.value().isCallable())
            names << it.name();
    }
    return names;
}
