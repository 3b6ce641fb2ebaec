#pragma once

// The values of vexor.ini: every section and key with its type and default, read
// with defaults and written back. TSettings is a plain value that the settings
// store holds and the rest of the program reads (see clsSettingsStore.h); the
// key table below is the single description of the file, so reading, writing
// and the CLI dump can never disagree about a key.

#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <functional>
#include <optional>
#include <vector>

class TIniFile;

// "General Settings"
struct TGeneralSettings {
    double ignitionAdjustment = 0.25; // degrees per increase/decrease on ignition tables
    double fuelAdjustment1 = 3.0;     // percent per increase/decrease on fuel tables
    int fuelAdjustment2 = 5;          // smallest fuel step, fuel units (signed 16-bit)
    double lambdaAdjustment = 0.01;
    int mapSmoothing = 30;     // smoothing tolerance, thousandths
    int atmospheric = 1013;    // mbar, the zero of boost display
    double stoichValue = 14.7; // air-fuel ratio = lambda x this
    int ignitionOffset = 0;    // the ROM model's ignition offset (signed 8-bit)
    int fullScreenResX = 1024;
    int fullScreenResY = 768;
    std::optional<int> windowWidth; // unset: the main window keeps its current size
    std::optional<int> windowHeight;
    bool showDuration = true;
    bool showAFR = false;
    bool showMph = true;
    bool showPsi = true;
    bool showFahrenheit = true;
    bool minimalLiveView = false;
    bool graphInThreeD = false;
    // Seconds a call into script code may run before it is interrupted (0: no
    // limit). Generous: plug-ins that rebuild whole maps take a while.
    int scriptTimeout = 10;
    bool operator==(const TGeneralSettings&) const = default;
};

// "Option Settings": rpm gaps of the ROM option editors, 0 to 1500.
struct TOptionDeltas {
    static constexpr int Max = 1500;
    int revDelta = 500;
    int launchDelta = 100;
    int shiftDelta = 300;
    int vtecDelta = 500;
    int iabDelta = 500;
    bool operator==(const TOptionDeltas&) const = default;
};

// "RTP Com Settings" / "Tuner Com Settings": the serial port choice. The
// indices point into the lists of mdlPortLists.h.
struct TComSettings {
    int protocolIndex = 0; // "Tuner Com Settings" only: datalog protocol 0 to 5
    int portIndex = 0;
    int baudRate = 38400;
    int dataBitsIndex = 4;
    int parityIndex = 2;   // 0 even, 1 odd, 2 none, 3 mark, 4 space
    int stopBitsIndex = 0; // 0 one, 1 one and a half, 2 two
    // "PortPath": the chosen port by path. A typed
    // path (a pseudo-terminal, say) is not in a new run's numbered list, so the
    // index alone loses it at restart.
    QString portPath;
    bool operator==(const TComSettings&) const = default;
};

// "RTP Settings"
struct TRTPSettings {
    int hardware = 0; // index in the emulator hardware list (see emulatorHardwareCode)
    bool use512K = false;
    bool autoUpdate = true;
    bool autoConnect = true;
    bool operator==(const TRTPSettings&) const = default;
};

// "RTP Connection Settings" / "Tuner Connection Settings"
struct TConnectionSettings {
    int timeout = 250; // poll interval, ms
    int maxTries = 3;
    bool operator==(const TConnectionSettings&) const = default;
};

// "Tuning Conditions": the datalog and auto-tune conditions.
struct TTuningConditions {
    int sensorIndex = 0; // wideband conversion: wideband.ini sections, then script conversions
    int minThrottle = 5;
    int maxThrottle = 100;
    double minLambda = 0.8;
    double maxLambda = 1.2;
    int minRPM = 0;
    int maxRPM = 11000;
    int minLoad = 0;
    int maxLoad = 3000;
    int minTemp = 60;
    int maxTemp = 90;
    QString gearSet = QStringLiteral("2 3 4"); // kept as typed; see gears()
    double lambdaOffset = 0.0;
    int samplingPriority = 4;
    bool recordMode = true;
    double minFuelAdj = 5.0;
    double maxFuelAdj = 15.0;
    bool clearLog = true;
    bool mapSmooth = true;
    bool filterData = true;
    bool smartFill = true;
    int smartFillPasses = 1;
    int minSample = 500;
    int minInterval = 30;
    bool autoSaveLogs = true;
    bool smartTrack = true;
    int acceptance = 5;
    double stdDeviation = 1.75;
    int trackMode = 0;

    // Gears accepted for tuning: bit n set for every digit n from 0 to 5 in
    // gearSet; every other character is ignored ("23x9" gives gears 2 and 3).
    [[nodiscard]] quint8 gears() const;
    [[nodiscard]] bool acceptsGear(int gear) const { return gear >= 0 && gear <= 5 && (gears() >> gear) & 1; }
    bool operator==(const TTuningConditions&) const = default;
};

// One (sensor voltage, lambda) point of a wideband conversion.
struct TLambdaPoint {
    double voltage = 0.0;
    double lambda = 0.0;
    bool operator==(const TLambdaPoint&) const = default;
};
// "Lambda Conversion": the 16 points of the active table conversion (only 0 to
// 11 reach the conversion curve).
using TLambdaPoints = std::array<TLambdaPoint, 16>;

// "Dyno Settings"
struct TDynoSettings {
    int minThrottle = 80;
    int gear = 4; // 1 to 6
    int vehicleWeight = 2700;
    bool operator==(const TDynoSettings&) const = default;
};

// "DataGraphs": one bit per channel of each data graph.
enum TDataGraphChannel : int {
    dgBATT = 0,
    dgAFR,
    dgO2V,
    dgECT,
    dgIAT,
    dgKNCK,
    dgIGN,
    dgINJDC,
    dgINJ,
    dgTP,
    dgBOOST,
    dgMAP,
    dgGEAR,
    dgSPD,
    dgRPM,
    dgChannelCount
};
[[nodiscard]] QString dataGraphChannelName(int channel); // "RPM", "SPD", ... "BATT"
struct TDataGraphs {
    int graph1 = 0;
    int graph2 = 0;
    bool operator==(const TDataGraphs&) const = default;
};

// "Notes Form": the notes window's placement; unset values take the window's
// defaults (beside the main window, current size).
struct TNotesFormPlacement {
    std::optional<int> windowLeft;
    std::optional<int> windowTop;
    std::optional<int> windowWidth;
    std::optional<int> windowHeight;
    bool operator==(const TNotesFormPlacement&) const = default;
};

// "Most Recently Used": at most ten paths, most recent first, never twice.
class TRecentFiles {
public:
    static constexpr int MaxCount = 10;
    [[nodiscard]] const QStringList& paths() const { return m_paths; }
    // Moves (or inserts) the path to the head and trims the list to ten.
    void add(const QString& path);
    void remove(const QString& path);
    // Replaces the list: empty entries and repeats are dropped, ten kept.
    void assign(const QStringList& paths);
    bool operator==(const TRecentFiles&) const = default;

private:
    QStringList m_paths;
};

struct TSettings {
    TGeneralSettings general;
    TOptionDeltas options;
    TComSettings rtpCom;
    TComSettings tunerCom;
    TRTPSettings rtp;
    TConnectionSettings rtpConnection;
    TConnectionSettings tunerConnection;
    TTuningConditions tuning;
    TLambdaPoints lambdaConversion{};
    TDynoSettings dyno;
    TDataGraphs dataGraphs;
    TNotesFormPlacement notesForm;
    TRecentFiles recentFiles;

    // Every key from the INI; a missing key, a value that does not parse and a
    // value outside what its consumer can use take the key's default.
    void read(const TIniFile& ini);
    // Every key into the INI (the caller saves it). Unknown keys stay untouched.
    void write(TIniFile& ini) const;
    bool operator==(const TSettings&) const = default;
};

// One key of vexor.ini as the store holds it: an int, double, bool or QString,
// or an invalid QVariant for an unset optional value.
struct TSettingValue {
    QString section;
    QString key;
    QVariant value;
};
// Every key in file order (sections in the order they are written).
[[nodiscard]] std::vector<TSettingValue> settingValues(const TSettings& settings);
// The values a numeric key accepts (inclusive); a value read outside them
// leaves the key's default. Nothing for text and boolean keys.
struct TSettingRange {
    double lo = 0;
    double hi = 0;
    bool integer = false;
};
[[nodiscard]] std::optional<TSettingRange> settingRange(const QString& section, const QString& key);
// The text a key has in the file ("0.25", "1", "2 3 4"; "" for an unset value).
[[nodiscard]] QString settingText(const QVariant& value);
