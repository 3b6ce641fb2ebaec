#pragma once

#include <QString>
#include <stdexcept>

// A failure of the model with the text the user is shown. The model throws it;
// the edge that talks to the user (a window, the CLI, a script) catches it.
class EVexorError : public std::runtime_error {
public:
    explicit EVexorError(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}
    [[nodiscard]] const QString& message() const noexcept { return m_message; }

private:
    QString m_message;
};
