#include "scripting/ui/frmBrowser.h"

#include "scripting/frmScripts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QIcon>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

namespace {
const QString FaviconName = QStringLiteral("favicon.ico");
constexpr int MinimumSide = 1;
} // namespace

TBrowserPage::TBrowserPage(TBrowserBridge& bridge, QObject* parent)
    : QWebEnginePage(QWebEngineProfile::defaultProfile(), parent),
      openExternally([](const QUrl& target) { QDesktopServices::openUrl(target); }), m_bridge(bridge)
{
    QWebEngineScript script;
    script.setName(QStringLiteral("external"));
    script.setSourceCode(m_bridge.pageScript());
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    scripts().insert(script);
}

bool TBrowserPage::acceptNavigationRequest(const QUrl& target, NavigationType type, bool isMainFrame)
{
    // A local page may not load the network (the engine would show an error
    // page); a link there is meant for a browser, so the desktop's gets it.
    if (isMainFrame && type == NavigationTypeLinkClicked && url().isLocalFile() && !target.isLocalFile()) {
        if (openExternally)
            openExternally(target);
        return false;
    }
    return QWebEnginePage::acceptNavigationRequest(target, type, isMainFrame);
}

bool TBrowserPage::javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                                    QString* result)
{
    if (!msg.startsWith(QLatin1String(TBrowserBridge::ChannelPrefix)))
        return QWebEnginePage::javaScriptPrompt(securityOrigin, msg, defaultValue, result);
    // A page from the network, or one a local page navigated to, may know the
    // channel and even the token: it is refused all the same.
    const std::optional<QByteArray> request = m_bridge.requestOf(msg);
    if (!TBrowserBridge::mayAnswer(securityOrigin) || !request) {
        *result = QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("error"), QLatin1String(Refusal)}})
                                        .toJson(QJsonDocument::Compact));
        return true;
    }
    *result = QString::fromUtf8(m_bridge.answer(*request));
    return true;
}

TWebBrowserForm::TWebBrowserForm(TScriptForm& host, const TBrowserRequest& request)
    : QDialog(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                           Qt::WindowCloseButtonHint),
      m_bridge(host, this), m_modal(request.modal), m_resizable(request.resizable)
{
    // Owned by the application, not by the main window: a window of its own
    // in the task bar. Closing the main window still ends the program.
    setObjectName(browserWindowName(*QRandomGenerator::global()));
    setAttribute(Qt::WA_QuitOnClose, false);
    if (!m_modal) {
        setAttribute(Qt::WA_DeleteOnClose);
        // The host's window objects must not outlive it.
        connect(&host, &QObject::destroyed, this, [this] { delete this; });
    }
    setWindowIcon(QApplication::windowIcon());

    MainWebBrowser = new QWebEngineView(this);
    MainWebBrowser->setObjectName(QStringLiteral("MainWebBrowser"));
    auto* page = new TBrowserPage(m_bridge, MainWebBrowser);
    MainWebBrowser->setPage(page);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(MainWebBrowser);

    connect(page, &QWebEnginePage::titleChanged, this, &TWebBrowserForm::MainWebBrowserTitleChanged);
    connect(page, &QWebEnginePage::loadFinished, this, &TWebBrowserForm::MainWebBrowserLoadFinished);
    connect(page, &QWebEnginePage::windowCloseRequested, this, &TWebBrowserForm::closeWindow);

    applySize(QSize(request.width, request.height));
    MainWebBrowser->load(QUrl(request.url));
}

TWebBrowserForm::~TWebBrowserForm()
{
    // The page goes before the bridge it answers from.
    delete MainWebBrowser;
}

TWebBrowserForm* TWebBrowserForm::showPage(TScriptForm& host, const TBrowserRequest& request)
{
    if (request.modal) {
        TWebBrowserForm form(host, request);
        form.exec();
        return nullptr;
    }
    auto* form = new TWebBrowserForm(host, request);
    form->show();
    return form;
}

void TWebBrowserForm::MainWebBrowserTitleChanged(const QString& title)
{
    setWindowTitle(title + QLatin1String(CaptionSuffix));
}

void TWebBrowserForm::MainWebBrowserLoadFinished(bool ok)
{
    if (!ok)
        return;
    const QUrl url = MainWebBrowser->url();
    if (!url.isLocalFile())
        return;
    const QString icon = QFileInfo(url.toLocalFile()).absolutePath() + u'/' + FaviconName;
    if (!QFileInfo(icon).isFile())
        return;
    const QIcon loaded(icon);
    setWindowIcon(loaded.availableSizes().isEmpty() ? QApplication::windowIcon() : loaded);
}

void TWebBrowserForm::closeWindow()
{
    // The page is waiting for this request's answer: close once it has it.
    QTimer::singleShot(0, this, [this] {
        if (m_modal)
            done(QDialog::Accepted);
        else
            close();
    });
}

void TWebBrowserForm::applySize(const QSize& size)
{
    const QSize s = size.expandedTo(QSize(MinimumSide, MinimumSide));
    if (m_resizable) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        resize(s);
    } else {
        setFixedSize(s);
    }
}

void TWebBrowserForm::setBounds(std::optional<int> left, std::optional<int> top, std::optional<int> width,
                                std::optional<int> height)
{
    if (left || top)
        move(left.value_or(x()), top.value_or(y()));
    if (width || height)
        applySize(QSize(width.value_or(this->width()), height.value_or(this->height())));
}

void TWebBrowserForm::setResizable(bool resizable)
{
    m_resizable = resizable;
    applySize(size());
}

void TBrowserScriptDialogs::showBrowser(TScriptForm& host, const TBrowserRequest& request)
{
    TWebBrowserForm::showPage(host, request);
}
