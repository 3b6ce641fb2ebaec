#pragma once

// How the datalog connection and the emulator link share one serial line.
// The emulator link implements IEmulatorPortShare; the datalog connection
// implements IDatalogLink, which the emulator link calls around each of its
// operations and to forward bytes that arrive while it is idle.

#include <QByteArray>
#include <functional>

class ISerialPort;

class IEmulatorPortShare {
public:
    virtual ~IEmulatorPortShare() = default;
    // The emulator hardware code (0..6).
    [[nodiscard]] virtual int hardwareCode() const = 0;
    // The emulator link's port object, configured with its own settings.
    [[nodiscard]] virtual ISerialPort* port() = 0;
    // While the emulator tool bar is visible, closing the datalog connection
    // leaves the shared port open.
    [[nodiscard]] virtual bool toolbarVisible() const = 0;
};

class IDatalogLink {
public:
    virtual ~IDatalogLink() = default;
    [[nodiscard]] virtual bool isActive() const = 0;
    [[nodiscard]] virtual bool isPaused() const = 0;
    // Whether the connection runs on the emulator link's port.
    [[nodiscard]] virtual bool usesSharedPort() const = 0;
    // Stops polling; `settled` runs once the line has been quiet for the
    // settle time. Bytes that arrive while paused are discarded.
    virtual void pause(std::function<void()> settled) = 0;
    // Starts over with a fresh handshake after an emulator operation.
    virtual void resume() = 0;
    // Bytes the emulator link received while idle.
    virtual void receive(const QByteArray& bytes) = 0;
};

// The sharing rule: hardware codes 0, 1, 4 and 6 carry the datalog on the
// emulator's line, and so do datalog protocols 2 and 3.
[[nodiscard]] inline bool datalogSharesEmulatorPort(int hardwareCode, int protocolIndex)
{
    return hardwareCode == 0 || hardwareCode == 1 || hardwareCode == 4 || hardwareCode == 6 || protocolIndex == 2 ||
           protocolIndex == 3;
}
