#include "scripting/ui/mdlQtScriptDialogs.h"

#include "scripting/ui/dlgSelect.h"
#include "scripting/ui/dlgValues.h"

#include <QDesktopServices>
#include <QUrl>

int TQtScriptDialogs::select(const QString& prompt, const QStringList& items)
{
    TSelectDialog dialog(prompt, items, m_parent);
    return dialog.choose();
}

std::optional<QStringList> TQtScriptDialogs::values(const QString& message, const QStringList& keys,
                                                    const QStringList& values)
{
    TValuesDialog dialog(message, keys, values, m_parent);
    return dialog.edit();
}

bool TQtScriptDialogs::openUrl(const QString& url) { return QDesktopServices::openUrl(QUrl(url)); }
