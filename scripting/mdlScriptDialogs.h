#pragma once

// What the window object needs from the desktop beyond the message service:
// the selection and values dialogs behind window.select and window.input, and
// opening a page or document in the desktop's own program. The program uses
// the Qt dialogs of scripting/ui; tests script the answers; vexor-cli answers
// Cancel and says so.

#include <QString>
#include <QStringList>
#include <optional>

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
};

// Comma-delimited lists as the scripts write them: items containing blanks,
// commas or quotes are enclosed in double quotes (a quote inside doubled);
// unquoted blanks separate items as commas do.
[[nodiscard]] QStringList splitDelimitedText(const QString& text);
[[nodiscard]] QString joinDelimitedText(const QStringList& items);
