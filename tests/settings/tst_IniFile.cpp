#include "settings/mdlIniFile.h"
#include "support/FileSizeLimit.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const char* const Sample = "; settings written by hand\n"
                           "stray=ignored before any section\n"
                           "[General]\n"
                           "Alpha = 12 \n"
                           "beta=  text with = sign  \n"
                           ";Gamma=5\n"
                           "alpha=99\n"
                           "Flag=2\n"
                           "Off=0\n"
                           "Word=true\n"
                           "Big=99999999999\n"
                           "Partial=12abc\n"
                           "Plus=+7\n"
                           "Real=1.5\n"
                           "Exp=2.5e-3\n"
                           "NaN=nan\n"
                           "Empty=\n"
                           "no equals sign here\n"
                           "\n"
                           "[ Other ]\n"
                           "Key=other\n"
                           "[GENERAL]\n"
                           "Alpha=shadowed\n"
                           "Late=only in the duplicate\n";

} // namespace

// Reads follow the private-profile rules; each row names the rule it pins.
TEST(IniFile, ReadsFollowPrivateProfileRules)
{
    TIniFile ini;
    ini.setText(QString::fromLatin1(Sample));
    struct Row {
        const char* section;
        const char* key;
        const char* expectedString; // nullptr: key is missing
        int expectedInt;            // read with default -1
        const char* why;
    };
    const Row rows[] = {
        {"General", "Alpha", "12", 12, "value trimmed"},
        {"general", "ALPHA", "12", 12, "names are case-insensitive; the first key wins over alpha=99"},
        {"General", "beta", "text with = sign", -1, "value is everything after the first '='"},
        {"General", ";Gamma", nullptr, -1, "comment lines are not keys"},
        {"General", "Gamma", nullptr, -1, "comment lines are not keys"},
        {"General", "Flag", "2", 2, "plain integer"},
        {"General", "Word", "true", -1, "not an integer: default"},
        {"General", "Big", "99999999999", -1, "overflow: default"},
        {"General", "Partial", "12abc", -1, "trailing junk: default"},
        {"General", "Plus", "+7", 7, "explicit sign"},
        {"General", "Empty", "", -1, "empty value: default"},
        {"General", "Missing", nullptr, -1, "missing key: default"},
        {"General", "stray", nullptr, -1, "keys before the first section belong to no section"},
        {"General", "Late", nullptr, -1, "a repeated section is invisible"},
        {"Other", "Key", "other", -1, "section name trimmed inside the brackets"},
        {"Nowhere", "Key", nullptr, -1, "missing section: default"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        const QString s = QString::fromLatin1(r.section), k = QString::fromLatin1(r.key);
        EXPECT_EQ(ini.valueExists(s, k), r.expectedString != nullptr);
        EXPECT_EQ(ini.readString(s, k, QStringLiteral("<def>")),
                  r.expectedString ? QString::fromLatin1(r.expectedString) : QStringLiteral("<def>"));
        EXPECT_EQ(ini.readInteger(s, k, -1), r.expectedInt);
    }
    EXPECT_TRUE(ini.readBool(QStringLiteral("General"), QStringLiteral("Flag"), false)) << "any integer but 0";
    EXPECT_FALSE(ini.readBool(QStringLiteral("General"), QStringLiteral("Off"), true));
    EXPECT_TRUE(ini.readBool(QStringLiteral("General"), QStringLiteral("Word"), true)) << "not an integer: default";
    EXPECT_DOUBLE_EQ(ini.readFloat(QStringLiteral("General"), QStringLiteral("Real"), 0), 1.5);
    EXPECT_DOUBLE_EQ(ini.readFloat(QStringLiteral("General"), QStringLiteral("Exp"), 0), 0.0025);
    EXPECT_DOUBLE_EQ(ini.readFloat(QStringLiteral("General"), QStringLiteral("NaN"), 4.5), 4.5);
    EXPECT_DOUBLE_EQ(ini.readFloat(QStringLiteral("General"), QStringLiteral("Word"), 4.5), 4.5);

    EXPECT_EQ(ini.sections(), (QStringList{QStringLiteral("General"), QStringLiteral("Other")}));
    EXPECT_EQ(ini.keys(QStringLiteral("general")).mid(0, 3),
              (QStringList{QStringLiteral("Alpha"), QStringLiteral("beta"), QStringLiteral("Flag")}));
    EXPECT_FALSE(ini.keys(QStringLiteral("General")).contains(QStringLiteral("alpha")));
}

TEST(IniFile, UntouchedTextRoundTripsExactly)
{
    TIniFile ini;
    ini.setText(QString::fromLatin1(Sample));
    EXPECT_EQ(ini.text(), QString::fromLatin1(Sample));
    EXPECT_FALSE(ini.isModified());
}

// Writing changes the one line it must and nothing else.
TEST(IniFile, WritesKeepEveryOtherLine)
{
    struct Row {
        const char* before;
        const char* section;
        const char* key;
        const char* value;
        const char* after;
        const char* why;
    };
    const Row rows[] = {
        {"; c\n[A]\nx = 1 ; old\ny=2\n", "a", "X", "5", "; c\n[A]\nx=5\ny=2\n",
         "existing key: only its line changes, keeping the file's spelling of the key"},
        {"[A]\nx=1\n\n[B]\nz=3\n", "A", "new", "v", "[A]\nx=1\nnew=v\n\n[B]\nz=3\n",
         "new key at the end of its section, before the blank separator"},
        {"[A]\nx=1\n;tail comment\n", "A", "y", "2", "[A]\nx=1\n;tail comment\ny=2\n",
         "new key after the section's last line"},
        {"[A]\nx=1\n", "B", "k", "v", "[A]\nx=1\n\n[B]\nk=v\n", "new section at the end, after a blank line"},
        {"", "B", "k", "v", "[B]\nk=v\n", "empty file"},
        {"[A]\r\nx=1\r\n", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n", "CRLF files stay CRLF"},
        {"[A]\nx=1\n[a]\nx=2\n", "A", "x", "9", "[A]\nx=9\n[a]\nx=2\n", "only the first section is written"},
        {"[A]\nx=1\n", "A", "x", "two\nlines\r", "[A]\nx=two lines\n", "a line break cannot split the value"},
        {"[A]\n", "A", "k", "v", "[A]\nk=v\n", "section with no lines"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        TIniFile ini;
        ini.setText(QString::fromLatin1(r.before));
        ini.writeString(QString::fromLatin1(r.section), QString::fromLatin1(r.key), QString::fromLatin1(r.value));
        EXPECT_EQ(ini.text(), QString::fromLatin1(r.after));
        EXPECT_TRUE(ini.isModified());
    }
}

TEST(IniFile, TypedWritesReadBack)
{
    TIniFile ini;
    ini.writeInteger(QStringLiteral("S"), QStringLiteral("I"), -42);
    ini.writeBool(QStringLiteral("S"), QStringLiteral("B"), true);
    ini.writeFloat(QStringLiteral("S"), QStringLiteral("F1"), 0.25);
    ini.writeFloat(QStringLiteral("S"), QStringLiteral("F2"), 3.0);
    ini.writeFloat(QStringLiteral("S"), QStringLiteral("F3"), 14.7);
    ini.writeFloat(QStringLiteral("S"), QStringLiteral("F4"), 0.1 + 0.2);
    EXPECT_EQ(ini.text(), QStringLiteral("[S]\nI=-42\nB=1\nF1=0.25\nF2=3\nF3=14.7\nF4=0.30000000000000004\n"))
        << "shortest text that reads back exactly";
    EXPECT_EQ(ini.readInteger(QStringLiteral("s"), QStringLiteral("i"), 0), -42);
    EXPECT_EQ(ini.readFloat(QStringLiteral("S"), QStringLiteral("F3"), 0), 14.7);
    EXPECT_EQ(ini.readFloat(QStringLiteral("S"), QStringLiteral("F4"), 0), 0.1 + 0.2);

    ini.eraseKey(QStringLiteral("S"), QStringLiteral("B"));
    EXPECT_FALSE(ini.valueExists(QStringLiteral("S"), QStringLiteral("B")));
    EXPECT_EQ(ini.readInteger(QStringLiteral("S"), QStringLiteral("I"), 0), -42) << "index rebuilt after erase";
    ini.eraseSection(QStringLiteral("s"));
    EXPECT_TRUE(ini.sections().isEmpty());
}

TEST(IniFile, SavesAtomicallyAndKeepsEncoding)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.ini"));
    // A file from an old Windows tool: Latin-1 bytes that are not UTF-8.
    const QByteArray original = "[Inj\xE9]\r\nSize=240\r\n";
    writeBytes(path, original);

    TIniFile ini(path);
    EXPECT_EQ(ini.sections(), QStringList{QStringLiteral("Inj\u00E9")});
    ini.writeInteger(QStringLiteral("Inj\u00E9"), QStringLiteral("Size"), 310);
    QString error;
    ASSERT_TRUE(ini.save(&error)) << error.toStdString();
    EXPECT_EQ(readBytes(path), QByteArray("[Inj\xE9]\r\nSize=310\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("x.ini")}) << "no temporary left";

    TIniFile missing(dir.filePath(QStringLiteral("none.ini")));
    EXPECT_TRUE(missing.sections().isEmpty()) << "a missing file reads as empty";

    TIniFile noFolder;
    noFolder.load(dir.filePath(QStringLiteral("no/such/folder/y.ini")));
    noFolder.writeInteger(QStringLiteral("S"), QStringLiteral("K"), 1);
    EXPECT_FALSE(noFolder.save(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("y.ini"))) << error.toStdString();
}

// A save that fails half-way (disk full, quota) must leave the old file as it was.
TEST(IniFile, FailedSaveLeavesOldFileUntouched)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vexor.ini"));
    const QByteArray original = "[General Settings]\nRevDelta=700\n";
    writeBytes(path, original);

    TIniFile ini(path);
    for (int i = 0; i < 400; ++i)
        ini.writeString(QStringLiteral("Big"), QStringLiteral("Key%1").arg(i), QString(40, QLatin1Char('x')));
    QString error;
    {
        TFileSizeLimit limit(1024);
        ASSERT_TRUE(limit.active());
        EXPECT_FALSE(ini.save(&error));
    }
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readBytes(path), original);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("vexor.ini")});
    EXPECT_TRUE(ini.isModified()) << "still unsaved";
    EXPECT_TRUE(ini.save(&error)) << "and saves once the disk lets it";
}

// A comma used to be taken as a thousands separator, so "0,187" read as 187.
TEST(IniFileNumbers, DecimalCommaIsNeverAGroupSeparator)
{
    EXPECT_DOUBLE_EQ(TIniFile::parseFloat(QStringLiteral("0,187")).value(), 0.187);
    EXPECT_DOUBLE_EQ(TIniFile::parseFloat(QStringLiteral(" 14.7 ")).value(), 14.7);
    EXPECT_FALSE(TIniFile::parseFloat(QStringLiteral("1,000.5")).has_value());
    EXPECT_FALSE(TIniFile::parseFloat(QStringLiteral("1,2,3")).has_value());
}
