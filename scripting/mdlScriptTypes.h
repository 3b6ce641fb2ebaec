#pragma once

#include <QtGlobal>

// Scripts number the ROM families their own way: 3 and 4 are exchanged against
// the model's type codes, 0 to 2 and 5 to 9 are the same, and anything else is
// the unknown code. ROM handler registration and the ROM object's `base` write
// share this one table.
[[nodiscard]] quint8 scriptTypeToRomType(int scriptType);

// The type code a script reads back: the model's code for 0 to 9, 10 for any
// other family (the extended, Nissan and unknown codes).
[[nodiscard]] quint8 romTypeForScript(int romType);
