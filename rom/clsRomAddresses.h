#pragma once

#include <QString>
#include <QtGlobal>
#include <array>

// Base family codes: what the signature of an image says it derives from.
enum TBaseType : quint8 {
    btP28 = 0,
    btP30 = 1,
    btP72 = 2,
    btP13 = 3,
    btPR3 = 4,
    btJDMPW0 = 5,
    btEDMPW0 = 6,
    btPM6 = 7,
    btPR4 = 8,
    btReserved9 = 9,
    btVexorAu = 10,
    btVexorAuNoMap = 11,
    btNissan = 12,
    btUnknown = 13,
};

enum TNissanFamily : quint8 { nfKA = 0, nfSR = 1, nfVG = 2, nfRB = 3 };

// The numbered entries of an address map. Most hold image offsets; the ones
// marked "value" hold packed data. Entries without a name of their own are read
// only as data of a family's map (option pages and tools give them meaning).
enum TRomEntry : int {
    aeChecksum = 0,     // checksum adjustment byte
    aeLoadScaleLo = 1,  // load (MAP) scale, low cam
    aeLoadScaleHi = 2,  // load (MAP) scale, high cam
    aeRpmScaleLo = 3,   // rpm scale, low cam
    aeRpmScaleHi = 4,   // rpm scale, high cam
    aeFuelLo = 5,       // fuel table, low cam
    aeFuelHi = 6,       // fuel table, high cam
    aeIgnitionLo = 7,   // ignition table, low cam
    aeIgnitionHi = 8,   // ignition table, high cam
    aeShapeLo = 9,      // low-cam table shape: rows << 8 | columns (value)
    aeShapeHi = 10,     // high-cam table shape (value)
    aeRevLimitLo = 11,  // low-cam rev limit
    aeRevResumeLo = 12, // low-cam rev resume
    aeRevLimitHi = 13,  // high-cam rev limit
    aeRevResumeHi = 14, // high-cam rev resume
    aeVtecPoints = 15,  // VTEC (disable, enable) pairs
    aeVtecPairs = 16,   // pair count << 8 | pair shown (value)
    aeVtecEnable = 17,  // VTEC enable byte
    aeVtsCheck = 18,    // VTS check byte
    aeVtpCheck = 19,    // VTP check byte
    aeIabDisable = 20,  // IAB disable point
    aeIabEnable = 21,   // IAB enable point
    aeEntry22 = 22,
    aeEntry23 = 23,
    aeEntry24 = 24,
    aeColdIdle = 25,           // cold idle speed
    aeKnockSwitch = 26,        // knock sensor switch
    aeEldSwitch = 27,          // ELD switch
    aeClosedLoopSwitch = 28,   // closed loop switch
    aeBaroSwitch = 29,         // atmospheric (PAS) sensor switch
    aeVtecMinSpeed = 30,       // VTEC minimum speed
    aeVtecCoolant = 31,        // VTEC coolant-temperature condition
    aeDebugSwitch = 32,        // debug switch
    aeO2HeaterSwitch = 33,     // O2 heater switch
    aeInjectorTestSwitch = 34, // injector test switch
    aeSpeedLimiterSwitch = 35, // speed limiter switch
    aeIacvBase = 36,           // idle air control base words
    aeGearTable = 37,          // gear detection thresholds (4 words)
    aeEntry38 = 38,
    aeIacvDutyCorrection = 39, // IACV duty correction word
    aeLaunchLimit = 40,        // standstill (launch) rev limit
    aeLaunchResume = 41,       // standstill rev resume
    aeShiftLimit = 42,         // in-shift rev limit
    aeShiftResume = 43,        // in-shift rev resume
    aeSpeedLimit = 44,         // speed limit (km/h)
    aeMapSensorMin = 45,       // custom MAP sensor minimum, millibar + 0x8000 (value)
    aeMapSensorMax = 46,       // custom MAP sensor maximum (value)
    aeBoostLimit = 47,         // boost limit byte
    aeRevScalePeriod = 48,     // rev-scale period constant (value)
    aeTpsLoadPair = 49,        // first throttle load byte << 8 | its throttle reading (value)
    aeMainFuel = 50,           // main fuel (injector) scalar word
    aeO2Correction = 51,       // O2 correction word
    aeStartupFuel = 52,        // start-up (cranking) word
    aeTipInFuel = 53,          // throttle tip-in word
    aePostStartFuel = 54,      // post start-up word
    aeEntry55 = 55,
    aeShiftLight = 56, // shift light rpm
    aeEntry57 = 57,
    aeCorrectionLo = 58,   // per-cell correction table, low cam
    aeCorrectionHi = 59,   // per-cell correction table, high cam
    aeInjectorOffset = 60, // injector offset word
    aeEntry61 = 61,
    aeEntry62 = 62,
    aeEntry63 = 63,
    aeEntry64 = 64,
    aeEntry65 = 65,
    aeInjectorIndex = 66, // injector index byte (value)
    aeEntry67 = 67,
    aeEntry68 = 68,
    aeEntry69 = 69,
    aeTargetIdle = 70,            // target idle word
    aeTargetIdleCopy = 71,        // target idle word, copy
    aeTargetIdleHigh = 72,        // target idle + 200 rpm word
    aeRisingRevLimit = 73,        // rising rev limit
    aeFullThrottleThreshold = 74, // full-throttle threshold
    aeStandstillThreshold = 75,   // standstill threshold
    aeClutchInput = 76,           // clutch input selector word
    aeClutchInvert = 77,          // clutch input invert word
    aeStandstillBoostRetard = 78, // standstill boost retard
    aeStandstillBoostEnrich = 79, // standstill boost enrichment
    aeSafetyBoostLimit = 80,      // safety boost limit
    aeColdBoostLimit = 81,        // cold boost limit
    aeHotBoostLimit = 82,         // hot boost limit
    aeBoostLimitTemp = 83,        // boost-limit temperature threshold
    aeCelBoostLimitSwitch = 84,   // CEL boost-limit switch
    aeEntry85 = 85,
    aeIgnitionLockSwitch = 86, // ignition lock switch
    aeIgnitionLockValue = 87,  // ignition lock value
    aeVtecThrottle = 88,       // VTEC throttle threshold
    aeVtecLoad = 89,           // VTEC load threshold
    aeTpsVoltagePair = 90,     // TPS voltage pair
    aeIatSwitch = 91,          // IAT disable byte
    aeVssSwitch = 92,          // VSS disable byte
    aeIacvSwitch = 93,         // IACV disable byte
    aeMapCalibration = 94,     // MAP sensor calibration block (4 bytes)
    aeEntry95 = 95,
    aeEntry96 = 96,
    aeEctIdleTable = 97,  // ECT idle table (standstill)
    aeEctIdleMoving = 98, // ECT idle table (moving)
    aeEntry99 = 99,
    aeEctOpenLo = 100,   // ECT correction, open loop low
    aeEctOpenHi = 101,   // ECT correction, open loop high
    aeEctClosedLo = 102, // ECT correction, closed loop low
    aeEctClosedHi = 103, // ECT correction, closed loop high
    aeEntry104 = 104,
    aeEntry105 = 105,
    aeEctShape = 106,      // ECT table: divisor << 8 | rows (value)
    aeIatCorrection = 107, // IAT correction table
    aeEntry108 = 108,
    aeEntry109 = 109,
    aeEntry110 = 110,
    aeIatShape = 111,     // IAT table: divisor << 8 | rows (value)
    aeEctIgnLo = 112,     // ECT ignition correction, low load
    aeEctIgnHi = 113,     // ECT ignition correction, high load
    aeEctIgnRetard = 114, // ECT ignition retard
    aeEntry115 = 115,
    aeEntry116 = 116,
    aeIatIgnRetard = 117, // IAT ignition retard
    aeEntry118 = 118,
    aeEntry119 = 119,
    aeEntry120 = 120,
    aeGearIgnTable = 121,  // gear ignition adjustment
    aeGearIgnDecay = 122,  // gear ignition decay
    aeTipInIgnTable = 123, // tip-in ignition table
    aeEntry124 = 124,
    aeCylinderCorrection = 125, // individual cylinder correction (4 bytes)
    aeBatteryLatency = 126,     // battery latency table
    aeEntry127 = 127,
    aeRowCountLo = 128,            // in-image row count, low cam
    aeColumnCountLo = 129,         // in-image column count, low cam
    aeRowCountHi = 130,            // in-image row count, high cam
    aeColumnCountHi = 131,         // in-image column count, high cam
    aeShownRowsLo = 132,           // in-image displayed rows - 2, low cam
    aeShownColumnsLo = 133,        // in-image displayed columns - 2, low cam
    aeShownRowsHi = 134,           // in-image displayed rows - 2, high cam
    aeShownColumnsHi = 135,        // in-image displayed columns - 2, high cam
    aeBoostPulse = 136,            // boost solenoid pulse frequency
    aeBoostPeriod = 137,           // boost solenoid PWM period word
    aeBoostDutyTable = 138,        // boost duty table
    aeBoostPeriodCopy = 139,       // the same period, reloaded by the off phase
    aeTargetBoostGear1 = 140,      // target boost gear bytes, set 1
    aeTargetBoostGear2 = 141,      // target boost gear bytes, set 2
    aeTargetBoostLoad1 = 142,      // target boost loads, set 1
    aeTargetBoostLoad2 = 143,      // target boost loads, set 2
    aeIatBoostComp = 144,          // IAT boost compensation
    aeBoostControlMode = 145,      // boost control mode
    aeTargetBoostSwitch = 146,     // target-boost set switch: input selector word
    aeTargetBoostSwitchBits = 147, // target-boost set switch: input bit (high) and invert mask (low)
    aeBoostOutput = 148,           // boost solenoid output bit
    aeBoostOutputInvert = 149,     // boost output invert (bit 0x80)
    aeEvent1Block = 150,           // event 1 block (24 bytes)
    aeEvent2Block = 151,           // event 2 block
    aeEvent3Block = 152,           // event 3 block
    aeEvent1MapAdjust = 153,       // event 1 map adjustment (10 points: rpm, fuel, ignition)
    aeEvent2MapAdjust = 154,       // event 2 map adjustment
    aeEvent3MapAdjust = 155,       // event 3 map adjustment
    aeEntry156 = 156,
    aeEntry157 = 157,
    aeEntry158 = 158,
    aeAlphaNSwitch = 159,   // alpha-N (throttle-indexed load) switch
    aeBoostLoadBlock = 160, // boost load-scale block
    aeTpsLoadBlock = 161,   // TPS load-scale block
    aeFeatureSwitch = 162,  // 3-byte feature switch
    aeIabInverted = 163,    // IAB inverted byte
    aeAcRpmEnable = 164,    // A/C rpm enable
    aeAcRpmDisable = 165,   // A/C rpm disable
    aeAcThrottle = 166,     // A/C throttle threshold
    aeWbSensorType = 167,   // wideband sensor type
    aeClMaxLoad = 168,      // closed-loop maximum load
    aeClMaxThrottle = 169,  // closed-loop maximum throttle
    aeClLowLimit = 170,     // closed-loop low limit word
    aeClHighLimit = 171,    // closed-loop high limit word
    aeWbEnable = 172,       // wideband enable byte
    aeWbStoich = 173,       // wideband stoichiometric voltage byte
    aeWbOffset = 174,       // wideband voltage offset byte
    aeWbTable = 175,        // wideband conversion table (12 pairs)
    aeGearSelect = 176,     // gear set selection byte
    aeVtecPlusOutput = 177, // VTEC-plus output bit
    aeOutputsInUse = 178,   // mask of the spare outputs in use (word)
    aeEntry179 = 179,
    aeEntry180 = 180,
    aeIdleRecovery = 181, // idle recovery byte
    aeEntry182 = 182,
    aeEntry183 = 183,
    aeEntry184 = 184,
    aeEntry185 = 185,
    aeEntry186 = 186,
    aeEntry187 = 187,
    aeEntry188 = 188,
    aeEntry189 = 189,
    aeEntry190 = 190,
    aeEntry191 = 191,
    aeEntry192 = 192,
    aeEntry193 = 193,
    aeEntry194 = 194,
    aeEntry195 = 195,
    aeEntry196 = 196,
    aeEntry197 = 197,
    aeEntry198 = 198,
    aeEntry199 = 199,
    aeCount = 200,
};

// Entries chosen by table kind (0..3) or cam (false/0 low, true/1 high).
[[nodiscard]] constexpr TRomEntry tableEntry(int kind) { return TRomEntry(aeFuelLo + kind); }
[[nodiscard]] constexpr TRomEntry loadScaleEntry(bool high) { return high ? aeLoadScaleHi : aeLoadScaleLo; }
[[nodiscard]] constexpr TRomEntry rpmScaleEntry(bool high) { return high ? aeRpmScaleHi : aeRpmScaleLo; }
[[nodiscard]] constexpr TRomEntry shapeEntry(bool high) { return high ? aeShapeHi : aeShapeLo; }
[[nodiscard]] constexpr TRomEntry rowCountEntry(bool high) { return high ? aeRowCountHi : aeRowCountLo; }
[[nodiscard]] constexpr TRomEntry columnCountEntry(bool high) { return high ? aeColumnCountHi : aeColumnCountLo; }
[[nodiscard]] constexpr TRomEntry shownRowsEntry(bool high) { return high ? aeShownRowsHi : aeShownRowsLo; }
[[nodiscard]] constexpr TRomEntry shownColumnsEntry(bool high) { return high ? aeShownColumnsHi : aeShownColumnsLo; }
[[nodiscard]] constexpr TRomEntry correctionEntry(int cam) { return cam == 0 ? aeCorrectionLo : aeCorrectionHi; }

// The per-family address map: 200 numbered 16-bit entries, 0 meaning absent.
// Most are image offsets; a few hold packed data (table shapes, pair counts,
// the rev-scale period constant, the custom MAP sensor range).
class TRomAddresses {
public:
    static constexpr int Count = aeCount;

    void clear() { m_entries.fill(0); }
    [[nodiscard]] quint16 at(int index) const;
    void set(int index, quint16 value);
    [[nodiscard]] const QString& baseName() const { return m_baseName; }
    void setBaseName(const QString& name) { m_baseName = name; }

    // Installs the built-in map of a base type (for Nissan the sub-family
    // chooses the map). Codes without a map leave every entry 0.
    void install(quint8 baseType, quint8 nissanFamily);
    // True for the entries that hold packed data or plain numbers rather than
    // an image offset.
    [[nodiscard]] static bool holdsValue(int index);

private:
    std::array<quint16, Count> m_entries{};
    QString m_baseName;
};
