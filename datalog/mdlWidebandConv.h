#pragma once

// Wideband conversions registered by scripts, and the conversion list of the
// settings window: the table conversions of wideband.ini first, then one
// "JS:" entry per script conversion. A script conversion is a function of the
// main script called once per O2 byte; the script host evaluates it through
// IWidebandEvaluator.

#include "datalog/mdlLambdaCurve.h"

#include <QString>
#include <QStringList>
#include <QVector>

class TWidebandDefinitions;

struct TJsWidebandConv {
    QString Caption;
    QString ExecFunction;
    friend bool operator==(const TJsWidebandConv&, const TJsWidebandConv&) = default;
};

class TJsWidebandConvManager {
public:
    void add(const TJsWidebandConv& conversion);
    void clear() { m_items.clear(); }
    [[nodiscard]] quint16 count() const { return static_cast<quint16>(m_items.size()); }
    // A copy of the record; the caller keeps the index inside the list.
    [[nodiscard]] TJsWidebandConv get(int index) const { return m_items.at(index); }
    // "JS:" + caption of each conversion, in registration order.
    [[nodiscard]] QStringList captions() const;

private:
    QVector<TJsWidebandConv> m_items;
};

// What a script conversion needs from the script host.
class IWidebandEvaluator {
public:
    virtual ~IWidebandEvaluator() = default;
    // The main script defines a function of this name.
    [[nodiscard]] virtual bool hasFunction(const QString& name) const = 0;
    // Evaluates a call expression in the main script; false when it raised
    // an error or gave no number.
    virtual bool evaluate(const QString& expression, double& result) = 0;
};

// Stands in until a script host is attached: no function exists, so every
// script conversion yields lambda 0 (which no tuning condition accepts).
class TNoScriptEvaluator : public IWidebandEvaluator {
public:
    [[nodiscard]] bool hasFunction(const QString&) const override { return false; }
    bool evaluate(const QString&, double&) override { return false; }
};

// Entry b = the function's value for "name(b)" + offset; 0 + offset where the
// function is missing or fails for that byte.
[[nodiscard]] TLambdaLookup lambdaLookupFromScript(const QString& function, IWidebandEvaluator& evaluator,
                                                   double lambdaOffset);

// The settings window's list: wideband.ini's sections, then the script ones.
[[nodiscard]] QStringList widebandConversionList(const TWidebandDefinitions& tables,
                                                 const TJsWidebandConvManager& scripts);

// The lookup SensorIndex selects: a table conversion through the settings
// points, a script conversion through the evaluator.
[[nodiscard]] TLambdaLookup lambdaLookupFor(const TSettings& settings, int tableConversions,
                                            const TJsWidebandConvManager& scripts, IWidebandEvaluator& evaluator);
