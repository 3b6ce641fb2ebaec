#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "rom/mdlRomGen.h"
#include "scripting/frmScripts.h"
#include "scripting/scptWindow.h"

#include "support/FileSizeLimit.h"
#include "support/TestFiles.h"
#include "support/TestScriptDialogs.h"
#include "support/TestServices.h"

#include <QDir>
#include <QFileInfo>
#include <QJSEngine>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <thread>

namespace {

class ScriptHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        prog = dir.path() + QStringLiteral("/prog");
        user = dir.path() + QStringLiteral("/user");
        QDir().mkpath(prog);
        QDir().mkpath(user);
        svc.messages.setDefaultAnswer(mrOk); // error boxes and notices
        doc = std::make_unique<TRomDocument>(rom, svc.services());
        TScriptEnvironment env;
        env.services = svc.services();
        env.dialogs = &dialogs;
        env.document = doc.get();
        env.widebandConversions = &conversions;
        env.pluginsChanged = [this] { ++menuRebuilds; };
        host = std::make_unique<TScriptForm>(env);
        host->setFolders(prog, user);
        doc->events.runRomHandlers = [this] { host->runRomLoadHook(); };
    }

    void write(const QString& path, const QString& text) { writeBytes(path, text.toUtf8()); }
    QString str(const QString& expression) { return host->evaluate(expression).toString(); }

    // Loads a ROM of the family from a file (the document's load path).
    void loadRom(const QString& family)
    {
        TRomGenOptions o;
        o.family = family;
        const QString path = dir.path() + QStringLiteral("/rom.bin");
        writeBytes(path, generateRom(o));
        ASSERT_TRUE(doc->loadFile(path));
    }

    QTemporaryDir dir;
    QString prog, user;
    TTestServices svc;
    TScriptedScriptDialogs dialogs;
    TRom rom;
    std::unique_ptr<TRomDocument> doc;
    TJsWidebandConvManager conversions;
    std::unique_ptr<TScriptForm> host;
    int menuRebuilds = 0;
};

TEST_F(ScriptHost, MacrosExpandWithEscapingAndFirstOnlyAppDir)
{
    // A folder name with a quote and a backslash: the escaped macros must
    // still give the real path inside a string literal.
    const QString odd = dir.path() + QStringLiteral("/it's \"q\"\\x");
    QDir().mkpath(odd);
    const QString path = odd + QStringLiteral("/m.js");
    write(path,
          QStringLiteral("var p = '#SCRIPT_PATH#', q = \"#SCRIPT_DIR#\", n = '#SCRIPT_NAME#';\n"
                         "var a = '#VEXOR_APP_DIR#', b = '#VEXOR_APP_DIR#', r = '#VEXOR_ROOT_DIR##VEXOR_ROOT_DIR#';"));
    host->reloadScripts();
    host->addScriptFile(path);
    EXPECT_EQ(str("p"), path);
    EXPECT_EQ(str("q"), odd + u'/');
    EXPECT_EQ(str("n"), QStringLiteral("m.js"));
    EXPECT_EQ(str("a"), user + u'/');
    EXPECT_EQ(str("b"), QStringLiteral("#VEXOR_APP_DIR#"));
    EXPECT_EQ(str("r"), prog + u'/' + prog + u'/');
}

TEST_F(ScriptHost, StartupFilesProceduresAndRewrittenWrites)
{
    write(prog + QStringLiteral("/autoload.js"),
          QStringLiteral(
              "function zeta() {}\nvar alpha = function () {};\nlet hidden = function () {};\n"
              "const gone = 1; class K {}\nfunction _private() {}\nvar notAFunction = 3;\n"
              "var o = { set_x: function (i, v) { this['k' + i] = v; }, x: function (i) { return this['k' + i]; } };\n"
              "o.x(1) = 5; o.x(1) += 2;\n"));
    write(user + QStringLiteral("/plugins.js"), QStringLiteral("function myHook(a, b) { return a + b; }"));
    ASSERT_TRUE(host->reloadScripts());
    EXPECT_EQ(host->procedures(), (QStringList{"zeta", "alpha", "_private", "myHook"}));
    EXPECT_TRUE(host->procedureExists(QStringLiteral("myHook(1,2)")));
    EXPECT_FALSE(host->procedureExists(QStringLiteral("MyHook(1,2)")));
    EXPECT_FALSE(host->procedureExists(QStringLiteral("alert")));
    EXPECT_EQ(host->evaluate(QStringLiteral("o.x(1)")).toInt(), 7);
    EXPECT_EQ(menuRebuilds, 1);
    EXPECT_EQ(svc.messages.count(), 0);
}

TEST_F(ScriptHost, ErrorsShowTheLineOfTheUsersFile)
{
    const QString path = prog + QStringLiteral("/autoload.js");
    write(path, QStringLiteral("var a = 1;\nfunction f() {\n  return missing.value;\n}\n"));
    host->reloadScripts();
    EXPECT_THROW(host->evaluate(QStringLiteral("f()")), EScriptError);
    ASSERT_EQ(svc.messages.count(), 1);
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("Error"));
    EXPECT_EQ(svc.messages.last().text,
              QStringLiteral("missing is not defined at line 3, column 0 near 'return missing.value;'"));

    // A syntax error on a rewritten line still points at the line as written.
    write(path, QStringLiteral("rom.byteAt(1) = 2;\n\nvar = 5;\n"));
    svc.messages.clear();
    host->reloadScripts();
    ASSERT_EQ(svc.messages.count(), 1);
    EXPECT_TRUE(svc.messages.last().text.endsWith(QStringLiteral("at line 3, column 5 near 'var = 5;'")))
        << svc.messages.last().text.toStdString();
    EXPECT_EQ(menuRebuilds, 2); // the menus follow the emptied registry even after a failed load
}

TEST_F(ScriptHost, WindowMembersAreGlobalAndCheckTheirWidths)
{
    host->reloadScripts();
    svc.messages.answer(mrOk);
    host->evaluate(QStringLiteral("alert(12.5)"));
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("Alert"));
    EXPECT_EQ(svc.messages.last().text, QStringLiteral("12.5"));

    const struct {
        const char* expr;
        const char* result;
    } cases[] = {
        {"DecToHex(255)", "FF"},
        {"DecToHex(256)", "0100"},
        {"window.DecToHex(65536)", "010000"},
        {"DecToHex(16777216)", "01000000"},
        {"LoByte(0x1234) + ',' + HiByte(0x1234)", "52,18"},
        {"GetFilePath('C:\\\\a\\\\b.js') + '|' + GetFileName('C:\\\\a\\\\b.js')", "C:\\a\\|b.js"},
        {"GetFilePath('/x/y/z.js') + '|' + GetFileName('d:z.js')", "/x/y/|z.js"},
        {"showMph + showPsi + showFahrenheit + showAFR", "3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(QString::fromUtf8(c.expr)), QString::fromUtf8(c.result)) << c.expr;

    // Out of the declared width: a script error, never a wrap.
    for (const char* bad : {"LoByte(70000)", "DecToHex(-1)", "HiByte(1.5)", "addRomHandler(256, 'a', 'b()')"}) {
        svc.messages.clear();
        EXPECT_THROW(host->evaluate(QString::fromUtf8(bad)), EScriptError) << bad;
        ASSERT_EQ(svc.messages.count(), 1) << bad;
        EXPECT_TRUE(svc.messages.last().text.contains(QStringLiteral("out of range"))) << bad;
    }
}

TEST_F(ScriptHost, DialogsAnswerAsScriptsExpect)
{
    host->reloadScripts();
    svc.messages.answerInput(QStringLiteral("dflt")); // accepted unchanged
    svc.messages.answerInput(std::nullopt);           // cancelled
    svc.messages.answerInput(QStringLiteral("typed"));
    EXPECT_EQ(str("prompt('C', 'M', 'dflt') + '|' + prompt('C', 'M', 'dflt') + '|' + prompt('C', 'M', 'dflt')"),
              QStringLiteral("||typed"));
    EXPECT_EQ(svc.messages.inputs().first().caption, QStringLiteral("C"));

    svc.messages.answer(mrYes);
    svc.messages.answer(mrNo);
    EXPECT_EQ(str("confirm('a') + ',' + confirm('b')"), QStringLiteral("true,false"));
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("Confirm"));

    dialogs.answerSelect(2);
    dialogs.answerSelect(-1);
    EXPECT_EQ(str("select('Pick', 'a|b|c') + ',' + select('Pick', 'x')"), QStringLiteral("2,-1"));
    EXPECT_EQ(dialogs.requests().first().keys, (QStringList{"a", "b", "c"}));

    dialogs.answerValues(QStringList{"1", "two words"});
    dialogs.answerValues(std::nullopt);
    EXPECT_EQ(str("input('M', 'Rows,\"Col count\"', '20,24,extra') + '|' + input('M', 'a', 'b')"),
              QStringLiteral("1,\"two words\"|"));
    EXPECT_EQ(dialogs.requests().at(2).keys, (QStringList{"Rows", "Col count"}));
    EXPECT_EQ(dialogs.requests().at(2).values, (QStringList{"20", "24"}));
    svc.messages.clear();
    EXPECT_THROW(host->evaluate(QStringLiteral("input('M', 'a,b', 'x')")), EScriptError);
    EXPECT_TRUE(svc.messages.last().text.startsWith(QStringLiteral("List index out of bounds (1)")));
}

TEST_F(ScriptHost, RegistrationsAndReloadEmptyThem)
{
    write(
        prog + QStringLiteral("/autoload.js"),
        QStringLiteral("addPlugin('me', 'One', 'one()');\naddPlugin('me', 'Two', 'two()', 'info()', 7);\n"
                       "addPlugin('me', 'Three', 'three()', '', 2);\n"
                       "addRomHandler(3, 'me', 'a()'); addRomHandler(4, 'me', 'b()'); addRomHandler(12, 'me', 'c()');\n"
                       "addCustomTable('T', 4, 2, 0x1234, 'ld');\naddWidebandConversion('Lin', 'lin');\n"));
    host->reloadScripts();
    host->reloadScripts(); // nothing doubles up
    ASSERT_EQ(host->plugins().count(), 3);
    EXPECT_EQ(host->plugins().get(1).category, 0); // 7 is stored as 0
    EXPECT_EQ(host->plugins().get(1).info, QStringLiteral("info()"));
    EXPECT_EQ(host->plugins().get(2).category, 2);
    ASSERT_EQ(host->romHandlers().count(), 3);
    EXPECT_EQ(host->romHandlers().get(0).ecuType, 4);
    EXPECT_EQ(host->romHandlers().get(1).ecuType, 3);
    EXPECT_EQ(host->romHandlers().get(2).ecuType, 13);
    ASSERT_EQ(host->customTables().count(), 1);
    EXPECT_EQ(host->customTables().get(0).address, 0x1234);
    EXPECT_EQ(host->customTables().get(0).onLoad, QStringLiteral("ld"));
    EXPECT_EQ(conversions.captions(), QStringList{"JS:Lin"});

    QFile::remove(prog + QStringLiteral("/autoload.js"));
    host->reloadScripts();
    EXPECT_EQ(host->plugins().count() + host->romHandlers().count() + host->customTables().count(), 0);
    EXPECT_EQ(menuRebuilds, 3);
}

TEST_F(ScriptHost, RomHandlersRunInOrderAndAnErrorStopsTheRest)
{
    write(prog + QStringLiteral("/autoload.js"),
          QStringLiteral("var log = [];\n"
                         "addRomHandler(4, 'x', 'log.push(\"first\")');\naddRomHandler(0, 'x', 'log.push(\"p28\")');\n"
                         "addRomHandler(4, 'x', 'log.push(\"second\")');\n"
                         "function _on_rom_loaded_() { log.push('loaded'); }\n"));
    host->reloadScripts();
    loadRom(QStringLiteral("p13")); // type code 3: script type 4
    EXPECT_EQ(str("log.join()"), QStringLiteral("first,second,loaded"));

    host->evaluate(
        QStringLiteral("log = []; addRomHandler(4, 'x', 'boom()'); addRomHandler(4, 'x', 'log.push(\"after\")')"));
    svc.messages.clear();
    EXPECT_TRUE(doc->reload());
    EXPECT_EQ(str("log.join()"), QStringLiteral("first,second")); // the erroring handler stopped the rest
    EXPECT_EQ(svc.messages.count(), 1);
    EXPECT_TRUE(rom.isLoaded());
}

TEST_F(ScriptHost, WatchdogInterruptsRunawayScripts)
{
    host->reloadScripts();
    host->setWatchdogLimit(200);
    EXPECT_THROW(host->evaluate(QStringLiteral("while (true) {}")), EScriptError);
    ASSERT_EQ(svc.messages.count(), 1);
    EXPECT_TRUE(svc.messages.last().text.startsWith(QStringLiteral("Script interrupted")));
    EXPECT_EQ(host->evaluate(QStringLiteral("1 + 1")).toInt(), 2); // the engine runs again afterwards
}

// A user slower than the limit in a dialog opened by the script.
class TSlowMessages : public TScriptedMessages {
protected:
    int doShowMessage(const TMessage& m) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        return TScriptedMessages::doShowMessage(m);
    }
};

TEST_F(ScriptHost, TimeInADialogDoesNotCount)
{
    TSlowMessages slow;
    slow.setDefaultAnswer(mrOk);
    host->environment().services.messages = &slow;
    host->reloadScripts();
    host->setWatchdogLimit(300);
    EXPECT_EQ(host->evaluate(QStringLiteral("alert('wait'); 5")).toInt(), 5);
}

TEST_F(ScriptHost, IncludeSearchOrderMissingFilesAndCycles)
{
    write(prog + QStringLiteral("/lib.js"), QStringLiteral("var where = 'program';"));
    write(user + QStringLiteral("/lib.js"), QStringLiteral("var where = 'user';"));
    write(user + QStringLiteral("/self.js"),
          QStringLiteral("var depth = (typeof depth === 'undefined') ? 1 : depth + 1;\n"
                         "include('$(APPDATA)\\\\self.js');\n"));
    host->reloadScripts();
    host->evaluate(QStringLiteral("include('lib.js')"));
    EXPECT_EQ(str("where"), QStringLiteral("program"));
    host->evaluate(QStringLiteral("include('$(APPDATA)\\\\lib.js')"));
    EXPECT_EQ(str("where"), QStringLiteral("user"));

    svc.messages.answer(mrOk);
    host->evaluate(QStringLiteral("include('nowhere.js')"));
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("Information"));
    EXPECT_EQ(svc.messages.last().text, QStringLiteral("Could not include file \r\r'nowhere.js'"));

    svc.messages.clear();
    EXPECT_THROW(host->evaluate(QStringLiteral("include('self.js')")), EScriptError);
    ASSERT_EQ(svc.messages.count(), 1); // one report, not one per level
    EXPECT_TRUE(svc.messages.last().text.contains(QStringLiteral("nest deeper than 16")));
    EXPECT_EQ(host->evaluate(QStringLiteral("depth")).toInt(), TScriptForm::MaxIncludeDepth);
}

TEST_F(ScriptHost, FilesObjectReadsWritesAtomicallyAndAsksTheDialogService)
{
    host->reloadScripts();
    const QString f = dir.path() + QStringLiteral("/out.txt");
    auto eval = [&](const char* code) {
        return host->evaluate(QString::fromUtf8(code).replace(QLatin1String("%1"), dir.path()));
    };
    EXPECT_FALSE(eval("window.files === window.files").toBool()); // a new object on every read
    EXPECT_EQ(eval("files.getFile('%1/none.txt')").toString(), QString());
    EXPECT_EQ(svc.messages.count(), 0); // a missing file is no error
    eval("files.putFile('%1/out.txt', 'a\\r\\nb' + 1)");
    EXPECT_EQ(readBytes(f), QByteArray("a\r\nb1"));
    EXPECT_EQ(eval("files.exists('%1\\\\out.txt') + ':' + files.getFile('%1/out.txt')").toString(),
              QStringLiteral("1:a\r\nb1"));

    // A failed write is a script error and leaves no part of the new text:
    // no file in a missing folder, the old file on a full disk.
    EXPECT_THROW(eval("files.putFile('%1/no/such/x.txt', 'x')"), EScriptError);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/no")));
    {
        const TFileSizeLimit limit(3);
        ASSERT_TRUE(limit.active());
        EXPECT_THROW(eval("files.putFile('%1/out.txt', 'a longer text')"), EScriptError);
    }
    EXPECT_EQ(readBytes(f), QByteArray("a\r\nb1"));

    svc.fileDialogs.answer(QStringLiteral("/chosen.bin"));
    svc.fileDialogs.answer(std::nullopt);
    EXPECT_EQ(eval("files.showSave('Bin|*.bin|All|*.*', 2)").toString(), QStringLiteral("/chosen.bin"));
    EXPECT_EQ(eval("files.showOpen('Bin|*.bin')").toString(), QString());
    ASSERT_EQ(svc.fileDialogs.requests().size(), 2);
    EXPECT_TRUE(svc.fileDialogs.requests().at(0).save);
    EXPECT_EQ(svc.fileDialogs.requests().at(0).request.filter, QStringLiteral("Bin|*.bin|All|*.*"));
    EXPECT_EQ(svc.fileDialogs.requests().at(0).request.filterIndex, 2);
    EXPECT_FALSE(svc.fileDialogs.requests().at(1).save);
    EXPECT_TRUE(eval("files.browseFolder() === undefined").toBool());
}

TEST_F(ScriptHost, EventsHookOnlyDefinedFunctions)
{
    write(prog + QStringLiteral("/autoload.js"), QStringLiteral("function myOptions() {}"));
    host->reloadScripts();
    host->evaluate(QStringLiteral("events.OnShowOptions = 'undefinedFn'"));
    EXPECT_EQ(host->showOptionsHook(), QString());
    host->evaluate(QStringLiteral("window.events.OnShowOptions = 'myOptions'"));
    EXPECT_EQ(host->showOptionsHook(), QStringLiteral("myOptions"));
    host->evaluate(QStringLiteral("events.unhook()"));
    EXPECT_EQ(host->showOptionsHook(), QString());
}

} // namespace

namespace {

TEST_F(ScriptHost, RomObjectThroughWindowWithRewrittenWrites)
{
    host->reloadScripts();
    loadRom(QStringLiteral("p28"));
    host->evaluate(QStringLiteral("rom.byteAt(0x7F00) = 7;\nwindow.rom.byteAt(0x7F00) += 2;"));
    EXPECT_EQ(rom.buffer().readByte(0x7F00), 9);
    EXPECT_TRUE(doc->modified());
    EXPECT_EQ(host->evaluate(QStringLiteral("rom.byteAt(0x7F00)")).toInt(), 9);
}

} // namespace
