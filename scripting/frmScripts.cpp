#include "scripting/frmScripts.h"

#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "scripting/mdlAdvTables.h"
#include "scripting/mdlPluginList.h"
#include "scripting/mdlScriptRewrite.h"
#include "scripting/mdlScriptWatchdog.h"
#include "scripting/scptWindow.h"
#include "settings/mdlFiles.h"
#include "settings/mdlMessages.h"

#include <QFile>
#include <QFileInfo>
#include <QJSEngine>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

#include <algorithm>

namespace {

const QString ErrorFormat = QStringLiteral("%1 at line %2, column %3 near '%4'");

QStringList sourceLines(const QString& text)
{
    QStringList lines = text.split(u'\n');
    for (QString& l : lines)
        if (l.endsWith(u'\r'))
            l.chop(1);
    return lines;
}

// The engine names the file of an error as a URL ("file:x.js", "file:///a/x.js").
QString plainFileName(const QString& name)
{
    if (name.startsWith(QLatin1String("file://")))
        return QUrl(name).toLocalFile();
    if (name.startsWith(QLatin1String("file:")))
        return name.mid(5);
    return name;
}

struct TStackEntry {
    int line = 0;
    int column = -1;
    QString file;
};

// "function:line:column:file" (the file may hold colons itself).
TStackEntry parseStackEntry(const QString& entry)
{
    TStackEntry e;
    const int a = int(entry.indexOf(u':'));
    const int b = a < 0 ? -1 : int(entry.indexOf(u':', a + 1));
    const int c = b < 0 ? -1 : int(entry.indexOf(u':', b + 1));
    if (c < 0)
        return e;
    e.line = entry.mid(a + 1, b - a - 1).toInt();
    e.column = entry.mid(b + 1, c - b - 1).toInt();
    e.file = entry.mid(c + 1);
    return e;
}

QString withSlash(const QString& folder) { return folder.endsWith(u'/') ? folder : folder + u'/'; }

// Replaces the first occurrence only.
void replaceFirst(QString& text, const QString& what, const QString& with)
{
    const qsizetype at = text.indexOf(what);
    if (at >= 0)
        text.replace(at, what.size(), with);
}

// The position where the source defines a name: its function declaration,
// else its first assignment, else its first mention.
qsizetype definitionPosition(const QString& source, const QString& name)
{
    const QString n = QRegularExpression::escape(name);
    for (const QString& pattern :
         {QStringLiteral("\\bfunction\\s+%1\\s*\\(").arg(n), QStringLiteral("(?<![\\w$.])%1\\s*=(?!=)").arg(n),
          QStringLiteral("(?<![\\w$])%1(?![\\w$])").arg(n)}) {
        const QRegularExpressionMatch m = QRegularExpression(pattern).match(source);
        if (m.hasMatch())
            return m.capturedStart();
    }
    return source.size();
}

} // namespace

QString decodeScriptText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

QString escapeForScriptLiteral(const QString& text)
{
    QString out = text;
    out.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    out.replace(QLatin1String("'"), QLatin1String("\\'"));
    out.replace(QLatin1String("\""), QLatin1String("\\\""));
    return out;
}

QString expandScriptMacros(const QString& text, const QString& scriptPath, const QString& programFolder,
                           const QString& userScriptFolder)
{
    QString out = text;
    const QFileInfo info(scriptPath);
    out.replace(QLatin1String("#VEXOR_ROOT_DIR#"), withSlash(programFolder));
    replaceFirst(out, QStringLiteral("#VEXOR_APP_DIR#"), withSlash(userScriptFolder));
    out.replace(QLatin1String("#SCRIPT_DIR#"), escapeForScriptLiteral(withSlash(info.absolutePath())));
    out.replace(QLatin1String("#SCRIPT_PATH#"), escapeForScriptLiteral(info.absoluteFilePath()));
    out.replace(QLatin1String("#SCRIPT_NAME#"), escapeForScriptLiteral(info.fileName()));
    return out;
}

TScriptForm::TScriptForm(const TScriptEnvironment& environment, QObject* parent)
    : QObject(parent), m_env(environment), m_watchdog(std::make_unique<TScriptWatchdog>()),
      m_programFolder(::programFolder()), m_userFolder(settingsFolder()),
      m_advTables(std::make_unique<TAdvTables>(*this, m_tables))
{
    resetEngine();
}

TScriptForm::~TScriptForm()
{
    m_caller = QJSValue();
    m_engine.reset(); // before the window object it refers to
    m_window.reset();
}

void TScriptForm::setFolders(const QString& programFolder, const QString& userScriptFolder)
{
    m_programFolder = programFolder;
    m_userFolder = userScriptFolder;
}

void TScriptForm::pauseWatchdog() { m_watchdog->pause(); }
void TScriptForm::resumeWatchdog() { m_watchdog->resume(); }

void TScriptForm::resetEngine()
{
    m_caller = QJSValue();
    m_engine.reset();
    m_window.reset();
    m_procedures.clear();
    m_procedureSet.clear();
    m_sourceLines.clear();
    m_engine = std::make_unique<QJSEngine>();
    m_engine->installExtensions(QJSEngine::ConsoleExtension);
    m_available = true;
}

void TScriptForm::registerWindow()
{
    m_window = std::make_unique<TWindowScript>(*this);
    QJSEngine::setObjectOwnership(m_window.get(), QJSEngine::CppOwnership);
    const QJSValue window = m_engine->newQObject(m_window.get());
    m_engine->globalObject().setProperty(QStringLiteral("window"), window);

    // The members are global too: the object's own methods bound to it (no
    // script frame in between, so an error names the caller's line) and
    // accessors that read its properties live (a copied value would only be
    // a snapshot of the property).
    const QMetaObject* meta = m_window->metaObject();
    QStringList methods;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        if (m.access() == QMetaMethod::Public &&
            (m.methodType() == QMetaMethod::Method || m.methodType() == QMetaMethod::Slot)) {
            const QString name = QString::fromLatin1(m.name());
            if (!methods.contains(name))
                methods << name;
        }
    }
    QStringList properties;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        properties << QString::fromLatin1(meta->property(i).name());
    const QJSValue install = m_engine->evaluate(
        QStringLiteral("(function (w, g, methods, properties) {\n"
                       "  methods.forEach(function (n) {\n"
                       "    g[n] = w[n].bind(w);\n"
                       "  });\n"
                       "  properties.forEach(function (n) {\n"
                       "    Object.defineProperty(g, n, { get: function () { return w[n]; }, configurable: true });\n"
                       "  });\n"
                       "})"));
    install.call(
        {window, m_engine->globalObject(), m_engine->toScriptValue(methods), m_engine->toScriptValue(properties)});
}

bool TScriptForm::reloadScripts()
{
    if (m_nesting > 0) {
        // A dialog of a running script let the user reach a reload: the
        // engine is in use and cannot be replaced under it.
        if (m_env.services.messages)
            m_env.services.messages->showMessage(
                QStringLiteral("Scripts cannot be reloaded while a script is running."), QString(), TMsgKind::Warning,
                TMsgButton::OK);
        return false;
    }
    resetEngine();
    m_romHandlers.clear();
    m_plugins.clear();
    m_tables.clear();
    // Conversions refer to functions of the engine just discarded; the
    // reloaded scripts register theirs again (the list would grow with every
    // reload otherwise).
    if (m_env.widebandConversions)
        m_env.widebandConversions->clear();
    registerWindow();
    try {
        const QString autoload = m_programFolder + QStringLiteral("/autoload.js");
        if (QFileInfo(autoload).isFile())
            addScriptFile(autoload);
        const QString plugins = m_userFolder + QStringLiteral("/plugins.js");
        if (QFileInfo(plugins).isFile())
            addScriptFile(plugins);
    } catch (const EScriptError&) {
        // Already shown; the loading ends here.
    } catch (const EVexorError& e) {
        reportError(e.message()); // a script file that cannot be read
    }
    // The menus always follow the registry, even after a failed load: a menu
    // left from before the reload would point past the emptied registry.
    if (m_env.pluginsChanged)
        m_env.pluginsChanged();
    Q_EMIT reloaded();
    return true;
}

QString TScriptForm::loadScriptText(const QString& path) const
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EVexorError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, f.errorString()));
    return expandScriptMacros(decodeScriptText(f.readAll()), path, m_programFolder, m_userFolder);
}

QJSValue TScriptForm::globalSnapshot() const
{
    // Own properties of the global object with their values (accessors are
    // not called).
    QJSValue snap =
        m_engine->evaluate(QStringLiteral("(function () { var globalThis = (function () { return this; })(), m = {};\n"
                                          "  Object.getOwnPropertyNames(globalThis).forEach(function (n) {\n"
                                          "    var d = Object.getOwnPropertyDescriptor(globalThis, n);\n"
                                          "    m[n] = d && ('value' in d) ? d.value : d; });\n"
                                          "  return m; })()"));
    return snap;
}

void TScriptForm::collectProcedures(const QJSValue& before, const QString& source)
{
    const QJSValue diff = m_engine->evaluate(QStringLiteral(
        "(function (before, globalThis) { var out = [];\n"
        "  Object.getOwnPropertyNames(globalThis).forEach(function (n) {\n"
        "    var d = Object.getOwnPropertyDescriptor(globalThis, n);\n"
        "    if (d && ('value' in d) && typeof d.value === 'function' &&\n"
        "        !(Object.prototype.hasOwnProperty.call(before, n) && before[n] === d.value)) out.push(n); });\n"
        "  return out; })"));
    const QStringList added = diff.call({before, m_engine->globalObject()}).toVariant().toStringList();
    // The engine lists names alphabetically; the run-command dialog wants
    // them in the order the source defines them.
    QVector<QPair<qsizetype, QString>> ordered;
    for (const QString& n : added)
        ordered.append({definitionPosition(source, n), n});
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [pos, n] : ordered) {
        Q_UNUSED(pos);
        if (!m_procedureSet.contains(n)) {
            m_procedureSet.insert(n);
            m_procedures << n;
        }
    }
}

void TScriptForm::addScriptFile(const QString& path)
{
    if (!m_engine)
        throw EScriptError(QStringLiteral("The script engine is not available."));
    const QString text = loadScriptText(path);
    m_sourceLines.insert(path, sourceLines(text));
    const QJSValue before = globalSnapshot();
    try {
        run(rewriteScriptSource(text), path);
    } catch (const EScriptError&) {
        // Functions declared before the failing statement exist all the same.
        collectProcedures(before, text);
        throw;
    }
    collectProcedures(before, text);
}

void TScriptForm::include(const QString& fileName)
{
    // The plug-in editor greys an entry by the same rules, so it shows
    // exactly what loads.
    const QString name = expandPluginPrefixes(fileName, m_programFolder, m_userFolder);
    const QString found = resolvePluginPath(fileName, m_programFolder, m_userFolder);
    if (found.isEmpty()) {
        pauseWatchdog();
        if (m_env.services.messages)
            m_env.services.messages->showMessage(QStringLiteral("Could not include file \r\r'%1'").arg(name), QString(),
                                                 TMsgKind::Information, TMsgButton::OK);
        resumeWatchdog();
        return;
    }
    if (m_includeDepth >= MaxIncludeDepth)
        throw EVexorError(QStringLiteral("Included files nest deeper than %1 levels (does '%2' include itself?).")
                              .arg(MaxIncludeDepth)
                              .arg(name));
    ++m_includeDepth;
    try {
        addScriptFile(QFileInfo(found).absoluteFilePath());
    } catch (...) {
        --m_includeDepth;
        throw;
    }
    --m_includeDepth;
}

bool TScriptForm::procedureExists(const QString& callText) const
{
    const qsizetype paren = callText.indexOf(u'(');
    return m_procedureSet.contains(paren < 0 ? callText : callText.left(paren));
}

QJSValue TScriptForm::evaluate(const QString& expression)
{
    if (!m_engine)
        throw EScriptError(QStringLiteral("The script engine is not available."));
    return run(rewriteScriptSource(expression), QString());
}

QJSValue TScriptForm::callFunction(const QString& name, const QJSValueList& args, const QString& callText)
{
    if (!m_engine)
        throw EScriptError(QStringLiteral("The script engine is not available."));
    const QJSValue f = m_engine->globalObject().property(name);
    if (!f.isCallable())
        return evaluate(callText); // reports what evaluating the text reports
    // QJSValue::call returns a thrown value like a result; the caller keeps
    // them apart. Made once per engine.
    if (!m_caller.isCallable())
        m_caller = m_engine->evaluate(QStringLiteral(
            "(function (f, a) { try { return { v: f.apply(undefined, a) }; } catch (e) { return { e: e }; } })"));
    return guarded(callText, QString(), [&](QStringList*, bool* threw) {
        QJSValue list = m_engine->newArray(uint(args.size()));
        for (int i = 0; i < args.size(); ++i)
            list.setProperty(quint32(i), args.at(i));
        const QJSValue r = m_caller.call({f, list});
        const QJSValue e = r.property(QStringLiteral("e"));
        *threw = r.hasOwnProperty(QStringLiteral("e"));
        return *threw ? e : r.property(QStringLiteral("v"));
    });
}

QJSValue TScriptForm::run(const QString& code, const QString& fileName)
{
    return guarded(code, fileName, [&](QStringList* trace, bool* threw) {
        const QJSValue result = m_engine->evaluate(code, fileName, 1, trace);
        *threw = result.isError() || !trace->isEmpty();
        return result;
    });
}

QJSValue TScriptForm::guarded(const QString& code, const QString& fileName,
                              const std::function<QJSValue(QStringList* trace, bool* threw)>& exec)
{
    if (m_nesting >= MaxNesting) {
        // A hook that reads through itself, a handler that reloads the ROM it
        // handles: stop before the stack runs out. The calling script fails
        // with this message.
        const QString text =
            ErrorFormat
                .arg(QStringLiteral("Script calls nest deeper than %1 levels (does a hook call itself?)")
                         .arg(MaxNesting))
                .arg(0)
                .arg(0)
                .arg(fileName.isEmpty() ? code.section(u'\n', 0, 0) : QString());
        if (!m_errorShown) {
            reportError(text);
            m_errorShown = true;
        }
        throw EScriptError(text);
    }
    const bool outermost = m_nesting == 0;
    if (outermost) {
        m_watchdog->arm(m_engine.get(), m_watchdogMs);
        m_errorShown = false;
    }
    ++m_nesting;
    QStringList trace;
    QJSEngine* engine = m_engine.get();
    bool threw = false;
    const QJSValue result = exec(&trace, &threw);
    const bool interrupted = engine->isInterrupted();
    --m_nesting;
    bool fired = false;
    if (outermost)
        fired = m_watchdog->disarm();
    const bool failed = interrupted || fired || threw;
    if (!failed)
        return result;

    QString text;
    if (interrupted || fired) {
        text = ErrorFormat
                   .arg(QStringLiteral("Script interrupted: it ran for more than %1 seconds")
                            .arg(double(m_watchdogMs) / 1000.0))
                   .arg(0)
                   .arg(0)
                   .arg(fileName.isEmpty() ? code.section(u'\n', 0, 0) : QString());
    } else {
        text = formatError(result, trace, fileName.isEmpty() ? code : QString());
    }
    // An error raised by a nested call was shown where it happened; the
    // calls it unwinds through do not show it again.
    if (!m_errorShown) {
        reportError(text);
        m_errorShown = true;
    }
    if (outermost)
        m_errorShown = false;
    throw EScriptError(text);
}

QString TScriptForm::formatError(const QJSValue& error, const QStringList& stackTrace, const QString& expression) const
{
    QString description;
    int line = 0;
    int column = 0;
    QString file;
    const TStackEntry top = stackTrace.isEmpty() ? TStackEntry{} : parseStackEntry(stackTrace.first());
    if (error.isError()) {
        description = error.property(QStringLiteral("message")).toString();
        line = error.property(QStringLiteral("lineNumber")).toInt();
        file = plainFileName(error.property(QStringLiteral("fileName")).toString());
    } else {
        description = error.toString();
    }
    if (line <= 0)
        line = top.line;
    if (file.isEmpty() || file == QLatin1String("undefined"))
        file = plainFileName(top.file);
    if (top.column > 0 && top.line == line)
        column = top.column;
    QStringList lines = m_sourceLines.value(file);
    if (lines.isEmpty() && !expression.isEmpty())
        lines = sourceLines(expression);
    const QString near = line >= 1 && line <= lines.size() ? lines.at(line - 1).trimmed() : QString();
    return ErrorFormat.arg(description).arg(line).arg(column).arg(near);
}

void TScriptForm::reportError(const QString& text)
{
    if (!m_env.services.messages)
        return;
    pauseWatchdog();
    m_env.services.messages->showMessage(text, QStringLiteral("Error"), TMsgKind::Error, TMsgButton::OK);
    resumeWatchdog();
}

void TScriptForm::runRomLoadHook()
{
    if (!m_available || !m_engine || !m_env.document)
        return;
    try {
        m_romHandlers.run(m_env.document->rom().BaseType, [this](const QString& h) { evaluate(h); });
        if (procedureExists(QStringLiteral("_on_rom_loaded_")))
            evaluate(QStringLiteral("_on_rom_loaded_()"));
    } catch (const EScriptError&) {
        // Shown already; the ROM stays loaded and usable.
    } catch (const EVexorError& e) {
        reportError(e.message());
    }
}
