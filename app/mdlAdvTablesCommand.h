#pragma once

// The View menu's "Advance Tables..." command and the window it opens. The
// window is made on first use and kept; it shows the script host's custom
// tables, so it lives no longer than the host.

#include <QObject>
#include <QPointer>
#include <functional>

class TAdvanceTableForm;
class TMainForm;
class TScriptForm;

// Not a child of the main window: it hands the document's refresh event back
// when it goes, so it must go while the window's document still exists.
class TAdvTablesCommand : public QObject {
    Q_OBJECT
public:
    TAdvTablesCommand(TMainForm& form, TScriptForm& host);
    ~TAdvTablesCommand() override;

    // Opens the window, or brings the open one to front.
    void ViewAdvTablesExecute();
    // Null until the command was first used.
    [[nodiscard]] TAdvanceTableForm* window() const;

private:
    TMainForm& m_form;
    TScriptForm& m_host;
    QPointer<TAdvanceTableForm> m_window;
    std::function<void()> m_previousRefresh;
    std::function<void()> m_previousLoaded;
};
