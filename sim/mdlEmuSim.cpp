#include "sim/mdlEmuSim.h"

#include <algorithm>

namespace {

quint8 sumOf(const char* p, int n)
{
    quint8 s = 0;
    for (int i = 0; i < n; ++i)
        s = static_cast<quint8>(s + static_cast<quint8>(p[i]));
    return s;
}

int blockLength(char lengthByte)
{
    return static_cast<quint8>(lengthByte) == 0 ? 256 : static_cast<quint8>(lengthByte);
}

} // namespace

TEmuModel::TEmuModel(int hardware, char model, TEmuFaults faults)
    : m_hardware(hardware), m_model(hardware == 3 ? model : 'O'), m_faults(faults), m_memory(MemorySize, '\0'),
      m_chip(MemorySize, static_cast<char>(0xFF)), m_rng(faults.seed ? faults.seed : 1)
{}

int TEmuModel::code() const
{
    if (m_hardware != 3)
        return m_hardware;
    switch (m_model) {
    case 'A': return 6;
    case 'B':
    case 'F': return 5;
    case 'D': return 4;
    default: return 3;
    }
}

quint16 TEmuModel::imageOffset() const
{
    const int c = code();
    return c == 3 || c == 5 || c == 6 ? 0x8000 : 0;
}

QByteArray TEmuModel::imageView(int length, bool fromChip) const
{
    const QByteArray& mem = fromChip ? m_chip : m_memory;
    QByteArray out(length, '\0');
    for (int i = 0; i < length; ++i)
        out[i] = mem.at((i + imageOffset()) & 0xFFFF);
    return out;
}

void TEmuModel::loadImage(const QByteArray& image, bool intoChip)
{
    QByteArray& mem = intoChip ? m_chip : m_memory;
    for (int i = 0; i < std::min<int>(static_cast<int>(image.size()), MemorySize); ++i)
        mem[(i + imageOffset()) & 0xFFFF] = image.at(i);
}

quint32 TEmuModel::random()
{
    m_rng ^= m_rng << 13;
    m_rng ^= m_rng >> 17;
    m_rng ^= m_rng << 5;
    return m_rng;
}

QByteArray TEmuModel::receive(const QByteArray& bytes, int* delayMs)
{
    if (delayMs)
        *delayMs = 0;
    m_in += bytes;
    QByteArray out;
    for (;;) {
        const int n = commandLength();
        if (n == 0)
            break;
        if (n < 0) {
            m_in.remove(0, 1);
            continue;
        }
        const QByteArray command = m_in.left(n);
        m_in.remove(0, n);
        ++m_stats.commands;
        int delay = 0;
        const QByteArray reply = m_hardware == 0 ? answerCode0(command) : answer(command, &delay);
        if (m_faults.silenceAfter >= 0 && static_cast<qint64>(m_stats.commands) > m_faults.silenceAfter) {
            ++m_stats.unanswered;
            continue;
        }
        if (m_faults.noise && !reply.isEmpty() && random() % 5 == 0) {
            const int k = 1 + static_cast<int>(random() % 2);
            for (int i = 0; i < k; ++i)
                out.append(static_cast<char>(random() & 0xFF));
            m_stats.noiseBytes += static_cast<quint64>(k);
        }
        out += reply;
        if (delayMs)
            *delayMs = std::max(*delayMs, delay);
    }
    return out;
}

int TEmuModel::commandLength() const
{
    if (m_in.isEmpty())
        return 0;
    const qsizetype have = m_in.size();
    const char c = m_in.at(0);
    if (m_hardware == 0) {
        switch (static_cast<quint8>(c)) {
        case 0xAB:
        case 0x07: return 1;
        case 0x04: return have >= 5 ? 5 : 0;
        default: return -1;
        }
    }
    // Letter, length, high, low, [data], sum.
    auto block = [&](int at) -> int {
        if (have < at + 4)
            return 0;
        const char letter = m_in.at(at);
        const int n = at + 4 + (letter == 'R' ? 0 : blockLength(m_in.at(at + 1))) + 1;
        return have >= n ? n : 0;
    };
    switch (c) {
    case 'S':
        if (have < 2)
            return 0;
        if (m_in.at(1) == 'S')
            return 2;
        if (m_in.at(1) == '\0')
            return have >= 3 ? 3 : 0;
        return -1;
    case 'V':
        if (have < 2)
            return 0;
        return m_in.at(1) == 'V' ? 2 : -1;
    case 'R':
    case 'W':
    case 'w': return block(0);
    case '5':
    case '2':
        if (have < 2)
            return 0;
        if (m_in.at(1) == 'E')
            return have >= 3 ? 3 : 0;
        if (m_in.at(1) == 'R' || m_in.at(1) == 'W')
            return block(1);
        return -1;
    default: return -1;
    }
}

bool TEmuModel::refuseWrite()
{
    ++m_writes;
    if (m_faults.rejectWritesEvery > 0 && m_writes % static_cast<quint64>(m_faults.rejectWritesEvery) == 0) {
        ++m_stats.refusedWrites;
        return true;
    }
    return false;
}

void TEmuModel::store(bool chip, quint16 address, quint8 value)
{
    (chip ? m_chip : m_memory)[address] = static_cast<char>(value);
    if (onStore)
        onStore(address, value, chip);
}

QByteArray TEmuModel::readBlock(const QByteArray& memory, quint16 address, int length)
{
    QByteArray out(length, '\0');
    for (int i = 0; i < length; ++i)
        out[i] = memory.at((address + i) & 0xFFFF);
    quint8 s = sumOf(out.constData(), length);
    ++m_reads;
    ++m_stats.blockReads;
    if (m_faults.badSumEvery > 0 && m_reads % static_cast<quint64>(m_faults.badSumEvery) == 0) {
        s = static_cast<quint8>(s + 1);
        ++m_stats.badSums;
    }
    out.append(static_cast<char>(s));
    return out;
}

QByteArray TEmuModel::answer(const QByteArray& command, int* delayMs)
{
    const char* p = command.constData();
    const int n = static_cast<int>(command.size());
    if (command == QByteArrayLiteral("SS"))
        return m_hardware == 2 ? QByteArrayLiteral("O") : QByteArray();
    if (command == QByteArrayLiteral("VV"))
        return m_hardware == 3 ? QByteArray("VV") + m_model : QByteArray();
    // Every other command carries its sum.
    if (sumOf(p, n - 1) != static_cast<quint8>(p[n - 1])) {
        ++m_stats.badCommands;
        return QByteArrayLiteral("E");
    }
    if (p[0] == 'S') {
        if (m_hardware != 3)
            return {};
        m_highSpeed = true;
        return QByteArrayLiteral("O");
    }
    const bool prefixed = p[0] == '5' || p[0] == '2';
    if (prefixed && p[1] == 'E') {
        if (!hasChip())
            return QByteArrayLiteral("E");
        m_chip.fill(static_cast<char>(0xFF));
        ++m_stats.erases;
        *delayMs = eraseMs;
        return QByteArrayLiteral("O");
    }
    if (prefixed && !hasChip())
        return QByteArrayLiteral("E");
    const int at = prefixed ? 1 : 0;
    const char letter = p[at];
    const int length = blockLength(p[at + 1]);
    quint16 address = static_cast<quint16>((static_cast<quint8>(p[at + 2]) << 8) | static_cast<quint8>(p[at + 3]));
    if (letter == 'R')
        return readBlock(prefixed ? m_chip : m_memory, address, length);
    // 'w' names the image address; the device maps it like its block commands.
    if (letter == 'w')
        address = static_cast<quint16>(address + imageOffset());
    if (refuseWrite())
        return QByteArrayLiteral("E");
    if (length == 1)
        ++m_stats.byteWrites;
    else
        ++m_stats.blockWrites;
    for (int i = 0; i < length; ++i)
        store(prefixed, static_cast<quint16>(address + i), static_cast<quint8>(p[at + 4 + i]));
    return QByteArrayLiteral("O");
}

QByteArray TEmuModel::answerCode0(const QByteArray& command)
{
    const quint8 c = static_cast<quint8>(command.at(0));
    if (c == 0xAB) {
        m_readPointer = 0;
        return QByteArray(1, static_cast<char>(0xCD));
    }
    if (c == 0x07) {
        ++m_stats.blockReads;
        return QByteArray(1, m_memory.at(m_readPointer++));
    }
    // 0x04, high, low, value, sum
    if (sumOf(command.constData(), 4) != static_cast<quint8>(command.at(4))) {
        ++m_stats.badCommands;
        return QByteArrayLiteral("f");
    }
    if (refuseWrite())
        return QByteArrayLiteral("3");
    ++m_stats.byteWrites;
    store(false, static_cast<quint16>((static_cast<quint8>(command.at(1)) << 8) | static_cast<quint8>(command.at(2))),
          static_cast<quint8>(command.at(3)));
    return QByteArrayLiteral("$");
}
