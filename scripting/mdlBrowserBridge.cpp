#include "scripting/mdlBrowserBridge.h"

#include "scripting/frmScripts.h"
#include "scripting/mdlScriptArgs.h"
#include "scripting/scptWindow.h"
#include "settings/mdlErrors.h"

#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QRandomGenerator>
#include <QUrl>

#include <cmath>

namespace {

constexpr int TokenBytes = 16;
constexpr int NamePrefixLetters = 3;
constexpr int NameSuffixLetters = 5;
constexpr int Letters = 26;

// The access helper's operations.
enum class TAccess { Get = 0, Set = 1, Call = 2 };

enum class TMemberKind { None, Method, Property };

// Members the script object declares itself; QObject's own (deleteLater,
// objectName, destroyed …) are not part of the object model.
TMemberKind memberKind(const QObject* object, const QString& name, bool* writable = nullptr)
{
    const QMetaObject* meta = object->metaObject();
    const QByteArray latin = name.toLatin1();
    for (int i = meta->propertyCount() - 1; i >= QObject::staticMetaObject.propertyCount(); --i) {
        const QMetaProperty p = meta->property(i);
        if (latin == p.name()) {
            if (writable)
                *writable = p.isWritable();
            return TMemberKind::Property;
        }
    }
    for (int i = meta->methodCount() - 1; i >= QObject::staticMetaObject.methodCount(); --i) {
        const QMetaMethod m = meta->method(i);
        if (m.access() == QMetaMethod::Public &&
            (m.methodType() == QMetaMethod::Method || m.methodType() == QMetaMethod::Slot) && latin == m.name())
            return TMemberKind::Method;
    }
    return TMemberKind::None;
}

QJSValue fromJson(QJSEngine& engine, const QJsonValue& v)
{
    switch (v.type()) {
    case QJsonValue::Bool: return QJSValue(v.toBool());
    case QJsonValue::Double: return QJSValue(v.toDouble());
    case QJsonValue::String: return QJSValue(v.toString());
    case QJsonValue::Array:
    case QJsonValue::Object: return engine.toScriptValue(v.toVariant());
    case QJsonValue::Null:
    case QJsonValue::Undefined: break;
    }
    return QJSValue(QJSValue::NullValue);
}

// The answer for a value: a script object or a method becomes a kind the page
// makes a proxy of; everything else travels as JSON.
QJsonObject answerFor(const QJSValue& v)
{
    if (v.isUndefined())
        return {};
    if (v.isQObject() && v.toQObject())
        return {{QStringLiteral("kind"), QStringLiteral("object")}};
    if (v.isCallable())
        return {{QStringLiteral("kind"), QStringLiteral("function")}};
    if (v.isNumber()) {
        // JSON has no NaN or infinity.
        const double d = v.toNumber();
        return {{QStringLiteral("value"), std::isfinite(d) ? QJsonValue(d) : QJsonValue()}};
    }
    return {{QStringLiteral("value"), QJsonValue::fromVariant(v.toVariant())}};
}

std::optional<int> boundOf(const QJsonObject& request, const char* name)
{
    const QJsonValue v = request.value(QLatin1String(name));
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    if (!v.isDouble())
        throw EVexorError(QStringLiteral("Argument %1 is not a number.").arg(QLatin1String(name)));
    return scriptArg<qint32>(v.toDouble(), name);
}

} // namespace

TBrowserBridge::TBrowserBridge(TScriptForm& host, IBrowserWindow* window) : m_host(&host), m_window(window)
{
    QByteArray random(TokenBytes, Qt::Uninitialized);
    for (char& c : random)
        c = char(QRandomGenerator::system()->bounded(256));
    m_token = QString::fromLatin1(random.toHex());
}

TBrowserBridge::~TBrowserBridge()
{
    // The values belong to the engine: let go of them before the object they
    // wrap.
    m_access = QJSValue();
    m_windowObject.reset();
}

bool TBrowserBridge::mayAnswer(const QUrl& origin)
{
    // Pages of this computer's disk only: not the network, not data: or
    // about: documents, not a file share named by host.
    return origin.scheme() == QLatin1String("file") && origin.host().isEmpty();
}

std::optional<QByteArray> TBrowserBridge::requestOf(const QString& text) const
{
    const QString head = QLatin1String(ChannelPrefix) + m_token + u':';
    if (!text.startsWith(head))
        return std::nullopt;
    return text.mid(head.size()).toUtf8();
}

QByteArray TBrowserBridge::answer(const QByteArray& request)
{
    QJsonObject out;
    try {
        QJsonParseError parse;
        const QJsonDocument doc = QJsonDocument::fromJson(request, &parse);
        if (parse.error != QJsonParseError::NoError || !doc.isObject())
            throw EVexorError(QStringLiteral("Malformed request."));
        out = dispatch(doc.object());
    } catch (const EVexorError& e) {
        out = {{QStringLiteral("error"), e.message()}};
    }
    return QJsonDocument(out).toJson(QJsonDocument::Compact);
}

QJSValue TBrowserBridge::windowValue(QJSEngine& engine)
{
    if (m_engine != &engine || !m_windowObject) {
        // First request, or the host reloaded its scripts into a new engine.
        m_access = QJSValue();
        m_windowObject = std::make_unique<TWindowScript>(*m_host);
        QJSEngine::setObjectOwnership(m_windowObject.get(), QJSEngine::CppOwnership);
        m_engine = &engine;
        // A thrown value is kept apart from a result; the error's message is
        // what the page raises.
        m_access = engine.evaluate(QStringLiteral("(function (op, o, n, a) {\n"
                                                  "  try {\n"
                                                  "    if (op === 0) return { v: o[n] };\n"
                                                  "    if (op === 1) { o[n] = a; return {}; }\n"
                                                  "    return { v: o[n].apply(o, a) };\n"
                                                  "  } catch (e) {\n"
                                                  "    return { e: (e instanceof Error) ? e.message : String(e) };\n"
                                                  "  }\n"
                                                  "})"));
    }
    return engine.newQObject(m_windowObject.get());
}

QJsonObject TBrowserBridge::dispatch(const QJsonObject& request)
{
    const QString op = request.value(QStringLiteral("op")).toString();
    if (op == QLatin1String("close")) {
        if (m_window)
            m_window->closeWindow();
        return {};
    }
    if (op == QLatin1String("bounds")) {
        const auto left = boundOf(request, "left");
        const auto top = boundOf(request, "top");
        const auto width = boundOf(request, "width");
        const auto height = boundOf(request, "height");
        if (m_window)
            m_window->setBounds(left, top, width, height);
        return {};
    }
    if (op == QLatin1String("resizable")) {
        if (m_window)
            m_window->setResizable(request.value(QStringLiteral("value")).toBool());
        return {};
    }
    TAccess access;
    if (op == QLatin1String("get"))
        access = TAccess::Get;
    else if (op == QLatin1String("set"))
        access = TAccess::Set;
    else if (op == QLatin1String("call"))
        access = TAccess::Call;
    else
        throw EVexorError(QStringLiteral("Unknown request '%1'.").arg(op));

    const QJsonValue pathValue = request.value(QStringLiteral("path"));
    const QJsonArray path = pathValue.toArray();
    if (!pathValue.isArray() || path.isEmpty())
        throw EVexorError(QStringLiteral("Malformed request."));
    for (const QJsonValue& step : path)
        if (!step.isString())
            throw EVexorError(QStringLiteral("Malformed request."));

    QJSEngine* engine = m_host ? m_host->engine() : nullptr;
    if (!engine)
        throw EVexorError(QStringLiteral("The script engine is not available."));
    QJSValue object = windowValue(*engine);

    const auto run = [&](TAccess a, const QJSValue& target, const QString& name, const QJSValue& arg) {
        const QJSValue r = m_access.call({QJSValue(int(a)), target, QJSValue(name), arg});
        if (r.hasOwnProperty(QStringLiteral("e")))
            throw EVexorError(r.property(QStringLiteral("e")).toString());
        return r.property(QStringLiteral("v"));
    };

    for (qsizetype i = 0; i + 1 < path.size(); ++i) {
        const QString name = path.at(i).toString();
        if (memberKind(object.toQObject(), name) != TMemberKind::Property)
            throw EVexorError(QStringLiteral("Object has no property '%1'.").arg(name));
        object = run(TAccess::Get, object, name, QJSValue());
        if (!object.isQObject() || !object.toQObject())
            throw EVexorError(QStringLiteral("'%1' is not an object.").arg(name));
    }

    const QString name = path.last().toString();
    bool writable = false;
    const TMemberKind kind = memberKind(object.toQObject(), name, &writable);
    switch (access) {
    case TAccess::Get:
        if (kind == TMemberKind::Method)
            return {{QStringLiteral("kind"), QStringLiteral("function")}};
        if (kind == TMemberKind::Property)
            return answerFor(run(TAccess::Get, object, name, QJSValue()));
        break;
    case TAccess::Set:
        if (kind == TMemberKind::Property && writable) {
            run(TAccess::Set, object, name, fromJson(*engine, request.value(QStringLiteral("value"))));
            return {};
        }
        if (kind != TMemberKind::None)
            throw EVexorError(QStringLiteral("'%1' cannot be written.").arg(name));
        break;
    case TAccess::Call:
        if (kind == TMemberKind::Method) {
            const QJsonArray args = request.value(QStringLiteral("args")).toArray();
            QJSValue list = engine->newArray(uint(args.size()));
            for (qsizetype i = 0; i < args.size(); ++i)
                list.setProperty(quint32(i), fromJson(*engine, args.at(i)));
            return answerFor(run(TAccess::Call, object, name, list));
        }
        if (kind == TMemberKind::Property)
            throw EVexorError(QStringLiteral("'%1' is not a method.").arg(name));
        break;
    }
    throw EVexorError(QStringLiteral("Object has no member '%1'.").arg(name));
}

QString TBrowserBridge::pageScript() const
{
    // Member reads, writes and calls become requests on the prompt channel,
    // which the window answers before prompt returns: the page blocks like a
    // script calling the window object. Objects and methods are proxies of
    // their path; which path is which is learnt once and remembered.
    static const QString script = QStringLiteral(R"JS((function () {
  'use strict';
  if (location.protocol !== 'file:')
    return;
  var channel = '%1';
  var ask = window.prompt.bind(window);
  function send(request) {
    var text = ask(channel + JSON.stringify(request));
    if (typeof text !== 'string')
      throw new Error('The program did not answer.');
    var answer = JSON.parse(text);
    if (answer.error !== undefined)
      throw new Error(answer.error);
    return answer;
  }
  var kinds = Object.create(null);
  function member(path) {
    var key = JSON.stringify(path);
    var kind = kinds[key];
    if (kind === undefined) {
      var answer = send({ op: 'get', path: path });
      if (answer.kind === undefined)
        return answer.value;
      kind = kinds[key] = answer.kind;
    }
    return kind === 'object' ? object(path, null) : method(path);
  }
  function plain(name) {
    return typeof name !== 'string' || name in Object.prototype || name === 'then' || name === 'toJSON';
  }
  function object(path, own) {
    return new Proxy({}, {
      get: function (target, name, receiver) {
        if (own && Object.prototype.hasOwnProperty.call(own, name))
          return own[name];
        if (plain(name))
          return Reflect.get(target, name, receiver);
        return member(path.concat([name]));
      },
      set: function (target, name, value) {
        if (typeof name !== 'string')
          return false;
        send({ op: 'set', path: path.concat([name]), value: value });
        return true;
      }
    });
  }
  function method(path) {
    return new Proxy(function () {}, {
      apply: function (target, self, args) {
        var list = Array.prototype.slice.call(args);
        while (list.length && list[list.length - 1] === undefined)
          list.pop();
        return send({ op: 'call', path: path, args: list }).value;
      }
    });
  }
  var controls = {
    close: function () { send({ op: 'close' }); },
    setBounds: function (left, top, width, height) {
      send({ op: 'bounds', left: left, top: top, width: width, height: height });
    },
    setResizable: function (on) { send({ op: 'resizable', value: !!on }); }
  };
  Object.defineProperty(window, 'external', { value: object([], controls), enumerable: true });
  window.close = controls.close;
  window.moveTo = function (left, top) { controls.setBounds(left, top); };
  window.resizeTo = function (width, height) { controls.setBounds(undefined, undefined, width, height); };
})();
)JS");
    return script.arg(QLatin1String(ChannelPrefix) + m_token + u':');
}

QString browserWindowName(QRandomGenerator& random)
{
    const auto letters = [&](int n) {
        QString s;
        for (int i = 0; i < n; ++i)
            s += QChar(u'A' + random.bounded(Letters));
        return s;
    };
    return letters(NamePrefixLetters) + u'_' + letters(NameSuffixLetters);
}
