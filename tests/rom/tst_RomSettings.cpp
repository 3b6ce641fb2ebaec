// Single-value settings and switches.
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "rom/mdlRomSettingsTable.h"
#include "settings/mdlErrors.h"

#include <gtest/gtest.h>

namespace {

void load(TRom& rom, const char* family)
{
    rom.reset();
    rom.buffer().loadBytes(generateRom({QString::fromLatin1(family)}));
    ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
}

} // namespace

TEST(RomSettings, RevLimitWritesLimitAndResumeAsOneStep)
{
    TRom rom;
    load(rom, "p28");
    rom.setRevLimit(7000);
    EXPECT_EQ(rom.buffer().readWord(rom.address(aeRevLimitLo)), 267);
    EXPECT_EQ(rom.buffer().readWord(rom.address(aeRevLimitHi)), 267);
    EXPECT_EQ(rom.buffer().readWord(rom.address(aeRevResumeLo)), 288);
    EXPECT_EQ(rom.buffer().readWord(rom.address(aeRevResumeHi)), 288);
    EXPECT_EQ(rom.revLimit(), 1875000 / 267);
    rom.buffer().undo();
    EXPECT_FALSE(rom.buffer().canUndo());
    EXPECT_EQ(rom.revLimit(), 1875000 / (1875000 / 7200));

    // A limit at or below its gap would store a negative resume point.
    EXPECT_THROW(rom.setRevLimit(500), EVexorError);
    EXPECT_THROW(rom.setRevLimit(0), EVexorError);
    EXPECT_FALSE(rom.buffer().canUndo());
    rom.RevDelta = 1000;
    rom.setRevLimit(8000);
    EXPECT_EQ(rom.buffer().readWord(rom.address(aeRevResumeLo)), 1875000 / 7000);
}

TEST(RomSettings, Obd0RevLimitEncodings)
{
    TRom rom;
    load(rom, "pr3");
    EXPECT_EQ(rom.revLimit(), 1848000 / (1848000 / 8000));
    rom.setRevLimit(9000);
    EXPECT_EQ(rom.buffer().readByte(rom.address(aeRevLimitLo)), 1848000 / 9000);
    EXPECT_EQ(rom.buffer().readByte(rom.address(aeRevResumeLo)), 1848000 / 8500);
    rom.setRevLimit(5000);
    EXPECT_EQ(rom.buffer().readByte(rom.address(aeRevLimitLo)), 255) << "a period too long for a byte clamps";

    load(rom, "pm6");
    const int at = rom.address(aeRevLimitLo);
    EXPECT_EQ(rom.revLimit(), 1920000 / (1920000 / 7200));
    rom.setRevLimit(6000);
    EXPECT_EQ(rom.buffer().readByte(at), 320 >> 8);
    EXPECT_EQ(rom.buffer().readByte(at + 2), 320 & 0xFF);
    EXPECT_EQ(rom.revLimit(), 6000);
    rom.buffer().writeWord(at, 0);
    EXPECT_EQ(rom.revLimit(), 0);
}

TEST(RomSettings, LaunchShiftColdIdleShiftLight)
{
    TRom rom;
    load(rom, "vexorau");
    // This map has no resume entries for these two limits: only the limit is written.
    ASSERT_EQ(rom.address(aeLaunchResume), 0);
    ASSERT_EQ(rom.address(aeShiftResume), 0);
    rom.setLaunchRevLimit(4000);
    EXPECT_EQ(rom.buffer().readWord(rom.address(aeLaunchLimit)), 1875000 / 4000);
    EXPECT_THROW(rom.setLaunchRevLimit(100), EVexorError) << "at or below the launch gap";
    rom.setShiftRevLimit(7500);
    EXPECT_EQ(rom.shiftRevLimit(), 1875000 / (1875000 / 7500));
    EXPECT_THROW(rom.setShiftLight(0), EVexorError);
    rom.setShiftLight(6500);
    EXPECT_EQ(rom.shiftLight(), 1875000 / (1875000 / 6500));
    rom.setColdIdle(1500);
    EXPECT_EQ(rom.coldIdle(), 1500);

    load(rom, "p28");
    const int depth = rom.buffer().undoStack().position();
    rom.setLaunchRevLimit(4000); // entry 40 absent: nothing happens
    EXPECT_EQ(rom.buffer().undoStack().position(), depth);
    EXPECT_EQ(rom.launchRevLimit(), 0);
}

TEST(RomSettings, VtecPointsAllPairs)
{
    TRom rom;
    load(rom, "p28");
    rom.setVtecPoint(400);
    const int at = rom.address(aeVtecPoints);
    for (int d = 0; d < 4; ++d) {
        EXPECT_EQ(rom.buffer().readByte(at + 2 * d + 1), TRom::encodeExponentRpm(450)) << "raised to at least 450";
        EXPECT_EQ(rom.buffer().readByte(at + 2 * d), 0);
    }
    rom.setVtecPoint(5600);
    EXPECT_EQ(rom.vtecPoint(), TRom::decodeExponentRpm(TRom::encodeExponentRpm(5600)));
    EXPECT_EQ(rom.buffer().readByte(at + 6), TRom::encodeExponentRpm(5100));
    rom.buffer().undo();
    EXPECT_EQ(rom.buffer().readByte(at + 1), TRom::encodeExponentRpm(450)) << "one undo per VTEC change";

    load(rom, "p72");
    rom.setVtecPoint(6000);
    EXPECT_EQ(rom.buffer().readByte(0x645D), TRom::encodeExponentRpm(6000));
    EXPECT_EQ(rom.buffer().readByte(0x6466), TRom::encodeExponentRpm(5500));

    load(rom, "pr3");
    rom.setVtecPoint(5000);
    EXPECT_EQ(rom.buffer().readByte(rom.address(aeVtecPoints) + 1), 208) << "round(5000/62.52 + 128) = 207.97";
    EXPECT_EQ(rom.vtecPoint(), 5002);
    EXPECT_TRUE(rom.vtecEnabled());
    rom.setVtecPoint(8000);
    EXPECT_FALSE(rom.vtecEnabled()) << "OBD0: VTEC is off when the point is at or above 7878";
}

TEST(RomSettings, VtecEnableAndSwitches)
{
    TRom rom;
    load(rom, "p28");
    rom.setVtecEnabled(false);
    EXPECT_EQ(rom.buffer().readByte(rom.address(aeVtecEnable)), 0);
    EXPECT_EQ(rom.CodeSwitches & 1, 0);
    rom.setVtecEnabled(true);
    EXPECT_TRUE(rom.vtecEnabled());
    EXPECT_EQ(rom.CodeSwitches & 1, 1);

    struct Row {
        TRom::TSwitch sw;
        int on, off;
    };
    const Row rows[] = {
        {TRom::swKnock, 0xFF, 0x00},        {TRom::swVtecSpeed, 0x00, 0xFF},    {TRom::swVtecCoolant, 0x44, 0xFF},
        {TRom::swInjectorTest, 0x00, 0xFF}, {TRom::swSpeedLimiter, 0xFF, 0x00},
    };
    for (const Row& r : rows) {
        const int at = rom.address(TRom::switchEntry(r.sw));
        rom.setSwitch(r.sw, true);
        EXPECT_EQ(rom.buffer().readByte(at), r.on);
        EXPECT_TRUE(rom.switchValue(r.sw));
        rom.setSwitch(r.sw, false);
        EXPECT_EQ(rom.buffer().readByte(at), r.off);
        EXPECT_FALSE(rom.switchValue(r.sw));
        rom.buffer().writeByte(at, 0x12);
        EXPECT_FALSE(rom.switchValue(r.sw)) << "only the exact on byte reads on";
    }
}

TEST(RomSettings, SpeedIacvBoostGearVersion)
{
    TRom rom;
    load(rom, "p28");
    rom.setSpeedLimitMph(158);
    EXPECT_EQ(rom.buffer().readByte(rom.address(aeSpeedLimit)), 254);
    rom.setSpeedLimitMph(159);
    EXPECT_EQ(rom.buffer().readByte(rom.address(aeSpeedLimit)), 0xFF);
    EXPECT_EQ(rom.speedLimitMph(), 158);
    rom.setSpeedLimitMph(-5);
    EXPECT_EQ(rom.buffer().readByte(rom.address(aeSpeedLimit)), 0);

    EXPECT_EQ(rom.iacvBase(), 5);
    const int depth = rom.buffer().undoStack().position();
    rom.setIacvBase(5);
    EXPECT_EQ(rom.buffer().undoStack().position(), depth) << "the current value records nothing";
    rom.setIacvBase(10);
    const int at = rom.address(aeIacvBase);
    const int expected[] = {29491, 29491, 30670, 30670, 28459, 28459, 21233, 21233};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(rom.buffer().readWord(at + 2 + 4 * k), expected[k]) << k;
    rom.buffer().undo();
    EXPECT_EQ(rom.iacvBase(), 5) << "eight words undone as one";

    // Gear: thresholds 0x1C, 0x30, 0x48, 0x60 at entry 37 + 0, 2, 4, 6.
    EXPECT_EQ(rom.gear(0, 1000), 0);
    EXPECT_EQ(rom.gear(10, 700), 1) << "(700*10)>>8 = 27 < 0x1C";
    EXPECT_EQ(rom.gear(10, 1000), 2) << "39: first threshold above is 0x30";
    EXPECT_EQ(rom.gear(100, 1000), 5);

    EXPECT_EQ(rom.boostLimitMbar(), 0) << "absent item";
    rom.setAddress(aeBoostLimit, 0x7FF0);
    rom.setBoostLimitMbar(5000);
    EXPECT_EQ(rom.buffer().readByte(0x7FF0), 0xFF);
    rom.setBoostLimitMbar(663);
    EXPECT_EQ(rom.buffer().readByte(0x7FF0), rom.millibarToByte(663, false));
    EXPECT_NEAR(rom.boostLimitPsi(), (rom.boostLimitMbar() - 1012.95) / 1000 * 14.5, 1e-9);
    EXPECT_EQ(rom.versionText(), QString());

    load(rom, "vexorau");
    EXPECT_EQ(rom.versionText(), QStringLiteral("C0.96"));
    EXPECT_DOUBLE_EQ(rom.version(), 0.96);
}

TEST(RomSettings, TableCoversEveryNamedSettingOnce)
{
    QStringList names;
    for (const auto& item : romSettingItems())
        names << item.name;
    const QStringList expected = {QStringLiteral("rev_limit"),
                                  QStringLiteral("launch_rev_limit"),
                                  QStringLiteral("shift_rev_limit"),
                                  QStringLiteral("shift_light"),
                                  QStringLiteral("cold_idle"),
                                  QStringLiteral("vtec_enabled"),
                                  QStringLiteral("vtec_point"),
                                  QStringLiteral("iab_point"),
                                  QStringLiteral("knock_sensor"),
                                  QStringLiteral("eld"),
                                  QStringLiteral("closed_loop"),
                                  QStringLiteral("baro_sensor"),
                                  QStringLiteral("vtec_speed_condition"),
                                  QStringLiteral("vtec_coolant_condition"),
                                  QStringLiteral("debug"),
                                  QStringLiteral("o2_heater"),
                                  QStringLiteral("injector_test"),
                                  QStringLiteral("speed_limiter"),
                                  QStringLiteral("speed_limit_mph"),
                                  QStringLiteral("iacv_base"),
                                  QStringLiteral("iacv_duty_correction"),
                                  QStringLiteral("boost_limit_mbar"),
                                  QStringLiteral("boost_limit_psi"),
                                  QStringLiteral("final_multiplier"),
                                  QStringLiteral("version_text"),
                                  QStringLiteral("version")};
    EXPECT_EQ(names, expected);
    // Writing through the table changes exactly the bytes its spans name.
    TRom rom;
    load(rom, "vexorau");
    for (const auto& item : romSettingItems()) {
        if (!item.set || item.spans(rom).isEmpty())
            continue;
        const QByteArray before = rom.buffer().fileBytes();
        const double v = item.type == TRomSettingItem::Bool ? (item.get(rom).toBool() ? 0 : 1) : 6100;
        try {
            item.set(rom, v);
        } catch (const EVexorError&) {
            continue;
        }
        const QByteArray after = rom.buffer().fileBytes();
        for (int i = 0; i < before.size(); ++i) {
            if (before[i] == after[i])
                continue;
            bool covered = false;
            for (const auto& [at, len] : item.spans(rom))
                covered |= i >= at && i < at + len;
            EXPECT_TRUE(covered) << item.name.toStdString() << " changed 0x" << std::hex << i;
        }
        while (rom.buffer().canUndo())
            rom.buffer().undo();
    }
}
