#pragma once

// The bridge between the pages of a browser window and the script host.
//
// A page of the user's disk sees `external`: a new window object whose members
// it calls synchronously, as scripts call `window`. The page side (pageScript)
// turns every member read, write and call into one JSON request and blocks
// until the answer arrives; this class decodes the request, walks the member
// path from its own window object in the host's engine, performs it and
// answers in JSON. It knows nothing of the transport nor of widgets, so the
// whole exchange runs in a test without a browser.
//
// Requests (JSON objects):
//   {"op":"get",  "path":["rom","base"]}
//   {"op":"call", "path":["rom","byteAt"], "args":[0]}
//   {"op":"set",  "path":["events","OnShowOptions"], "value":"onOptions"}
//   {"op":"close"}
//   {"op":"bounds", "left":10, "top":20, "width":300, "height":200}  (any subset)
//   {"op":"resizable", "value":true}
// Answers: {"value":…} (no "value": undefined), {"kind":"object"} or
// {"kind":"function"} for a member that is itself an object or a method (the
// page then makes a proxy of that path), or {"error":"…"}.
//
// Only members the script objects declare can be reached (no QObject
// plumbing such as deleteLater, no prototype walking): every step of a path
// must be a property holding a script object, the last step a declared member.

#include <QByteArray>
#include <QJSValue>
#include <QJsonObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

class QJSEngine;
class QRandomGenerator;
class TScriptForm;
class QUrl;
class TWindowScript;

// What a page may ask of the window that shows it.
class IBrowserWindow {
public:
    virtual ~IBrowserWindow() = default;
    // Closes the window (a modal one ends with OK). Called while the page
    // waits for the answer: close later, not inside the call.
    virtual void closeWindow() = 0;
    // Moves or resizes; an empty value keeps the current one.
    virtual void setBounds(std::optional<int> left, std::optional<int> top, std::optional<int> width,
                           std::optional<int> height) = 0;
    virtual void setResizable(bool resizable) = 0;
};

class TBrowserBridge {
public:
    // The first text of a page-side request on the prompt channel; the rest is
    // the window's token, a colon and the JSON request.
    static constexpr const char* ChannelPrefix = "vexor-external:";

    // host must outlive the bridge or be destroyed first (then every request
    // fails with a message); window may be null (requests to it are ignored).
    TBrowserBridge(TScriptForm& host, IBrowserWindow* window);
    ~TBrowserBridge();
    TBrowserBridge(const TBrowserBridge&) = delete;
    TBrowserBridge& operator=(const TBrowserBridge&) = delete;

    // One request in, its answer out. Never throws: every failure is an
    // {"error":…} answer that the page raises as an exception.
    [[nodiscard]] QByteArray answer(const QByteArray& request);

    // The random token that ties a page's requests to this bridge.
    [[nodiscard]] QString token() const { return m_token; }
    // The channel message a page sends, split: the JSON request when text is
    // one for this bridge, nothing otherwise (another token, an ordinary
    // prompt of the page).
    [[nodiscard]] std::optional<QByteArray> requestOf(const QString& text) const;

    // Whether a page of this origin may be answered at all: pages of this
    // computer's disk only. Everything else (the network, data: and about:
    // documents, a page a local one navigated to) gets no answer, whatever
    // token it guessed.
    [[nodiscard]] static bool mayAnswer(const QUrl& origin);

    // The script that defines `external` in a page and routes window.close,
    // moveTo and resizeTo to the window; it runs at document creation and
    // defines nothing unless the document is a file: page. Its requests go
    // through window.prompt with ChannelPrefix, the token and a colon; the
    // window answers them before prompt returns.
    //   external.close(), window.close()      close the window
    //   external.setBounds(left, top, width, height), window.moveTo(left, top),
    //   window.resizeTo(width, height)        move or resize (undefined: keep)
    //   external.setResizable(on)             sizeable border or fixed size
    [[nodiscard]] QString pageScript() const;

private:
    QJsonObject dispatch(const QJsonObject& request);
    QJSValue windowValue(QJSEngine& engine);

    QPointer<TScriptForm> m_host;
    IBrowserWindow* m_window;
    QString m_token;
    // The window object of the pages and the engine it belongs to; made again
    // when the host's scripts were reloaded (a new engine).
    QPointer<QJSEngine> m_engine;
    std::unique_ptr<TWindowScript> m_windowObject;
    QJSValue m_access; // get / set / call with a thrown value kept apart from a result
};

// A component name for a browser window: three random capital letters, an
// underscore and five more, so several windows may coexist.
[[nodiscard]] QString browserWindowName(QRandomGenerator& random);
