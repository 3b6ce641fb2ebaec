// The notes window on the offscreen platform: showing changes nothing, typing
// stores the whole memo as the notes, Escape closes, the label explains.
#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "rom/mdlRomGen.h"
#include "rom/ui/frmNotes.h"
#include "support/TestServices.h"

#include <QLabel>
#include <QPlainTextEdit>
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
    EXPECT_EQ(form.memNotes()->toPlainText(), QStringLiteral("first line\nsecond\u00a0line").replace(QChar(0xa0), QLatin1Char(' ')));
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
    EXPECT_EQ(m.text, QStringLiteral("These notes are written at the end of the ROM file.\rAs long as you are burning to a "
                                     "32K chip, these notes\rwill not affect your program."));
    EXPECT_EQ(m.title, QStringLiteral("About Notes"));
    EXPECT_EQ(m.kind, TMsgKind::Information);
    EXPECT_EQ(m.buttons, TMsgButtons(TMsgButton::OK));
}

} // namespace
