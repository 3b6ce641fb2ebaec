#include "rom/ui/frmNotes.h"

#include "rom/clsRomDocument.h"
#include "settings/mdlMessages.h"
#include "settings/mdlSettings.h"
#include "settings/mdlSettingsStore.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QVBoxLayout>

TNotesForm::TNotesForm(TRomDocument& document, IMessageService& messages, QWidget* parent)
    : QDialog(parent), m_document(document), m_messages(messages)
{
    setObjectName(QStringLiteral("frmNotes"));
    setWindowTitle(QStringLiteral("Notes"));
    setModal(false);
    resize(420, 320);

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("memNotes"));
    m_memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    m_info = new QLabel(QStringLiteral("About Notes"), this);
    m_info->setObjectName(QStringLiteral("lblInfo"));
    m_info->setCursor(Qt::PointingHandCursor);
    m_info->setAttribute(Qt::WA_Hover);
    m_info->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_memo, 1);
    layout->addWidget(m_info, 0, Qt::AlignRight);

    connect(m_memo, &QPlainTextEdit::textChanged, this, [this] { memNotesChange(); });
}

QString TNotesForm::memoText() const
{
    // toPlainText() turns no-break spaces into spaces, which would change notes
    // bytes the user never touched; the raw text keeps them and only marks
    // paragraphs with separators.
    QString text = m_memo->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

void TNotesForm::loadNotes()
{
    const QString text = m_document.notesForEditor();
    if (memoText() == text)
        return;
    const QSignalBlocker block(m_memo);
    m_memo->setPlainText(text);
}

void TNotesForm::showEvent(QShowEvent* event)
{
    loadNotes();
    QDialog::showEvent(event);
}

void TNotesForm::memNotesChange() { m_document.setNotesFromEditor(memoText()); }

void TNotesForm::lblInfoClick()
{
    m_messages.showMessage(QStringLiteral("These notes are written at the end of the ROM file.\rAs long as you are "
                                          "burning to a 32K chip, these notes\rwill not affect your program."),
                           QStringLiteral("About Notes"), TMsgKind::Information, TMsgButton::OK);
}

void TNotesForm::setInfoHighlighted(bool on)
{
    QPalette p = m_info->palette();
    p.setColor(QPalette::WindowText, on ? QColor(Qt::red) : palette().color(QPalette::WindowText));
    m_info->setPalette(p);
}

bool TNotesForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_info) {
        switch (event->type()) {
        case QEvent::Enter: setInfoHighlighted(true); break;
        case QEvent::Leave: setInfoHighlighted(false); break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                lblInfoClick();
                return true;
            }
            break;
        default: break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TNotesForm::applyPlacement(const TNotesFormPlacement& placement)
{
    const QWidget* main = parentWidget();
    const QRect mainRect = main ? main->frameGeometry() : QRect();
    const int defaultLeft = mainRect.x() + mainRect.width();
    const int defaultTop = mainRect.y();
    constexpr int minSide = 80;
    const auto side = [](const std::optional<int>& v, int current) { return v && *v >= minSide ? *v : current; };
    const QSize size(side(placement.windowWidth, width()), side(placement.windowHeight, height()));
    QPoint at(placement.windowLeft.value_or(defaultLeft), placement.windowTop.value_or(defaultTop));
    // A stored position from another monitor layout must not hide the window.
    if (!QGuiApplication::screenAt(QRect(at, size).center()))
        at = QPoint(defaultLeft, defaultTop);
    resize(size);
    move(at);
}

TNotesFormPlacement TNotesForm::placement() const
{
    TNotesFormPlacement p;
    p.windowLeft = x();
    p.windowTop = y();
    p.windowWidth = width();
    p.windowHeight = height();
    return p;
}

void TNotesForm::bindSettings(TSettingsStore& store)
{
    store.addConsumer([this](const TSettings& s) { applyPlacement(s.notesForm); },
                      [this](TSettings& s) { s.notesForm = placement(); }, this);
}
