#include "emulator/mdlRTPProtocol.h"

namespace rtp {

quint8 sum(const QByteArray& bytes)
{
    quint8 s = 0;
    for (char c : bytes)
        s = static_cast<quint8>(s + static_cast<quint8>(c));
    return s;
}

QByteArray withSum(QByteArray bytes)
{
    bytes.append(static_cast<char>(sum(bytes)));
    return bytes;
}

QByteArray handshake(int code)
{
    if (code == 0)
        return QByteArray(1, Code0Handshake);
    if (code == 2)
        return QByteArrayLiteral("SS");
    return QByteArrayLiteral("VV");
}

int handshakeReplyLength(int code) { return hasHighSpeed(code) ? 3 : 1; }

int acceptHandshake(int code, const QByteArray& reply)
{
    if (reply.size() < handshakeReplyLength(code))
        return -1;
    if (code == 0)
        return reply.at(0) == Code0HandshakeReply ? 0 : -1;
    if (code == 2)
        return reply.at(0) == 'O' ? 2 : -1;
    if (!hasHighSpeed(code))
        return -1;
    switch (reply.at(2)) {
    case 'A': return 6;
    case 'B':
    case 'F': return 5;
    case 'D': return 4;
    case 'O': return 3;
    default: return -1;
    }
}

QByteArray highSpeedRequest() { return withSum(QByteArray("S\0", 2)); }

QByteArray eraseCommand() { return withSum(QByteArrayLiteral("5E")); }

quint8 addressHigh(bool shifted, quint16 address)
{
    return static_cast<quint8>(static_cast<quint16>(address + (shifted ? 0x8000 : 0)) >> 8);
}

namespace {

// Letters and address form of one command: "R", "W", "w" alone or behind the
// chip prefix "5" / "2".
struct TForm {
    bool chip;
    char letter;
    bool shifted;
};

TForm blockForm(int kind, int code)
{
    const bool reading = isRead(kind) || isVerify(kind);
    const char letter = reading ? 'R' : 'W';
    switch (kind) {
    case KindChipRead:
    case KindChipWrite: return {true, letter, true};
    case KindChipVerify:
        if (code == 5 || code == 6)
            return {true, letter, true};
        break;
    default:
        if (code == 5)
            return {true, letter, true};
        break;
    }
    return {false, letter, code != 2 && code != 4};
}

QByteArray compose(const TForm& f, bool use512K, quint8 length, quint16 address, const QByteArray& data)
{
    QByteArray cmd;
    if (f.chip)
        cmd.append(use512K ? '5' : '2');
    cmd.append(f.letter);
    cmd.append(static_cast<char>(length));
    cmd.append(static_cast<char>(addressHigh(f.shifted, address)));
    cmd.append(static_cast<char>(address & 0xFF));
    cmd.append(data);
    return withSum(cmd);
}

} // namespace

QByteArray blockCommand(int kind, int code, bool use512K, quint16 address, const QByteArray& data)
{
    QByteArray payload;
    if (isWrite(kind)) {
        payload = data.left(BlockSize);
        if (payload.size() < BlockSize)
            payload.append(QByteArray(BlockSize - payload.size(), '\0'));
    }
    return compose(blockForm(kind, code), use512K, 0, address, payload);
}

QByteArray byteCommand(int code, bool use512K, quint16 address, quint8 value)
{
    TForm f{false, 'W', false};
    switch (code) {
    case 2:
    case 6: f = {false, 'w', false}; break;
    case 3: f = {false, 'W', true}; break;
    case 4: f = {false, 'W', false}; break;
    case 5: f = {true, 'W', true}; break;
    default: break;
    }
    return compose(f, use512K, 1, address, QByteArray(1, static_cast<char>(value)));
}

QByteArray code0Write(quint16 address, quint8 value)
{
    QByteArray cmd;
    cmd.append(static_cast<char>(0x04));
    cmd.append(static_cast<char>(address >> 8));
    cmd.append(static_cast<char>(address & 0xFF));
    cmd.append(static_cast<char>(value));
    return withSum(cmd);
}

QString errorText(int error, int maxTries, int timeoutMs)
{
    switch (error) {
    case 1:
    case 2:
    case 3: return QStringLiteral("The reply from device is not the one expected.");
    case 4:
    case 5:
    case 6: return QStringLiteral("The data received failed to match the checksum");
    case 7:
        return QStringLiteral("The operation failed after %1 attempt(s) with %2 milliseconds between each attempt.")
            .arg(maxTries)
            .arg(timeoutMs);
    case 8: return QStringLiteral("No RTP connection was detected .");
    case 9:
    case 10: return QStringLiteral("The ECU was unsuccessful in writing the data.");
    case 12: return QStringLiteral("Failed to upgrade hardware to High Speed protocol.");
    default: return QStringLiteral("An unknown error occured.");
    }
}

QString errorTitle(int error)
{
    switch (error) {
    case 1:
    case 2:
    case 3: return QStringLiteral("Bad Reply");
    case 4:
    case 5:
    case 6: return QStringLiteral("Checksum Failure");
    case 7: return QStringLiteral("Timed Out");
    case 8: return QStringLiteral("No Connection");
    case 9:
    case 10: return QStringLiteral("Write Failure");
    case 12: return QStringLiteral("Upgrade Failure");
    default: return QStringLiteral("Whoops!");
    }
}

QString transferText(int kind)
{
    switch (kind) {
    case KindRead: return QStringLiteral("Reading data from RTP...");
    case KindWrite:
    case KindAutoUpdate: return QStringLiteral("Writing data to RTP...");
    case KindChipRead: return QStringLiteral("Reading data from ROM...");
    case KindChipWrite: return QStringLiteral("Writing data to ROM...");
    case KindVerify:
    case KindChipVerify: return QStringLiteral("Verifying data from device...");
    default: return QStringLiteral("Connecting...");
    }
}

} // namespace rtp
