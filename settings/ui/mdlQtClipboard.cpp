#include "settings/ui/mdlQtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

QString TQtClipboardService::text() const { return QGuiApplication::clipboard()->text(); }

void TQtClipboardService::setText(const QString& text) { QGuiApplication::clipboard()->setText(text); }
