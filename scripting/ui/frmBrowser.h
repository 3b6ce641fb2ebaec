#pragma once

// The browser windows of window.showBrowser, on the embedded web engine.
//
// Each window is a top-level window of its own (own task-bar entry, never
// keeping the program alive), named by browserWindowName, sized as asked and
// titled with the page title + " - < VEXOR >". Pages of the user's disk get
// `external`, a window object of the script host (see mdlBrowserBridge.h); the
// page asks synchronously through window.prompt, which this window answers
// from the bridge before the page goes on. Pages from anywhere else get no
// bridge and their requests are refused.
//
// Built only when Qt WebEngine is installed; without it the script dialogs'
// default opens pages in the desktop's browser.

#include "scripting/mdlBrowserBridge.h"
#include "scripting/mdlScriptDialogs.h"
#include "scripting/ui/mdlQtScriptDialogs.h"

#include <QDialog>
#include <QWebEnginePage>

#include <functional>

class QWebEngineView;
class TScriptForm;

// The page of a browser window: answers the bridge's requests on the prompt
// channel, ordinary prompts as the engine does.
class TBrowserPage : public QWebEnginePage {
    Q_OBJECT
public:
    TBrowserPage(TBrowserBridge& bridge, QObject* parent);

    // What a page that is not of the user's disk gets for a request.
    static constexpr const char* Refusal = "Only pages of this computer's disk may call the program.";

    // Where a link from a local page to the network goes: the desktop's
    // browser (the engine does not let a local page load it).
    std::function<void(const QUrl&)> openExternally;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                          QString* result) override;

private:
    TBrowserBridge& m_bridge;
};

class TWebBrowserForm : public QDialog, public IBrowserWindow {
    Q_OBJECT
public:
    static constexpr const char* CaptionSuffix = " - < VEXOR >";

    // The window on the request's page, not shown yet. A modeless window is
    // freed when it closes, and with the host when the host goes first.
    TWebBrowserForm(TScriptForm& host, const TBrowserRequest& request);
    ~TWebBrowserForm() override;

    // Shows the page as asked: modal windows run until closed and are freed
    // before this returns; modeless ones are shown and returned.
    static TWebBrowserForm* showPage(TScriptForm& host, const TBrowserRequest& request);

    [[nodiscard]] QWebEngineView* view() const { return MainWebBrowser; }
    [[nodiscard]] TBrowserBridge& bridge() { return m_bridge; }
    [[nodiscard]] bool isModalWindow() const { return m_modal; }
    [[nodiscard]] bool isResizable() const { return m_resizable; }

    // --- IBrowserWindow: the page's requests --------------------------------------
    void closeWindow() override;
    void setBounds(std::optional<int> left, std::optional<int> top, std::optional<int> width,
                   std::optional<int> height) override;
    void setResizable(bool resizable) override;

private:
    void MainWebBrowserTitleChanged(const QString& title);
    void MainWebBrowserLoadFinished(bool ok);
    void applySize(const QSize& size);

    TBrowserBridge m_bridge;
    QWebEngineView* MainWebBrowser = nullptr;
    bool m_modal;
    bool m_resizable;
};

// The Qt script dialogs with browser windows of their own.
class TBrowserScriptDialogs : public TQtScriptDialogs {
public:
    using TQtScriptDialogs::TQtScriptDialogs;
    void showBrowser(TScriptForm& host, const TBrowserRequest& request) override;
};
