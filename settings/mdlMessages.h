#pragma once

// The message service: every question or notice the program puts to the user
// goes through here, so the model never opens a dialog itself and every flow can
// run in a test with a scripted responder instead of a screen.

#include <QFlags>
#include <QString>
#include <optional>

enum class TMsgKind { Warning, Error, Information, Confirmation };

enum class TMsgButton : unsigned { OK = 0x1, Cancel = 0x2, Yes = 0x4, No = 0x8 };
Q_DECLARE_FLAGS(TMsgButtons, TMsgButton)
Q_DECLARE_OPERATORS_FOR_FLAGS(TMsgButtons)

// Modal results, numbered as the stored scripts and callers expect them.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

// One question as it reaches an implementation: the title is already resolved
// (never empty) and the text still holds its "\r\n" / "\r" line breaks.
struct TMessage {
    QString text;
    QString title;
    TMsgKind kind = TMsgKind::Information;
    TMsgButtons buttons = TMsgButton::OK;
};

// "Warning", "Error", "Information" or "Confirmation".
[[nodiscard]] QString defaultMessageTitle(TMsgKind kind);
// Windows-style line breaks ("\r\n", lone "\r") turned into "\n" for a Qt widget.
[[nodiscard]] QString displayLineBreaks(const QString& text);

class IMessageService {
public:
    virtual ~IMessageService() = default;

    // Shows a modal message and returns the pressed button's modal result. An
    // empty title becomes the kind's default title. Never fails.
    int showMessage(const QString& text, const QString& title, TMsgKind kind, TMsgButtons buttons);

    // The one-line input box: the entered text, or nothing when cancelled.
    std::optional<QString> inputQuery(const QString& caption, const QString& prompt, const QString& value)
    {
        return doInputQuery(caption, prompt, value);
    }

protected:
    virtual int doShowMessage(const TMessage& message) = 0;
    virtual std::optional<QString> doInputQuery(const QString& caption, const QString& prompt,
                                                const QString& value) = 0;
};
