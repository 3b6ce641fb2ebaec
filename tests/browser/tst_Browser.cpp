// The browser windows on the real web engine, under a virtual X server: a page
// of the disk reaches the script host through `external`, a page from the
// network (even one a local page navigated to) does not.

#include "scripting/ui/frmBrowser.h"

#include "support/TestScriptRom.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QHash>
#include <QImage>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace {

constexpr int WaitMs = 20000; // generous: the first page starts the engine on a loaded machine

// Runs the event loop until the condition holds (a final state) or the time is up.
bool waitFor(const std::function<bool()>& done)
{
    const QDeadlineTimer deadline(WaitMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return done();
}

// Serves one page on 127.0.0.1 to every request for "/", 404 for the rest.
class TPageServer : public QTcpServer {
public:
    QByteArray page;
    TPageServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    m_requests[s] += s->readAll();
                    if (!m_requests[s].contains("\r\n\r\n"))
                        return;
                    const bool root = m_requests[s].startsWith("GET / ");
                    const QByteArray body = root ? page : QByteArray("not here");
                    s->write((root ? "HTTP/1.0 200 OK\r\n" : "HTTP/1.0 404 Not Found\r\n") +
                             QByteArray("Content-Type: text/html\r\nConnection: close\r\nContent-Length: ") +
                             QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, s, [this, s] {
                    m_requests.remove(s);
                    s->deleteLater();
                });
            }
        });
    }

private:
    QHash<QTcpSocket*, QByteArray> m_requests;
};

class Browser : public TScriptRomTest {
protected:
    void SetUp() override { startHost(&dialogs); }

    void page(const QString& name, const QByteArray& html) { writeBytes(dir.path() + u'/' + name, html); }

    TBrowserScriptDialogs dialogs;
};

TEST_F(Browser, LocalModalPageCallsTheProgramAndClosesItsWindow)
{
    // The page reads the ROM, writes through the setter convention, times
    // 1000 calls and reports through a plug-in registration, then closes.
    page(QStringLiteral("local.html"), R"(<html><head><title>local</title><script>
var b = external.rom.byteAt(0);
external.rom.set_byteAt(1, b ^ 0xFF);
var t0 = performance.now();
for (var i = 0; i < 1000; ++i) external.DecToHex(1);
var ms = performance.now() - t0;
var thrown = '';
try { external.DecToHex(-1); } catch (e) { thrown = 'threw'; }
external.addPlugin('browser', [typeof external.DecToHex, b, external.DecToHex(255), thrown].join(','), 'x()', String(ms));
external.close();
</script></head><body></body></html>)");
    // Modal: returns once the page closed its window, and the window is gone.
    host->evaluate(QStringLiteral("showBrowser('local.html', 320, 200)"));
    EXPECT_TRUE(svc.messages.messages().isEmpty());
    ASSERT_EQ(host->plugins().count(), 1);
    const TCPlugin reported = host->plugins().get(0);
    EXPECT_EQ(reported.caption, QStringLiteral("function,%1,FF,threw").arg(rom.byteAt(0)));
    EXPECT_EQ(rom.byteAt(1), rom.byteAt(0) ^ 0xFF);
    std::printf("1000 calls of external.DecToHex from a page: %.1f ms\n", reported.info.toDouble());
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TWebBrowserForm*>(w), nullptr);
}

TEST_F(Browser, ModelessWindowTakesTitleIconSizeAndClosesFromThePage)
{
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    ASSERT_TRUE(icon.save(dir.path() + QStringLiteral("/favicon.ico"), "ICO"));
    page(QStringLiteral("modeless.html"), R"(<html><head><script>
external.setBounds(undefined, undefined, 420, 260);
document.title = 'byte ' + external.rom.byteAt(0);
</script></head><body></body></html>)");
    TBrowserRequest r{QUrl::fromLocalFile(dir.path() + QStringLiteral("/modeless.html")).toString(), 300, 200, false,
                      false};
    QPointer<TWebBrowserForm> form = TWebBrowserForm::showPage(*host, r);
    ASSERT_TRUE(form);
    const QString caption = QStringLiteral("byte %1 - < VEXOR >").arg(rom.byteAt(0));
    ASSERT_TRUE(waitFor([&] {
        return form->windowTitle() == caption && !form->windowIcon().availableSizes().isEmpty();
    })) << form->windowTitle().toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[A-Z]{3}_[A-Z]{5}$")).match(form->objectName()).hasMatch());
    EXPECT_EQ(form->view()->objectName(), QStringLiteral("MainWebBrowser"));
    EXPECT_TRUE(form->isWindow());
    EXPECT_EQ(form->size(), QSize(420, 260));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()); // Resizable 0: fixed

    // A link to the network goes to the desktop's browser; the window stays.
    QUrl opened;
    static_cast<TBrowserPage*>(form->view()->page())->openExternally = [&](const QUrl& u) { opened = u; };
    form->view()->page()->runJavaScript(
        QStringLiteral("var a = document.createElement('a'); a.href = 'http://127.0.0.1:9/x'; "
                       "document.body.appendChild(a); a.click();"));
    ASSERT_TRUE(waitFor([&] { return opened.isValid(); }));
    EXPECT_EQ(opened, QUrl(QStringLiteral("http://127.0.0.1:9/x")));
    EXPECT_TRUE(form->view()->url().isLocalFile());

    form->view()->page()->runJavaScript(QStringLiteral("window.close()"));
    EXPECT_TRUE(waitFor([&] { return form.isNull(); }));
}

TEST_F(Browser, PagesFromTheNetworkGetNoBridgeAndAreRefused)
{
    TPageServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    // The remote page knows the channel and even the window's token, and
    // tries to write the ROM.
    const quint8 before = rom.byteAt(0);
    TBrowserRequest r{QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort()), 300, 200, true, false};
    QPointer<TWebBrowserForm> form = new TWebBrowserForm(*host, r); // loads once the event loop runs
    server.page = QStringLiteral(R"(<html><head><script>
var tried = prompt('vexor-external:%1:' + JSON.stringify({ op: 'call', path: ['rom', 'set_byteAt'], args: [0, %2] }));
document.title = [location.protocol, typeof external.DecToHex, tried].join('|');
</script></head></html>)")
                      .arg(form->bridge().token())
                      .arg(before ^ 0xFF)
                      .toUtf8();
    form->show();
    ASSERT_TRUE(waitFor([&] { return form->windowTitle().startsWith(QLatin1String("http:")); }))
        << form->windowTitle().toStdString();
    EXPECT_EQ(
        form->windowTitle(),
        QStringLiteral(R"(http:|undefined|{"error":"%1"} - < VEXOR >)").arg(QLatin1String(TBrowserPage::Refusal)));
    EXPECT_EQ(rom.byteAt(0), before);
    delete form;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QTemporaryDir home;
    if (qEnvironmentVariableIsEmpty("VEXOR_HOME"))
        qputenv("VEXOR_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
