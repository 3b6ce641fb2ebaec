#include "scripting/scptRomEvents.h"

#include "rom/clsRomDocument.h"
#include "rom/mdlEncodings.h"
#include "scripting/mdlScriptArgs.h"

#include <charconv>
#include <cmath>
#include <memory>

namespace {

QString integerText(double v) { return QString::number(qlonglong(v)); }

// Shortest text that reads back as the same 32-bit float; std::to_chars never
// looks at the locale.
QString floatText(double v)
{
    if (!std::isfinite(v))
        throw EVexorError(QStringLiteral("A table value that is not a number cannot be passed to a hook."));
    char buf[32];
    const auto r = std::to_chars(std::begin(buf), std::end(buf), float(v));
    return QString::fromLatin1(buf, int(r.ptr - buf));
}

QString kindText(double v) { return integerText(scriptArg<qint8>(v, "Map")); }
QString indexText(double v) { return integerText(scriptArg<quint8>(v, "Index")); }

bool isRead(TRom::HookSlot slot)
{
    return slot == TRom::OnGetMapScalar || slot == TRom::OnGetRevScalar || slot == TRom::OnGetTableValue;
}

// A binding of one slot to the names; shared by the callback copies so that a
// call into the same slot while it runs is seen.
struct THookBinding {
    IScriptHost& host;
    TRomHookNames& names;
    TRom::HookSlot slot;
    bool active = false;
    // Set once a call failed: the error was shown once, and every access after
    // it fails quietly until the hook is installed again, so a view painting
    // hundreds of cells does not show hundreds of error messages.
    bool failed = false;
};

} // namespace

QStringList romHookArguments(TRom::HookSlot slot, double a, double b, double c, double d)
{
    QStringList args{kindText(a), indexText(b)};
    switch (slot) {
    case TRom::OnGetMapScalar:
    case TRom::OnGetRevScalar: break;
    case TRom::OnSetMapScalar: args << integerText(scriptArg<qint16>(roundEven(c), "value")); break;
    case TRom::OnSetRevScalar: args << integerText(scriptArg<quint16>(roundEven(c), "value")); break;
    case TRom::OnGetTableValue: args << indexText(c); break;
    case TRom::OnSetTableValue: args << indexText(c) << floatText(d); break;
    }
    return args;
}

QString romHookCallText(TRom::HookSlot slot, const QString& name, double a, double b, double c, double d)
{
    return name + QLatin1Char('(') + romHookArguments(slot, a, b, c, d).join(QLatin1Char(',')) + QLatin1Char(')');
}

TRomHook romHookCallback(IScriptHost& host, TRomHookNames& names, TRom::HookSlot slot)
{
    auto binding = std::make_shared<THookBinding>(THookBinding{host, names, slot});
    return [binding](double a, double b, double c, double d) -> double {
        // The hook may replace or clear its own slot while it runs, which
        // destroys this callback; the local copy keeps the binding alive.
        const std::shared_ptr<THookBinding> self = binding;
        const QString name = self->names[self->slot];
        if (self->failed)
            throw EVexorError(
                QStringLiteral("The hook function '%1' failed; it works again once it is installed again.").arg(name));
        if (self->active)
            throw EVexorError(QStringLiteral("The hook function '%1' reached its own kind of value through the ROM "
                                             "object again; a hook reads and writes the image with byteAt and wordAt.")
                                  .arg(name));
        // The call text and the values it reads as, from the same texts.
        const QStringList texts = romHookArguments(self->slot, a, b, c, d);
        QJSValueList args;
        for (const QString& t : texts)
            args << QJSValue(t.toDouble());
        const QString call = name + QLatin1Char('(') + texts.join(QLatin1Char(',')) + QLatin1Char(')');
        self->active = true;
        QJSValue result;
        try {
            result = self->host.callFunction(name, args, call);
        } catch (...) {
            self->active = false;
            self->failed = true;
            throw;
        }
        self->active = false;
        if (!isRead(self->slot))
            return 0;
        const double v = result.toNumber();
        if (!std::isfinite(v))
            throw EVexorError(QStringLiteral("The hook function '%1' returned no number.").arg(name));
        if (self->slot == TRom::OnGetTableValue)
            return v;
        // The scalars are integers; the model takes the value as one.
        const double rounded = roundEven(v);
        if (rounded < std::numeric_limits<int>::min() || rounded > std::numeric_limits<int>::max())
            throw EVexorError(
                QStringLiteral("The hook function '%1' returned %2, which is no scalar.").arg(name).arg(v));
        return rounded;
    };
}

TRomEventsScript::TRomEventsScript(TRomDocument& doc, IScriptHost& host, TRomHookNames& names, QObject* parent)
    : QObject(parent), m_doc(doc), m_host(host), m_names(names)
{}

void TRomEventsScript::install(TRom::HookSlot slot, const QString& function)
{
    if (!m_host.available() || !m_host.procedureExists(function))
        return;
    m_names[slot] = function;
    m_doc.rom().setHook(slot, romHookCallback(m_host, m_names, slot));
}

void TRomEventsScript::unhook() { m_doc.rom().clearHooks(); }
