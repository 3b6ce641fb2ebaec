// The option fields: typed values land as the exact bytes at the exact entry,
// read back as shown, undo in one step, and refusals leave the image alone.
#include "options/mdlCorrectionGrids.h"
#include "options/mdlOptionFields.h"
#include "options/mdlOptionOutputs.h"
#include "options/mdlOptionTree.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "settings/mdlErrors.h"
#include "support/TestServices.h"

#include <gtest/gtest.h>

namespace {

class OptionsTest : public ::testing::Test {
protected:
    void load(const char* family)
    {
        rom.reset();
        rom.buffer().loadBytes(generateRom({QString::fromLatin1(family)}));
        ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
        rom.buffer().clearUndo();
    }
    TOptionContext ctx(bool withMessages = false)
    {
        return TOptionContext{rom, units, &marks, withMessages ? &messages : nullptr};
    }
    void set(const char* name, const QString& text, bool withMessages = false)
    {
        const TOptionField* f = findOptionField(rom, QString::fromLatin1(name));
        ASSERT_NE(f, nullptr) << name;
        TOptionContext c = ctx(withMessages);
        writeOptionField(c, *f, text);
    }
    QString shown(const char* name)
    {
        const TOptionField* f = findOptionField(rom, QString::fromLatin1(name));
        return f ? readOptionField(ctx(), *f).text : QStringLiteral("<no field>");
    }
    int undoSteps()
    {
        int n = 0;
        for (; rom.buffer().canUndo(); ++n)
            rom.buffer().undo();
        return n;
    }
    int at(TRomEntry e, int offset = 0) const { return rom.address(e) + offset; }

    TRom rom;
    TDisplayUnits units{false, true, false, false};
    TTableStructureMarks marks;
    TScriptedMessages messages;
};

struct ByteCase {
    const char* field;
    const char* typed;
    bool mph, fahrenheit;
    TRomEntry entry;
    int offset;
    int width;
    int expected;
    const char* shownBack;
};

TEST_F(OptionsTest, TypedValuesLandAtTheirEntryAndUndoInOneStep)
{
    const ByteCase cases[] = {
        {"txtHiRevCut", "7000", false, false, aeRevLimitHi, 0, 2, 267, "7022"},
        {"txtStandCut", "4000", false, false, aeLaunchLimit, 0, 2, 468, "4006"},
        {"txtStandRetard", "100", false, false, aeStandstillBoostRetard, 0, 1, 255, "63.75"}, // clamped, not wrapped
        {"txtCLLowLimit", "150", false, false, aeClLowLimit, 0, 2, 0, "100.0"},
        {"txtCLHighLimit", "-5", false, false, aeClHighLimit, 0, 2, 32768, "0.0"},
        {"txtVoltageOffset", "-195", false, false, aeWbOffset, 0, 1, 246, "-195"},
        {"txtTPSThreshold", "40", false, false, aeFullThrottleThreshold, 0, 1, 107, "40.1"},
        {"txtVTSpeed", "50", true, false, aeVtecMinSpeed, 0, 1, 80, "50"},
        {"txtVTSpeed", "50", false, false, aeVtecMinSpeed, 0, 1, 50, "50"},
        {"txtBoostTempThreshold", "212", false, true, aeBoostLimitTemp, 0, 1, celsiusToByte(100), nullptr},
        {"txtFuelTrim", "173", false, false, aeInjectorOffset, 0, 2, 40, "173"},
        {"txtMaxTPSVolts", "4.5", false, false, aeTpsVoltagePair, 1, 1, 230, "4.49"},
        {"txtIdleRecovery", "300", false, false, aeIdleRecovery, 0, 1, 255, "255"},
        {"chkInvertIAB", "1", false, false, aeIabInverted, 0, 1, -0x80, "1"},
        {"chkDTC16", "0", false, false, aeInjectorTestSwitch, 0, 1, 0xFF, "0"},
        {"txtAcceleration", "12", false, false, aeRisingRevLimit, 0, 2, 12, "12"},
        {"txtFixedGain", "2.4", false, false, aeBoostControlMode, 1, 1, 12, "2.4"},
        {"trkPulseFrequency", "25", false, false, aeBoostPeriod, 0, 2, 2500, "25"},
        {"trkPulseFrequency", "200", false, false, aeBoostPeriodCopy, 0, 2, 1042, "60"}, // clamped to the range
        {"chkDTC21", "0", false, false, aeVtsCheck, 0, 1, 0x00, "0"},
        {"chkDTC22", "1", false, false, aeVtpCheck, 0, 1, 133, "1"},
        {"cbxTargetBoostSwitch", "4", false, false, aeTargetBoostSwitchBits, 0, 2, 0x8000, "4"},
    };
    for (const ByteCase& c : cases) {
        SCOPED_TRACE(c.field);
        load("vexorau");
        units.mph = c.mph;
        units.fahrenheit = c.fahrenheit;
        // A check box already in the typed state is first switched the other way.
        const QString typed = QString::fromLatin1(c.typed);
        if (findOptionField(rom, QString::fromLatin1(c.field))->control == TOptionControl::Check &&
            shown(c.field) == typed) {
            set(c.field, typed == QLatin1String("1") ? QStringLiteral("0") : QStringLiteral("1"));
            rom.buffer().clearUndo();
        }
        const QByteArray before = rom.buffer().fileBytes();
        set(c.field, QString::fromLatin1(c.typed));
        const int address = at(c.entry, c.offset);
        const int stored = c.width == 2 ? rom.wordAt(address) : rom.byteAt(address);
        const int expected = c.expected < 0 ? (stored | -c.expected) : c.expected; // negative: a bit of the byte
        EXPECT_EQ(stored, expected);
        if (c.shownBack) {
            EXPECT_EQ(shown(c.field), QString::fromLatin1(c.shownBack));
        }
        EXPECT_EQ(undoSteps(), 1);
        EXPECT_EQ(rom.buffer().fileBytes(), before);
    }
}

TEST_F(OptionsTest, RevCutStoresLimitAndMarginWordInOneStep)
{
    load("vexorau");
    rom.RevDelta = 500;
    set("txtLoRevCut", QStringLiteral("8000"));
    EXPECT_EQ(rom.wordAt(at(aeRevLimitLo)), 234);
    EXPECT_EQ(rom.wordAt(at(aeRevResumeLo)), 1875000 / 7500);
    EXPECT_EQ(shown("txtLoRevCut"), QStringLiteral("8012"));

    set("txtTargetIdle", QStringLiteral("800"));
    EXPECT_EQ(rom.wordAt(at(aeTargetIdle)), 2343);
    EXPECT_EQ(rom.wordAt(at(aeTargetIdleCopy)), 2343);
    EXPECT_EQ(rom.wordAt(at(aeTargetIdleHigh)), 1875000 / 1000);
    EXPECT_EQ(undoSteps(), 2);
}

TEST_F(OptionsTest, RefusedValuesLeaveTheImageAndHistoryAlone)
{
    struct Refusal {
        const char* field;
        const char* typed;
    };
    const Refusal cases[] = {
        {"txtLoRevCut", "0"},          {"txtLoRevCut", "500"}, {"txtLoRevCut", "abc"},   {"txtTargetIdle", "0"},
        {"txtStandCut", "-1"},         {"txtACRev", "400"},    {"txtFuelTrim", "12x"},   {"cbxMAPList", "6"},
        {"cbxGearSelect", "22"},       {"cbxEv1Input", "7"},   {"txtEv1MinRPM", "1000"}, // conditions wait for an input
        {"btnSetGears", "4000,31,53"},
    };
    load("vexorau");
    const QByteArray before = rom.buffer().fileBytes();
    for (const Refusal& r : cases) {
        SCOPED_TRACE(r.field);
        EXPECT_THROW(set(r.field, QString::fromLatin1(r.typed)), EVexorError);
        EXPECT_FALSE(rom.buffer().canUndo());
    }
    EXPECT_EQ(rom.buffer().fileBytes(), before);

    // A zero base-scale word: the trims show 0 and refuse writes.
    rom.buffer().writeWord(at(aeMainFuel), 0);
    rom.buffer().clearUndo();
    EXPECT_EQ(shown("txtCrankingTrim"), QStringLiteral("0.0"));
    EXPECT_THROW(set("txtCrankingTrim", QStringLiteral("5")), EVexorError);
    EXPECT_FALSE(rom.buffer().canUndo());
}

TEST_F(OptionsTest, LeavingEveryFieldUnchangedWritesNothing)
{
    for (const char* family : {"vexorau", "p28", "pr3", "pm6", "sr"}) {
        SCOPED_TRACE(family);
        load(family);
        const QByteArray before = rom.buffer().fileBytes();
        for (const TOptionField& f : optionFieldsFor(rom)) {
            const TOptionValue v = readOptionField(ctx(), f);
            if (!v.enabled || f.control == TOptionControl::Button)
                continue;
            TOptionContext c = ctx();
            writeOptionField(c, f, v.text);
            EXPECT_FALSE(rom.buffer().canUndo()) << f.name.toStdString();
        }
        EXPECT_EQ(rom.buffer().fileBytes(), before);
    }
}

TEST_F(OptionsTest, PresetsWriteTheirBytes)
{
    load("vexorau");
    set("cbxGearSelect", QStringLiteral("5"));
    const quint8 gears[] = {0x6E, 0x00, 0xBD, 0x00, 0x09, 0x01, 0x46, 0x01};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(rom.byteAt(at(aeGearTable, i)), gears[i]) << i;
    EXPECT_EQ(rom.byteAt(at(aeGearSelect)), 5);
    EXPECT_EQ(undoSteps(), 1);

    set("cbxSensorType", QStringLiteral("2"));
    EXPECT_EQ(rom.byteAt(at(aeWbSensorType)), 2);
    EXPECT_EQ(rom.byteAt(at(aeWbEnable)), 128);
    EXPECT_EQ(rom.byteAt(at(aeWbStoich)), 102);
    const quint8 sensor2[] = {0x15, 0x26, 0x37, 0x3F, 0x45, 0x48, 0x4B, 0x52, 0x5B, 0x66, 0x6C, 0x7C};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(rom.byteAt(at(aeWbTable, 2 * i)), WidebandAxisBytes[size_t(i)]);
        EXPECT_EQ(rom.byteAt(at(aeWbTable, 2 * i + 1)), sensor2[i]);
    }
    set("cbxTargettingMode", QStringLiteral("1"));
    EXPECT_EQ(rom.byteAt(at(aeWbStoich)), 0);
    set("cbxTargettingMode", QStringLiteral("0"));
    EXPECT_EQ(rom.byteAt(at(aeWbStoich)), 102);
    EXPECT_EQ(undoSteps(), 3);

    set("cbxClutchInput", QStringLiteral("2")); // the event list's "Input B": selector 528, bit 0x08
    EXPECT_EQ(rom.wordAt(at(aeClutchInput)), 528);
    EXPECT_EQ(rom.wordAt(at(aeClutchInvert)), 0x0800);
    set("chkInvertClutch", QStringLiteral("1"));
    EXPECT_EQ(rom.wordAt(at(aeClutchInvert)), 0x0808);
    EXPECT_EQ(shown("cbxClutchInput"), QStringLiteral("2"));
    EXPECT_EQ(undoSteps(), 2);

    set("cbxEv2Input", QStringLiteral("2"));
    const int block = at(aeEvent2Block);
    EXPECT_EQ(rom.byteAt(block), 0x89);
    EXPECT_EQ(rom.wordAt(block + 2), 529);
    EXPECT_EQ(rom.wordAt(block + 4), 1028);
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(rom.byteAt(block + 6 + i), EventDefaultConditions[size_t(i)]) << i;
    EXPECT_EQ(shown("cbxEv2Input"), QStringLiteral("2"));
    EXPECT_EQ(shown("chkInvertEv2Input"), QStringLiteral("1"));
    EXPECT_EQ(shown("txtEv2MinRPM"), QStringLiteral("500"));
    EXPECT_EQ(rom.buffer().undoStack().at(rom.buffer().undoStack().position() - 1).oldByte, ouEventInput);
    EXPECT_EQ(undoSteps(), 1);
}

TEST_F(OptionsTest, OutputConflictsAcrossUsers)
{
    struct Step {
        const char* field;
        const char* value;
        bool conflict;
    };
    // Each row runs on a fresh image after the setup rows.
    const std::vector<std::vector<Step>> scenarios = {
        {{"cbxPWMOutput", "1", false}, {"cbxEv1Input", "1", false}, {"cbxEv1Output", "1", true}},
        {{"cbxPWMOutput", "1", false}, {"chkEnableVTEC", "1", true}}, // the VTEC solenoid's output is bit 0x01
        {{"cbxEv1Input", "1", false}, {"cbxEv1Output", "3", false}, {"chkEnableIAB", "1", true}},
        {{"cbxVTECPlus", "1", false}, {"cbxEv2Input", "1", false}, {"cbxEv2Output", "2", true}},
        {{"chkEnableVTEC", "1", false},
         {"cbxEv3Input", "1", false},
         {"cbxEv1Input", "1", false},
         {"cbxEv1Output", "1", true}},
        {{"cbxEv1Input", "1", false}, {"cbxEv1Output", "4", false}, {"cbxPWMOutput", "3", true}},
        {{"cbxEv1Input", "1", false},
         {"cbxEv1Output", "4", false},
         {"cbxEv1Input", "0", false},
         {"cbxPWMOutput", "3", false}}, // an event without input frees its output
    };
    for (const auto& steps : scenarios) {
        load("vexorau");
        // Every user of the spare outputs starts without one.
        for (const char* user : {"chkEnableVTEC", "chkEnableIAB", "cbxPWMOutput", "cbxVTECPlus", "cbxEv1Input",
                                 "cbxEv2Input", "cbxEv3Input"})
            set(user, QStringLiteral("0"));
        messages.setDefaultAnswer(mrOk);
        const int before = messages.count();
        for (const Step& s : steps) {
            SCOPED_TRACE(std::string(s.field) + "=" + s.value);
            const QByteArray image = rom.buffer().fileBytes();
            set(s.field, QString::fromLatin1(s.value), true);
            if (s.conflict) {
                ASSERT_EQ(messages.count(), before + 1);
                EXPECT_EQ(messages.last().text, QString::fromLatin1(OutputConflictText));
                EXPECT_EQ(messages.last().title, QStringLiteral("Output Conflict"));
                EXPECT_EQ(rom.buffer().fileBytes(), image);
                EXPECT_THROW(set(s.field, QString::fromLatin1(s.value)), EVexorError); // headless: refused
            } else {
                EXPECT_EQ(messages.count(), before);
                EXPECT_EQ(shown(s.field), QString::fromLatin1(s.value));
            }
        }
    }
    load("vexorau");
    set("cbxEv1Input", QStringLiteral("1"));
    set("cbxEv1Output", QStringLiteral("2"));
    EXPECT_EQ(rom.wordAt(at(aeEvent1Block, 20)), 32);
    EXPECT_EQ(rom.wordAt(at(aeEvent1Block, 22)), 2048);
    EXPECT_EQ(rom.wordAt(at(aeOutputsInUse)) & 0x10, 0x10);

    // The mask is the program's code-switch word: the code driving an output
    // another function took is patched out, and put back when it is freed.
    EXPECT_EQ(rom.CodeSwitches & 0x1FF, rom.wordAt(at(aeOutputsInUse)));
    EXPECT_EQ(rom.buffer().readString(0x43A0, 3), QByteArray(3, '\0'));
    set("cbxEv1Input", QStringLiteral("0"));
    EXPECT_EQ(rom.CodeSwitches & 0x10, 0);
    EXPECT_EQ(rom.buffer().readString(0x43A0, 3), QByteArray::fromHex("C5201B"));
}

TEST_F(OptionsTest, TargetBoostSwitchAndVtecChecks)
{
    load("vexorau");
    set("cbxTargetBoostSwitch", QStringLiteral("2")); // "Input B": selector 528, bit 0x08
    set("chkInvertTargetBoostSwitch", QStringLiteral("1"));
    EXPECT_EQ(rom.wordAt(at(aeTargetBoostSwitch)), 528);
    EXPECT_EQ(rom.wordAt(at(aeTargetBoostSwitchBits)), 0x0808);
    EXPECT_EQ(rom.buffer().undoStack().at(0).oldByte, ouBoostSwitchAndSensor);
    EXPECT_EQ(undoSteps(), 2);
    EXPECT_FALSE(readOptionField(ctx(), *findOptionField(rom, QStringLiteral("chkInvertTargetBoostSwitch"))).enabled);

    // The VTEC solenoid and pressure checks are one setting each, on two pages.
    set("chkDTC21", QStringLiteral("0"));
    EXPECT_EQ(shown("chkEnableVTS"), QStringLiteral("0"));
    set("chkEnableVTP", QStringLiteral("0"));
    EXPECT_EQ(shown("chkDTC22"), QStringLiteral("0"));
    set("chkEnableVTS", QStringLiteral("1"));
    EXPECT_EQ(rom.byteAt(at(aeVtsCheck)), 133);
    EXPECT_EQ(shown("chkDTC21"), QStringLiteral("1"));

    // Odd bytes read as the ECU reads them: watched unless the (masked) off byte is there.
    const struct {
        const char* box;
        TRomEntry entry;
        int byte;
        const char* shows;
    } odd[] = {{"chkDTC10", aeIatSwitch, 0x0F, "0"},
               {"chkDTC10", aeIatSwitch, 0x10, "1"},
               {"chkDTC14", aeIacvSwitch, 0x12, "1"},
               {"chkDTC16", aeInjectorTestSwitch, 0x12, "1"},
               {"chkDTC16", aeInjectorTestSwitch, 0xFF, "0"}};
    for (const auto& o : odd) {
        rom.buffer().writeByte(at(o.entry), quint8(o.byte));
        EXPECT_EQ(shown(o.box), QString::fromLatin1(o.shows)) << o.box << " " << o.byte;
    }
}

TEST_F(OptionsTest, CustomGearsAndMapSensor)
{
    load("vexorau");
    TOptionContext c = ctx(true);
    TGearSetup setup;
    setup.rpm = QStringLiteral("4000");
    setup.speeds = {QStringLiteral("31"), QStringLiteral("53"), QStringLiteral("74"), QStringLiteral("98"),
                    QStringLiteral("129")};
    ASSERT_TRUE(applyGearSetup(c, setup));
    EXPECT_EQ(rom.wordAt(at(aeGearTable)), gearThreshold(4000, 31, 53));
    EXPECT_EQ(gearThreshold(4000, 31, 53), int(std::floor(std::round(1875000.0 / 4000 * (42 * 256)) / 65536)));
    EXPECT_EQ(undoSteps(), 1);

    setup.speeds[2] = QStringLiteral("fast");
    messages.setDefaultAnswer(mrOk);
    EXPECT_FALSE(applyGearSetup(c, setup));
    EXPECT_EQ(messages.last().text, QStringLiteral("Invalid value entered."));
    EXPECT_EQ(messages.last().title, QStringLiteral("Invalid Value"));
    EXPECT_EQ(setup.speeds[2], QStringLiteral("74"));
    setup.rpm = QStringLiteral("0");
    EXPECT_FALSE(applyGearSetup(c, setup));
    EXPECT_EQ(setup.rpm, QStringLiteral("4000"));
    EXPECT_FALSE(rom.buffer().canUndo());

    set("cbxMAPList", QStringLiteral("2"));
    EXPECT_EQ(rom.mapCalibrationMin(), -52);
    EXPECT_EQ(rom.mapCalibrationMax(), 2985);
    EXPECT_TRUE(marks.tablesChanged);
    EXPECT_EQ(shown("txtMinMAP"), QStringLiteral("-52"));
    EXPECT_FALSE(readOptionField(ctx(), *findOptionField(rom, QStringLiteral("txtMinMAP"))).enabled);
    set("cbxMAPList", QStringLiteral("5"));
    EXPECT_EQ(shown("cbxMAPList"), QStringLiteral("5"));
    set("txtMaxMAP", shown("txtMinMAP")); // equal to the minimum: reset, never a division by zero
    EXPECT_EQ(rom.mapCalibrationMin(), -59);
    EXPECT_EQ(rom.mapCalibrationMax(), 1782);
    EXPECT_EQ(mapAtmosphereVolts(-59, 1782), QStringLiteral("2.91"));
}

TEST_F(OptionsTest, CorrectionGrids)
{
    load("vexorau");
    TCorrectionGrid ect(*findCorrectionGrid(QStringLiteral("cgECTFuelOpen")), ctx());
    ASSERT_TRUE(ect.present());
    const int unity = ect.unity();
    ASSERT_GT(unity, 0);
    ect.setCellText(2, 1, QStringLiteral("5.0"));
    EXPECT_EQ(rom.byteAt(at(aeEctOpenHi, 2 * 2 + 1)), int(std::round(1.05 * unity)));
    EXPECT_THROW(ect.setCellText(2, 1, QStringLiteral("x")), EVexorError);
    EXPECT_THROW(ect.setCellText(0, 2, QStringLiteral("1")), EVexorError); // no third row
    const int stored = ect.storedValue(0, 0);
    ect.step(0, 0, 1, false);
    EXPECT_EQ(ect.storedValue(0, 0), stored + 1);
    ect.step(0, 0, -1, true);
    EXPECT_EQ(ect.storedValue(0, 0), stored + 1 - unity / 10);
    EXPECT_EQ(ect.headerCaption(), QStringLiteral("Temp (°C)"));
    units.fahrenheit = true;
    TCorrectionGrid ectF(*findCorrectionGrid(QStringLiteral("cgECTFuelOpen")), ctx());
    EXPECT_EQ(ectF.headerCaption(), QStringLiteral("Temp (°F)"));
    const double c0 = TemperatureTable[size_t(rom.byteAt(at(aeEctOpenLo)))];
    EXPECT_EQ(ectF.columnCaption(0), QString::asprintf("%.0f", c0 * 1.8 + 32));

    TCorrectionGrid wb(*findCorrectionGrid(QStringLiteral("cgWBConversion")), ctx());
    wb.setCellText(0, 0, QStringLiteral("9.9")); // past the sensor range: clamped, not wrapped
    EXPECT_EQ(rom.byteAt(at(aeWbTable, 2 * 11 + 1)), 255);

    // A zero unity scale refuses the typed percentage instead of dividing by it.
    rom.setAddress(aeEctShape, quint16(rom.address(aeEctShape) & 0xFF));
    TCorrectionGrid zero(*findCorrectionGrid(QStringLiteral("cgECTFuelOpen")), ctx());
    EXPECT_EQ(zero.cellText(0, 0), QStringLiteral("0.0"));
    EXPECT_THROW(zero.setCellText(0, 0, QStringLiteral("3")), EVexorError);
}

TEST_F(OptionsTest, BoostAndEventGrids)
{
    struct Cell {
        const char* grid;
        int col, row;
        const char* typed;
        TRomEntry entry;
        int offset;
        int expected;
        const char* shownBack;
    };
    const Cell cases[] = {
        {"cgTargetBoost1", 2, 0, "7.0", aeTargetBoostLoad1, 2, 215, "7.0"}, // psi over 1013 mbar, stock sensor
        {"cgTargetBoost2", 4, 1, "3.1", aeTargetBoostGear2, 4, 16, "3.2"},  // gain: byte / 5
        {"cgSolenoidPerformance", 5, 0, "5.0", aeBoostPulse, 11, 196, "5.0"},
        {"cgIATBoostComp", 1, 0, "-3.5", aeIatBoostComp, 3, 0xF9, "-3.5"},     // signed half percents
        {"cgIATBoostComp", 1, 0, "-200", aeIatBoostComp, 3, 0x80, "-64.0"},    // clamped, not wrapped
        {"cgEv2MapAdjust", 3, 0, "43", aeEvent2MapAdjust, 10, 10, "43"},       // fuel: 4.325 µs steps
        {"cgEv2MapAdjust", 3, 1, "-2.5", aeEvent2MapAdjust, 11, 0xF6, "-2.5"}, // ignition: quarter degrees
    };
    for (const Cell& c : cases) {
        SCOPED_TRACE(std::string(c.grid) + " " + c.typed);
        load("vexorau");
        set("cbxEv2Input", QStringLiteral("1")); // an event's grid waits for its input
        rom.buffer().clearUndo();
        TCorrectionGrid g(*findCorrectionGrid(QString::fromLatin1(c.grid)), ctx());
        ASSERT_TRUE(g.present());
        g.setCellText(c.col, c.row, QString::fromLatin1(c.typed));
        EXPECT_EQ(rom.byteAt(at(c.entry, c.offset)), c.expected);
        EXPECT_EQ(g.cellText(c.col, c.row), QString::fromLatin1(c.shownBack));
        EXPECT_EQ(undoSteps(), 1);
    }
    load("vexorau");
    TCorrectionGrid iat(*findCorrectionGrid(QStringLiteral("cgIATBoostComp")), ctx());
    EXPECT_EQ(iat.headerCaption(), QStringLiteral(" Temp (°C)"));
    EXPECT_EQ(iat.columnCaption(0), QStringLiteral("-20"));
    TCorrectionGrid solenoid(*findCorrectionGrid(QStringLiteral("cgSolenoidPerformance")), ctx());
    EXPECT_EQ(solenoid.columnCaption(5), QStringLiteral("50.0")); // duty in half percents
    TCorrectionGrid ev(*findCorrectionGrid(QStringLiteral("cgEv1MapAdjust")), ctx());
    EXPECT_EQ(ev.columnCount(), 10);
    EXPECT_FALSE(ev.enabled());
    EXPECT_THROW(ev.setCellText(0, 0, QStringLiteral("8")), EVexorError);
    EXPECT_THROW(ev.step(0, 0, 1, false), EVexorError);
    EXPECT_FALSE(rom.buffer().canUndo());
    set("cbxEv1Input", QStringLiteral("3"));
    EXPECT_TRUE(ev.enabled());
    EXPECT_EQ(ev.rowCaption(1), QStringLiteral("Ign. (°) "));
    ev.step(0, 0, -1, false); // signed: below zero, never wrapped to the top
    EXPECT_EQ(ev.cellText(0, 0), QStringLiteral("-4"));
    EXPECT_THROW(ev.setCellText(0, 2, QStringLiteral("1")), EVexorError);
}

TEST_F(OptionsTest, SimplePageRulesOnEveryFamily)
{
    for (const QString& family : romGenFamilies()) {
        SCOPED_TRACE(family.toStdString());
        load(family.toLatin1().constData());
        if (rom.traits().optionTree)
            continue;
        for (const TOptionField& f : simplePageFields())
            EXPECT_NO_THROW((void)readOptionField(ctx(), f)) << f.name.toStdString();
        if (rom.address(aeRevLimitLo)) {
            set("txtRev", QStringLiteral("500")); // below 1000: the default limit
            EXPECT_NEAR(rom.revLimit(), 7400, 40);
        }
        if (!rom.hasFlag(ffIAB)) {
            const TOptionValue iab = readOptionField(ctx(), *findOptionField(rom, QStringLiteral("txtIAB")));
            EXPECT_EQ(iab.text, QStringLiteral("7900"));
            EXPECT_FALSE(iab.enabled);
        }
    }
    load("p28");
    set("txtVTEC", QStringLiteral("9000"));
    EXPECT_EQ(shown("txtVTEC").toInt(), rom.vtecPoint());
    EXPECT_NEAR(rom.vtecPoint(), 7875, 100);
    rom.buffer().clearUndo();
    if (rom.address(aeSpeedLimit)) {
        set("chkSpeedLimit", QStringLiteral("1"));
        set("chkSpeedLimit", QStringLiteral("0"));
        EXPECT_EQ(rom.byteAt(at(aeSpeedLimit)), 254); // 158 mph
        EXPECT_GE(undoSteps(), 1);
        EXPECT_FALSE(rom.switchValue(TRom::swSpeedLimiter));
    }
}

} // namespace
