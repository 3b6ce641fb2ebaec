#pragma once

#include <QtGlobal>

// A listener to the edit buffer's image changes, such as the emulator's change
// queue. While automatic upload is on, the buffer announces every byte that a
// write, an undo or a redo changes, in order. It also says when the changes
// announced so far no longer apply: a new image, automatic upload switched, or
// a whole-image upload starting over.
class IImageChangeObserver {
public:
    virtual ~IImageChangeObserver() = default;
    virtual void imageByteChanged(quint16 address, quint8 value) = 0;
    virtual void imageChangesDiscarded() = 0;
};
