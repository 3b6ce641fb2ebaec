#pragma once

// A script host for tests: one plain QJSEngine, no source rewriting (tests call
// the setters, `rom.set_byteAt(1, 5)`), procedures found by comparing the
// global object before and after each piece of code. Errors are recorded as
// their message and thrown as EScriptError, like the real host does after
// showing them.

#include "scripting/mdlScriptHost.h"

#include <QJSEngine>
#include <QStringList>

class TTestScriptHost : public IScriptHost {
public:
    [[nodiscard]] bool available() const override { return m_available; }
    void setAvailable(bool on) { m_available = on; }
    [[nodiscard]] bool procedureExists(const QString& callText) const override;
    QJSValue evaluate(const QString& expression) override;
    [[nodiscard]] QJSEngine* engine() override { return &m_engine; }
    [[nodiscard]] QStringList procedures() const override { return m_procedures; }

    // Runs code at the top level; the functions it defines become procedures.
    void addCode(const QString& code);
    // Registers an object under a global name; the engine takes ownership of
    // a parentless object.
    void addObject(const QString& name, QObject* object);

    [[nodiscard]] const QStringList& errors() const { return m_errors; }
    [[nodiscard]] int evaluations() const { return m_evaluations; }

private:
    [[nodiscard]] QStringList globalFunctions() const;

    QJSEngine m_engine;
    QStringList m_procedures;
    QStringList m_errors;
    int m_evaluations = 0;
    bool m_available = true;
};
