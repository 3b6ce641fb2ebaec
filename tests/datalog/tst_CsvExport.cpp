// CSV export: golden bytes of a hand-built recording in both unit sets, the
// edge cases of the format, the fast formatter against a plain printf
// rendering of every field, and the file flow (nothing for an empty
// recording, atomic replacement).

#include "datalog/mdlCsvExport.h"
#include "settings/mdlErrors.h"
#include "support/FileSizeLimit.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr quint32 Start = 500000;

DatalogSample sampleA()
{
    DatalogSample s;
    s.setU16(DatalogSample::CrankPeriod, 1875); // 1000 rpm
    s.setU16(DatalogSample::Injector, 800);     // 3.46 ms
    s.setU8(DatalogSample::Ignition, 88);       // 16 degrees
    s.setU8(DatalogSample::Knock, 8);           // 2 degrees
    s.setU8(DatalogSample::O2, 51);
    s.setU8(DatalogSample::Speed, 100);
    s.setU8(DatalogSample::Map, 150); // 1024 mbar without a ROM
    s.setU8(DatalogSample::Throttle, 100);
    s.setU8(DatalogSample::AirTemp, 128); // 28.7 C
    s.setU8(DatalogSample::Coolant, 32);  // 85 C
    s.setTimeStamp(Start);
    return s;
}

DatalogSample sampleB()
{
    DatalogSample s; // crank period 0: engine speed unknown
    s.setU8(DatalogSample::Ignition, 0);
    s.setU8(DatalogSample::Map, 100); // 663 mbar: below atmosphere
    s.setU8(DatalogSample::Throttle, 24);
    s.setU8(DatalogSample::AirTemp, 255); // -30 C
    s.setU8(DatalogSample::Coolant, 0);   // 140 C
    s.setU8(DatalogSample::Flags, 1);     // VTEC
    s.setU32(DatalogSample::Errors, 0x5); // codes 1 and 3
    s.setTimeStamp(Start + 3723004);
    return s;
}

QByteArray records(std::initializer_list<DatalogSample> samples)
{
    QByteArray out;
    for (const DatalogSample& s : samples)
        out += s.toBytes();
    return out;
}

TCsvOptions imperial()
{
    TCsvOptions o;
    o.lambda.fill(0.0f);
    o.lambda[51] = 0.9f;
    o.startTime = Start;
    return o;
}

QByteArray render(const QByteArray& recs, const TCsvOptions& o)
{
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    writeCsv(buf, recs, o);
    return buf.data();
}

} // namespace

TEST(CsvExport, GoldenBytesMphPsiFahrenheit)
{
    const QByteArray expected =
        "Duration,\"Engine Speed (RPM)\",\"Vehicle Speed (Mph)\",Gear,\"Manifold Pressure (mbar)\",\"Boost (psi)\","
        "\"Throttle Position (%)\",\"Injector Duration (ms)\",\"Duty Cycle (%)\",\"Ignition Advance\",\"Knock Retard\","
        "\"Air Temperature (F)\",\"Coolant Temperature (F)\",\"O2 Voltage\",Lambda,\"Air Fuel Ratio\",VTEC,CEL\r\n"
        "\"00:00:00.000\",1000,\"62.0\",0,1024,\"0.2\",\"37\",\"3.46\",\"3\",\"16.00\",0.00,\"83.66\",\"185.00\","
        "\"1.00\",\"0.90\",\"13.23\",OFF,\r\n"
        "\"01:02:03.004\",0,\"0.0\",0,663,\"0.0\",\"0\",\"0.00\",\"0\",\"-6.00\",0.00,\"-22.00\",\"284.00\","
        "\"0.00\",\"0.00\",\"0.00\",ON,\"1 3 \"\r\n";
    EXPECT_EQ(render(records({sampleA(), sampleB()}), imperial()), expected);
}

TEST(CsvExport, GoldenBytesKphKgCelsiusWithKnockSensor)
{
    TCsvOptions o = imperial();
    o.units.mph = o.units.psi = o.units.fahrenheit = false;
    o.ctx.knockSensor = true;
    const QByteArray expected =
        "Duration,\"Engine Speed (RPM)\",\"Vehicle Speed (Kph)\",Gear,\"Manifold Pressure (mbar)\",\"Boost (kg/cm^2)\","
        "\"Throttle Position (%)\",\"Injector Duration (ms)\",\"Duty Cycle (%)\",\"Ignition Advance\",\"Knock Retard\","
        "\"Air Temperature (C)\",\"Coolant Temperature (C)\",\"O2 Voltage\",Lambda,\"Air Fuel Ratio\",VTEC,CEL\r\n"
        "\"00:00:00.000\",1000,100,0,1024,\"0.01\",\"37\",\"3.46\",\"3\",\"16.00\",\"2.00\",\"28.70\",\"85.00\","
        "\"1.00\",\"0.90\",\"13.23\",OFF,\r\n"
        "\"01:02:03.004\",0,0,0,663,\"0.00\",\"0\",\"0.00\",\"0\",\"-6.00\",\"0.00\",\"-30.00\",\"140.00\","
        "\"0.00\",\"0.00\",\"0.00\",ON,\"1 3 \"\r\n";
    EXPECT_EQ(render(records({sampleA(), sampleB()}), o), expected);
}

TEST(CsvExport, DurationsWrapMinutesAndSecondsButNotHours)
{
    const struct {
        quint32 ms;
        const char* text;
    } cases[] = {
        {0, "00:00:00.000"},          {999, "00:00:00.999"},           {3723004, "01:02:03.004"},
        {59999, "00:00:59.999"},      {60000, "00:01:00.000"},         {3599999, "00:59:59.999"},
        {360000000, "100:00:00.000"}, {0xFFFFFFFFu, "1193:02:47.295"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(durationText(c.ms), QByteArray(c.text)) << c.ms;
}

TEST(CsvExport, DurationCountsAcrossTheTickCounterWrap)
{
    TCsvOptions o = imperial();
    o.startTime = 0xFFFFFF00u;
    DatalogSample s = sampleA();
    s.setTimeStamp(0x00000100u); // 512 ms later, after the wrap
    EXPECT_TRUE(TCsvWriter(o).line(s).startsWith("\"00:00:00.512\","));
}

TEST(CsvExport, IgnitionOffsetAndGearTableOfTheRom)
{
    TCsvOptions o = imperial();
    o.ctx.ignitionOffset = -2;
    o.ctx.hasGearTable = true;
    o.ctx.gearThresholds = {10, 20, 40, 80};
    DatalogSample s = sampleA(); // period 1875 x speed 100 >> 8 = 732: past all four thresholds
    const QList<QByteArray> fields = TCsvWriter(o).line(s).split(',');
    EXPECT_EQ(fields.at(3), "5");
    EXPECT_EQ(fields.at(9), "\"14.00\"");
    s.setU8(DatalogSample::Speed, 5); // 1875 x 5 >> 8 = 36: past 10 and 20
    EXPECT_EQ(TCsvWriter(o).line(s).split(',').at(3), "3");
}

// A plain rendering of one line with printf, field by field as the format
// describes it: the writer's per-byte tables must agree with it everywhere.
QByteArray referenceLine(const DatalogSample& s, const TCsvOptions& o)
{
    using namespace datalog;
    char b[256];
    QByteArray out;
    auto add = [&](const char* fmt, auto v) {
        std::snprintf(b, sizeof b, fmt, v);
        out += b;
    };
    const quint32 ms = s.timeStamp() - o.startTime;
    std::snprintf(b, sizeof b, "\"%.2d:%.2d:%.2d.%.3d\",", int(ms / 3600000), int(ms / 60000 % 60), int(ms / 1000 % 60),
                  int(ms % 1000));
    out += b;
    add("%d,", rpm(s));
    if (o.units.mph)
        add("\"%.1f\",", speedMph(s));
    else
        add("%d,", speedKmh(s));
    add("%d,", gear(s, o.ctx));
    add("%d,", mapMbar(s, o.ctx));
    const int boost = boostMbar(s, o.ctx, o.units.atmospheric);
    if (o.units.psi)
        add("\"%.1f\",", boost / 1000.0 * 14.5);
    else
        add("\"%.2f\",", boost * 0.00102);
    add("\"%.0f\",", throttlePercent(s));
    add("\"%.2f\",", injectorMs(s));
    add("\"%.0f\",", dutyCycle(s));
    add("\"%.2f\",", ignition(s, o.ctx));
    if (o.ctx.knockSensor)
        add("\"%.2f\",", knockRetard(s));
    else
        out += "0.00,";
    const double air = airTempC(s), coolant = coolantTempC(s);
    add("\"%.2f\",", o.units.fahrenheit ? air * 1.8 + 32 : air);
    add("\"%.2f\",", o.units.fahrenheit ? coolant * 1.8 + 32 : coolant);
    add("\"%.2f\",", o2Volts(s));
    const double lambda = o.lambda[s.u8(DatalogSample::O2)];
    add("\"%.2f\",", lambda);
    add("\"%.2f\",", lambda * static_cast<double>(o.units.stoich));
    out += s.vtec() ? "ON," : "OFF,";
    if (s.errorWord() != 0)
        out += "\"" + errorCodesShort(s.errorWord()).toLatin1() + "\"";
    out += "\r\n";
    return out;
}

TEST(CsvExport, FastLinesMatchPlainPrintfForRandomSamples)
{
    QRandomGenerator rng(42);
    for (int variant = 0; variant < 16; ++variant) {
        TCsvOptions o;
        o.units.mph = variant & 1;
        o.units.psi = variant & 2;
        o.units.fahrenheit = variant & 4;
        o.ctx.knockSensor = variant & 8;
        o.ctx.ignitionOffset = variant - 8;
        o.units.atmospheric = 950 + variant * 10;
        o.units.stoich = 14.7f + variant * 0.1f;
        o.startTime = rng.generate();
        for (int i = 0; i < 256; ++i) {
            o.lambda[static_cast<size_t>(i)] = static_cast<float>(0.5 + rng.bounded(1000) / 1000.0);
            o.ctx.mapLookup[static_cast<size_t>(i)] = static_cast<qint16>(rng.bounded(4000) - 100);
        }
        const TCsvWriter writer(o);
        for (int n = 0; n < 500; ++n) {
            DatalogSample s;
            for (auto& byte : s.bytes)
                byte = static_cast<quint8>(rng.bounded(256));
            if (n % 7 == 0)
                s.setU16(DatalogSample::CrankPeriod, 0);
            if (n % 5 == 0)
                s.setU32(DatalogSample::Errors, 0);
            ASSERT_EQ(writer.line(s), referenceLine(s, o)) << "variant " << variant << " sample " << n;
        }
    }
}

// The lines are built with to_chars; printf's rounding (the exact binary
// value, ties to even) must come out the same on exact halves, on values
// just beside them, on negatives and on every injector time a sample holds.
TEST(CsvExport, FixedTextMatchesPrintfOnHalvesNegativesAndEveryInjectorWord)
{
    const auto check = [](double v, int precision) {
        char printed[400];
        std::snprintf(printed, sizeof printed, "%.*f", precision, v);
        char fast[MaxFixedChars];
        const char* const end = formatFixed(fast, v, precision);
        ASSERT_EQ(std::string(static_cast<const char*>(fast), end), std::string(printed)) << v << " to " << precision << " decimals";
    };
    const double values[] = {0.0,    -0.0,       0.5,   1.5,     2.5,    -0.5,    -2.5,    0.125,      0.375,
                             -0.125, 0.005,      0.015, 1.005,   2.675,  -2.675,  -0.004,  -0.0049,    0.045,
                             99.995, 1e15 + 0.5, 1e300, -1e-300, 5e-324, 1.0 / 3, 2.0 / 3, 123456.785, -999.9951};
    for (int precision = 0; precision <= 2; ++precision) {
        for (double v : values) {
            check(v, precision);
            check(std::nextafter(v, 1e308), precision);
            check(std::nextafter(v, -1e308), precision);
        }
    }
    DatalogSample s;
    s.setU16(DatalogSample::CrankPeriod, 1875);
    for (int word = 0; word <= 0xFFFF; ++word) {
        s.setU16(DatalogSample::Injector, static_cast<quint16>(word));
        check(datalog::injectorMs(s), 2);
        check(datalog::dutyCycle(s), 0);
    }
}

TEST(CsvExport, FileFlow)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("out.csv"));

    // An empty recording writes nothing, and no file appears.
    EXPECT_FALSE(exportCsvFile(path, QByteArray(), imperial()));
    EXPECT_FALSE(QFile::exists(path));

    // One sample: the header and one line, replacing what the file held.
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents that are longer than the export itself ........................................"
                  "......................................................................................");
    }
    EXPECT_TRUE(exportCsvFile(path, records({sampleA()}), imperial()));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_EQ(text.count("\r\n"), 2);
    EXPECT_TRUE(text.startsWith("Duration,"));
    EXPECT_TRUE(text.endsWith("OFF,\r\n"));
    f.close();

    // A torn last record is not exported.
    QByteArray torn = records({sampleA(), sampleB()});
    torn.chop(3);
    EXPECT_TRUE(exportCsvFile(path, torn, imperial()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count("\r\n"), 2);
}

TEST(CsvExport, UnwritablePlaceIsReported)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("missing/folder/out.csv"));
    EXPECT_THROW(exportCsvFile(path, records({sampleA()}), imperial()), EVexorError);
    EXPECT_FALSE(QFile::exists(path));
}

// A full disk shows only when the buffered rest is flushed: committing without
// that flush would put a truncated export in place of the old file.
TEST(CsvExport, FullDiskIsReportedAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.csv"));
    writeBytes(path, "keep me");
    {
        TFileSizeLimit limit(64);
        ASSERT_TRUE(limit.active());
        EXPECT_THROW(exportCsvFile(path, records({sampleA()}), imperial()), EVexorError);
    }
    EXPECT_EQ(readBytes(path), QByteArray("keep me"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("out.csv")}) << "no temporary left";
}

TEST(CsvExport, FailedWriteIsReportedAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString sub = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(sub));
    const QString path = sub + QStringLiteral("/out.csv");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("keep me");
    }
    QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    if (QFileInfo(sub).isWritable()) // running as root: permissions do not bind
        GTEST_SKIP() << "directory permissions are not enforced for this user";
    EXPECT_THROW(exportCsvFile(path, records({sampleA()}), imperial()), EVexorError);
    QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("keep me"));
}
