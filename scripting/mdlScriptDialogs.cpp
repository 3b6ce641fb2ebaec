#include "scripting/mdlScriptDialogs.h"

#include "scripting/frmScripts.h"
#include "settings/mdlErrors.h"
#include "settings/mdlMessages.h"

namespace {
bool isBlank(QChar c) { return c.unicode() <= u' '; }
} // namespace

QStringList splitDelimitedText(const QString& text)
{
    QStringList out;
    const int n = int(text.size());
    int i = 0;
    while (i < n && isBlank(text.at(i)))
        ++i;
    while (i < n) {
        QString item;
        if (text.at(i) == u'"') {
            ++i;
            while (i < n) {
                if (text.at(i) == u'"') {
                    if (i + 1 < n && text.at(i + 1) == u'"') {
                        item += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text.at(i++);
            }
            // Anything glued to the closing quote belongs to the item.
            while (i < n && !isBlank(text.at(i)) && text.at(i) != u',')
                item += text.at(i++);
        } else {
            while (i < n && !isBlank(text.at(i)) && text.at(i) != u',')
                item += text.at(i++);
        }
        out << item;
        while (i < n && isBlank(text.at(i)))
            ++i;
        if (i < n && text.at(i) == u',') {
            ++i;
            while (i < n && isBlank(text.at(i)))
                ++i;
            if (i == n)
                out << QString(); // a trailing comma ends with an empty item
        }
    }
    return out;
}

QString joinDelimitedText(const QStringList& items)
{
    QStringList parts;
    for (const QString& item : items) {
        bool quote = item.contains(u',') || item.contains(u'"');
        for (QChar c : item)
            quote = quote || isBlank(c);
        if (quote) {
            QString q = item;
            q.replace(QLatin1String("\""), QLatin1String("\"\""));
            parts << u'"' + q + u'"';
        } else {
            parts << item;
        }
    }
    return parts.join(u',');
}

void IScriptDialogs::showBrowser(TScriptForm& host, const TBrowserRequest& request)
{
    if (!openUrl(request.url))
        throw EVexorError(QStringLiteral("Could not open \"%1\".").arg(request.url));
    if (m_browserNoticeShown)
        return;
    m_browserNoticeShown = true;
    if (IMessageService* m = host.environment().services.messages)
        m->showMessage(QStringLiteral("The page opened in the desktop's browser: this build of the program has no "
                                      "browser windows of its own, so the page's scripts cannot reach it."),
                       QString(), TMsgKind::Information, TMsgButton::OK);
}
