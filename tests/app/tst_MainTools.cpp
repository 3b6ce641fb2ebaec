// The tool commands in the main window: states, the ignition offset prompt and
// a tool window run to OK, all answered without a screen.
#include "app/frmMain.h"
#include "app/mdlToolCommands.h"
#include "options/ui/frmOptions.h"
#include "rom/mdlRomGen.h"
#include "settings/mdlInjectors.h"
#include "support/TestFiles.h"
#include "support/TestServices.h"
#include "tools/ui/frmTools.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(MainTools, CommandsPromptAndWindow)
{
    QTemporaryDir dir;
    TTestServices svc;
    for (const char* family : {"p28", "vexorau"}) {
        const QString path = dir.filePath(QLatin1String(family) + QStringLiteral(".bin"));
        writeBytes(path, generateRom({QString::fromLatin1(family)}));
        TMainForm form(svc.services(), nullptr, path);
        TToolCommands tools(form, svc.services());
        form.show();
        for (int i = 0; i < 200 && !form.started(); ++i)
            QTest::qWait(5);
        ASSERT_TRUE(form.rom().isLoaded()) << family;
        form.amMainOnUpdate();
        const bool boosted = QByteArray(family) == "vexorau";
        EXPECT_EQ(form.action(QStringLiteral("ToolsBoost"))->isVisible(), boosted) << family;
        EXPECT_TRUE(form.action(QStringLiteral("ToolsFuelMultiplier"))->isEnabled());

        svc.messages.answerInput(QStringLiteral("-45"));
        form.action(QStringLiteral("EditIgnitionOffset"))->trigger();
        EXPECT_EQ(form.rom().IgnitionOffset, -30);
        EXPECT_EQ(svc.messages.inputs().constLast().caption, QStringLiteral("Ignition Offset"));
        svc.messages.answerInput(QStringLiteral("abc"));
        svc.messages.answer(1); // OK on the error box
        const int before = svc.messages.count();
        form.action(QStringLiteral("EditIgnitionOffset"))->trigger();
        EXPECT_EQ(form.rom().IgnitionOffset, -30);
        EXPECT_EQ(svc.messages.count(), before + 1); // the conversion error

        const QByteArray image = form.rom().buffer().fileBytes();
        tools.execDialog = [](QDialog& d) {
            auto* m = dynamic_cast<TMultiplierForm*>(&d);
            EXPECT_NE(m, nullptr);
            if (!m)
                return 0;
            m->txtNewInjector->setText(QStringLiteral("440"));
            QTest::keyClick(m->txtNewInjector, Qt::Key_End); // an edit recomputes
            QTest::keyClicks(m->txtNewInjector, QStringLiteral("0"));
            QTest::keyClick(m->txtNewInjector, Qt::Key_Backspace);
            m->apply();
            return 1;
        };
        form.action(QStringLiteral("ToolsFuelMultiplier"))->trigger();
        EXPECT_NE(form.rom().buffer().fileBytes(), image);
        form.rom().buffer().undo();
        EXPECT_EQ(form.rom().buffer().fileBytes(), image) << family;

        // Throttle calibration from the option pages: the live link is required.
        QPushButton* calibrate = form.optionsPanel()->findChild<QPushButton*>(QStringLiteral("btnAutoCalibrateTPS"));
        if (!boosted) {
            form.rom().buffer().markSaved();
            continue; // the extended family's option tree holds the button
        }
        ASSERT_NE(calibrate, nullptr);

        // The injector button: the list choice lands as one undo step, the box shows it.
        TInjectorDefinitions defs;
        defs.loadText(QStringLiteral("[Stock 240]\nSize=240\n[Big 480]\nSize=480\n"));
        tools.injectors = &defs;
        QString shown;
        tools.execDialog = [&shown](QDialog& d) {
            auto* f = dynamic_cast<TInjectorForm*>(&d);
            EXPECT_NE(f, nullptr);
            if (!f)
                return 0;
            shown = f->cbxInjector->currentText();
            f->cbxInjector->setCurrentText(QStringLiteral("Big 480"));
            f->apply();
            return 1;
        };
        auto* injector = form.optionsPanel()->findChild<QPushButton*>(QStringLiteral("cbxInjectorNew"));
        ASSERT_NE(injector, nullptr);
        injector->click();
        EXPECT_EQ(shown, QStringLiteral("240"));
        EXPECT_EQ(form.rom().wordAt(form.rom().address(aeMainFuel)), 16384);
        form.rom().buffer().undo();
        EXPECT_EQ(form.rom().wordAt(form.rom().address(aeMainFuel)), 32768);
        ASSERT_TRUE(calibrate->isEnabled());
        svc.messages.answer(1);
        calibrate->click();
        EXPECT_EQ(svc.messages.last().text, QStringLiteral("Please make sure that Live Tuning is connected."));
        const int tps = form.rom().address(aeTpsVoltagePair);
        QVector<quint8> live = {20, 240};
        tools.linkConnected = [] { return true; };
        tools.liveThrottle = [&live]() -> std::optional<quint8> {
            return live.isEmpty() ? std::nullopt : std::optional<quint8>(live.takeFirst());
        };
        for (const int result : {0, 1}) { // cancelled first: nothing written
            tools.execDialog = [result](QDialog& d) {
                auto* c = dynamic_cast<TTPSCalibForm*>(&d);
                EXPECT_NE(c, nullptr);
                if (c) {
                    c->tick();
                    c->tick();
                }
                return result;
            };
            const QByteArray start = form.rom().buffer().fileBytes();
            calibrate->click();
            if (result == 0) {
                EXPECT_EQ(form.rom().buffer().fileBytes(), start);
                live = {20, 240};
            } else {
                EXPECT_EQ(form.rom().byteAt(tps), 240);
                EXPECT_EQ(form.rom().byteAt(tps + 2), 20);
            }
        }
        form.rom().buffer().markSaved();
    }
}

} // namespace
