#pragma once

// The texts of the main window's status panes, from the open ROM.

#include <QString>

class TRom;

// The base ROM name, with " v%.2f" and the code version for the extended family.
[[nodiscard]] QString romTypePaneText(const TRom& rom);
// The ROM's options: boost kind, IAB, ITB and the final fuel multiplier.
[[nodiscard]] QString optionsPaneText(const TRom& rom);
