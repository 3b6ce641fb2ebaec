#pragma once

// The lists behind the serial-port settings. The settings file stores indices
// into these lists, so their order is part of the file format: parity and stop
// bits in the Windows order, "38400" the ninth baud entry, "8" data bits at
// index 4, 920000 (the emulators' high speed) the seventeenth baud entry.

#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <functional>

[[nodiscard]] const QStringList& baudRateList();
[[nodiscard]] const QStringList& dataBitsList(); // "4" .. "8"
[[nodiscard]] const QStringList& parityList();   // Even, Odd, None, Mark, Space
[[nodiscard]] const QStringList& stopBitsList(); // 1, 1.5, 2
[[nodiscard]] const QStringList& protocolList(); // datalog protocols 0 to 5
[[nodiscard]] const QStringList& emulatorHardwareList();

constexpr int DefaultBaudIndex = 8;   // "38400"
constexpr int EmulatorBaudIndex = 16; // "920000"
constexpr int EmulatorBaudRate = 920000;

// Index 0 gives hardware code 0, 1 gives 2, 2 gives 3; other indices leave the
// code as it was.
[[nodiscard]] int emulatorHardwareCode(int hardwareIndex, int currentCode);

// Settings indices as Qt values. One and a half stop bits do not exist on
// Linux; they map to two. Data bits below 5 are not supported and map to 8.
[[nodiscard]] QSerialPort::DataBits dataBitsFromIndex(int index);
[[nodiscard]] QSerialPort::Parity parityFromIndex(int index);
[[nodiscard]] QSerialPort::StopBits stopBitsFromIndex(int index);

// The numbered port list shared by the settings window and both links: the
// system's serial devices (by path, sorted), then any paths the user typed
// during this run (a pseudo-terminal of the simulator, say). `PortIndex` of
// the settings is an index into it.
class TPortList {
public:
    using Source = std::function<QStringList()>;
    // The source lists the system's devices; by default QSerialPortInfo.
    explicit TPortList(Source systemPorts = {});

    [[nodiscard]] QStringList entries() const;
    // The entry at index, or "" when there is none.
    [[nodiscard]] QString nameAt(int index) const;
    // The index of a path, adding it to the typed paths when unknown.
    int indexOfOrAdd(const QString& path);
    // The entry a stored port choice names: its path when there is one
    // (added when unknown), else the index.
    [[nodiscard]] int indexOfChoice(int portIndex, const QString& portPath);

    [[nodiscard]] static QStringList systemSerialPorts();

private:
    Source m_source;
    QStringList m_typed;
};
