#include "settings/mdlPortLists.h"

#include <QCollator>
#include <QSerialPortInfo>
#include <algorithm>

const QStringList& baudRateList()
{
    static const QStringList l = {QStringLiteral("110"),    QStringLiteral("300"),    QStringLiteral("600"),
                                  QStringLiteral("1200"),   QStringLiteral("2400"),   QStringLiteral("4800"),
                                  QStringLiteral("9600"),   QStringLiteral("19200"),  QStringLiteral("38400"),
                                  QStringLiteral("57600"),  QStringLiteral("115200"), QStringLiteral("128000"),
                                  QStringLiteral("230400"), QStringLiteral("250000"), QStringLiteral("256000"),
                                  QStringLiteral("460800"), QStringLiteral("920000")};
    return l;
}

const QStringList& dataBitsList()
{
    static const QStringList l = {QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"),
                                  QStringLiteral("8")};
    return l;
}

const QStringList& parityList()
{
    static const QStringList l = {QStringLiteral("Even"), QStringLiteral("Odd"), QStringLiteral("None"),
                                  QStringLiteral("Mark"), QStringLiteral("Space")};
    return l;
}

const QStringList& stopBitsList()
{
    static const QStringList l = {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};
    return l;
}

const QStringList& protocolList()
{
    static const QStringList l = {
        QStringLiteral("Protocol 0 (one byte per request)"), QStringLiteral("Protocol 1 (framed)"),
        QStringLiteral("Protocol 2 (framed, adapter)"),      QStringLiteral("Protocol 3 (not supported)"),
        QStringLiteral("Protocol 4 (not supported)"),        QStringLiteral("Protocol 5 (not supported)")};
    return l;
}

const QStringList& emulatorHardwareList()
{
    static const QStringList l = {QStringLiteral("Single-byte emulator"), QStringLiteral("SS emulator"),
                                  QStringLiteral("VV emulator / programmer")};
    return l;
}

int emulatorHardwareCode(int hardwareIndex, int currentCode)
{
    switch (hardwareIndex) {
    case 0: return 0;
    case 1: return 2;
    case 2: return 3;
    default: return currentCode;
    }
}

QSerialPort::DataBits dataBitsFromIndex(int index)
{
    switch (index) {
    case 1: return QSerialPort::Data5;
    case 2: return QSerialPort::Data6;
    case 3: return QSerialPort::Data7;
    default: return QSerialPort::Data8;
    }
}

QSerialPort::Parity parityFromIndex(int index)
{
    switch (index) {
    case 0: return QSerialPort::EvenParity;
    case 1: return QSerialPort::OddParity;
    case 3: return QSerialPort::MarkParity;
    case 4: return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits stopBitsFromIndex(int index) { return index == 0 ? QSerialPort::OneStop : QSerialPort::TwoStop; }

TPortList::TPortList(Source systemPorts) : m_source(std::move(systemPorts))
{
    if (!m_source)
        m_source = &TPortList::systemSerialPorts;
}

QStringList TPortList::entries() const
{
    QStringList l = m_source();
    for (const QString& t : m_typed)
        if (!l.contains(t))
            l << t;
    return l;
}

QString TPortList::nameAt(int index) const { return entries().value(index); }

int TPortList::indexOfOrAdd(const QString& path)
{
    const QString p = path.trimmed();
    if (p.isEmpty())
        return -1;
    const QStringList l = entries();
    const qsizetype i = l.indexOf(p);
    if (i >= 0)
        return static_cast<int>(i);
    m_typed << p;
    return static_cast<int>(entries().indexOf(p));
}

int TPortList::indexOfChoice(int portIndex, const QString& portPath)
{
    const int byPath = indexOfOrAdd(portPath);
    return byPath >= 0 ? byPath : portIndex;
}

QStringList TPortList::systemSerialPorts()
{
    QStringList l;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        l << info.systemLocation();
    // Natural order, so /dev/ttyUSB2 comes before /dev/ttyUSB10 and the
    // numbering stays put between runs when nothing is plugged in or out.
    QCollator c;
    c.setNumericMode(true);
    std::sort(l.begin(), l.end(), [&c](const QString& a, const QString& b) { return c.compare(a, b) < 0; });
    l.removeDuplicates();
    return l;
}
