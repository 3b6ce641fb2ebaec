// The ROM object and the ROM events object driven from script code through a
// plain engine: widths, texts, flag sequences, the address-map names, hooks
// across load and reload, hook errors and the wideband evaluator.
#include "editor/mdlGridDisplay.h"
#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "rom/mdlRomGen.h"
#include "scripting/mdlScriptTypes.h"
#include "scripting/mdlScriptWideband.h"
#include "scripting/scptRom.h"
#include "scripting/scptRomEvents.h"
#include "support/TestFiles.h"
#include "support/TestScriptHost.h"
#include "support/TestServices.h"

#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class RomScript : public ::testing::Test {
protected:
    void SetUp() override
    {
        rom.buffer().loadBytes(generateRom({}));
        ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
        host.addObject(QStringLiteral("rom"), new TRomScript(doc, host, names));
    }

    double num(const QString& code) { return host.evaluate(code).toNumber(); }
    // The message of the script error the code raises ("" when none).
    QString error(const QString& code)
    {
        try {
            host.evaluate(code);
        } catch (const EScriptError& e) {
            return e.message();
        }
        return {};
    }

    TTestServices svc;
    TRom rom;
    TRomDocument doc{rom, svc.services()};
    TRomHookNames names;
    TTestScriptHost host;
};

TEST_F(RomScript, ImageAccessGoesThroughTheEditBufferAndChecksWidths)
{
    const int before = rom.byteAt(0x100);
    host.evaluate("rom.gup(); rom.set_byteAt(0x100, 0x5A); rom.set_wordAt(0x102, 0x1234); rom.gup()");
    EXPECT_EQ(rom.byteAt(0x100), 0x5A);
    EXPECT_EQ(num("rom.wordAt(0x102)"), 0x1234);
    EXPECT_EQ(rom.byteAt(0x102), 0x34); // little-endian by default
    host.evaluate("rom.endian = 0");
    EXPECT_EQ(num("rom.wordAt(0x102)"), 0x3412);
    host.evaluate("rom.endian = 7");
    EXPECT_EQ(num("rom.endian"), 1);
    EXPECT_TRUE(doc.modified());
    rom.buffer().undo(); // one step back to the opening marker
    EXPECT_EQ(rom.byteAt(0x100), before);
    EXPECT_FALSE(doc.modified());

    // Out of width is an error, never a wrapped index or value.
    for (const char* code : {"rom.byteAt(70000)", "rom.set_byteAt(1, 256)", "rom.set_byteAt(-1, 0)",
                             "rom.set_wordAt(0, 65536)", "rom.byteAt(1.5)", "rom.tableByte(256, 0)"})
        EXPECT_TRUE(error(QString::fromLatin1(code)).startsWith("Argument")) << code;
    EXPECT_EQ(rom.byteAt(4464), rom.buffer().readByte(4464));
    EXPECT_FALSE(error("rom.byteAt(0x9000)").isEmpty()); // past a 32 KB image
}

TEST_F(RomScript, AddressMapByNameAndIndex)
{
    EXPECT_EQ(num("rom.addressOf('low_fuel')"), rom.address(aeFuelLo));
    EXPECT_EQ(num("rom.addressOf('low_fuel')"), num("rom.addressIn(5)"));
    EXPECT_EQ(num("rom.addressOf('GEAR_TABLE')"), 0);
    host.evaluate("rom.set_addressOf('GEAR_TABE', 0x4321); rom.set_addressOf('VTEC', 0x1234);"
                  "rom.set_addressOf('NO_SUCH', 7)");
    EXPECT_EQ(rom.address(aeGearTable), 0x4321);
    EXPECT_EQ(rom.address(aeVtecEnable), 0x1234);
    EXPECT_EQ(num("rom.addressIn(63)"), rom.address(63));
    host.evaluate("rom.set_addressIn(63, 99)");
    EXPECT_EQ(rom.address(63), 99);
    EXPECT_EQ(error("rom.addressIn(64)"), "Index out of bounds.");
    EXPECT_EQ(error("rom.set_addressIn(64, 1)"), "Index out of bounds.");
}

TEST_F(RomScript, FeatureFlags)
{
    struct Case {
        const char* writes;
        int hasBoost;
    };
    for (const Case& c :
         {Case{"1,2", 2}, Case{"2,1", 2}, Case{"3,1", 3}, Case{"3,0", 3}, Case{"2,0", 0}, Case{"1", 1}, Case{"9", 3}}) {
        rom.FeatureFlags = 0;
        host.evaluate(QStringLiteral("[%1].forEach(function (v) { rom.hasBoost = v; })").arg(c.writes));
        EXPECT_EQ(num("rom.hasBoost"), c.hasBoost) << c.writes;
    }

    rom.FeatureFlags = 0;
    host.evaluate("rom.hasLaunchControl = 1; rom.hasITB = true; rom.hasShiftLight = -1; rom.hasIAB = 0");
    EXPECT_EQ(rom.FeatureFlags, ffLaunchControl | ffITB | ffShiftLight);
    EXPECT_EQ(num("rom.hasITB + rom.hasFullThrottleShift"), 1);
    EXPECT_FALSE(error("rom.hasIAB = 256").isEmpty());

    host.evaluate("rom.hasFinalMultiplier = 1");
    ASSERT_EQ(rom.fuelCorrectionCount(), 4);
    EXPECT_EQ(rom.fuelCorrection(1).caption, "O2 Correction");
    EXPECT_EQ(rom.fuelCorrection(3).scalarAddress, rom.address(aeTipInFuel));
    EXPECT_EQ(num("rom.addFuelCorrection('Extra', 0x200, 0x210)"), 5);
    EXPECT_EQ(rom.fuelCorrection(4).offsetAddress, 0x210);
    host.evaluate("rom.hasFinalMultiplier = 0");
    EXPECT_EQ(rom.fuelCorrectionCount(), 0);
    EXPECT_FALSE(rom.hasFlag(ffFinalMultiplier));
    EXPECT_EQ(num("rom.addFuelCorrection('Only', 1, 2)"), 1); // sets the flag, no refill
    EXPECT_TRUE(rom.hasFlag(ffFinalMultiplier));
}

TEST_F(RomScript, TypesModesAndTables)
{
    // Script family numbers: 3 and 4 exchanged, 0-2 and 5-9 the same, else unknown.
    for (int v = 0; v < 15; ++v) {
        const int expected = v == 3 ? 4 : v == 4 ? 3 : v <= 9 ? v : int(btUnknown);
        EXPECT_EQ(scriptTypeToRomType(v), expected) << v;
    }
    host.evaluate("rom.base = 3");
    EXPECT_EQ(rom.BaseType, btPR3);
    EXPECT_EQ(num("rom.base"), 4);
    host.evaluate("rom.base = 12");
    EXPECT_EQ(rom.BaseType, btUnknown);
    EXPECT_EQ(num("rom.base"), 10);
    host.evaluate("rom.base = 0");
    EXPECT_EQ(num("rom.OBDMode"), 1);
    host.evaluate("rom.OBDMode = 7");
    EXPECT_EQ(rom.OBDMode, 4);
    host.evaluate("rom.OBDMode = 1");

    host.evaluate("rom.working_table = 2");
    EXPECT_EQ(rom.CurrentTable, tkLowIgn);
    EXPECT_EQ(error("rom.working_table = 5"), "Unknown table type");
    EXPECT_EQ(rom.CurrentTable, tkLowIgn);
    EXPECT_EQ(num("rom.tableWidth() * 100 + rom.tableHeight()"), rom.columns() * 100 + rom.rows());
    EXPECT_EQ(num("rom.tableByte(3, 4)"), rom.cellByte(3, 4, tkLowIgn));
    host.evaluate("rom.set_tableValue(3, 4, 20)");
    EXPECT_EQ(rom.tableValue(3, 4, tkLowIgn), num("rom.tableValue(3, 4)"));
    EXPECT_NEAR(num("rom.tableValue(3, 4)"), 20, 0.25);
    EXPECT_EQ(num("rom.tableIValue(1, 1000, 4000)"), rom.interpolatedValue(1, 1000, 4000));
    EXPECT_EQ(error("rom.tableIValue(4, 1000, 4000)"), "Unknown table type");
    EXPECT_EQ(error("rom.tableIValue(-1, 1000, 4000)"), "Unknown table type");
    EXPECT_EQ(num("rom.mapScalar(1, 2)"), rom.load(true, 2));
    EXPECT_EQ(num("rom.revScalar(0, 5)"), rom.rpm(false, 5));
}

TEST_F(RomScript, ConversionsAndDocument)
{
    EXPECT_EQ(num("rom.byteToCelcius(0)"), 140);
    EXPECT_EQ(num("rom.byteToCelcius(255)"), -30);
    EXPECT_EQ(num("rom.celciusToByte(rom.byteToCelcius(199))"), 199);
    EXPECT_EQ(num("rom.celciusToByte(500)"), 0);
    EXPECT_EQ(num("rom.celciusToByte(-500)"), 255);
    EXPECT_EQ(num("rom.millibarToByte(rom.byteToMillibar(100))"),
              rom.millibarToByte(rom.byteToMillibar(100, true), true));

    EXPECT_EQ(host.evaluate("rom.filename").toString(), "Untitled");
    host.evaluate("rom.notes = 'tuned\\r\\nby script'; rom.title = 'Made up'");
    EXPECT_EQ(doc.notes(), "tuned\r\nby script");
    EXPECT_EQ(rom.baseName(), "Made up");
    EXPECT_EQ(num("rom.checksum"), rom.checksum());
    host.evaluate("rom.set_byteAt(0x200, (rom.byteAt(0x200) + 1) & 255)");
    EXPECT_EQ(num("rom.checksum"), rom.checksum());
}

TEST_F(RomScript, HookCallTextsAreLocaleFreeAndChecked)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(romHookCallText(TRom::OnGetMapScalar, "h", 1, 3, 0, 0), "h(1,3)");
    EXPECT_EQ(romHookCallText(TRom::OnSetMapScalar, "h", 0, 2, -1013.5, 0), "h(0,2,-1014)");
    EXPECT_EQ(romHookCallText(TRom::OnSetRevScalar, "h", 1, 16, 65535, 0), "h(1,16,65535)");
    EXPECT_EQ(romHookCallText(TRom::OnGetTableValue, "h", 3, 0, 19, 0), "h(3,0,19)");
    EXPECT_EQ(romHookCallText(TRom::OnSetTableValue, "h", 2, 1, 2, 12.3), "h(2,1,2,12.3)");
    EXPECT_EQ(romHookCallText(TRom::OnSetTableValue, "h", 0, 1, 2, 1e-7), "h(0,1,2,1e-07)");
    QLocale::setDefault(previous);
    EXPECT_THROW((void)romHookCallText(TRom::OnSetMapScalar, "h", 0, 2, 40000, 0), EVexorError);
    EXPECT_THROW((void)romHookCallText(TRom::OnSetRevScalar, "h", 0, 2, -1, 0), EVexorError);
    EXPECT_THROW((void)romHookCallText(TRom::OnGetTableValue, "h", 0, 256, 0, 0), EVexorError);
    EXPECT_THROW((void)romHookCallText(TRom::OnSetTableValue, "h", 0, 1, 1, qQNaN()), EVexorError);
}

TEST_F(RomScript, HooksServeEveryReaderUntilUnhookedOrLoaded)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.bin");
    writeBytes(path, generateRom({}));
    ASSERT_TRUE(doc.loadFile(path));
    const double fromImage = rom.tableValue(1, 2, tkLowIgn);

    host.addCode("var calls = [];"
                 "function tv(t, c, r) { return t * 100 + c + r / 100; }"
                 "function sv(t, c, r, v) { calls.push([t, c, r, v].join()); }"
                 "function ms(m, c) { return 2000 + m * 100 + c; }"
                 "function sm(m, c, v) { calls.push([m, c, v].join()); }"
                 "function rs(m, r) { return rom.byteAt(0x10) * 0 + 1000 * (r + 1); }");
    host.evaluate("var ev = rom.events; ev.OnGetTableValue = 'TV'");
    EXPECT_FALSE(rom.hasHook(TRom::OnGetTableValue)); // names are case-sensitive
    host.evaluate("ev.OnGetTableValue = 'tv'; ev.OnSetTableValue = 'sv'; ev.OnGetMapScalar = 'ms';"
                  "rom.events.OnSetMapScalar = 'sm'; rom.events.OnGetRevScalar = 'rs'");
    EXPECT_EQ(names[TRom::OnGetTableValue], "tv");
    EXPECT_EQ(rom.tableValue(1, 2, tkLowIgn), 201.02);
    host.evaluate("rom.working_table = 3; rom.set_tableValue(4, 5, 12.5); rom.set_mapScalar(1, 6, 1500)");
    rom.setLoad(false, 2, -20.4);
    EXPECT_EQ(host.evaluate("calls.join(';')").toString(), "3,4,5,12.5;1,6,1500;0,2,-20");
    EXPECT_EQ(num("rom.mapScalar(1, 7)"), 2107);
    EXPECT_EQ(rom.load(false, 3), 2003);
    EXPECT_EQ(rom.rpm(true, 4), 5000);

    // The grid paints through the hook.
    TGridDisplay grid(&rom);
    QString caption;
    TColor back = 0, font = 0;
    TAlignment align = taLeftJustify;
    grid.colorCell(2, 1, caption, back, font, align, false);
    EXPECT_EQ(caption, "302.01");
    grid.fixedCell(3, 1, caption, align);
    EXPECT_EQ(caption, "2102");

    ASSERT_TRUE(doc.reload()); // the reload command keeps the hooks
    EXPECT_EQ(rom.tableValue(1, 2, tkLowIgn), 201.02);
    host.evaluate("rom.events.unhook()");
    EXPECT_EQ(rom.tableValue(1, 2, tkLowIgn), fromImage);
    EXPECT_EQ(names[TRom::OnGetTableValue], "tv"); // the names stay

    host.evaluate("rom.events.OnGetTableValue = 'tv'");
    ASSERT_TRUE(doc.loadFile(path)); // loading a file empties every slot
    EXPECT_FALSE(rom.hasHook(TRom::OnGetTableValue));
    EXPECT_EQ(rom.tableValue(1, 2, tkLowIgn), fromImage);
}

TEST_F(RomScript, HookFailuresStopTheAccess)
{
    host.addCode("function again(t, c, r) { return rom.tableValue(c, r); }"
                 "function boom(m, c) { throw new Error('boom'); }"
                 "function text(m, r) { return 'many'; }");
    host.evaluate("rom.events.OnGetTableValue = 'again'; rom.events.OnGetMapScalar = 'boom';"
                  "rom.events.OnGetRevScalar = 'text'");

    // A hook reaching its own kind of value fails clearly instead of recursing.
    try {
        (void)rom.tableValue(0, 0, tkLowFuel);
        ADD_FAILURE() << "no error";
    } catch (const EScriptError& e) {
        EXPECT_TRUE(e.message().contains("'again' reached its own kind of value")) << e.message().toStdString();
    }

    const int errors = host.errors().size();
    EXPECT_THROW((void)rom.load(true, 1), EScriptError);
    EXPECT_EQ(host.errors().size(), errors + 1);
    // Shown once: later accesses fail without calling the script again.
    const int evaluations = host.evaluations();
    EXPECT_THROW((void)rom.load(true, 2), EVexorError);
    EXPECT_EQ(host.evaluations(), evaluations);
    EXPECT_EQ(host.errors().size(), errors + 1);
    host.evaluate("rom.events.OnGetMapScalar = 'boom'");
    EXPECT_THROW((void)rom.load(true, 1), EScriptError); // installed again, called again

    EXPECT_THROW((void)rom.rpm(false, 0), EVexorError); // no number
    EXPECT_TRUE(error("rom.revScalar(0, 0)").contains("returned no number"));
}

TEST_F(RomScript, WidebandEvaluatorOverTheHost)
{
    host.addCode("function lam(b) { return b < 2 ? 'rich' : (b == 3 ? undefined.x : 0.5 + b / 100); }");
    TScriptWidebandEvaluator evaluator(host);
    EXPECT_TRUE(evaluator.hasFunction("lam"));
    EXPECT_FALSE(evaluator.hasFunction("Lam"));
    const TLambdaLookup table = lambdaLookupFromScript("lam", evaluator, 0.1);
    EXPECT_FLOAT_EQ(table[0], 0.1f); // not a number
    EXPECT_FLOAT_EQ(table[2], 0.62f);
    EXPECT_FLOAT_EQ(table[3], 0.1f); // an error
    EXPECT_FLOAT_EQ(table[255], 3.15f);
    host.setAvailable(false);
    EXPECT_FALSE(evaluator.hasFunction("lam"));
    double v = 7;
    EXPECT_FALSE(evaluator.evaluate("lam(5)", v));
}

} // namespace
