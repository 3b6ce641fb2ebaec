// The tool windows: what they compute while the user types, and what OK does.
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "settings/mdlErrors.h"
#include "tools/ui/frmTools.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

TRom generated(const char* family)
{
    TRom rom;
    rom.buffer().loadBytes(generateRom({QString::fromLatin1(family)}));
    EXPECT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
    rom.buffer().clearUndo();
    return rom;
}

void type(QLineEdit* e, const QString& text)
{
    e->selectAll();
    QTest::keyClicks(e, text);
}

TEST(ToolForms, MultiplierFollowsTyping)
{
    TRom rom = generated("vexorau");
    TMultiplierForm form(rom);
    EXPECT_FALSE(form.pcMultiplier->isTabEnabled(1)); // no correction items
    struct Step {
        QLineEdit* edit;
        const char* text;
        const char* shown;
    };
    for (const Step& s : {Step{form.txtNewInjector, "440", "0.545"}, Step{form.txtNewInjector, "240", "1.000"},
                          Step{form.txtNewFuelPressure, "55", "0.905"}, Step{form.txtNewFuelPressure, "0", "1.000"}}) {
        type(s.edit, QString::fromLatin1(s.text));
        EXPECT_EQ(form.txtAdjustedMultiplier->text(), QLatin1String(s.shown)) << s.text;
    }
    type(form.txtNewFuelPressure, QStringLiteral("45"));
    form.txtNewInjector->selectAll();
    QTest::keyClick(form.txtNewInjector, Qt::Key_Backspace);
    EXPECT_EQ(form.txtNewInjector->text(), QStringLiteral("0")); // emptied: back to 0, multiplier "1"
    EXPECT_EQ(form.txtAdjustedMultiplier->text(), QStringLiteral("1.000"));

    // With correction items the first scalar names the current injector and takes the multiplier.
    rom.setFeatureFlag(ffFinalMultiplier, true);
    rom.buffer().writeWord(rom.fuelCorrection(0).scalarAddress, 16384);
    TMultiplierForm withItems(rom);
    EXPECT_TRUE(withItems.pcMultiplier->isTabEnabled(1));
    EXPECT_EQ(withItems.txtNewInjector->text(), QStringLiteral("480"));
    EXPECT_EQ(withItems.txtScalar[0]->text(), QStringLiteral("0.500"));
    EXPECT_EQ(withItems.lblCaption[0]->text(), rom.fuelCorrection(0).caption + QLatin1Char(':'));
    withItems.pcMultiplier->setCurrentWidget(withItems.tsAdvanced);
    type(withItems.txtScalar[1], QStringLiteral("1.25"));
    withItems.apply();
    EXPECT_EQ(rom.wordAt(rom.fuelCorrection(1).scalarAddress), 40960);
    type(withItems.txtScalar[1], QStringLiteral("x"));
    EXPECT_THROW(withItems.apply(), EVexorError);
}

TEST(ToolForms, BoostChoicesAndCalibration)
{
    TRom rom = generated("vexorau");
    TBoostForm boost(rom, 1013);
    EXPECT_EQ(boost.request().ignition, TIgnitionBoost::NoChange);
    EXPECT_EQ(boost.request().fuel, TFuelBoost::NoChange);
    type(boost.txtIgnitionRetard, QStringLiteral("1.5"));
    type(boost.txtTurboEfficiency, QStringLiteral("60"));
    EXPECT_EQ(boost.request().ignition, TIgnitionBoost::Retard);
    EXPECT_DOUBLE_EQ(boost.request().retardPerPsi, 1.5);
    EXPECT_DOUBLE_EQ(boost.request().efficiencyPercent, 60);
    type(boost.txtTurboEfficiency, QStringLiteral("lots"));
    EXPECT_THROW((void)boost.request(), EVexorError);

    QVector<quint8> samples = {128, 30, 220};
    TTPSCalibForm cal([&samples]() -> std::optional<quint8> {
        if (samples.isEmpty())
            return std::nullopt;
        return samples.takeFirst();
    });
    cal.tmrTPSCal->stop();
    QPushButton* ok = cal.findChild<QPushButton*>(QStringLiteral("btnOK"));
    ASSERT_NE(ok, nullptr);
    cal.tick();
    ok->click(); // never moved: OK refused
    EXPECT_EQ(cal.result(), 0);
    cal.tick();
    cal.tick();
    cal.tick(); // no sample: nothing changes
    EXPECT_EQ(cal.lblMinThrottle->text(), QStringLiteral("Min. Throttle: 0.58V"));
    EXPECT_EQ(cal.lblMaxThrottle->text(), QStringLiteral("Max. Throttle: 4.29V"));
    ok->click();
    EXPECT_EQ(cal.result(), QDialog::Accepted);
}

} // namespace
