#include "datalog/mdlWidebandConv.h"

#include "settings/mdlWideband.h"

void TJsWidebandConvManager::add(const TJsWidebandConv& conversion)
{
    // The count is 16-bit: a list that full takes no more.
    if (m_items.size() < 0xFFFF)
        m_items.push_back(conversion);
}

QStringList TJsWidebandConvManager::captions() const
{
    QStringList out;
    for (const TJsWidebandConv& c : m_items)
        out << QStringLiteral("JS:") + c.Caption;
    return out;
}

TLambdaLookup lambdaLookupFromScript(const QString& function, IWidebandEvaluator& evaluator, double lambdaOffset)
{
    TLambdaLookup out{};
    const bool exists = evaluator.hasFunction(function);
    for (int b = 0; b < 256; ++b) {
        double value = 0;
        if (exists && !evaluator.evaluate(function + QLatin1Char('(') + QString::number(b) + QLatin1Char(')'), value))
            value = 0;
        out[static_cast<size_t>(b)] = static_cast<float>(value + lambdaOffset);
    }
    return out;
}

QStringList widebandConversionList(const TWidebandDefinitions& tables, const TJsWidebandConvManager& scripts)
{
    return tables.names() + scripts.captions();
}

TLambdaLookup lambdaLookupFor(const TSettings& settings, int tableConversions, const TJsWidebandConvManager& scripts,
                              IWidebandEvaluator& evaluator)
{
    const int s = settings.tuning.sensorIndex;
    const int script = s - tableConversions;
    if (s >= tableConversions && script < scripts.count())
        return lambdaLookupFromScript(scripts.get(script).ExecFunction, evaluator, settings.tuning.lambdaOffset);
    return lambdaLookupFromSettings(settings, tableConversions);
}
