#include "scripting/scptWindow.h"

#include "rom/clsRomDocument.h"
#include "scripting/frmScripts.h"
#include "scripting/mdlScriptArgs.h"
#include "scripting/mdlScriptDialogs.h"
#include "scripting/scptAdvTables.h"
#include "scripting/scptFiles.h"
#include "scripting/scptRom.h"
#include "scripting/scptWindowEvents.h"
#include "settings/mdlDisplayUnits.h"
#include "settings/mdlMessages.h"
#include "settings/mdlSettingsStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <optional>

namespace {

// Where the folder part of a path ends: after the last '\', '/' or ':'.
qsizetype nameStart(const QString& path)
{
    return std::max({path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'), path.lastIndexOf(u':')}) + 1;
}

} // namespace

TWindowScript::TWindowScript(TScriptForm& host, QObject* parent) : QObject(parent), m_host(host) {}

QString TWindowScript::text(const QJSValue& v)
{
    if (v.isUndefined() || v.isNull())
        return QString();
    return v.toString();
}

QString TWindowScript::decToHex(quint32 value)
{
    const int digits = value < 0x100 ? 2 : value <= 0xFFFF ? 4 : value <= 0xFFFFFF ? 6 : 8;
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

void TWindowScript::alert(const QJSValue& Msg)
{
    scriptGuard(this, [&] {
        if (IMessageService* m = m_host.environment().services.messages) {
            TWatchdogPause pause(m_host);
            m->showMessage(text(Msg), QStringLiteral("Alert"), TMsgKind::Warning, TMsgButton::OK);
        }
    });
}

bool TWindowScript::confirm(const QJSValue& Msg)
{
    return scriptGuard(this, [&] {
        IMessageService* m = m_host.environment().services.messages;
        if (!m)
            return false;
        TWatchdogPause pause(m_host);
        return m->showMessage(text(Msg), QStringLiteral("Confirm"), TMsgKind::Confirmation,
                              TMsgButton::Yes | TMsgButton::No) == mrYes;
    });
}

QString TWindowScript::prompt(const QJSValue& Caption, const QJSValue& Msg, const QJSValue& Default)
{
    return scriptGuard(this, [&] {
        IMessageService* m = m_host.environment().services.messages;
        if (!m)
            return QString();
        const QString def = text(Default);
        std::optional<QString> answer;
        {
            TWatchdogPause pause(m_host);
            answer = m->inputQuery(text(Caption), text(Msg), def);
        }
        // Cancel gives the default back, and so does accepting it unchanged:
        // both mean "nothing entered".
        if (!answer || *answer == def)
            return QString();
        return *answer;
    });
}

void TWindowScript::refresh()
{
    if (m_host.environment().refresh)
        m_host.environment().refresh();
}

QString TWindowScript::DecToHex(double DecValue)
{
    return scriptGuard(this, [&] { return decToHex(scriptArg<quint32>(DecValue, "DecValue")); });
}

int TWindowScript::LoByte(double W)
{
    return scriptGuard(this, [&] { return int(scriptArg<quint16>(W, "W") & 0xFF); });
}

int TWindowScript::HiByte(double W)
{
    return scriptGuard(this, [&] { return int(scriptArg<quint16>(W, "W") >> 8); });
}

void TWindowScript::launch(const QJSValue& filename, const QJSValue& params, double showMode, bool wait)
{
    scriptGuard(this, [&] {
        const quint8 ws = scriptArg<quint8>(showMode, "WS");
        // 0 normal, 1 maximised, 2 minimised, 3 hidden; anything else keeps
        // the previous launch's mode. X11 leaves the choice to the program.
        if (ws <= 3)
            m_host.launcherShowMode = ws;
        const QString file = text(filename);
        const QStringList args = QProcess::splitCommand(text(params));
        const QFileInfo info(file);
        if (info.isFile() && info.isExecutable()) {
            // Program and arguments go to the process as they are: no shell
            // parses them, so nothing in them can start another command.
            if (!wait) {
                if (!QProcess::startDetached(file, args))
                    throw EVexorError(QStringLiteral("Could not start \"%1\".").arg(file));
                return;
            }
            QProcess p;
            p.start(file, args);
            if (!p.waitForStarted())
                throw EVexorError(QStringLiteral("Could not start \"%1\".").arg(file));
            TWatchdogPause pause(m_host);
            while (!p.waitForFinished(100))
                QCoreApplication::processEvents();
            return;
        }
        // A document, folder or web address opens in the desktop's program.
        IScriptDialogs* d = m_host.environment().dialogs;
        const QUrl url = info.exists() ? QUrl::fromLocalFile(info.absoluteFilePath()) : QUrl::fromUserInput(file);
        if (!d || !d->openUrl(url.toString()))
            throw EVexorError(QStringLiteral("Could not open \"%1\".").arg(file));
    });
}

void TWindowScript::shell(const QJSValue& filename, const QJSValue& Params, double WS)
{
    launch(filename, Params, WS, false);
}

void TWindowScript::shellw(const QJSValue& filename, const QJSValue& Params, double WS)
{
    launch(filename, Params, WS, true);
}

QString TWindowScript::shelld(const QJSValue& DosCmd)
{
    return scriptGuard(this, [&] {
        // The argument is a command line by design, so a shell runs it.
        QProcess p;
        p.setProcessChannelMode(QProcess::SeparateChannels);
        p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), text(DosCmd)});
        if (!p.waitForStarted())
            return QString();
        QByteArray out;
        TWatchdogPause pause(m_host);
        while (!p.waitForFinished(100)) {
            out += p.readAllStandardOutput();
            QCoreApplication::processEvents();
        }
        out += p.readAllStandardOutput();
        return QString::fromLocal8Bit(out);
    });
}

QString TWindowScript::GetFilePath(const QJSValue& filename)
{
    const QString f = text(filename);
    return f.left(nameStart(f));
}

QString TWindowScript::GetFileName(const QJSValue& filename)
{
    const QString f = text(filename);
    return f.mid(nameStart(f));
}

int TWindowScript::select(const QJSValue& prompt, const QJSValue& Selection)
{
    return scriptGuard(this, [&] {
        IScriptDialogs* d = m_host.environment().dialogs;
        if (!d)
            return -1;
        TWatchdogPause pause(m_host);
        return d->select(text(prompt), text(Selection).split(u'|'));
    });
}

void TWindowScript::addPlugin(const QJSValue& Author, const QJSValue& MnuCaption, const QJSValue& Command,
                              const QJSValue& Info, double Category)
{
    scriptGuard(this, [&] {
        m_host.plugins().registerPlugin(text(Author), text(MnuCaption), text(Command), text(Info),
                                        scriptArg<quint8>(Category, "Category"));
    });
}

QString TWindowScript::input(const QJSValue& Msg, const QJSValue& Options, const QJSValue& Values)
{
    return scriptGuard(this, [&] {
        const QStringList keys = splitDelimitedText(text(Options));
        const QStringList values = splitDelimitedText(text(Values));
        if (values.size() < keys.size())
            throw EVexorError(QStringLiteral("List index out of bounds (%1)").arg(values.size()));
        IScriptDialogs* d = m_host.environment().dialogs;
        if (!d)
            return QString();
        std::optional<QStringList> edited;
        {
            TWatchdogPause pause(m_host);
            edited = d->values(text(Msg), keys, values.mid(0, keys.size()));
        }
        return edited ? joinDelimitedText(*edited) : QString();
    });
}

void TWindowScript::include(const QJSValue& filename)
{
    scriptGuard(this, [&] { m_host.include(text(filename)); });
}

void TWindowScript::addRomHandler(double EcuType, const QJSValue& Author, const QJSValue& Handler)
{
    scriptGuard(this, [&] {
        m_host.romHandlers().registerHandler(scriptArg<quint8>(EcuType, "EcuType"), text(Author), text(Handler));
    });
}

void TWindowScript::showBrowser(const QJSValue& URL, double Width, double Height, double Resizable, double DoModal)
{
    scriptGuard(this, [&] {
        TBrowserRequest r;
        r.width = scriptArg<qint32>(Width, "Width");
        r.height = scriptArg<qint32>(Height, "Height");
        r.resizable = scriptArg<quint8>(Resizable, "Resizable") != 0;
        r.modal = scriptArg<quint8>(DoModal, "DoModal") != 0;
        const QString url = text(URL);
        const QString local = m_host.userScriptFolder() + u'/' + QString(url).replace(u'\\', u'/');
        r.url = QFileInfo(local).isFile() ? QUrl::fromLocalFile(local).toString() : QUrl::fromUserInput(url).toString();
        IScriptDialogs* d = m_host.environment().dialogs;
        if (!d)
            throw EVexorError(QStringLiteral("Could not open \"%1\".").arg(url));
        // A modal window waits for the user: that time is not the script's.
        std::optional<TWatchdogPause> pause;
        if (r.modal)
            pause.emplace(m_host);
        d->showBrowser(m_host, r);
    });
}

void TWindowScript::reload()
{
    scriptGuard(this, [&] {
        TScriptEnvironment& env = m_host.environment();
        if (env.reloadRom)
            env.reloadRom();
        else if (env.document && env.document->romLoaded())
            env.document->reload();
    });
}

void TWindowScript::addCustomTable(const QJSValue& Name, double Width, double Height, double Address,
                                   const QJSValue& OnLoad, const QJSValue& OnGetValue, const QJSValue& OnSetValue,
                                   const QJSValue& OnUnload, const QJSValue& Description)
{
    scriptGuard(this, [&] {
        m_host.customTables().add(TCCustomTable{text(Name), scriptArg<quint8>(Width, "Width"),
                                                scriptArg<quint8>(Height, "Height"),
                                                scriptArg<quint16>(Address, "Address"), text(OnLoad), text(OnGetValue),
                                                text(OnSetValue), text(OnUnload), text(Description)});
    });
}

void TWindowScript::addWidebandConversion(const QJSValue& Caption, const QJSValue& ExecFunction)
{
    if (TJsWidebandConvManager* list = m_host.environment().widebandConversions)
        list->add(TJsWidebandConv{text(Caption), text(ExecFunction)});
}

void TWindowScript::setPort(bool datalog, double hardware, double port, double baud, double dataBits, double parity,
                            double stopBits, double timeout, double maxTries, bool wideTimeout)
{
    scriptGuard(this, [&] {
        (void)scriptArg<quint8>(hardware, "Hardware"); // accepted and ignored
        const quint8 p = scriptArg<quint8>(port, "Port");
        const quint16 b = scriptArg<quint16>(baud, "Baud");
        const quint8 bits = scriptArg<quint8>(dataBits, "DataBits");
        const quint8 par = scriptArg<quint8>(parity, "Parity");
        const quint8 stop = scriptArg<quint8>(stopBits, "StopBits");
        const int t =
            wideTimeout ? int(scriptArg<quint16>(timeout, "Timeout")) : int(scriptArg<quint8>(timeout, "Timeout"));
        const quint8 tries = scriptArg<quint8>(maxTries, "MaxTries");
        TSettingsStore* store = m_host.environment().store;
        if (!store)
            return;
        TSettings& s = store->values();
        TComSettings& com = datalog ? s.tunerCom : s.rtpCom;
        TConnectionSettings& link = datalog ? s.tunerConnection : s.rtpConnection;
        com.portIndex = p;
        com.portPath.clear(); // the number chooses the port now
        com.baudRate = b;
        if (bits >= 4 && bits <= 8)
            com.dataBitsIndex = bits - 4; // the list runs "4" to "8"
        if (par <= 4)
            com.parityIndex = par;
        if (stop >= 1 && stop <= 3)
            com.stopBitsIndex = stop - 1;
        link.timeout = t;
        link.maxTries = tries;
        store->apply(); // the links take it on their next connection
    });
}

void TWindowScript::setRTPPort(double Hardware, double Port, double Baud, double DataBits, double Parity,
                               double StopBits, double Timeout, double MaxTries)
{
    setPort(false, Hardware, Port, Baud, DataBits, Parity, StopBits, Timeout, MaxTries, false);
}

void TWindowScript::setDatalogPort(double Hardware, double Port, double Baud, double DataBits, double Parity,
                                   double StopBits, double Timeout, double MaxTries)
{
    setPort(true, Hardware, Port, Baud, DataBits, Parity, StopBits, Timeout, MaxTries, true);
}

QObject* TWindowScript::rom()
{
    TRomDocument* doc = m_host.environment().document;
    if (!doc)
        return nullptr;
    auto* r = new TRomScript(*doc, m_host, m_host.hookNames());
    QJSEngine::setObjectOwnership(r, QJSEngine::JavaScriptOwnership);
    return r;
}

QObject* TWindowScript::files()
{
    auto* f = new TFilesScript(m_host);
    QJSEngine::setObjectOwnership(f, QJSEngine::JavaScriptOwnership);
    return f;
}

QObject* TWindowScript::events()
{
    auto* e = new TWindowEventsScript(m_host);
    QJSEngine::setObjectOwnership(e, QJSEngine::JavaScriptOwnership);
    return e;
}

QObject* TWindowScript::customTable()
{
    auto* t = new TCustomTableScript(m_host.advTables());
    QJSEngine::setObjectOwnership(t, QJSEngine::JavaScriptOwnership);
    return t;
}

namespace {
TDisplayUnits currentUnits(TScriptForm& host)
{
    const TScriptEnvironment& env = host.environment();
    if (env.displayUnits)
        return env.displayUnits();
    return displayUnits(env.store ? env.store->values().general : TGeneralSettings{});
}
} // namespace

int TWindowScript::showMph() const { return currentUnits(m_host).mph ? 1 : 0; }
int TWindowScript::showPsi() const { return currentUnits(m_host).psi ? 1 : 0; }
int TWindowScript::showFahrenheit() const { return currentUnits(m_host).fahrenheit ? 1 : 0; }
int TWindowScript::showAFR() const { return currentUnits(m_host).afr ? 1 : 0; }
