#include "settings/mdlClock.h"
#include "settings/mdlErrors.h"
#include "settings/mdlFileDialogs.h"
#include "settings/mdlFiles.h"
#include "settings/mdlMessages.h"
#include "settings/mdlUtils.h"
#include "settings/ui/mdlKeyFilter.h"
#include "settings/ui/mdlQtFileDialogs.h"
#include "settings/ui/mdlQtMessages.h"
#include "support/FileSizeLimit.h"
#include "support/TestServices.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

namespace {
// Sets an environment variable for one scope and restores it afterwards.
class TEnvGuard {
public:
    TEnvGuard(const char* name, const QByteArray& value) : m_name(name), m_had(qEnvironmentVariableIsSet(name))
    {
        m_old = qgetenv(name);
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~TEnvGuard()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};
} // namespace

TEST(FileDialogs, WindowsFiltersBecomeQtFilters)
{
    struct Row {
        const char* windows;
        const char* qt;
    };
    const Row rows[] = {
        {"Binary Files|*.bin|All Files|*.*", "Binary Files (*.bin);;All Files (*.*)"},
        {"All Supported Files|*.ct2;*.ctv;*.skl;*.kal|VEXOR Calibrations|*.ct2",
         "All Supported Files (*.ct2 *.ctv *.skl *.kal);;VEXOR Calibrations (*.ct2)"},
        {"Datalog Files|*.dlf|", "Datalog Files (*.dlf)"},
        {"Text|*.txt|Anything", "Text (*.txt);;Anything (*)"},
        {"|*.js", "*.js (*.js)"},
        {"", ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(qtFileFilter(QString::fromLatin1(r.windows)), QString::fromLatin1(r.qt)) << r.windows;

    const QString f = QStringLiteral("Datalog Files|*.dlf|CSV Export|*.csv|All Files|*.*");
    EXPECT_EQ(qtSelectedFilter(f, 2), QStringLiteral("CSV Export (*.csv)"));
    EXPECT_EQ(qtSelectedFilter(f, 0), QStringLiteral("Datalog Files (*.dlf)"));
    EXPECT_EQ(qtSelectedFilter(f, 9), QStringLiteral("Datalog Files (*.dlf)"));
    EXPECT_EQ(defaultSuffix(QStringLiteral(".bin")), QStringLiteral("bin"));
}

TEST(Messages, TitleByKindAndLineBreaksKept)
{
    TScriptedMessages m;
    m.answer(mrYes);
    m.answer(mrOk);
    m.answer(mrOk);
    m.answer(mrOk);
    m.answer(mrNo);
    EXPECT_EQ(m.showMessage(QStringLiteral("a\r\nb\rc"), {}, TMsgKind::Confirmation, TMsgButton::Yes | TMsgButton::No),
              mrYes);
    m.showMessage(QStringLiteral("x"), {}, TMsgKind::Information, TMsgButton::OK);
    m.showMessage(QStringLiteral("x"), {}, TMsgKind::Warning, TMsgButton::OK);
    m.showMessage(QStringLiteral("x"), {}, TMsgKind::Error, {});
    EXPECT_EQ(m.showMessage(QStringLiteral("x"), QStringLiteral("Changes Made"), TMsgKind::Confirmation,
                            TMsgButton::Yes | TMsgButton::No | TMsgButton::Cancel),
              mrNo);
    ASSERT_EQ(m.count(), 5);
    EXPECT_EQ(m.messages()[0].title, QStringLiteral("Confirmation"));
    EXPECT_EQ(m.messages()[0].text, QStringLiteral("a\r\nb\rc")) << "the model keeps its line breaks";
    EXPECT_EQ(m.messages()[1].title, QStringLiteral("Information"));
    EXPECT_EQ(m.messages()[2].title, QStringLiteral("Warning"));
    EXPECT_EQ(m.messages()[3].title, QStringLiteral("Error"));
    EXPECT_EQ(m.messages()[3].buttons, TMsgButtons(TMsgButton::OK)) << "a box always has a button";
    EXPECT_EQ(m.messages()[4].title, QStringLiteral("Changes Made"));
    EXPECT_EQ(displayLineBreaks(QStringLiteral("a\r\nb\rc\nd")), QStringLiteral("a\nb\nc\nd"));
    EXPECT_EQ(int(mrOk), 1);
    EXPECT_EQ(int(mrCancel), 2);
    EXPECT_EQ(int(mrYes), 6);
    EXPECT_EQ(int(mrNo), 7);
}

// The on-screen service shows what the model asked, with display line breaks.
TEST(Messages, QtMessageBoxShowsAndAnswers)
{
    TQtMessageService service;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->button(QMessageBox::No)->click();
    });
    const int r = service.showMessage(QStringLiteral("'x.bin' has been modified.\r\rDo you wish to save?"), {},
                                      TMsgKind::Confirmation, TMsgButton::Yes | TMsgButton::No | TMsgButton::Cancel);
    EXPECT_EQ(r, mrNo);
    EXPECT_EQ(title, QStringLiteral("Confirmation"));
    EXPECT_EQ(text, QStringLiteral("'x.bin' has been modified.\n\nDo you wish to save?"));
    EXPECT_EQ(icon, QMessageBox::Question);

    QTimer::singleShot(0, [] {
        auto* dlg = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        dlg->setTextValue(QStringLiteral("typed"));
        dlg->accept();
    });
    EXPECT_EQ(service.inputQuery(QStringLiteral("Caption"), QStringLiteral("Prompt"), QStringLiteral("def")),
              std::optional<QString>(QStringLiteral("typed")));
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_EQ(service.inputQuery(QStringLiteral("Caption"), QStringLiteral("Prompt"), QStringLiteral("def")),
              std::nullopt);
}

TEST(FileDialogs, QtDialogGetsFiltersAndCancelGivesNothing)
{
    TQtFileDialogService service;
    QStringList filters;
    QString selected, suffix;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        filters = dlg->nameFilters();
        selected = dlg->selectedNameFilter();
        suffix = dlg->defaultSuffix();
        dlg->reject();
    });
    TFileDialogRequest req;
    req.title = QStringLiteral("Save Datalog File");
    req.filter = QStringLiteral("Datalog Files|*.dlf|CSV Export|*.csv|All Files|*.*");
    req.filterIndex = 2;
    req.defaultExt = QStringLiteral(".dlf");
    EXPECT_EQ(service.saveFile(req), std::nullopt);
    EXPECT_EQ(filters.size(), 3);
    EXPECT_EQ(selected, QStringLiteral("CSV Export (*.csv)"));
    EXPECT_EQ(suffix, QStringLiteral("dlf"));
}

TEST(Clock, TickDifferencesSurviveTheWrap)
{
    EXPECT_EQ(elapsedTicks(0xFFFFFF00u, 0x10u), 0x110u);
    EXPECT_TRUE(ticksPassed(0xFFFFFFF0u, 0x0Au, 0x1Au));
    EXPECT_FALSE(ticksPassed(0xFFFFFFF0u, 0x0Au, 0x1Bu));
    TTestClock c(0xFFFFFFFFu - 5);
    const quint32 start = c.tickCount();
    c.advance(10);
    EXPECT_EQ(elapsedTicks(start, c.tickCount()), 10u);
    TSystemClock sys;
    const quint32 a = sys.tickCount();
    EXPECT_GE(elapsedTicks(a, sys.tickCount()), 0u);
    EXPECT_LT(a, 10000u) << "counts from creation";
}

TEST(Utils, HexKeyFiltersAndNumbers)
{
    struct Hex {
        const char* text;
        int value;
    };
    for (const Hex& h : {Hex{"1F", 31}, Hex{"1f", 16}, Hex{"FF", 255}, Hex{"", 0}, Hex{"G1", 1}, Hex{"8000", 32768}})
        EXPECT_EQ(hexTextValue(QString::fromLatin1(h.text)), h.value) << h.text;

    struct Key {
        char key;
        bool isSigned;
        bool passInt;
        bool passReal;
    };
    const Key keys[] = {{'5', false, true, true},   {'\b', false, true, true}, {'\x7f', false, true, true},
                        {'-', false, false, false}, {'-', true, true, true},   {'+', true, true, true},
                        {'.', false, false, true},  {'.', true, false, true},  {'a', true, false, false},
                        {',', true, false, false},  {'e', false, false, false}};
    for (const Key& k : keys) {
        EXPECT_EQ(integerKeyFilter(QLatin1Char(k.key), k.isSigned).has_value(), k.passInt) << int(k.key);
        EXPECT_EQ(realKeyFilter(QLatin1Char(k.key), k.isSigned).has_value(), k.passReal) << int(k.key);
    }
    TKeyFilterValidator v(true, false, nullptr);
    QString typed = QStringLiteral("12.5");
    int pos = 0;
    EXPECT_EQ(v.validate(typed, pos), QValidator::Acceptable);
    typed = QStringLiteral("-12.5");
    EXPECT_EQ(v.validate(typed, pos), QValidator::Invalid) << "pasted text is filtered too";

    EXPECT_EQ(reformatNumber(QStringLiteral("3"), 2, 0), QStringLiteral("3.00"));
    EXPECT_EQ(reformatNumber(QStringLiteral("abc"), 2, 0.25), QStringLiteral("0.25"));
    EXPECT_EQ(reformatNumber(QStringLiteral(" 1.005 "), 1, 0), QStringLiteral("1.0"));
    EXPECT_EQ(reformatNumber(QStringLiteral("inf"), 1, 2), QStringLiteral("2.0"));

    for (int i = 0; i < 200; ++i) {
        const QChar c = randomCapital();
        ASSERT_TRUE(c >= QLatin1Char('A') && c <= QLatin1Char('Y')) << int(c.unicode());
    }
    EXPECT_EQ(randomCapitals(8).size(), 8);
}

TEST(Utils, CaptureCommandOutput)
{
    EXPECT_EQ(captureCommandOutput(QStringLiteral("printf 'a\\nb'; echo err >&2")), QStringLiteral("a\nb"));
    EXPECT_EQ(captureCommandOutput(QStringLiteral("exit 3")), QString());
}

TEST(Files, ReadWriteAndMissingFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bytes.txt"));
    QString all;
    for (int i = 0; i < 256; ++i)
        all += QChar(i);
    EXPECT_TRUE(writeFile(path, all));
    EXPECT_EQ(readFile(path), all) << "every byte survives the round trip";
    EXPECT_EQ(QFileInfo(path).size(), 256);

    const QString missing = dir.filePath(QStringLiteral("nope.js"));
    try {
        (void)readExistingFile(missing);
        ADD_FAILURE() << "no exception";
    } catch (const EVexorError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("'%1' does not exist.").arg(missing));
    }
    EXPECT_THROW((void)readFile(missing), EVexorError);
    EXPECT_THROW(writeFile(dir.filePath(QStringLiteral("no/dir/x")), QStringLiteral("x")), EVexorError);

    // A write the disk refuses half-way keeps the old file (Qt 6.4's commit
    // alone would put the truncated one in its place).
    {
        TFileSizeLimit limit(100);
        ASSERT_TRUE(limit.active());
        EXPECT_THROW(writeFile(path, QString(4000, QLatin1Char('x'))), EVexorError);
    }
    EXPECT_EQ(readFile(path), all);
}

TEST(Files, SettingsFolderFromEnvironment)
{
    {
        TEnvGuard home("VEXOR_HOME", "/tmp/vx-home/");
        EXPECT_EQ(settingsFolder(), QStringLiteral("/tmp/vx-home"));
        EXPECT_EQ(settingsFilePath(QStringLiteral("vexor.ini")), QStringLiteral("/tmp/vx-home/vexor.ini"));
    }
    {
        TEnvGuard home("VEXOR_HOME", QByteArray());
        TEnvGuard xdg("XDG_CONFIG_HOME", "/tmp/xdg");
        EXPECT_EQ(settingsFolder(), QStringLiteral("/tmp/xdg/VEXOR"));
        EXPECT_EQ(specialFolder(sfAppData), QStringLiteral("/tmp/xdg"));
    }
    {
        TEnvGuard home("VEXOR_HOME", QByteArray());
        TEnvGuard xdg("XDG_CONFIG_HOME", "relative/ignored");
        EXPECT_EQ(settingsFolder(), QDir::homePath() + QStringLiteral("/.config/VEXOR"));
    }
    EXPECT_EQ(specialFolder(12345), QString());

    QTemporaryDir dir;
    QString error;
    EXPECT_TRUE(ensureFolder(dir.filePath(QStringLiteral("a/b/c")), &error));
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("a/b/c"))).exists());
    QFile block(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(block.open(QIODevice::WriteOnly));
    block.close();
    EXPECT_FALSE(ensureFolder(dir.filePath(QStringLiteral("file/sub")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("is not a folder"))) << error.toStdString();
}
