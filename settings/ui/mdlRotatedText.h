#pragma once

// Text drawn at an angle (axis captions of the graphs). The angle is in tenths
// of a degree, counter-clockwise, and (x, y) is the top-left corner of the
// text before rotation, as the graphs' layout code expects.

#include <QString>

class QPainter;

void drawRotatedText(QPainter& painter, int x, int y, const QString& text, int angleTenths);
