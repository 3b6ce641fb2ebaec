#pragma once

#include "settings/mdlErrors.h"

#include <QJSValue>
#include <QString>
#include <QStringList>

#include <array>

class QJSEngine;

// A call into script code failed. The host has already shown the formatted
// message ("%s at line %d, column %d near '%s'") by the time this is thrown;
// callers catch it, stop what the call was part of and carry on.
class EScriptError : public EVexorError {
public:
    using EVexorError::EVexorError;
};

// What the automation objects, the ROM-event hooks, the registries' callers and
// the wideband conversion need from the script host. The host owns one engine
// (the main script) holding every loaded script in one global namespace.
class IScriptHost {
public:
    virtual ~IScriptHost() = default;
    // False when no engine could be created; nothing calls scripts then.
    [[nodiscard]] virtual bool available() const = 0;
    // Exact, case-sensitive lookup among the functions the loaded code defined.
    // For a call text such as "myHook(1,2)" only the part before '(' counts.
    [[nodiscard]] virtual bool procedureExists(const QString& callText) const = 0;
    // Evaluates text in the main script under the watchdog. A syntax error, an
    // uncaught exception or an interruption is reported to the user and then
    // thrown as EScriptError.
    virtual QJSValue evaluate(const QString& expression) = 0;
    // The same as evaluate(callText) where callText is the call of the global
    // function `name` with `args` (each the value its text in callText reads
    // as), but a host may call the function directly instead of compiling the
    // text again: hooks run once per table cell.
    virtual QJSValue callFunction(const QString& name, const QJSValueList& args, const QString& callText)
    {
        Q_UNUSED(name);
        Q_UNUSED(args);
        return evaluate(callText);
    }
    [[nodiscard]] virtual QJSEngine* engine() = 0;
    // The functions the loaded code defined, in source order (the run-command
    // dialog lists those not beginning with '_').
    [[nodiscard]] virtual QStringList procedures() const = 0;
};

// The main window's record of the script functions behind the ROM-event hooks,
// indexed by TRom::HookSlot. The ROM model holds the callbacks; the names stay
// here after unhook until the next installation overwrites them.
using TRomHookNames = std::array<QString, 6>;

// Scripts written for the dispatch interfaces assign parameterised properties,
// `rom.byteAt(i) = v`. The source rewriter turns such a statement into a call
// of the object's setter, named "set_" + the property name, with the property's
// arguments followed by the value: `rom.set_byteAt(i, v)`. Compound assignments
// read the property first: `rom.byteAt(i) += 2` becomes
// `rom.set_byteAt(i, rom.byteAt(i) + (2))`. Every automation object with a
// parameterised property offers that setter as a Q_INVOKABLE.
inline QString scriptSetterName(const QString& property) { return QStringLiteral("set_") + property; }
