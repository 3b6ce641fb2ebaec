#pragma once

// The datalog sample: one complete reading of the ECU's channels plus the
// host's millisecond time stamp. The same 40 bytes are the record of datalog
// files, so every offset here is also a file format.

#include "rom/mdlEncodings.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <array>
#include <cstring>

struct DatalogSample {
    static constexpr int Size = 40;
    static constexpr int ChannelBytes = 36;

    // Channel offsets.
    enum : int {
        CrankPeriod = 0, // u16
        LowCamRow = 2,
        HighCamRow = 3,
        LoadColumn = 4,
        Injector = 5, // u16
        Ignition = 7,
        Knock = 8,
        Reserved = 9,
        O2 = 10,
        FuelTrim = 11, // u16
        Status15 = 15,
        Status16 = 16,
        Status17 = 17,
        Flags = 18, // bit 0: VTEC engaged
        Speed = 19,
        Battery = 20,
        Byte21 = 21,
        Map = 22,
        TpsVolts = 23,
        Throttle = 24,
        AirTemp = 25,
        Atmospheric = 26,
        Coolant = 29,
        Errors = 32,    // u32; 0xFFFFFFFF marks a marker record
        TimeStamp = 36, // u32
    };
    static constexpr quint32 MarkerWord = 0xFFFFFFFFu;

    std::array<quint8, Size> bytes{};

    [[nodiscard]] quint8 u8(int offset) const { return bytes[static_cast<size_t>(offset)]; }
    [[nodiscard]] quint16 u16(int offset) const
    {
        return static_cast<quint16>(bytes[static_cast<size_t>(offset)] | (bytes[static_cast<size_t>(offset) + 1] << 8));
    }
    [[nodiscard]] quint32 u32(int offset) const
    {
        return static_cast<quint32>(u16(offset)) | (static_cast<quint32>(u16(offset + 2)) << 16);
    }
    void setU8(int offset, quint8 v) { bytes[static_cast<size_t>(offset)] = v; }
    void setU16(int offset, quint16 v)
    {
        bytes[static_cast<size_t>(offset)] = static_cast<quint8>(v);
        bytes[static_cast<size_t>(offset) + 1] = static_cast<quint8>(v >> 8);
    }
    void setU32(int offset, quint32 v)
    {
        setU16(offset, static_cast<quint16>(v));
        setU16(offset + 2, static_cast<quint16>(v >> 16));
    }

    [[nodiscard]] quint16 crankPeriod() const { return u16(CrankPeriod); }
    [[nodiscard]] quint32 errorWord() const { return u32(Errors); }
    [[nodiscard]] quint32 timeStamp() const { return u32(TimeStamp); }
    void setTimeStamp(quint32 ms) { setU32(TimeStamp, ms); }
    [[nodiscard]] bool isMarker() const { return errorWord() == MarkerWord; }
    [[nodiscard]] bool vtec() const { return (u8(Flags) & 1) != 0; }

    [[nodiscard]] QByteArray toBytes() const { return QByteArray(reinterpret_cast<const char*>(bytes.data()), Size); }
    static DatalogSample fromBytes(const char* p)
    {
        DatalogSample s;
        std::memcpy(s.bytes.data(), p, Size);
        return s;
    }
    // Channel bytes equal (time stamps ignored).
    [[nodiscard]] bool sameChannels(const DatalogSample& o) const
    {
        return std::memcmp(bytes.data(), o.bytes.data(), ChannelBytes) == 0;
    }
    friend bool operator==(const DatalogSample& a, const DatalogSample& b) { return a.bytes == b.bytes; }
};
static_assert(sizeof(DatalogSample) == DatalogSample::Size);

// Names of the 32 diagnostic codes; code n is bit n-1 of the error word.
extern const std::array<const char*, 32> DiagnosticCodeNames;
// "1 3 " — each set code followed by a blank, ascending.
QString errorCodesShort(quint32 errorWord);
// One line per set code: "%2d : %-40s\r\n".
QString errorCodesLong(quint32 errorWord);

// What the conversions need from the open ROM. Default-constructed it is the
// no-ROM state: sensor-form pressure formula, no gear table (gear 0), knock
// sensor switch off.
struct TSampleContext {
    std::array<qint16, 256> mapLookup{}; // sensor-form byte to millibar
    bool hasGearTable = false;
    std::array<quint8, 4> gearThresholds{};
    bool knockSensor = false;
    int ignitionOffset = 0;

    TSampleContext();
};

class TRom;
// The conversions' view of a ROM; a null or unloaded ROM gives the no-ROM context.
[[nodiscard]] TSampleContext sampleContextFor(const TRom* rom);

// Conversions of one sample. A crank period of 0 gives rpm 0 and duty 0, and
// rpmValid() tells the caller that the engine speed is unknown.
namespace datalog {
[[nodiscard]] bool rpmValid(const DatalogSample& s);
[[nodiscard]] int rpm(const DatalogSample& s);
[[nodiscard]] int speedKmh(const DatalogSample& s);
[[nodiscard]] double speedMph(const DatalogSample& s);
[[nodiscard]] int gear(const DatalogSample& s, const TSampleContext& ctx);
[[nodiscard]] double injectorMs(const DatalogSample& s);
[[nodiscard]] double dutyCycle(const DatalogSample& s);
[[nodiscard]] double ignition(const DatalogSample& s, const TSampleContext& ctx);
[[nodiscard]] double knockRetard(const DatalogSample& s);
[[nodiscard]] double o2Volts(const DatalogSample& s);
[[nodiscard]] double fuelTrim(const DatalogSample& s);
[[nodiscard]] double batteryVolts(const DatalogSample& s);
[[nodiscard]] int mapMbar(const DatalogSample& s, const TSampleContext& ctx);
[[nodiscard]] double tpsVolts(const DatalogSample& s);
[[nodiscard]] double throttlePercent(const DatalogSample& s);
[[nodiscard]] double airTempC(const DatalogSample& s);
[[nodiscard]] int atmosphericMbar(const DatalogSample& s);
[[nodiscard]] double coolantTempC(const DatalogSample& s);
[[nodiscard]] int boostMbar(const DatalogSample& s, const TSampleContext& ctx, int atmospheric);
} // namespace datalog
