// Plug-ins written in the dispatch style (parameterised property writes,
// members without `window.`) run unchanged through the program's script host:
// one serves a made-up table layout through the ROM-event hooks, one edits maps.
#include "editor/mdlGridDisplay.h"
#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "rom/mdlRomGen.h"
#include "scripting/frmScripts.h"
#include "scripting/mdlScriptWideband.h"
#include "support/TestFiles.h"
#include "support/TestScriptDialogs.h"
#include "support/TestServices.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class PluginCompat : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"made_up_layout.js", "map_edit.js"})
            ASSERT_TRUE(QFile::copy(QStringLiteral(VEXOR_TEST_PLUGINS "/") + name, dir.filePath(name))) << name;
        writeBytes(dir.filePath("autoload.js"),
                   "include('$(VEXOR)\\\\made_up_layout.js');\r\ninclude('$(VEXOR)\\\\map_edit.js');\r\n");
        svc.messages.setDefaultAnswer(mrOk);
        TScriptEnvironment env;
        env.services = svc.services();
        env.dialogs = &dialogs;
        env.document = &doc;
        env.refresh = [this] { ++refreshes; };
        host = std::make_unique<TScriptForm>(env);
        host->setFolders(dir.path(), dir.path() + "/user");
        doc.events.runRomHandlers = [this] { host->runRomLoadHook(); };
        ASSERT_TRUE(host->reloadScripts());
        ASSERT_EQ(svc.messages.count(), 0) << svc.messages.last().text.toStdString();
    }

    void load(const QString& family)
    {
        TRomGenOptions o;
        o.family = family;
        const QString path = dir.filePath(family + ".bin");
        writeBytes(path, generateRom(o));
        ASSERT_TRUE(doc.loadFile(path));
    }
    // Runs the registered plug-in command with this caption.
    void command(const QString& caption)
    {
        for (int i = 0; i < host->plugins().count(); ++i)
            if (host->plugins().get(i).caption == caption) {
                host->evaluate(host->plugins().get(i).command);
                return;
            }
        ADD_FAILURE() << "no plug-in " << caption.toStdString();
    }

    QTemporaryDir dir;
    TTestServices svc;
    TScriptedScriptDialogs dialogs;
    TRom rom;
    TRomDocument doc{rom, svc.services()};
    std::unique_ptr<TScriptForm> host;
    int refreshes = 0;
};

TEST_F(PluginCompat, MadeUpLayoutIsServedToEveryReaderAndWriter)
{
    load("p28"); // the plug-in's ROM handler installs the hooks
    ASSERT_TRUE(rom.hasHook(TRom::OnGetTableValue));
    const int tableAt = rom.tableAddress(tkHighFuel);
    const QByteArray tableBytes = rom.buffer().readString(tableAt, 64);
    rom.buffer().writeByte(0x7400 + 2 * 32 + 3, 41);
    EXPECT_EQ(rom.tableValue(3, 2, tkHighFuel), 20.5);
    EXPECT_EQ(rom.load(true, 4), 425);
    EXPECT_EQ(rom.rpm(false, 1), rom.buffer().readWord(0x7802));

    // The grid shows the served values and scales.
    rom.CurrentTable = tkHighFuel;
    TGridDisplay grid(&rom);
    QString caption;
    TColor back = 0, font = 0;
    TAlignment align = taLeftJustify;
    grid.colorCell(3, 2, caption, back, font, align, false);
    EXPECT_EQ(caption, "21"); // fuel cells show whole units
    grid.fixedCell(5, 1, caption, align);
    EXPECT_EQ(caption, "425");

    // Writes land in the layout, through the edit buffer, not in the ROM's own table.
    rom.setTableValue(3, 2, 30.25, tkHighFuel);
    rom.setRpm(true, 0, 7100);
    EXPECT_EQ(rom.buffer().readByte(0x7400 + 2 * 32 + 3), 61); // Math.round(60.5)
    EXPECT_EQ(rom.buffer().readWord(0x7800), 7100);
    EXPECT_EQ(rom.buffer().readString(tableAt, 64), tableBytes);
    rom.buffer().undo();
    rom.buffer().undo();
    EXPECT_EQ(rom.buffer().readByte(0x7400 + 2 * 32 + 3), 41);

    ASSERT_TRUE(doc.reload()); // hooks survive the reload command
    EXPECT_EQ(rom.tableValue(3, 2, tkHighFuel), 20.5);
    command("Stop serving the layout");
    EXPECT_FALSE(rom.hasHook(TRom::OnGetTableValue));
    EXPECT_NE(rom.tableValue(3, 2, tkHighFuel), 20.5);

    host->evaluate("layout_install()");
    load("p30"); // no handler for this family: loading emptied the slots
    EXPECT_FALSE(rom.hasHook(TRom::OnGetTableValue));
    EXPECT_FALSE(rom.hasHook(TRom::OnGetRevScalar));
    EXPECT_EQ(svc.messages.count(), 0);
}

TEST_F(PluginCompat, MapEditsRunUnchangedAndUndoAsOneStep)
{
    load("p30");
    QVector<double> before;
    for (int r = 0; r < rom.rows(tkLowFuel); ++r)
        for (int c = 0; c < rom.columns(tkLowFuel); ++c)
            before << rom.tableValue(c, r, tkLowFuel);
    rom.CurrentTable = tkHighIgn;
    command("Richen the low-cam fuel map by 10%");
    ASSERT_EQ(svc.messages.count(), 0) << svc.messages.last().text.toStdString();
    EXPECT_EQ(rom.CurrentTable, tkHighIgn);
    EXPECT_EQ(refreshes, 1);
    int i = 0, richer = 0;
    for (int r = 0; r < rom.rows(tkLowFuel); ++r)
        for (int c = 0; c < rom.columns(tkLowFuel); ++c, ++i) {
            EXPECT_GE(rom.tableValue(c, r, tkLowFuel), before[i] * 1.1 - 0.26) << c << "," << r;
            richer += rom.tableValue(c, r, tkLowFuel) > before[i];
        }
    EXPECT_GT(richer, i / 2);
    rom.buffer().undo(); // the whole map in one step
    for (int r = 0, k = 0; r < rom.rows(tkLowFuel); ++r)
        for (int c = 0; c < rom.columns(tkLowFuel); ++c, ++k)
            EXPECT_EQ(rom.tableValue(c, r, tkLowFuel), before[k]);

    const int mark = rom.byteAt(0x7F00), gear = rom.address(aeGearTable);
    command("Mark the image");
    EXPECT_EQ(rom.byteAt(0x7F00), (mark + 3) & 0xFF);
    EXPECT_EQ(rom.address(aeGearTable), gear + 1);
    EXPECT_EQ(doc.notes(), QString::asprintf("marked %02X", (mark + 3) & 0xFF));
}

TEST_F(PluginCompat, HookErrorsAreReportedOnceWithTheLineOfTheScript)
{
    load("p30");
    writeBytes(dir.filePath("bad.js"), "function bad_get(t, c, r) {\n"
                                       "    if (c == 2) throw new Error('no cell ' + c);\n"
                                       "    return c;\n"
                                       "}\n"
                                       "function plain_get(m, c) { throw 'plain'; }\n");
    host->addScriptFile(dir.filePath("bad.js"));
    host->evaluate("rom.events.OnGetTableValue = 'bad_get'; rom.events.OnGetMapScalar = 'plain_get'");
    EXPECT_EQ(rom.tableValue(1, 0, tkLowFuel), 1);
    EXPECT_THROW((void)rom.tableValue(2, 0, tkLowFuel), EScriptError);
    ASSERT_EQ(svc.messages.count(), 1);
    EXPECT_EQ(svc.messages.last().text.section(" near ", 1), "'if (c == 2) throw new Error('no cell ' + c);'");
    EXPECT_TRUE(svc.messages.last().text.startsWith("no cell 2 at line 2")) << svc.messages.last().text.toStdString();

    // A repaint of every cell after the failure shows nothing more.
    TGridDisplay grid(&rom);
    QString caption;
    TColor back = 0, font = 0;
    TAlignment align = taLeftJustify;
    for (int c = 0; c < rom.columns(); ++c)
        grid.colorCell(c, 0, caption, back, font, align, false);
    EXPECT_EQ(svc.messages.count(), 1);

    EXPECT_THROW((void)rom.load(false, 0), EScriptError); // a thrown value that is no Error
    EXPECT_TRUE(svc.messages.last().text.startsWith("plain")) << svc.messages.last().text.toStdString();
}

// The shipped how-to plug-ins, installed as the plug-in manager writes them.
TEST(ShippedExamples, WidebandConversionAndTaggedLayoutHandler)
{
    QTemporaryDir dir;
    TTestServices svc;
    TScriptedScriptDialogs dialogs;
    TRom rom;
    TRomDocument doc{rom, svc.services()};
    TJsWidebandConvManager conversions;
    TScriptEnvironment env;
    env.services = svc.services();
    env.dialogs = &dialogs;
    env.document = &doc;
    env.widebandConversions = &conversions;
    TScriptForm host(env);
    svc.messages.setDefaultAnswer(mrOk);
    host.setFolders(QStringLiteral(VEXOR_EXAMPLE_PLUGINS), dir.path());
    doc.events.runRomHandlers = [&host] { host.runRomLoadHook(); };
    writeBytes(dir.filePath("plugins.js"), "/* BEGIN */\r\ninclude('$(VEXOR)\\\\wideband_linear.js');\r\n"
                                           "include('$(VEXOR)\\\\tagged_layout.js');\r\n/* END */\r\n");
    ASSERT_TRUE(host.reloadScripts());
    ASSERT_EQ(svc.messages.count(), 0) << svc.messages.last().text.toStdString();

    ASSERT_EQ(conversions.count(), 1);
    TScriptWidebandEvaluator evaluator(host);
    const TLambdaLookup lookup = lambdaLookupFromScript(conversions.get(0).ExecFunction, evaluator, 0.0);
    EXPECT_FLOAT_EQ(lookup[0], 0.68f);
    EXPECT_FLOAT_EQ(lookup[255], 1.36f);

    // An ordinary P28 image keeps its own layout; a tagged one is served
    // from the made-up layout.
    QByteArray image = generateRom(TRomGenOptions{});
    const QString path = dir.filePath("p28.bin");
    writeBytes(path, image);
    ASSERT_TRUE(doc.loadFile(path));
    EXPECT_FALSE(rom.hasHook(TRom::OnGetTableValue));
    image[0x7FF0] = 'V';
    image[0x7FF1] = 'X';
    image[0x7400 + 2 * 32 + 3] = 41;
    writeBytes(path, image);
    ASSERT_TRUE(doc.loadFile(path));
    ASSERT_TRUE(rom.hasHook(TRom::OnGetTableValue));
    EXPECT_EQ(rom.tableValue(3, 2, tkHighFuel), 20.5);
}

} // namespace
