#pragma once

#include <QtGlobal>

// Colours as the grid events carry them: 24 bits with red in the low byte
// (0x00BBGGRR). The widgets convert them to QColor only when they paint, so
// the display logic stays free of the GUI library.
using TColor = quint32;

namespace VexorColors {
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clGray = 0x808080;
constexpr TColor clFuchsia = 0xFF00FF;
} // namespace VexorColors

// Each component is taken modulo 256, so the negative blue terms of the
// scales below wrap the way the colours were designed with.
[[nodiscard]] constexpr TColor RGB(long long r, long long g, long long b)
{
    auto c = [](long long v) {
        return static_cast<TColor>(static_cast<quint8>(static_cast<unsigned long long>(v) & 0xFF));
    };
    return c(r) | (c(g) << 8) | (c(b) << 16);
}
[[nodiscard]] constexpr int RedOf(TColor c) { return static_cast<int>(c & 0xFF); }
[[nodiscard]] constexpr int GreenOf(TColor c) { return static_cast<int>((c >> 8) & 0xFF); }
[[nodiscard]] constexpr int BlueOf(TColor c) { return static_cast<int>((c >> 16) & 0xFF); }

// The colour scales of the table grid: low values run from cyan through green
// to yellow, high values from yellow through orange to red. Non-finite inputs
// take the low end of their scale rather than feeding a NaN into a cast.
[[nodiscard]] TColor FuelColor(double x);
[[nodiscard]] TColor IgnitionColor(double x);
[[nodiscard]] TColor LambdaColor(double x);
[[nodiscard]] TColor DifferenceColor(double x, double hi, double mid, double lo);
