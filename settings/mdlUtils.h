#pragma once

// Small stateless helpers shared by every window: hexadecimal text, key filters
// for typed numbers, number re-formatting, random letters and the capture of a
// shell command's output. The message routine itself is the message service
// (mdlMessages.h); rotated text drawing lives with the widgets (ui/mdlRotatedText.h).

#include <QChar>
#include <QString>
#include <optional>

// '0'-'9' give 0-9 and 'A'-'F' give 10-15; anything else, lower-case letters
// included, gives 0 (stored scripts depend on that).
[[nodiscard]] int hexDigitValue(QChar c);
// Sum of digit value x 16^(position from the right). Wraps like a 32-bit integer.
[[nodiscard]] int hexTextValue(const QString& text);

// A letter from 'A' to 'Y'.
[[nodiscard]] QChar randomCapital();
[[nodiscard]] QString randomCapitals(int count);

// Key filters for typed numbers: backspace, DEL (127) and digits pass; with the
// signed flag also '+' and '-'; the real filter also lets '.' through. Any other
// key is swallowed (nothing returned).
[[nodiscard]] std::optional<QChar> integerKeyFilter(QChar key, bool isSigned);
[[nodiscard]] std::optional<QChar> realKeyFilter(QChar key, bool isSigned);

// The text parsed as a real number and formatted with `decimals` places
// ("%.nf"); the default value formatted instead when it does not parse.
[[nodiscard]] QString reformatNumber(const QString& text, int decimals, double defaultValue);

// Runs the command line through /bin/sh with no window and returns everything
// it wrote to standard output once it has ended. Window events keep being
// processed while it runs. Returns "" when the process cannot be started.
[[nodiscard]] QString captureCommandOutput(const QString& commandLine);
