#pragma once

// The clipboard service: plain text only, which is all the table copy and paste
// commands exchange. The GUI puts QClipboard behind it; tests use a string.

#include <QString>

class IClipboardService {
public:
    virtual ~IClipboardService() = default;
    [[nodiscard]] virtual QString text() const = 0;
    virtual void setText(const QString& text) = 0;
};
