#pragma once

#include "settings/mdlErrors.h"

#include <QJSEngine>
#include <QObject>
#include <QString>

#include <cmath>
#include <limits>
#include <type_traits>

// Automation members take their numeric arguments as double and convert them
// here to the width the interface declares. A value that does not fit is a
// script error, never a silent wrap: an index of 70000 is not address 4464.
template <typename T>
[[nodiscard]] T scriptArg(double value, const char* name)
{
    static_assert(std::is_integral_v<T>);
    const double lo = double(std::numeric_limits<T>::min());
    const double hi = double(std::numeric_limits<T>::max());
    if (!std::isfinite(value) || std::trunc(value) != value || value < lo || value > hi)
        throw EVexorError(QStringLiteral("Argument %1 out of range: %2 (allowed %3 to %4).")
                              .arg(QLatin1String(name))
                              .arg(value)
                              .arg(qlonglong(lo))
                              .arg(qulonglong(hi)));
    return static_cast<T>(value);
}

// Runs a member's body; a failure of the model becomes a JavaScript exception
// carrying its message, so it surfaces as a script run-time error.
template <typename F>
auto scriptGuard(const QObject* self, F&& body) -> decltype(body())
{
    using R = decltype(body());
    try {
        return body();
    } catch (const EVexorError& e) {
        if (QJSEngine* engine = qjsEngine(self))
            engine->throwError(e.message());
        if constexpr (!std::is_void_v<R>)
            return R{};
    }
}
