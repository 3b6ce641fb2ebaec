#include "settings/ui/mdlRotatedText.h"

#include <QFontMetrics>
#include <QPainter>

void drawRotatedText(QPainter& painter, int x, int y, const QString& text, int angleTenths)
{
    painter.save();
    painter.translate(x, y);
    // Screen y grows downwards, so a counter-clockwise angle is a negative rotation.
    painter.rotate(-angleTenths / 10.0);
    painter.drawText(0, QFontMetrics(painter.font()).ascent(), text);
    painter.restore();
}
