#pragma once

#include "rom/clsBinEdit.h"
#include "rom/clsRomAddresses.h"
#include "rom/mdlEncodings.h"
#include "rom/mdlFamilyTraits.h"

#include <QString>
#include <QVector>
#include <array>
#include <functional>

// Table kinds of the four main maps.
enum TTableKind : quint8 { tkLowFuel = 0, tkHighFuel = 1, tkLowIgn = 2, tkHighIgn = 3 };

// Feature bits of TRom::FeatureFlags.
enum TFeatureFlag : quint16 {
    ffLaunchControl = 0x0002,
    ffFullThrottleShift = 0x0004,
    ffIAB = 0x0008,
    ffFinalMultiplier = 0x0010,
    ffShiftLight = 0x0020,
    ffBoost1 = 0x0040,
    ffBoost2 = 0x0080,
    ffBoost3 = 0x0100,
    ffBoostLimit = 0x0200,
    ffITB = 0x0400,
    ffPeriodRevScale = 0x0800,
    ffVexorAuFamily = 0x1000,
};

// Undo group kinds of the ROM model's multi-byte operations.
enum TUndoGroup : quint8 {
    ugWord = 1,
    ugString = 2,
    ugCodeSwitch = 3,
    ugFuelColumn = 4,
    ugVtecPoints = 5,
    ugIacvBase = 6,
    ugCalibrationImport = 7,
    ugMapCalibration = 8,
    ugRevLimit = 29,
    ugIabPoints = 50,
    ugTableRebuild = 55,
};

struct TFuelCorrItem {
    QString caption;
    quint16 scalarAddress = 0;
    quint16 offsetAddress = 0;
};

// A script hook replacing one scale or table accessor. It is called with four
// values (see TRom::HookSlot) and, for the getters, returns the value.
using TRomHook = std::function<double(double, double, double, double)>;

// Keeps one undo group open for the lifetime of a scope, errors included, so
// an undo never reaches into an unrelated operation.
class TUndoGroupGuard {
public:
    TUndoGroupGuard(TBinEdit& buffer, quint8 kind) : m_buffer(buffer), m_kind(kind) { m_buffer.beginGroup(kind); }
    ~TUndoGroupGuard() { m_buffer.endGroup(m_kind); }
    TUndoGroupGuard(const TUndoGroupGuard&) = delete;
    TUndoGroupGuard& operator=(const TUndoGroupGuard&) = delete;

private:
    TBinEdit& m_buffer;
    quint8 m_kind;
};

// The open ROM image and everything needed to interpret and change it.
class TRom {
public:
    enum HookSlot { OnGetMapScalar, OnGetRevScalar, OnGetTableValue, OnSetMapScalar, OnSetRevScalar, OnSetTableValue };
    static constexpr int MaxFuelCorrections = 10;

    TRom();

    // --- image, identification, address map ------------------------------
    TBinEdit& buffer() { return m_buffer; }
    [[nodiscard]] const TBinEdit& buffer() const { return m_buffer; }
    TRomAddresses& addresses() { return m_addresses; }
    [[nodiscard]] const TRomAddresses& addresses() const { return m_addresses; }

    void reset();
    // Load steps after the buffer was filled: false when the image is blank
    // (nothing else done) or the family is unknown. The callback runs between
    // base selection and the unknown-family check (ROM handlers, scripts).
    // TooShort: the file ends before an item of the family's address map or
    // before the end of one of its tables.
    enum class LoadResult { Ok, Blank, UnknownFamily, TooShort, ReadError };
    LoadResult loadFromBuffer(const std::function<void()>& afterSelect = {});
    // Reload: identify, select and build lookups again on the bytes in the buffer.
    LoadResult reload(const std::function<void()>& afterSelect = {});
    // Reset, read the file into the buffer and run the load steps.
    LoadResult loadFile(const QString& fileName, const std::function<void()>& afterSelect = {});

    quint8 identify();
    void selectBase(quint8 code);
    [[nodiscard]] quint16 address(int index) const { return m_addresses.at(index); }
    void setAddress(int index, quint16 value) { m_addresses.set(index, value); }
    [[nodiscard]] QString baseName() const { return m_addresses.baseName(); }
    [[nodiscard]] bool isLoaded() const; // image not blank and family known
    // Same family and sub-family: the address maps agree entry for entry.
    [[nodiscard]] bool sameFamilyAs(const TRom& other) const
    {
        return BaseType == other.BaseType && NissanFamily == other.NissanFamily;
    }
    // What the current family has (see mdlFamilyTraits.h).
    [[nodiscard]] const TFamilyTraits& traits() const { return familyTraits(BaseType); }

    quint16 FeatureFlags = 0;
    quint16 CodeSwitches = 0;
    quint8 BaseType = btUnknown;
    quint8 OBDMode = 0;
    quint8 NissanFamily = nfKA;
    bool WideRevScalar = false;
    quint8 CurrentTable = 0;
    quint16 RevDelta = 500, LaunchDelta = 100, ShiftDelta = 300, VTECDelta = 500, IABDelta = 500;
    qint8 IgnitionOffset = 0;

    // Sets the flag word keeping the three MAP-sensor bits exclusive.
    void setFeatureFlags(quint16 flags);
    // Script-level switch of one flag; final multiplier on refills the corrections.
    void setFeatureFlag(quint16 bit, bool on);
    [[nodiscard]] bool hasFlag(quint16 bit) const { return (FeatureFlags & bit) != 0; }

    [[nodiscard]] int rows(int kind) const;
    [[nodiscard]] int columns(int kind) const;
    [[nodiscard]] int rows() const { return rows(CurrentTable); }
    [[nodiscard]] int columns() const { return columns(CurrentTable); }
    // Both cams' scales are stored in the image (else fixed scales apply).
    [[nodiscard]] bool hasLoadScales() const { return entry(aeLoadScaleLo) != 0 && entry(aeLoadScaleHi) != 0; }
    [[nodiscard]] bool hasRpmScales() const { return entry(aeRpmScaleLo) != 0 && entry(aeRpmScaleHi) != 0; }
    [[nodiscard]] int displayedRows(int kind) const;
    [[nodiscard]] int displayedColumns(int kind) const;
    [[nodiscard]] static bool isHighCamKind(int kind) { return kind == 1 || kind == 3; }
    [[nodiscard]] static bool isFuelKind(int kind) { return kind == 0 || kind == 1; }
    // True when the map, its scales and multiplier row lie inside the image.
    [[nodiscard]] bool tableFits(int kind) const;
    // True when every image offset of the address map, and every table that
    // fits the image with its scales, lie inside the bytes the file supplied.
    [[nodiscard]] bool sourceHoldsMap() const;
    [[nodiscard]] bool hasMultiplierRow(int kind) const;
    [[nodiscard]] int tableAddress(int kind) const;

    // --- hooks and fuel corrections ---------------------------------------
    void setHook(HookSlot slot, TRomHook hook) { m_hooks[slot] = std::move(hook); }
    [[nodiscard]] bool hasHook(HookSlot slot) const { return static_cast<bool>(m_hooks[slot]); }
    void clearHooks();

    int addFuelCorrection(const TFuelCorrItem& item);
    [[nodiscard]] int fuelCorrectionCount() const { return m_fuelCorrections.size(); }
    [[nodiscard]] const TFuelCorrItem& fuelCorrection(int index) const;
    void clearFuelCorrections() { m_fuelCorrections.clear(); }

    // --- load conversions ---------------------------------------------------
    void buildLoadLookups();
    [[nodiscard]] qint16 lookupScale(quint8 b) const { return m_scaleLookup[b]; }
    [[nodiscard]] qint16 lookupSensor(quint8 b) const { return m_sensorLookup[b]; }
    [[nodiscard]] int byteToMillibar(int b, bool sensorForm) const;
    [[nodiscard]] quint8 millibarToByte(double mbar, bool sensorForm) const;
    [[nodiscard]] int mapCalibrationMin() const;
    [[nodiscard]] int mapCalibrationMax() const;
    void setMapCalibration(double minMbar, double maxMbar);

    // --- tables and scales --------------------------------------------------
    [[nodiscard]] quint8 cellByte(int col, int row, int kind) const;
    void setCellByte(int col, int row, int kind, quint8 value);
    [[nodiscard]] quint8 multiplierByte(int col, int kind) const;
    [[nodiscard]] double tableValue(int col, int row, int kind) const;
    void setTableValue(int col, int row, double value, int kind);
    [[nodiscard]] int load(bool highCam, int index) const;
    void setLoad(bool highCam, int index, double mbar);
    [[nodiscard]] int rpm(bool highCam, int index) const;
    void setRpm(bool highCam, int index, double rpm);
    [[nodiscard]] quint8 loadScaleByte(bool highCam, int index) const;
    [[nodiscard]] double interpolatedValue(int kind, double loadMbar, double rpmValue) const;
    [[nodiscard]] double correctionCell(int cam, int col, int row) const;
    void setCorrectionCell(int cam, int col, int row, double value);
    [[nodiscard]] int currentCam() const;
    [[nodiscard]] int throttleLoad(bool highCam, int index) const;
    void setThrottleLoad(bool highCam, int index, double percent);

    [[nodiscard]] static int decodeExponentRpm(quint8 b);
    [[nodiscard]] static quint8 encodeExponentRpm(double rpm);

    // --- settings -----------------------------------------------------------
    [[nodiscard]] int revLimit() const;
    void setRevLimit(int rpm);
    [[nodiscard]] int launchRevLimit() const;
    void setLaunchRevLimit(int rpm);
    [[nodiscard]] int shiftRevLimit() const;
    void setShiftRevLimit(int rpm);
    [[nodiscard]] int shiftLight() const;
    void setShiftLight(int rpm);
    [[nodiscard]] int coldIdle() const;
    void setColdIdle(int rpm);
    [[nodiscard]] bool vtecEnabled() const;
    void setVtecEnabled(bool on);
    [[nodiscard]] int vtecPoint() const;
    void setVtecPoint(int rpm);
    [[nodiscard]] int iabPoint() const;
    void setIabPoint(int rpm);

    enum TSwitch {
        swKnock,
        swELD,
        swClosedLoop,
        swBaro,
        swVtecSpeed,
        swVtecCoolant,
        swDebug,
        swO2Heater,
        swInjectorTest,
        swSpeedLimiter,
        swVtsCheck, // VTEC solenoid check (trouble code 21)
        swVtpCheck  // VTEC pressure switch check (trouble code 22)
    };
    [[nodiscard]] bool switchValue(TSwitch s) const;
    void setSwitch(TSwitch s, bool on);
    [[nodiscard]] static int switchEntry(TSwitch s);

    [[nodiscard]] int speedLimitMph() const;
    void setSpeedLimitMph(int mph);
    [[nodiscard]] int iacvBase() const;
    void setIacvBase(int percent);
    [[nodiscard]] int iacvDutyCorrection() const;
    [[nodiscard]] int boostLimitMbar() const;
    void setBoostLimitMbar(double mbar);
    [[nodiscard]] double boostLimitPsi() const;
    void setBoostLimitPsi(double psi);
    [[nodiscard]] double finalMultiplier() const;
    [[nodiscard]] int gear(int speed, int crankPeriod) const;
    [[nodiscard]] QString versionText() const;
    [[nodiscard]] double version() const;

    // --- checksum -----------------------------------------------------------
    [[nodiscard]] quint8 checksum() const;
    [[nodiscard]] bool hasChecksumByte() const { return m_addresses.at(aeChecksum) != 0; }
    void fixChecksum();

    // Raw access that never throws: reads outside the image give 0.
    [[nodiscard]] quint8 byteAt(int position) const;
    [[nodiscard]] quint16 wordAt(int position) const;

private:
    LoadResult identifyAndSelect(const std::function<void()>& afterSelect);
    [[nodiscard]] quint16 entry(int index) const { return m_addresses.at(index); }
    [[nodiscard]] bool tableFitsIn(int kind, int size) const;
    void checkKind(int kind, bool write = false) const;
    [[nodiscard]] double rawTableValue(int col, int row, int kind) const;
    void rewriteFuelColumn(int col, int row, double value, int kind);
    [[nodiscard]] int periodWordRpm(int entryIndex) const;
    void writePeriodWord(int address, int rpm);
    void setLimitWithResume(int limitEntry, int resumeEntry, int rpm, int gap);
    [[nodiscard]] bool byteSwitch(int entryIndex, quint8 onValue) const;
    void writeSwitch(int entryIndex, bool on, quint8 onValue, quint8 offValue);

    TBinEdit m_buffer;
    TRomAddresses m_addresses;
    std::array<TRomHook, 6> m_hooks;
    QVector<TFuelCorrItem> m_fuelCorrections;
    std::array<qint16, 256> m_scaleLookup{};
    std::array<qint16, 256> m_sensorLookup{};
};
