#include "settings/mdlPortLists.h"
#include "settings/mdlSettingsStore.h"
#include "settings/ui/frmSettings.h"
#include "support/FileSizeLimit.h"
#include "support/TestServices.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A tester that answers as told and records what it was given.
class TFakeTester : public IConnectionTester {
public:
    bool connected = false;
    std::optional<int> found;
    QList<TSettings> seen;
    QStringList calls;
    void testDatalog(const TSettings& s, Done done) override
    {
        record("datalog", s);
        done(connected);
    }
    void testEmulator(const TSettings& s, Done done) override
    {
        record("emulator", s);
        done(connected);
    }
    void detectEmulator(const TSettings& s, Found done) override
    {
        record("detect", s);
        done(found);
    }

private:
    void record(const char* what, const TSettings& s)
    {
        calls << QString::fromLatin1(what);
        seen << s;
    }
};

class SettingsForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = tmp.filePath(QStringLiteral("VEXOR"));
        QDir().mkpath(folder);
        writeFile(QStringLiteral("wideband.ini"),
                  "[Sensor A]\nvolt0=0\nlambda0=0.68\nvolt1=1.25\nlambda1=0.8333\nvolt15=5\nlambda15=1.36\n"
                  "[Sensor B]\nvolt0=0.1\nlambda0=0.7\n");
        store = std::make_unique<TSettingsStore>(folder);
        ports = std::make_unique<TPortList>([] {
            return QStringList{QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB0")};
        });
    }

    void writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile f(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    std::unique_ptr<TSettingsForm> makeForm()
    {
        auto f = std::make_unique<TSettingsForm>(*store, services.messages, ports.get());
        f->setConnectionTester(&tester);
        EXPECT_TRUE(f->loadSettings());
        return f;
    }

    template <class T>
    T* child(TSettingsForm& f, const char* name)
    {
        T* w = f.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    void showPage(TSettingsForm& f, const char* name) { f.pageControl()->setCurrentWidget(child<QWidget>(f, name)); }

    TSettings reread()
    {
        TSettingsStore s(folder);
        EXPECT_TRUE(s.load());
        return s.values();
    }

    QTemporaryDir tmp;
    QString folder;
    std::unique_ptr<TSettingsStore> store;
    std::unique_ptr<TPortList> ports;
    TTestServices services;
    TFakeTester tester;
};

} // namespace

TEST_F(SettingsForm, ShowsStoredValuesAndOkWritesThem)
{
    writeFile(QStringLiteral("vexor.ini"), "[Option Settings]\nRevDelta=700\n[General Settings]\nStoichValue=14.1\n"
                                           "[Tuner Com Settings]\nPortIndex=1\nBaudRate=9600\n");
    auto f = makeForm();
    EXPECT_EQ(child<QLineEdit>(*f, "txtRevDelta")->text(), QStringLiteral("700"));
    EXPECT_EQ(child<QLineEdit>(*f, "txtStoichValue")->text(), QStringLiteral("14.1"));
    EXPECT_EQ(child<QComboBox>(*f, "cbxTunerPort")->currentText(), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(child<QComboBox>(*f, "cbxTunerBaud")->currentText(), QStringLiteral("9600"));

    int applied = 0;
    store->addConsumer([&](const TSettings& s) {
        ++applied;
        EXPECT_EQ(s.options.revDelta, 1500);
    });
    child<QLineEdit>(*f, "txtRevDelta")->setText(QStringLiteral("2000")); // above the limit
    child<QLineEdit>(*f, "txtLaunchDelta")->setText(QString());           // empty is 0
    child<QCheckBox>(*f, "chkShowAFR")->setChecked(true);
    child<QCheckBox>(*f, "chkDG1RPM")->setChecked(true);
    child<QCheckBox>(*f, "chkDG2BATT")->setChecked(true);
    child<QLineEdit>(*f, "txtGearSet")->setText(QStringLiteral("23x9"));
    child<QComboBox>(*f, "cbxGear")->setCurrentIndex(2);
    f->btnOKClick();

    EXPECT_EQ(f->result(), QDialog::Accepted);
    EXPECT_EQ(applied, 1);
    const TSettings s = reread();
    EXPECT_EQ(s.options.revDelta, 1500);
    EXPECT_EQ(s.options.launchDelta, 0);
    EXPECT_DOUBLE_EQ(s.general.stoichValue, 14.1);
    EXPECT_TRUE(s.general.showAFR);
    EXPECT_EQ(s.dataGraphs.graph1, 1 << dgRPM);
    EXPECT_EQ(s.dataGraphs.graph2, 1 << dgBATT);
    EXPECT_EQ(s.tuning.gearSet, QStringLiteral("23x9"));
    EXPECT_EQ(s.dyno.gear, 3) << "gear list index + 1";
    EXPECT_EQ(s.tunerCom.portIndex, 1);
    EXPECT_EQ(s, store->values());
    EXPECT_EQ(services.messages.count(), 0);
}

// A value outside its key's range (Atmospheric 99999) used to be dropped
// without a word on OK: the window names the field and stays open on it.
TEST_F(SettingsForm, OkRefusesAFieldOutsideItsRangeAndNamesIt)
{
    const struct {
        const char* field;
        const char* text;
        const char* page;
        const char* caption;
    } rows[] = {
        {"txtAtmospheric", "99999", "tsGeneral", "Atmospheric pressure (mbar)"},
        {"txtIgnitionAdjustment", "1.2.3", "tsGeneral", "Ignition step"}, // passes the key filter
        {"txtStoichValue", "", "tsGeneral", "Stoichiometric ratio"},
        {"txtSamplingPriority", "0", "tsTuning", "Repaint every n samples"},
        {"txtLambdaOffset", "5", "tsTuning", "Lambda offset"},
        {"txtTunerTimeout", "0", "tsDatalog", "Poll interval (ms)"},
        {"txtRTPMaxTries", "40000", "tsEmulator", "Tries"},
        {"txtVehicleWeight", "-1", "tsDyno", "Vehicle weight"},
    };
    auto f = makeForm();
    f->show();
    services.messages.setDefaultAnswer(mrOk);
    const TSettings before = store->values();
    for (const auto& r : rows) {
        SCOPED_TRACE(r.field);
        services.messages.clear();
        auto* field = child<QLineEdit>(*f, r.field);
        const QString good = field->text();
        field->setText(QString::fromLatin1(r.text));
        f->btnOKClick();
        ASSERT_EQ(services.messages.count(), 1);
        EXPECT_TRUE(services.messages.last().text.startsWith(QString::fromLatin1(r.caption) + QLatin1Char(':')))
            << services.messages.last().text.toStdString();
        EXPECT_NE(f->result(), QDialog::Accepted);
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(f->pageControl()->currentWidget()->objectName(), QString::fromLatin1(r.page));
        EXPECT_EQ(f->focusWidget(), field);
        EXPECT_EQ(store->values(), before) << "nothing applied";
        field->setText(good);
    }
    // A wideband point outside the conversion's range is refused the same way.
    auto* grid = child<QTableWidget>(*f, "dgConversion");
    auto* sensor = child<QComboBox>(*f, "cbxSensor");
    sensor->setCurrentIndex(0);
    Q_EMIT sensor->activated(0);
    grid->item(3, 0)->setText(QStringLiteral("9"));
    services.messages.clear();
    f->btnOKClick();
    ASSERT_EQ(services.messages.count(), 1);
    EXPECT_TRUE(services.messages.last().text.startsWith(QStringLiteral("Conversion point 3, O2 Sensor Voltage:")));
    EXPECT_EQ(grid->currentRow(), 3);
    grid->item(3, 0)->setText(QStringLiteral("4.5"));
    f->btnOKClick();
    EXPECT_EQ(f->result(), QDialog::Accepted);
    EXPECT_DOUBLE_EQ(reread().lambdaConversion[3].voltage, 4.5);
}

// A conversion selected in a fresh settings folder used to show zero points
// until it was chosen again; labels went through Latin-1 ("Minimum coolant (Â°C)").
TEST_F(SettingsForm, FirstRunTakesTheSelectedConversionsPointsAndShowsLabelsAsWritten)
{
    auto f = makeForm();
    EXPECT_EQ(child<QComboBox>(*f, "cbxSensor")->currentIndex(), 0);
    EXPECT_DOUBLE_EQ(store->values().lambdaConversion[1].voltage, 1.25);
    EXPECT_DOUBLE_EQ(store->values().lambdaConversion[15].lambda, 1.36);
    EXPECT_EQ(child<QTableWidget>(*f, "dgConversion")->item(1, 0)->text(), QStringLiteral("1.25"));

    QStringList labels;
    for (const QLabel* l : f->findChildren<QLabel*>())
        labels << l->text();
    EXPECT_TRUE(labels.contains(QStringLiteral("Minimum coolant (\u00B0C):")));
    for (const QString& l : labels)
        EXPECT_FALSE(l.contains(QChar(0xC2))) << l.toStdString();
}

// Values the live objects changed since start-up survive OK: a recent-files
// list applied back from the load-time copy would lose the files opened since.
TEST_F(SettingsForm, OkStartsFromTheLiveValues)
{
    auto f = makeForm();
    TRecentFiles live;
    live.add(QStringLiteral("/roms/opened-later.bin"));
    TRecentFiles applied;
    store->addConsumer([&](const TSettings& s) { applied = s.recentFiles; },
                       [&](TSettings& s) {
                           s.recentFiles = live;
                           s.general.showAFR = true;
                       });
    f->show(); // shows the live values
    EXPECT_TRUE(child<QCheckBox>(*f, "chkShowAFR")->isChecked());
    child<QLineEdit>(*f, "txtRevDelta")->setText(QStringLiteral("650"));
    f->btnOKClick();
    EXPECT_EQ(applied.paths(), QStringList{QStringLiteral("/roms/opened-later.bin")});
    EXPECT_EQ(reread().recentFiles.paths(), QStringList{QStringLiteral("/roms/opened-later.bin")});
    EXPECT_EQ(reread().options.revDelta, 650);
}

TEST_F(SettingsForm, CancelChangesNothing)
{
    auto f = makeForm();
    child<QLineEdit>(*f, "txtRevDelta")->setText(QStringLiteral("900"));
    f->btnCancelClick();
    EXPECT_EQ(f->result(), QDialog::Rejected);
    EXPECT_EQ(store->values().options.revDelta, 500);
    EXPECT_FALSE(QFile::exists(store->iniPath()));
    f->refill(); // as on the next show
    EXPECT_EQ(child<QLineEdit>(*f, "txtRevDelta")->text(), QStringLiteral("500"));
}

// Defaults resets only the visible page, to the page's own defaults.
TEST_F(SettingsForm, DefaultsResetOnlyTheVisiblePage)
{
    auto f = makeForm();
    child<QLineEdit>(*f, "txtRevDelta")->setText(QStringLiteral("1234"));
    child<QLineEdit>(*f, "txtFuelAdjustment2")->setText(QStringLiteral("77"));
    showPage(*f, "tsOptions");
    f->btnDefaultsClick();
    EXPECT_EQ(child<QLineEdit>(*f, "txtRevDelta")->text(), QStringLiteral("500"));
    EXPECT_EQ(child<QLineEdit>(*f, "txtLaunchDelta")->text(), QStringLiteral("0"));
    EXPECT_EQ(child<QLineEdit>(*f, "txtShiftDelta")->text(), QStringLiteral("100"));
    EXPECT_EQ(child<QLineEdit>(*f, "txtFuelAdjustment2")->text(), QStringLiteral("77")) << "other page untouched";
    EXPECT_EQ(store->values().options.launchDelta, 100) << "nothing applied before OK";

    showPage(*f, "tsGeneral");
    child<QCheckBox>(*f, "chkShowAFR")->setChecked(true);
    child<QCheckBox>(*f, "chkShowMph")->setChecked(false);
    f->btnDefaultsClick();
    EXPECT_EQ(child<QLineEdit>(*f, "txtFuelAdjustment2")->text(), QStringLiteral("10"));
    EXPECT_FALSE(child<QCheckBox>(*f, "chkShowAFR")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(*f, "chkShowMph")->isChecked());
    EXPECT_EQ(child<QSlider>(*f, "trkMapSmoothing")->value(), 30);

    showPage(*f, "tsEmulator");
    child<QComboBox>(*f, "cbxRTPBaud")->setCurrentIndex(2);
    child<QLineEdit>(*f, "txtRTPTimeout")->setText(QStringLiteral("900"));
    f->btnDefaultsClick();
    EXPECT_EQ(child<QComboBox>(*f, "cbxRTPBaud")->currentText(), QStringLiteral("38400"));
    EXPECT_EQ(child<QLineEdit>(*f, "txtRTPTimeout")->text(), QStringLiteral("250"));
    EXPECT_EQ(child<QComboBox>(*f, "cbxRTPParity")->currentText(), QStringLiteral("None"));

    showPage(*f, "tsWideband");
    EXPECT_FALSE(child<QPushButton>(*f, "btnDefaults")->isEnabled()) << "the conversion page has no defaults";

    f->btnOKClick();
    EXPECT_EQ(reread().options.launchDelta, 0);
    EXPECT_EQ(reread().general.fuelAdjustment2, 10);
}

TEST_F(SettingsForm, EmulatorHardwareChoosesTestOrDetect)
{
    auto f = makeForm();
    auto* hw = child<QComboBox>(*f, "cbxHardware");
    auto* button = child<QPushButton>(*f, "btnTestRTP");
    EXPECT_EQ(button->text(), QStringLiteral("Test Connection"));
    EXPECT_TRUE(child<QCheckBox>(*f, "chk512K")->isHidden());
    hw->setCurrentIndex(2);
    Q_EMIT hw->activated(2); // as the user picks it
    EXPECT_EQ(button->text(), QStringLiteral("Detect Connection"));
    EXPECT_FALSE(child<QCheckBox>(*f, "chk512K")->isHidden());
    EXPECT_EQ(child<QComboBox>(*f, "cbxRTPBaud")->currentText(), QStringLiteral("920000"));

    // Detect finds the device on the second port: it is selected, at 920000.
    tester.found = 1;
    services.messages.answer(mrOk);
    f->btnTestRTPClick();
    ASSERT_EQ(tester.calls, QStringList{QStringLiteral("detect")});
    EXPECT_EQ(tester.seen[0].rtp.hardware, 2) << "the page's choice is applied before the test";
    EXPECT_EQ(services.messages.last().text, QStringLiteral("Successfully connected to device."));
    EXPECT_EQ(services.messages.last().title, QStringLiteral("Connected"));
    EXPECT_EQ(services.messages.last().kind, TMsgKind::Information);
    EXPECT_EQ(child<QComboBox>(*f, "cbxRTPPort")->currentText(), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(store->values().rtpCom.baudRate, 920000);
    EXPECT_TRUE(f->isEnabled());
}

TEST_F(SettingsForm, DefaultTesterReportsNoConnection)
{
    auto f = std::make_unique<TSettingsForm>(*store, services.messages, ports.get());
    ASSERT_TRUE(f->loadSettings());
    child<QLineEdit>(*f, "txtRevDelta")->setText(QStringLiteral("888")); // an edit on another page
    services.messages.answer(mrOk);
    f->btnTestTunerClick();
    EXPECT_EQ(services.messages.last().text, QStringLiteral("Could not connect to the ECU."));
    EXPECT_EQ(services.messages.last().title, QStringLiteral("Not Connected"));
    EXPECT_EQ(child<QLineEdit>(*f, "txtRevDelta")->text(), QStringLiteral("888")) << "other pages keep their edits";
    services.messages.answer(mrOk);
    f->btnTestRTPClick();
    EXPECT_EQ(services.messages.last().text, QStringLiteral("Could not connect to device."));
    EXPECT_EQ(services.messages.last().title, QStringLiteral("Not Connected"));
    EXPECT_TRUE(f->isEnabled());
}

TEST_F(SettingsForm, DatalogTestUsesThePagesPortChoice)
{
    auto f = makeForm();
    child<QComboBox>(*f, "cbxTunerPort")->setEditText(QStringLiteral("/dev/pts/7")); // typed by the user
    child<QComboBox>(*f, "cbxTunerBaud")->setEditText(QStringLiteral("57600"));
    child<QLineEdit>(*f, "txtTunerTimeout")->setText(QStringLiteral("400"));
    tester.connected = true;
    services.messages.answer(mrOk);
    f->btnTestTunerClick();
    ASSERT_EQ(tester.seen.size(), 1);
    EXPECT_EQ(ports->nameAt(tester.seen[0].tunerCom.portIndex), QStringLiteral("/dev/pts/7"));
    EXPECT_EQ(tester.seen[0].tunerCom.baudRate, 57600);
    EXPECT_EQ(tester.seen[0].tunerConnection.timeout, 400);
    EXPECT_EQ(services.messages.last().text, QStringLiteral("Successfully connected to the ECU."));
    EXPECT_EQ(child<QComboBox>(*f, "cbxTunerPort")->currentText(), QStringLiteral("/dev/pts/7"));

    child<QComboBox>(*f, "cbxProtocol")->setCurrentIndex(2);
    EXPECT_FALSE(f->findChild<QWidget*>(QStringLiteral("TunerSerialGroup"))->isEnabled())
        << "protocol 2 talks through the emulator's port";
}

// A link test runs while the event loop goes on: the window stays disabled,
// with the wait cursor, until the link reports.
TEST_F(SettingsForm, WindowWaitsForAnAsynchronousTest)
{
    struct TLaterTester : TFakeTester {
        Done pending;
        void testDatalog(const TSettings&, Done done) override { pending = std::move(done); }
    } later;
    auto f = makeForm();
    f->setConnectionTester(&later);
    f->btnTestTunerClick();
    EXPECT_FALSE(f->isEnabled());
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(services.messages.count(), 0);
    ASSERT_TRUE(later.pending);
    services.messages.answer(mrOk);
    later.pending(false);
    EXPECT_TRUE(f->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(services.messages.last().text, QStringLiteral("Could not connect to the ECU."));
}

TEST_F(SettingsForm, WidebandGridShowsAndStoresPoints)
{
    writeFile(QStringLiteral("vexor.ini"), "[General Settings]\nShowAFR=1\nStoichValue=14.7\n"
                                           "[Tuning Conditions]\nSensorIndex=0\n"
                                           "[Lambda Conversion]\nVoltage1=1.234567\nLambda1=0.876543\n");
    auto f = std::make_unique<TSettingsForm>(*store, services.messages, ports.get());
    f->setScriptConversions([] { return QStringList{QStringLiteral("My Sensor")}; });
    ASSERT_TRUE(f->loadSettings());
    auto* sensor = child<QComboBox>(*f, "cbxSensor");
    auto* grid = child<QTableWidget>(*f, "dgConversion");
    EXPECT_EQ(sensor->count(), 3);
    EXPECT_EQ(sensor->itemText(2), QStringLiteral("JS:My Sensor"));
    EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), QStringLiteral("O2 Sensor Voltage"));
    EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), QStringLiteral("Air-Fuel Ratio"));
    EXPECT_EQ(grid->item(1, 0)->text(), QStringLiteral("1.23"));
    EXPECT_EQ(grid->item(1, 1)->text(), QStringLiteral("12.89")); // 0.876543 x 14.7

    // Confirming without touching the grid keeps the exact points.
    f->btnOKClick();
    EXPECT_DOUBLE_EQ(reread().lambdaConversion[1].voltage, 1.234567);
    EXPECT_DOUBLE_EQ(reread().lambdaConversion[1].lambda, 0.876543);

    // Choosing a table conversion shows its points; an edited ratio is
    // divided by the stoichiometric ratio.
    f->refill();
    sensor->setCurrentIndex(0);
    Q_EMIT sensor->activated(0);
    EXPECT_EQ(grid->item(0, 1)->text(), QStringLiteral("10.00")); // 0.68 x 14.7 = 9.996
    grid->item(15, 1)->setText(QStringLiteral("14.70"));
    f->btnOKClick();
    const TSettings s = reread();
    EXPECT_DOUBLE_EQ(s.lambdaConversion[0].lambda, 0.68);
    EXPECT_DOUBLE_EQ(s.lambdaConversion[1].voltage, 1.25);
    EXPECT_DOUBLE_EQ(s.lambdaConversion[1].lambda, 0.8333);
    EXPECT_DOUBLE_EQ(s.lambdaConversion[15].lambda, 1.0);
    EXPECT_EQ(s.tuning.sensorIndex, 0);

    // A script conversion is selected by index; the points stay as they were.
    f->refill();
    sensor->setCurrentIndex(2);
    Q_EMIT sensor->activated(2);
    EXPECT_FALSE(grid->isEnabled());
    f->btnOKClick();
    EXPECT_EQ(reread().tuning.sensorIndex, 2);
    EXPECT_DOUBLE_EQ(reread().lambdaConversion[15].lambda, 1.0);
}

TEST_F(SettingsForm, FolderThatCannotBeCreatedStillStarts)
{
    QFile blocker(tmp.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TSettingsStore bad(tmp.filePath(QStringLiteral("file/VEXOR")));
    TSettingsForm f(bad, services.messages, ports.get());
    services.messages.answer(mrOk);
    EXPECT_FALSE(f.loadSettings());
    ASSERT_EQ(services.messages.count(), 1);
    EXPECT_EQ(services.messages.last().title, QStringLiteral("Settings Folder"));
    EXPECT_EQ(services.messages.last().kind, TMsgKind::Warning);
    EXPECT_TRUE(services.messages.last().text.contains(QStringLiteral("is not a folder")));
    EXPECT_EQ(bad.values(), TSettings{});
    EXPECT_EQ(f.findChild<QLineEdit*>(QStringLiteral("txtRevDelta"))->text(), QStringLiteral("500"));

    services.messages.answer(mrOk);
    EXPECT_FALSE(f.saveSettings());
    EXPECT_EQ(services.messages.last().title, QStringLiteral("Settings Not Saved"));
    EXPECT_EQ(services.messages.last().kind, TMsgKind::Error);
}

TEST_F(SettingsForm, FailedSaveOnOkIsReportedAndOldFileKept)
{
    const QByteArray original = "[Option Settings]\nRevDelta=700\n";
    writeFile(QStringLiteral("vexor.ini"), original);
    auto f = makeForm();
    child<QLineEdit>(*f, "txtRevDelta")->setText(QStringLiteral("800"));
    services.messages.answer(mrOk);
    {
        TFileSizeLimit limit(64);
        f->btnOKClick();
    }
    ASSERT_EQ(services.messages.count(), 1);
    EXPECT_EQ(services.messages.last().title, QStringLiteral("Settings Not Saved"));
    EXPECT_EQ(store->values().options.revDelta, 800) << "the values are live even so";
    QFile file(store->iniPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), original);
}

TEST_F(SettingsForm, EveryTabIsInSightWhenTheWindowOpens)
{
    // The Dyno and Data Graphs tabs used to hide behind scroll arrows.
    auto f = makeForm();
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    const QTabBar* tabs = f->pageControl()->tabBar();
    EXPECT_LE(tabs->tabRect(tabs->count() - 1).right(), tabs->width());
}
