#pragma once

// The clipboard service on screen: the system clipboard as plain text.

#include "settings/mdlClipboard.h"

class TQtClipboardService : public IClipboardService {
public:
    [[nodiscard]] QString text() const override;
    void setText(const QString& text) override;
};
