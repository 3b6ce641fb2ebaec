#pragma once

// A simulated ROM emulator (and, for the chip-capable models, chip
// programmer): 64 KB of emulator memory, 64 KB of chip memory, and a
// responder that answers the host's command bytes as the device of a hardware
// code does, with optional faults. vexor-sim serves it on a pseudo-terminal;
// tests and benchmarks use it directly.

#include <QByteArray>
#include <QtGlobal>
#include <functional>

struct TEmuFaults {
    int badSumEvery = 0;       // every Nth read reply carries a wrong sum
    int rejectWritesEvery = 0; // every Nth write is refused and not stored
    qint64 silenceAfter = -1;  // no reply after this many commands
    bool noise = false;        // now and then a reply is preceded by stray bytes
    quint32 seed = 1;
};

struct TEmuStats {
    quint64 commands = 0;
    quint64 blockReads = 0;
    quint64 blockWrites = 0;
    quint64 byteWrites = 0; // one-byte writes (automatic update, code 0)
    quint64 badSums = 0;    // read replies sent with a wrong sum
    quint64 refusedWrites = 0;
    quint64 badCommands = 0; // commands whose own sum was wrong
    quint64 unanswered = 0;
    quint64 noiseBytes = 0;
    quint64 erases = 0;
};

class TEmuModel {
public:
    static constexpr int MemorySize = 0x10000;

    // `hardware` 0, 2 or 3; `model` the letter a hardware-3 device names in
    // its handshake reply: O (code 3), D (code 4), B or F (code 5), A (code 6).
    TEmuModel(int hardware, char model = 'O', TEmuFaults faults = {});

    // Bytes from the host; returns the reply. *delayMs receives the time the
    // device takes before it answers (a chip erase), 0 otherwise.
    QByteArray receive(const QByteArray& bytes, int* delayMs = nullptr);

    [[nodiscard]] int hardware() const { return m_hardware; }
    [[nodiscard]] char model() const { return m_model; }
    // The code the host ends up with after the handshake.
    [[nodiscard]] int code() const;
    [[nodiscard]] bool hasChip() const { return code() == 5 || code() == 6; }
    // Where image address 0 lies in emulator memory (the upper half for the
    // models that are addressed with the high bit set).
    [[nodiscard]] quint16 imageOffset() const;
    // True once the host asked for high speed (920000 baud) and was granted it.
    [[nodiscard]] bool highSpeed() const { return m_highSpeed; }

    QByteArray& memory() { return m_memory; }
    QByteArray& chip() { return m_chip; }
    // `length` bytes as the host's image addresses see them.
    [[nodiscard]] QByteArray imageView(int length, bool fromChip = false) const;
    void loadImage(const QByteArray& image, bool intoChip = false);

    [[nodiscard]] const TEmuStats& stats() const { return m_stats; }
    int eraseMs = 100;
    // Each byte stored by a write, in order (address in device memory).
    std::function<void(quint16 address, quint8 value, bool chip)> onStore;

private:
    // One complete command at the front of m_in: its length, 0 when more
    // bytes are needed, -1 when the first byte starts no command (dropped).
    int commandLength() const;
    QByteArray answer(const QByteArray& command, int* delayMs);
    QByteArray answerCode0(const QByteArray& command);
    QByteArray readBlock(const QByteArray& memory, quint16 address, int length);
    bool refuseWrite();
    void store(bool chip, quint16 address, quint8 value);
    quint32 random();

    int m_hardware;
    char m_model;
    TEmuFaults m_faults;
    TEmuStats m_stats;
    QByteArray m_memory;
    QByteArray m_chip;
    QByteArray m_in;
    quint16 m_readPointer = 0; // code 0 reads the image in order
    bool m_highSpeed = false;
    quint64 m_reads = 0;
    quint64 m_writes = 0;
    quint32 m_rng;
};
