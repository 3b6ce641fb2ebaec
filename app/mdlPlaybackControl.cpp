#include "app/mdlPlaybackControl.h"

#include "app/frmMain.h"
#include "datalog/clsCuddleCore.h"
#include "datalog/frmTuner.h"
#include "datalog/mdlDatalogSession.h"
#include "datalog/mdlLiveView.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QScrollBar>
#include <QToolBar>
#include <algorithm>
#include <climits>

TPlaybackControl::TPlaybackControl(TMainForm& form, TTunerForm& tuner, TCuddleCore& store, TDatalogSession& session)
    : m_form(form), m_tuner(tuner), m_store(store), m_session(session)
{
    m_toolBar = new QToolBar(tr("Playback"), &m_form);
    m_toolBar->setObjectName(QStringLiteral("tbPlayback"));
    auto* caption = new QLabel(tr("Playback "), m_toolBar);
    caption->setObjectName(QStringLiteral("lblPlayback"));
    m_toolBar->addWidget(caption);
    m_bar = new QScrollBar(Qt::Horizontal, m_toolBar);
    m_bar->setObjectName(QStringLiteral("sbPlayback"));
    m_bar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_bar->setMinimumWidth(300);
    m_toolBar->addWidget(m_bar);
    m_position = new QLabel(m_toolBar);
    m_position->setObjectName(QStringLiteral("lblPlaybackPosition"));
    m_position->setMinimumWidth(
        m_position->fontMetrics().horizontalAdvance(QStringLiteral("  00:00:00.000  Sample 0000000 / 0000000")));
    m_toolBar->addWidget(m_position);
    m_form.addToolBar(Qt::BottomToolBarArea, m_toolBar);
    m_toolBar->hide();
    connect(m_bar, &QScrollBar::valueChanged, this, [this](int position) {
        if (m_updating)
            return;
        m_session.playbackMove(position);
        updatePosition();
    });
}

TPlaybackControl::~TPlaybackControl()
{
    if (m_inputBlocked) {
        qApp->removeEventFilter(this);
        QApplication::restoreOverrideCursor();
    }
    delete m_toolBar;
}

void TPlaybackControl::update()
{
    const TPlaybackBar& b = m_session.playbackBar();
    const bool show = b.visible && !m_tuner.isActive() && !m_store.isEmpty();
    m_updating = true;
    // The range follows the store: after a file was played back and a new
    // session recorded, the bar scrubs the new recording, never past its end.
    m_bar->setRange(0, static_cast<int>(std::min<qint64>(std::max<qint64>(m_store.count() - 1, 0), INT_MAX)));
    m_bar->setPageStep(std::max(1, b.pageSize));
    m_bar->setSingleStep(1);
    m_bar->setValue(static_cast<int>(std::min<qint64>(b.position, INT_MAX)));
    m_updating = false;
    updatePosition();
    m_toolBar->setVisible(show);
    if (!show)
        Q_EMIT hidden();
    Q_EMIT updated();
}

QString TPlaybackControl::positionText() const
{
    const qint64 count = m_store.count();
    if (count == 0)
        return QString();
    const qint64 index = std::clamp<qint64>(m_bar->value(), 0, count - 1);
    DatalogSample s;
    if (!m_store.readAt(index, s))
        return QString();
    // Time stamps are ticks of a 32-bit counter: the difference wraps as
    // the counter does.
    const quint32 ms = s.timeStamp() - m_session.recordingStart();
    return tr("%1  Sample %2 / %3").arg(playbackDurationText(ms)).arg(index + 1).arg(count);
}

void TPlaybackControl::updatePosition() { m_position->setText(positionText()); }

void TPlaybackControl::setInputBlocked(bool on)
{
    if (on == m_inputBlocked)
        return;
    m_inputBlocked = on;
    if (on) {
        qApp->installEventFilter(this);
        QApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        qApp->removeEventFilter(this);
        QApplication::restoreOverrideCursor();
    }
    Q_EMIT updated();
}

bool TPlaybackControl::eventFilter(QObject* watched, QEvent* event)
{
    Q_UNUSED(watched);
    if (!m_inputBlocked)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: return true; // painting, timers and the rest go on
    default: return false;
    }
}
