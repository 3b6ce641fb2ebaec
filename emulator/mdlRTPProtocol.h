#pragma once

// The emulator's wire protocol: hardware codes, operation kinds and link
// states, the command strings of each hardware family, reply checks, and the
// error codes with their messages. Pure functions; the link TRTPForm drives them.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace rtp {

// Operation kinds; one runs at a time.
enum TKind : int {
    KindIdle = 0,
    KindRead = 2,       // emulator into the image
    KindWrite = 3,      // image into the emulator
    KindChipRead = 4,   // chip into the image
    KindChipWrite = 5,  // image into the chip (burn)
    KindAutoUpdate = 6, // queued single-byte changes
    KindVerify = 7,     // emulator against the image
    KindChipVerify = 8, // chip against the image
    KindDetect = 9,     // handshake only
};

enum TState : int {
    StateStart = 0,
    StateHandshakeSent = 1,
    StateHandshakeAccepted = 2,
    StateHighSpeedSent = 3,
    StateHighSpeedSwitch = 4,
    StateEraseSent = 5,
    StateEraseDone = 6,
    StateTransferring = 7,
    StateCancelled = 8,
    StateFinished = 10,
    StateMismatch = 11,
    StateFailed = 12,
};

enum TError : int {
    ErrorNone = 0,
    ErrorBadReply = 1,
    ErrorBadWriteReply = 2,  // code 0 write answered with neither "$", "3" nor "f"
    ErrorBadUpdateReply = 3, // code 0 automatic update, the same
    ErrorReadSum = 4,
    ErrorWriteRefused = 5,
    ErrorUpdateRefused = 6,
    ErrorTimedOut = 7,
    ErrorNoConnection = 8,
    ErrorEcuWrite = 10, // "3" from code 0
    ErrorHighSpeed = 12,
    ErrorException = 13,
};

constexpr int BlockSize = 256;
constexpr int ReadReplyLength = BlockSize + 1;
constexpr int HighSpeedBaud = 920000;
constexpr int FallbackBaud = 115200;
constexpr int EraseTimeout = 5000; // ms
constexpr int MaxImage = 0x10000;
constexpr char Code0Read = 0x07;
constexpr char Code0Handshake = static_cast<char>(0xAB);
constexpr char Code0HandshakeReply = static_cast<char>(0xCD);

// Framed families ("SS" and "VV") against the one-byte command protocol of code 0.
[[nodiscard]] constexpr bool isFramed(int code) { return code >= 2 && code <= 6; }
[[nodiscard]] constexpr bool hasHighSpeed(int code) { return code >= 3 && code <= 6; }
[[nodiscard]] constexpr bool isRead(int kind) { return kind == KindRead || kind == KindChipRead; }
[[nodiscard]] constexpr bool isWrite(int kind) { return kind == KindWrite || kind == KindChipWrite; }
[[nodiscard]] constexpr bool isVerify(int kind) { return kind == KindVerify || kind == KindChipVerify; }
// Whether the model behind the code holds an emulator, a chip programmer, or both.
[[nodiscard]] constexpr bool hasEmulatorCommands(int code) { return code == 2 || code == 3 || code == 4 || code == 6; }
[[nodiscard]] constexpr bool hasChipCommands(int code) { return code == 5 || code == 6; }
// A chip erase precedes a burn (codes 5 and 6) and a write of the programmer
// (code 5), on the erasable 27SF512 only.
[[nodiscard]] constexpr bool eraseDue(int kind, int code, bool use512K)
{
    return use512K && ((kind == KindChipWrite && (code == 5 || code == 6)) || (kind == KindWrite && code == 5));
}

// 8-bit sum of the bytes.
[[nodiscard]] quint8 sum(const QByteArray& bytes);
[[nodiscard]] QByteArray withSum(QByteArray bytes);

[[nodiscard]] QByteArray handshake(int code);
[[nodiscard]] int handshakeReplyLength(int code);
// The code after a handshake reply, or -1 when the reply is refused. A "VV"
// reply names the attached model in its third byte: "A" code 6, "B" or "F"
// code 5, "D" code 4, "O" code 3.
[[nodiscard]] int acceptHandshake(int code, const QByteArray& reply);

[[nodiscard]] QByteArray highSpeedRequest();
[[nodiscard]] QByteArray eraseCommand();
// The high byte the device is addressed with: shifted by 0x8000 where the
// family maps the image into the upper half.
[[nodiscard]] quint8 addressHigh(bool shifted, quint16 address);
// A block command of the framed families for `kind` (2, 3, 4, 5, 7, 8) at
// `address`; `data` holds the 256 bytes of a write.
[[nodiscard]] QByteArray blockCommand(int kind, int code, bool use512K, quint16 address, const QByteArray& data = {});
// The one-byte write of an automatic update (framed families).
[[nodiscard]] QByteArray byteCommand(int code, bool use512K, quint16 address, quint8 value);
// Code 0: write one byte.
[[nodiscard]] QByteArray code0Write(quint16 address, quint8 value);

// The message of an error code: text (with the tries and the reply time-out
// for error 7) and title.
[[nodiscard]] QString errorText(int error, int maxTries, int timeoutMs);
[[nodiscard]] QString errorTitle(int error);

// Status texts of the transfer window.
[[nodiscard]] QString transferText(int kind);

} // namespace rtp
