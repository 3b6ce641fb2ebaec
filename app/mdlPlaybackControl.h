#pragma once

// The playback bar of a stopped recording, and the input hold while a
// datalog file replays. The bar, under the work area, moves through the
// recording sample by sample and shows the time since the recording started
// and the sample's index. While a file is replayed the window's input is held
// back (mouse, keys, shortcuts), but painting goes on.

#include <QObject>

class QLabel;
class QScrollBar;
class QToolBar;
class TCuddleCore;
class TDatalogSession;
class TMainForm;
class TTunerForm;

class TPlaybackControl : public QObject {
    Q_OBJECT
public:
    TPlaybackControl(TMainForm& form, TTunerForm& tuner, TCuddleCore& store, TDatalogSession& session);
    ~TPlaybackControl() override;

    [[nodiscard]] QToolBar* toolBar() const { return m_toolBar; }
    [[nodiscard]] QScrollBar* bar() const { return m_bar; }
    // "hh:mm:ss.mmm  Sample n / count" of the position shown.
    [[nodiscard]] QString positionText() const;

    // Follows the session's bar and the store; shown only for a stopped,
    // non-empty recording.
    void update();

    void setInputBlocked(bool on);
    [[nodiscard]] bool inputBlocked() const { return m_inputBlocked; }

Q_SIGNALS:
    // After every update (the command states follow).
    void updated();
    // The bar went away: no playback cursor on the graphs.
    void hidden();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updatePosition();

    TMainForm& m_form;
    TTunerForm& m_tuner;
    TCuddleCore& m_store;
    TDatalogSession& m_session;
    bool m_inputBlocked = false;
    bool m_updating = false;
    QToolBar* m_toolBar;
    QScrollBar* m_bar;
    QLabel* m_position;
};
