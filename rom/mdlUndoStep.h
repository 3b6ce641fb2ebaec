#pragma once

#include "rom/clsRom.h"

// Runs a multi-byte operation as one undo step of the given group kind. When
// the operation throws, the group is closed and undone before the error goes
// on, so a failed operation leaves the image as it found it.
template <class Operation>
void runAsOneUndoStep(TBinEdit& buffer, quint8 kind, Operation&& operation)
{
    const int before = buffer.undoStack().position();
    try {
        TUndoGroupGuard group(buffer, kind);
        operation();
    } catch (...) {
        if (buffer.undoStack().position() > before)
            buffer.undo();
        throw;
    }
}
