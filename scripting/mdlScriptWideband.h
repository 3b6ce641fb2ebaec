#pragma once

// The script side of the wideband conversions: a conversion registered by a
// script is a function of the main script, called once per O2 byte.

#include "datalog/mdlWidebandConv.h"
#include "scripting/mdlScriptHost.h"

class TScriptWidebandEvaluator : public IWidebandEvaluator {
public:
    explicit TScriptWidebandEvaluator(IScriptHost& host) : m_host(host) {}

    [[nodiscard]] bool hasFunction(const QString& name) const override;
    // False when the script failed (the host has shown why) or gave no
    // finite number; the caller then uses 0 for that byte.
    bool evaluate(const QString& expression, double& result) override;

private:
    IScriptHost& m_host;
};
