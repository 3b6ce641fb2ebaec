#pragma once

// What the window object needs from the desktop beyond the message service:
// the selection and values dialogs behind window.select and window.input,
// opening a page or document in the desktop's own program, and the browser
// windows of window.showBrowser. The program uses the Qt dialogs of
// scripting/ui; tests script the answers; vexor-cli answers Cancel and says so.

#include <QString>
#include <QStringList>
#include <optional>

class TScriptForm;

// A browser window as window.showBrowser asks for it.
struct TBrowserRequest {
    QString url; // a file: URL for a page of the user's disk
    int width = 0;
    int height = 0;
    bool resizable = false;
    bool modal = true; // shown modally and freed when closed, else modeless
};

class IScriptDialogs {
public:
    virtual ~IScriptDialogs() = default;
    // The selection dialog: the chosen index, -1 when cancelled. The first
    // item is selected when it opens.
    virtual int select(const QString& prompt, const QStringList& items) = 0;
    // The values dialog: one row per key with its initial value; the edited
    // values in row order, nothing when cancelled.
    virtual std::optional<QStringList> values(const QString& message, const QStringList& keys,
                                              const QStringList& values) = 0;
    // Opens a web address or a local file (given as a URL) in the desktop's
    // program for it. False when nothing could open it.
    virtual bool openUrl(const QString& url) = 0;
    // Shows the page in a browser window whose page scripts reach `host`
    // through their `external` object; returns when a modal window closed.
    // Without browser windows (this default) the page opens in the desktop's
    // browser and the user is told once that its scripts cannot reach the
    // program. Throws EVexorError when nothing could show it.
    virtual void showBrowser(TScriptForm& host, const TBrowserRequest& request);

private:
    bool m_browserNoticeShown = false;
};

// Comma-delimited lists as the scripts write them: items containing blanks,
// commas or quotes are enclosed in double quotes (a quote inside doubled);
// unquoted blanks separate items as commas do.
[[nodiscard]] QStringList splitDelimitedText(const QString& text);
[[nodiscard]] QString joinDelimitedText(const QStringList& items);
