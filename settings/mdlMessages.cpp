#include "settings/mdlMessages.h"

QString defaultMessageTitle(TMsgKind kind)
{
    switch (kind) {
    case TMsgKind::Warning: return QStringLiteral("Warning");
    case TMsgKind::Error: return QStringLiteral("Error");
    case TMsgKind::Information: return QStringLiteral("Information");
    case TMsgKind::Confirmation: return QStringLiteral("Confirmation");
    }
    return QString();
}

QString displayLineBreaks(const QString& text)
{
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

int IMessageService::showMessage(const QString& text, const QString& title, TMsgKind kind, TMsgButtons buttons)
{
    if (!buttons)
        buttons = TMsgButton::OK; // a box without buttons could never be closed
    return doShowMessage(TMessage{text, title.isEmpty() ? defaultMessageTitle(kind) : title, kind, buttons});
}
