#include "rom/clsBinEdit.h"

#include "settings/mdlErrors.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

void TBinUndoStack::clear()
{
    m_records.clear();
    m_records.shrink_to_fit();
    m_position = 0;
    m_top = 0;
}

void TBinUndoStack::push(const TBinUndoRecord& r)
{
    if (m_position >= capacity())
        m_records.resize(m_records.empty() ? 1024 : m_records.size() * 2);
    m_records[static_cast<size_t>(m_position)] = r;
    ++m_position;
    m_top = m_position;
}

TBinEdit::TBinEdit() { clear(); }

void TBinEdit::clear()
{
    m_image.assign(SmallImage, 0);
    m_sourceLength = SmallImage;
    m_undo.clear();
    announceDiscard();
    m_suspended = false;
    m_trailer.clear();
    m_blank = true;
    m_savedPosition = 0;
    m_unrecordedChange = false;
}

void TBinEdit::setSize(int n)
{
    m_image.resize(static_cast<size_t>(std::max(0, n)), 0);
    m_sourceLength = size();
}

qint64 TBinEdit::load(const QString& fileName)
{
    QFileInfo info(fileName);
    if (!info.exists()) {
        clear();
        return 0;
    }
    QFile f(fileName);
    if (info.isDir() || !f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return -1;
    loadBytes(bytes);
    return bytes.size();
}

void TBinEdit::loadBytes(const QByteArray& bytes)
{
    const int n = bytes.size() < LargeImage ? SmallImage : LargeImage;
    m_image.assign(static_cast<size_t>(n), 0); // no byte of an earlier image may show through
    m_trailer.clear();
    const int inImage = static_cast<int>(std::min<qsizetype>(n, bytes.size()));
    std::copy(bytes.constBegin(), bytes.constBegin() + inImage, m_image.begin());
    m_sourceLength = inImage;
    if (bytes.size() > n)
        m_trailer = bytes.mid(n);
}

QByteArray TBinEdit::fileBytes() const
{
    QByteArray out(reinterpret_cast<const char*>(m_image.data()), size());
    out.append(m_trailer);
    return out;
}

bool TBinEdit::isBlank(bool rescan)
{
    if (rescan)
        m_blank = std::all_of(m_image.begin(), m_image.end(), [](quint8 b) { return b == 0; });
    return m_blank;
}

quint8 TBinEdit::readByte(int position) const
{
    if (position < 0 || position >= size())
        throw EVexorError(QStringLiteral("Index out of bounds"));
    return m_image[static_cast<size_t>(position)];
}

quint16 TBinEdit::readWord(int position) const
{
    if (position < 0 || position + 1 >= size())
        throw EVexorError(QStringLiteral("Index out of bounds"));
    const quint8 a = m_image[static_cast<size_t>(position)];
    const quint8 b = m_image[static_cast<size_t>(position) + 1];
    return m_littleEndian ? quint16(a | (b << 8)) : quint16((a << 8) | b);
}

void TBinEdit::push(const TBinUndoRecord& r)
{
    // A new record drops the redo list; if the saved state was in it, no
    // position of the history matches the file any more.
    if (m_savedPosition > m_undo.position())
        m_savedPosition = -1;
    m_undo.push(r);
}

void TBinEdit::pushMarker(quint8 kind)
{
    if (!m_suspended)
        push({TBinUndoStack::Marker, kind, 0});
}

void TBinEdit::store(int position, quint8 value)
{
    m_image[static_cast<size_t>(position)] = value;
    announce(position, value);
    if (m_suspended)
        m_unrecordedChange = true;
    if (value != 0)
        m_blank = false;
}

void TBinEdit::announce(int position, quint8 value)
{
    if (!m_autoUpload)
        return;
    for (IImageChangeObserver* o : m_observers)
        o->imageByteChanged(static_cast<quint16>(position), value);
}

void TBinEdit::announceDiscard()
{
    for (IImageChangeObserver* o : m_observers)
        o->imageChangesDiscarded();
}

void TBinEdit::subscribe(IImageChangeObserver* observer)
{
    if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void TBinEdit::unsubscribe(IImageChangeObserver* observer) { std::erase(m_observers, observer); }

void TBinEdit::notify()
{
    if (m_onChange)
        m_onChange(*this);
}

void TBinEdit::writeByte(int position, quint8 value)
{
    if (position < 0 || position >= size())
        throw EVexorError(QStringLiteral("Internal pointer has reached end of file."));
    const quint8 old = m_image[static_cast<size_t>(position)];
    if (old == value)
        return;
    if (!m_suspended)
        push({static_cast<quint16>(position), old, value});
    store(position, value);
    notify();
}

void TBinEdit::writeWord(int position, quint16 value)
{
    if (position < 0 || position + 1 >= size())
        throw EVexorError(QStringLiteral("Internal pointer has reached end of file."));
    if (readWord(position) == value)
        return;
    const quint8 lo = quint8(value & 0xFF), hi = quint8(value >> 8);
    const quint8 first = m_littleEndian ? lo : hi;
    const quint8 second = m_littleEndian ? hi : lo;
    const quint8 old0 = m_image[static_cast<size_t>(position)];
    const quint8 old1 = m_image[static_cast<size_t>(position) + 1];
    if (!m_suspended) {
        pushMarker(1);
        push({static_cast<quint16>(position), old0, first});
        push({static_cast<quint16>(position + 1), old1, second});
        pushMarker(1);
    }
    store(position, first);
    store(position + 1, second);
    notify();
}

void TBinEdit::writeString(int position, const QByteArray& bytes)
{
    pushMarker(2);
    for (int i = 0; i < bytes.size(); ++i) {
        const int p = position + i;
        if (p >= SmallImage)
            break;
        if (p < 0 || p >= size())
            break;
        const quint8 v = static_cast<quint8>(bytes[i]);
        const quint8 old = m_image[static_cast<size_t>(p)];
        if (old == v)
            continue;
        if (!m_suspended)
            push({static_cast<quint16>(p), old, v});
        store(p, v);
    }
    pushMarker(2);
}

QByteArray TBinEdit::readString(int position, int count) const
{
    QByteArray out;
    if (position < 0)
        return out;
    const int end = std::min({position + std::max(0, count), int(SmallImage), size()});
    for (int p = position; p < end; ++p)
        out.append(static_cast<char>(m_image[static_cast<size_t>(p)]));
    return out;
}

void TBinEdit::setAutoUpload(bool on)
{
    announceDiscard();
    m_autoUpload = on;
}

void TBinEdit::queueWholeImage()
{
    if (!m_autoUpload)
        return;
    announceDiscard();
    for (int p = 0; p < size(); ++p)
        announce(p, m_image[static_cast<size_t>(p)]);
}

void TBinEdit::undo()
{
    int pos = m_undo.position();
    if (pos <= 0)
        return;
    auto restore = [this](const TBinUndoRecord& r) {
        if (r.position >= size())
            return;
        m_image[r.position] = r.oldByte;
        announce(r.position, r.oldByte);
    };
    const TBinUndoRecord first = m_undo.at(--pos);
    if (first.position != TBinUndoStack::Marker) {
        restore(first);
    } else {
        const quint8 kind = first.oldByte;
        while (pos > 0) {
            const TBinUndoRecord r = m_undo.at(--pos);
            if (r.position == TBinUndoStack::Marker) {
                if (r.oldByte == kind)
                    break;
                continue;
            }
            restore(r);
        }
    }
    m_undo.setPosition(pos);
    notify();
}

void TBinEdit::redo()
{
    int pos = m_undo.position();
    const int top = m_undo.top();
    if (pos >= top)
        return;
    auto apply = [this](const TBinUndoRecord& r) {
        if (r.position >= size())
            return;
        m_image[r.position] = r.newByte;
        announce(r.position, r.newByte);
        if (r.newByte != 0)
            m_blank = false;
    };
    const TBinUndoRecord first = m_undo.at(pos++);
    if (first.position != TBinUndoStack::Marker) {
        apply(first);
    } else {
        const quint8 kind = first.oldByte;
        // Walk only over valid records: the slots past the top are stale.
        while (pos < top) {
            const TBinUndoRecord r = m_undo.at(pos++);
            if (r.position == TBinUndoStack::Marker) {
                if (r.oldByte == kind)
                    break;
                continue;
            }
            apply(r);
        }
    }
    m_undo.setPosition(pos);
    notify();
}

void TBinEdit::clearUndo()
{
    const bool wasModified = modified();
    m_undo.clear();
    m_savedPosition = wasModified ? -1 : 0;
    m_unrecordedChange = false;
}

bool TBinEdit::modified() const { return m_unrecordedChange || m_undo.position() != m_savedPosition; }

void TBinEdit::setModified(bool value)
{
    if (value) {
        m_unrecordedChange = true;
    } else {
        m_unrecordedChange = false;
        m_savedPosition = m_undo.position();
    }
}

void TBinEdit::markSaved()
{
    m_undo.clear();
    m_savedPosition = 0;
    m_unrecordedChange = false;
}
