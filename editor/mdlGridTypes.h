#pragma once

#include "editor/mdlColorScales.h"

#include <QtGlobal>

// Types shared by the grid control and the display logic that feeds it. They
// live in the core so that captions, alignments and colours can be computed
// and tested without a widget.

enum TAlignment : quint8 { taLeftJustify, taRightJustify, taCenter };

enum TIncrementDirection : quint8 { idPositive, idNegative };
enum TIncrementSize : quint8 { isSmall, isLarge };

// Font styles of a data cell, as a small bit set.
enum TFontStyle : quint8 { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = quint8;

// A rectangle of grid cells, inclusive on all four sides.
struct TGridRect {
    int Left = 0;
    int Top = 0;
    int Right = -1;
    int Bottom = -1;

    [[nodiscard]] bool isEmpty() const { return Right < Left || Bottom < Top; }
    [[nodiscard]] bool contains(int col, int row) const
    {
        return col >= Left && col <= Right && row >= Top && row <= Bottom;
    }
    [[nodiscard]] int width() const { return isEmpty() ? 0 : Right - Left + 1; }
    [[nodiscard]] int height() const { return isEmpty() ? 0 : Bottom - Top + 1; }
    friend bool operator==(const TGridRect&, const TGridRect&) = default;
};
