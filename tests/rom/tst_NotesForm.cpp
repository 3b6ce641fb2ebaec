// The notes window on the offscreen platform: showing changes nothing, typing
// stores the whole memo as the notes, Escape closes, the label explains.
#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "rom/mdlRomGen.h"
#include "rom/ui/frmNotes.h"
#include "settings/mdlSettingsStore.h"
#include "support/TestServices.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class NotesForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        TRomGenOptions o;
        o.notes = QByteArray("first line\r\nsecond\xa0line");
        rom.buffer().loadBytes(generateRom(o));
        ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
    }

    TTestServices svc;
    TRom rom;
    TRomDocument doc{rom, svc.services()};
};

TEST_F(NotesForm, ShowingTheNotesChangesNothing)
{
    TNotesForm form(doc, svc.messages);
    form.show();
    EXPECT_EQ(form.memNotes()->toPlainText(),
              QStringLiteral("first line\nsecond\u00a0line").replace(QChar(0xa0), QLatin1Char(' ')));
    EXPECT_EQ(form.memoText(), QStringLiteral("first line\nsecond\u00a0line"));
    EXPECT_FALSE(doc.modified());
    form.loadNotes(); // a refresh with nothing new keeps the memo as it is
    EXPECT_FALSE(doc.modified());
    EXPECT_EQ(rom.buffer().trailer(), QByteArray("first line\r\nsecond\xa0line"));
}

TEST_F(NotesForm, TypingStoresTheWholeMemoAndMarksModified)
{
    TNotesForm form(doc, svc.messages);
    form.show();
    form.memNotes()->moveCursor(QTextCursor::End);
    QTest::keyClicks(form.memNotes(), QStringLiteral("!"));
    QTest::keyClick(form.memNotes(), Qt::Key_Return);
    QTest::keyClicks(form.memNotes(), QStringLiteral("third"));
    EXPECT_TRUE(doc.modified());
    // The untouched no-break space survives, new lines take the file's "\r\n".
    EXPECT_EQ(rom.buffer().trailer(), QByteArray("first line\r\nsecond\xa0line!\r\nthird"));
    EXPECT_EQ(doc.caption(), QStringLiteral("< VEXOR > - Untitled*"));

    // A new ROM's notes replace the memo.
    rom.buffer().trailer() = "other";
    rom.buffer().markSaved();
    form.loadNotes();
    EXPECT_EQ(form.memNotes()->toPlainText(), QStringLiteral("other"));
    EXPECT_FALSE(doc.modified());
}

TEST_F(NotesForm, EscapeCloses)
{
    TNotesForm form(doc, svc.messages);
    form.show();
    ASSERT_TRUE(form.isVisible());
    QTest::keyClick(form.memNotes(), Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(doc.modified());
}

TEST_F(NotesForm, InfoLabelExplainsTheNotesAndTurnsRedUnderTheMouse)
{
    TNotesForm form(doc, svc.messages);
    form.show();
    const QColor normal = form.lblInfo()->palette().color(QPalette::WindowText);
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(form.lblInfo(), &enter);
    EXPECT_EQ(form.lblInfo()->palette().color(QPalette::WindowText), QColor(Qt::red));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(form.lblInfo(), &leave);
    EXPECT_EQ(form.lblInfo()->palette().color(QPalette::WindowText), normal);

    svc.messages.answer(mrOk);
    QTest::mouseClick(form.lblInfo(), Qt::LeftButton);
    ASSERT_EQ(svc.messages.count(), 1);
    const TMessage& m = svc.messages.last();
    EXPECT_EQ(m.text,
              QStringLiteral("These notes are written at the end of the ROM file.\rAs long as you are burning to a "
                             "32K chip, these notes\rwill not affect your program."));
    EXPECT_EQ(m.title, QStringLiteral("About Notes"));
    EXPECT_EQ(m.kind, TMsgKind::Information);
    EXPECT_EQ(m.buttons, TMsgButtons(TMsgButton::OK));
}

TEST_F(NotesForm, PlacementComesFromTheSettingsAndGoesBack)
{
    QWidget main;
    main.setGeometry(10, 20, 300, 200);
    auto* form = new TNotesForm(doc, svc.messages, &main);
    form->resize(250, 150);
    const QRect mainRect = main.frameGeometry();

    struct Row {
        TNotesFormPlacement in;
        QRect expected;
    };
    const auto placement = [](std::optional<int> l, std::optional<int> t, std::optional<int> w, std::optional<int> h) {
        TNotesFormPlacement p;
        p.windowLeft = l;
        p.windowTop = t;
        p.windowWidth = w;
        p.windowHeight = h;
        return p;
    };
    const Row rows[] = {
        {placement({}, {}, {}, {}), QRect(mainRect.right() + 1, mainRect.top(), 250, 150)},
        {placement(50, 60, 400, 300), QRect(50, 60, 400, 300)},
        {placement(50, 60, 5, -1), QRect(50, 60, 400, 300)}, // unusable sizes keep the current one
        {placement(50000, 50000, {}, {}), QRect(mainRect.right() + 1, mainRect.top(), 400, 300)}, // on no screen
    };
    for (const Row& r : rows) {
        form->applyPlacement(r.in);
        EXPECT_EQ(QRect(form->pos(), form->size()), r.expected);
    }

    QTemporaryDir home;
    TSettingsStore store(home.path());
    form->bindSettings(store);
    TSettings values;
    values.notesForm = placement(70, 80, 320, 240);
    store.setValues(values);
    store.apply();
    EXPECT_EQ(QRect(form->pos(), form->size()), QRect(70, 80, 320, 240));
    form->move(90, 100);
    store.collect();
    EXPECT_EQ(store.values().notesForm, placement(90, 100, 320, 240));

    delete form; // the store forgets a window that is gone
    store.apply();
    store.collect();
}

} // namespace
