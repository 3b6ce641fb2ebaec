#include "scripting/mdlBrowserBridge.h"

#include "support/TestScriptDialogs.h"
#include "support/TestScriptRom.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

struct TRecordingWindow : IBrowserWindow {
    void closeWindow() override { calls << QStringLiteral("close"); }
    void setBounds(std::optional<int> l, std::optional<int> t, std::optional<int> w, std::optional<int> h) override
    {
        const auto s = [](std::optional<int> v) { return v ? QString::number(*v) : QStringLiteral("-"); };
        calls << QStringLiteral("bounds %1 %2 %3 %4").arg(s(l), s(t), s(w), s(h));
    }
    void setResizable(bool on) override { calls << QStringLiteral("resizable %1").arg(on); }
    QStringList calls;
};

class BrowserBridge : public TScriptRomTest {
protected:
    void SetUp() override
    {
        startHost(&dialogs);
        ASSERT_FALSE(HasFatalFailure());
        bridge = std::make_unique<TBrowserBridge>(*host, &window);
    }
    void TearDown() override
    {
        bridge.reset();
        TScriptRomTest::TearDown();
    }

    // The answer as compact JSON text, easy to compare.
    QString ask(const char* request) { return QString::fromUtf8(bridge->answer(QByteArray(request))); }

    TScriptedScriptDialogs dialogs;
    TRecordingWindow window;
    std::unique_ptr<TBrowserBridge> bridge;
};

TEST_F(BrowserBridge, MembersAnswerLikeTheWindowObject)
{
    const QString byte0 = QString::number(quint8(rom.byteAt(0)));
    const QString mph = QString::number(host->evaluate(QStringLiteral("showMph")).toInt());
    const struct {
        const char* request;
        QString answer;
    } cases[] = {
        {R"({"op":"call","path":["DecToHex"],"args":[255]})", QStringLiteral(R"({"value":"FF"})")},
        {R"({"op":"get","path":["DecToHex"]})", QStringLiteral(R"({"kind":"function"})")},
        {R"({"op":"get","path":["rom"]})", QStringLiteral(R"({"kind":"object"})")},
        {R"({"op":"get","path":["showMph"]})", QStringLiteral(R"({"value":%1})").arg(mph)},
        {R"({"op":"call","path":["rom","byteAt"],"args":[0]})", QStringLiteral(R"({"value":%1})").arg(byte0)},
        // The host's setter convention, and the write is seen by the next read.
        {R"({"op":"call","path":["rom","set_byteAt"],"args":[0,90]})", QStringLiteral("{}")},
        {R"({"op":"call","path":["rom","byteAt"],"args":[0]})", QStringLiteral(R"({"value":90})")},
        {R"({"op":"call","path":["GetFileName"],"args":["C:\\a\\b.js"]})", QStringLiteral(R"({"value":"b.js"})")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ask(c.request), c.answer) << c.request;
    EXPECT_EQ(quint8(rom.byteAt(0)), 90);

    // After the scripts were reloaded (a new engine) the page goes on working.
    host->reloadScripts();
    EXPECT_EQ(ask(R"({"op":"call","path":["DecToHex"],"args":[4096]})"), QStringLiteral(R"({"value":"1000"})"));
}

TEST_F(BrowserBridge, BadRequestsAndPlumbingAreRefusedWithAMessage)
{
    const struct {
        const char* request;
        const char* error;
    } cases[] = {
        {"not json", "Malformed request."},
        {R"(["op"])", "Malformed request."},
        {R"({"op":"eval","path":["x"]})", "Unknown request 'eval'."},
        {R"({"op":"get","path":[]})", "Malformed request."},
        {R"({"op":"get","path":[1]})", "Malformed request."},
        {R"({"op":"call","path":["deleteLater"]})", "Object has no member 'deleteLater'."},
        {R"({"op":"get","path":["objectName"]})", "Object has no member 'objectName'."},
        {R"({"op":"get","path":["constructor","constructor"]})", "Object has no property 'constructor'."},
        {R"({"op":"get","path":["DecToHex","length"]})", "Object has no property 'DecToHex'."},
        {R"({"op":"call","path":["showMph"]})", "'showMph' is not a method."},
        {R"({"op":"set","path":["showMph"],"value":1})", "'showMph' cannot be written."},
        {R"({"op":"call","path":["DecToHex"],"args":[-1]})", "out of range"},
        {R"({"op":"bounds","left":"x"})", "Argument left is not a number."},
        {R"({"op":"bounds","width":1e12})", "out of range"},
    };
    for (const auto& c : cases) {
        const QJsonObject a = QJsonDocument::fromJson(bridge->answer(QByteArray(c.request))).object();
        EXPECT_TRUE(a.value(QStringLiteral("error")).toString().contains(QString::fromUtf8(c.error)))
            << c.request << " -> " << QJsonDocument(a).toJson().toStdString();
    }
    EXPECT_TRUE(window.calls.isEmpty());
    EXPECT_TRUE(svc.messages.messages().isEmpty()); // errors go to the page, not to an error box
}

TEST_F(BrowserBridge, WindowRequestsReachTheWindow)
{
    for (const char* r : {R"({"op":"bounds","left":10,"top":20})", R"({"op":"bounds","width":300,"height":null})",
                          R"({"op":"resizable","value":true})", R"({"op":"close"})"})
        EXPECT_EQ(ask(r), QStringLiteral("{}")) << r;
    EXPECT_EQ(window.calls, QStringList({QStringLiteral("bounds 10 20 - -"), QStringLiteral("bounds - - 300 -"),
                                         QStringLiteral("resizable 1"), QStringLiteral("close")}));
}

TEST_F(BrowserBridge, OnlyLocalPagesWithTheTokenAreAnswered)
{
    const QString token = bridge->token();
    EXPECT_EQ(token.size(), 32);
    EXPECT_NE(token, TBrowserBridge(*host, nullptr).token());
    EXPECT_EQ(bridge->requestOf(QStringLiteral("vexor-external:") + token + QStringLiteral(":{}")), QByteArray("{}"));
    EXPECT_FALSE(bridge->requestOf(QStringLiteral("vexor-external:0123:{}")));
    EXPECT_FALSE(bridge->requestOf(QStringLiteral("Your name?")));
    EXPECT_TRUE(bridge->pageScript().contains(QStringLiteral("vexor-external:") + token + u':'));

    const struct {
        const char* origin;
        bool local;
    } origins[] = {{"file:///", true},
                   {"file:///home/u/page.html", true},
                   {"file://server/share/", false},
                   {"http://127.0.0.1:8080", false},
                   {"https://example.org", false},
                   {"data:text/html,x", false},
                   {"null", false},
                   {"", false}};
    for (const auto& o : origins)
        EXPECT_EQ(TBrowserBridge::mayAnswer(QUrl(QString::fromUtf8(o.origin))), o.local) << o.origin;
}

TEST_F(BrowserBridge, WithoutBrowserWindowsThePageOpensOnTheDesktopWithOneNotice)
{
    writeBytes(dir.path() + QStringLiteral("/page.html"), "<html></html>");
    host->evaluate(QStringLiteral("showBrowser('page.html', 500, 300, 1, 0); showBrowser('http://example.org/x')"));
    EXPECT_EQ(dialogs.openedUrls(),
              QStringList({QUrl::fromLocalFile(dir.path() + QStringLiteral("/page.html")).toString(),
                           QStringLiteral("http://example.org/x")}));
    ASSERT_EQ(svc.messages.messages().size(), 1);
    EXPECT_TRUE(svc.messages.messages().first().text.contains(QStringLiteral("cannot reach")));

    svc.messages.clear();
    EXPECT_THROW(host->evaluate(QStringLiteral("showBrowser('page.html', 400, 250, 256)")), EScriptError);
    EXPECT_EQ(dialogs.openedUrls().size(), 2);
}

TEST(BrowserWindowName, ThreeCapitalsUnderscoreFiveCapitals)
{
    QRandomGenerator a(1), b(2);
    const QString first = browserWindowName(a);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[A-Z]{3}_[A-Z]{5}$")).match(first).hasMatch())
        << first.toStdString();
    EXPECT_NE(first, browserWindowName(b));
}

} // namespace
