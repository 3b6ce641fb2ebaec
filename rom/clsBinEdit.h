#pragma once

#include "rom/mdlImageObserver.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <vector>

// One undo record: a changed byte, or a group marker when position is 0xFFFF
// (then oldByte holds the group kind).
struct TBinUndoRecord {
    quint16 position = 0;
    quint8 oldByte = 0;
    quint8 newByte = 0;
};

class TBinUndoStack {
public:
    static constexpr quint16 Marker = 0xFFFF;

    void clear();
    void push(const TBinUndoRecord& r);
    [[nodiscard]] int position() const { return m_position; }
    [[nodiscard]] int top() const { return m_top; }
    [[nodiscard]] int capacity() const { return static_cast<int>(m_records.size()); }
    [[nodiscard]] const TBinUndoRecord& at(int i) const { return m_records[static_cast<size_t>(i)]; }
    void setPosition(int p) { m_position = p; }

private:
    std::vector<TBinUndoRecord> m_records; // size() is the capacity
    int m_position = 0;
    int m_top = 0;
};

// The byte image of the open ROM with undo, redo and group markers. Every change
// of image bytes goes through here; while automatic upload is on, each changed
// byte is announced to the subscribed observers (the emulator's change queue).
class TBinEdit {
public:
    using ChangeHandler = std::function<void(TBinEdit&)>;

    static constexpr int SmallImage = 0x8000;
    static constexpr int LargeImage = 0xC000;

    TBinEdit();

    void clear();
    void setSize(int n);
    [[nodiscard]] int size() const { return static_cast<int>(m_image.size()); }

    // Reads image and trailer. Returns bytes read, 0 for a missing file (the
    // buffer is cleared), or -1 when the path exists but cannot be read.
    qint64 load(const QString& fileName);
    // Image and trailer from memory, as load() splits a file.
    void loadBytes(const QByteArray& bytes);
    // How many image bytes the last load supplied; a shorter file is padded
    // with zeros up to the image size, and those zeros are no ROM content.
    [[nodiscard]] int sourceLength() const { return m_sourceLength; }
    [[nodiscard]] QByteArray fileBytes() const;

    bool isBlank(bool rescan);

    [[nodiscard]] quint8 readByte(int position) const;
    [[nodiscard]] quint16 readWord(int position) const;
    void writeByte(int position, quint8 value);
    void writeWord(int position, quint16 value);
    void writeString(int position, const QByteArray& bytes);
    [[nodiscard]] QByteArray readString(int position, int count) const;
    [[nodiscard]] const quint8* data() const { return m_image.data(); }

    void beginGroup(quint8 kind) { pushMarker(kind); }
    void endGroup(quint8 kind) { pushMarker(kind); }

    void suspend() { m_suspended = true; }
    void resume() { m_suspended = false; }
    [[nodiscard]] bool suspended() const { return m_suspended; }

    [[nodiscard]] bool littleEndian() const { return m_littleEndian; }
    void setLittleEndian(bool v) { m_littleEndian = v; }

    void setAutoUpload(bool on);
    [[nodiscard]] bool autoUpload() const { return m_autoUpload; }
    // Announces every image byte afresh (after discarding what was announced),
    // so the emulator receives the whole image. Nothing while upload is off.
    void queueWholeImage();
    // The observer must unsubscribe before it is destroyed.
    void subscribe(IImageChangeObserver* observer);
    void unsubscribe(IImageChangeObserver* observer);

    [[nodiscard]] bool canUndo() const { return m_undo.position() > 0; }
    [[nodiscard]] bool canRedo() const { return m_undo.position() < m_undo.top(); }
    void undo();
    void redo();
    [[nodiscard]] const TBinUndoStack& undoStack() const { return m_undo; }
    void clearUndo();

    // Unsaved changes: derived from the undo position against the saved one,
    // so undoing back to the save reads clean and nothing else can.
    [[nodiscard]] bool modified() const;
    void setModified(bool value);
    // Saved: the image is clean and the undo history starts here.
    void markSaved();

    QByteArray& trailer() { return m_trailer; }
    [[nodiscard]] const QByteArray& trailer() const { return m_trailer; }

    void setOnChange(ChangeHandler h) { m_onChange = std::move(h); }

private:
    void push(const TBinUndoRecord& r);
    void pushMarker(quint8 kind);
    void store(int position, quint8 value);
    void notify();
    void announce(int position, quint8 value);
    void announceDiscard();

    std::vector<quint8> m_image;
    bool m_littleEndian = true;
    bool m_blank = true;
    TBinUndoStack m_undo;
    bool m_suspended = false;
    std::vector<IImageChangeObserver*> m_observers;
    bool m_autoUpload = false;
    QByteArray m_trailer;
    int m_sourceLength = SmallImage;
    ChangeHandler m_onChange;
    int m_savedPosition = 0;         // -1 once the saved state left the history
    bool m_unrecordedChange = false; // a change that undo cannot take back
};
